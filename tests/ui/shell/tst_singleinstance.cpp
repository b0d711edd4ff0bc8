// One running program per user: the lock, the activation message, and the real program
// started twice; its command line, and paths handed from a later start to the running one.
#include <csignal>
#include <cstring>

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include "support/testenv.h"
#include "ui/shell/singleinstance.h"

namespace {

QProcessEnvironment programEnvironment(const TestEnv &env) {
    QProcessEnvironment vars = QProcessEnvironment::systemEnvironment();
    vars.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    vars.insert(QStringLiteral("HOME"), env.home());
    vars.insert(QStringLiteral("XDG_CONFIG_HOME"), env.configHome());
    vars.insert(QStringLiteral("XDG_DATA_HOME"), env.dataHome());
    return vars;
}

// A 32-bit field of the stored last-scan record; -1 while there is none.
qint32 lastScanField(const TestEnv &env, int offset) {
    const QByteArray lsd = env.registryValue(QStringLiteral("lsd"));
    if (lsd.size() < offset + 4)
        return -1;
    qint32 value;
    std::memcpy(&value, lsd.constData() + offset, 4);
    return value;
}

}  // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT
private slots:
    void commandLinesThatStartNothing_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("says");
        QTest::newRow("help") << QStringList{"--help"} << 0 << "Usage: vizavuz-antivirus";
        QTest::newRow("version") << QStringList{"-V"} << 0 << "vizavuz-antivirus " VZ_VERSION;
        QTest::newRow("unknown option")
            << QStringList{"--scan-all"} << 2 << "unrecognized option '--scan-all'";
        QTest::newRow("missing path") << QStringList{".", "no such thing"} << 2
                                      << "cannot scan 'no such thing': no such file or folder";
        QTest::newRow("dash path without --")
            << QStringList{"-reverse"} << 2 << "unrecognized option '-reverse'";
    }
    void commandLinesThatStartNothing() {
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QFETCH(QString, says);
        TestEnv env;
        QProcess program;
        program.setProcessEnvironment(programEnvironment(env));
        program.setWorkingDirectory(env.root());
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(QStringLiteral(VZ_PROGRAM), arguments);
        QVERIFY(program.waitForFinished(10000));
        const QString output = QString::fromLocal8Bit(program.readAll());
        QCOMPARE(program.exitCode(), code);
        QVERIFY2(output.contains(says), qPrintable(output));
        // Nothing started: no lock taken, no data folder made.
        QVERIFY(!QFile::exists(env.configHome() + QStringLiteral("Vizavuz/instance.lock")));
        QVERIFY(!QFile::exists(env.dataFolder()));
    }

    void pathsGoToTheRunningProgram() {
        TestEnv env;
        TestEnv::makeEicarDatabase(env.dataFolder() + QStringLiteral("db/"));
        // A folder with an infected file, and an infected file given by itself, relative to
        // the later start's own folder (under a name that looks like an option).
        const QString targets = env.root() + QStringLiteral("targets/");
        TestEnv::writeFile(targets + QStringLiteral("folder/inside.com"), TestEnv::eicar());
        TestEnv::writeFile(targets + QStringLiteral("-alone .com"), TestEnv::eicar());
        const QProcessEnvironment vars = programEnvironment(env);

        QProcess first;
        first.setProcessEnvironment(vars);
        first.start(QStringLiteral(VZ_PROGRAM), {});
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(
            QFile::exists(env.configHome() + QStringLiteral("Vizavuz/instance.lock")), 10000);

        auto later = [&](const QStringList &arguments, QString *output) {
            QProcess process;
            process.setProcessEnvironment(vars);
            process.setWorkingDirectory(targets);
            process.setProcessChannelMode(QProcess::MergedChannels);
            process.start(QStringLiteral(VZ_PROGRAM), arguments);
            process.waitForFinished(30000);
            *output = QString::fromLocal8Bit(process.readAll());
            return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        };
        QString said;
        QCOMPARE(
            later({QStringLiteral("folder"), QStringLiteral("--"), QStringLiteral("-alone .com")},
                  &said),
            0);
        // The running program scanned both: the scan record counts one scan, two found.
        QTRY_COMPARE_WITH_TIMEOUT(lastScanField(env, 12), 1, 60000);
        QCOMPARE(lastScanField(env, 60), 2);

        // Its question about the findings is still open: another request is refused, told
        // to the later start, and scans nothing.
        QCOMPARE(later({QStringLiteral("folder")}, &said), 1);
        QVERIFY2(said.contains(QStringLiteral("nothing was scanned: Vizavuz AntiVirus is waiting")),
                 qPrintable(said));
        QTest::qWait(1000);
        QCOMPARE(lastScanField(env, 12), 1);
        QCOMPARE(first.state(), QProcess::Running);

        ::kill(pid_t(first.processId()), SIGTERM);
        QVERIFY(first.waitForFinished(10000));
        QCOMPARE(first.exitCode(), 0);
    }

    void laterStartsAskTheFirstToComeForward() {
        TestEnv env;
        const QString folder = env.configHome() + QStringLiteral("Vizavuz");
        {
            SingleInstance first(folder);
            QVERIFY(first.claim());
            QVERIFY(QFile::exists(first.lockFile()));
            QSignalSpy asked(&first, &SingleInstance::activationRequested);

            SingleInstance second(folder);
            QVERIFY(!second.claim());
            QVERIFY(second.activateRunning(2000));
            QTRY_COMPARE(asked.count(), 1);
            SingleInstance third(folder);
            QVERIFY(!third.claim());
            QVERIFY(third.activateRunning(2000));
            QTRY_COMPARE(asked.count(), 2);

            // Another user's (another home's) program is a different one.
            TestEnv other;
            SingleInstance elsewhere(other.configHome() + QStringLiteral("Vizavuz"));
            QVERIFY(elsewhere.claim());
            QVERIFY(!SingleInstance(folder).claim());
        }
        // Once the first has ended, the next start is the first again; with nobody running,
        // activation fails in its time.
        SingleInstance again(folder);
        QVERIFY(again.claim());
        SingleInstance nobody(env.root() + QStringLiteral("empty"));
        QVERIFY(!nobody.activateRunning(300));
    }

    void theRealProgramRunsOncePerUser() {
        TestEnv env;
        QProcessEnvironment vars = QProcessEnvironment::systemEnvironment();
        vars.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        vars.insert(QStringLiteral("HOME"), env.home());
        vars.insert(QStringLiteral("XDG_CONFIG_HOME"), env.configHome());
        vars.insert(QStringLiteral("XDG_DATA_HOME"), env.dataHome());
        const QString lock = env.configHome() + QStringLiteral("Vizavuz/instance.lock");

        QProcess first;
        first.setProcessEnvironment(vars);
        first.start(QStringLiteral(VZ_PROGRAM), {});
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(lock), 10000);

        QProcess second;
        second.setProcessEnvironment(vars);
        second.start(QStringLiteral(VZ_PROGRAM), {});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);  // it reached the running program
        QCOMPARE(first.state(), QProcess::Running);

        // The first ends through its shutdown, and its lock goes with it.
        ::kill(pid_t(first.processId()), SIGTERM);
        QVERIFY(first.waitForFinished(10000));
        QCOMPARE(first.exitStatus(), QProcess::NormalExit);
        QCOMPARE(first.exitCode(), 0);
        QVERIFY(!QFile::exists(lock));

        // A program that crashed leaves its lock behind; the next start takes it over.
        QProcess crashed;
        crashed.setProcessEnvironment(vars);
        crashed.start(QStringLiteral(VZ_PROGRAM), {});
        QVERIFY(crashed.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(lock), 10000);
        crashed.kill();
        QVERIFY(crashed.waitForFinished(10000));
        QVERIFY(QFile::exists(lock));
        QProcess next;
        next.setProcessEnvironment(vars);
        next.start(QStringLiteral(VZ_PROGRAM), {});
        QVERIFY(next.waitForStarted());
        QVERIFY(!next.waitForFinished(3000));  // it runs instead of looking for the dead one
        ::kill(pid_t(next.processId()), SIGTERM);
        QVERIFY(next.waitForFinished(10000));
        QCOMPARE(next.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
