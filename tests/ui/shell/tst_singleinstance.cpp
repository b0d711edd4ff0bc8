// One running program per user: the lock, the activation message, and the real program
// started twice.
#include <csignal>

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include "support/testenv.h"
#include "ui/shell/singleinstance.h"

class TestSingleInstance : public QObject {
    Q_OBJECT
private slots:
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
