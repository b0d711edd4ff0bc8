// One running program per user: the lock, the activation message, and the real program
// started twice; its command line, and paths handed from a later start to the running one.
#include <csignal>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include "support/testenv.h"
#include "ui/shell/commandline.h"
#include "state/scanlog.h"
#include "ui/shell/singleinstance.h"

namespace {

// Throw-away accounts: the user, and a stranger on the same machine.
constexpr unsigned userId = 61701;
constexpr unsigned strangerId = 61702;

// A command run as another user id (the tests run as root).
QStringList asUser(unsigned uid, const QString &program, const QStringList &arguments) {
    return QStringList{QStringLiteral("--reuid=%1").arg(uid), QStringLiteral("--regid=%1").arg(uid),
                       QStringLiteral("--clear-groups"), program} +
           arguments;
}

// Every file below `path` given to `uid`, and the folders above it passable.
void giveTo(const QString &path, unsigned uid) {
    QVERIFY(QProcess::execute(QStringLiteral("chown"),
                              {QStringLiteral("-R"), QString::number(uid), path}) == 0);
}

// A folder anyone may make files in, as /tmp is.
QString sharedTemp(const TestEnv &env) {
    const QString folder = env.root() + QStringLiteral("tmp");
    QDir().mkpath(folder);
    ::chmod(QFile::encodeName(folder).constData(), 01777);
    ::chmod(QFile::encodeName(env.root()).constData(), 0755);
    return folder;
}

// The stranger's listener on the given socket paths, answering every request with `answer`;
// what it was sent goes to `log`.
struct Stranger {
    QProcess process;
    QString log;
    Stranger(const QString &logFile, const QString &answer, const QStringList &paths)
        : log(logFile) {
        process.start(QStringLiteral("setpriv"),
                      asUser(strangerId, QStringLiteral(VZ_SOCKETPEER),
                             QStringList{QStringLiteral("listen"), log, answer} + paths));
        QByteArray said;
        while (!said.contains("ready\n") && process.waitForReadyRead(10000))
            said += process.readAllStandardOutput();
    }
    ~Stranger() {
        process.kill();
        process.waitForFinished();
    }
    QByteArray heard() const { return TestEnv::readFile(log); }
};

// A later start of the real program (or `program`), as `uid` (0: as the tests), in `folder`;
// its exit code (-1 when it crashed or hung) and its standard error.
int laterStart(const QProcessEnvironment &vars, const QStringList &arguments, QString *said,
               unsigned uid = 0, const QString &folder = {},
               const QString &program = QStringLiteral(VZ_PROGRAM)) {
    QProcess process;
    process.setProcessEnvironment(vars);
    if (!folder.isEmpty())
        process.setWorkingDirectory(folder);
    if (uid == 0)
        process.start(program, arguments);
    else
        process.start(QStringLiteral("setpriv"), asUser(uid, program, arguments));
    // The event loop runs meanwhile: a program of this process may be the one asked.
    for (int waited = 0; process.state() != QProcess::NotRunning && waited < 30000; waited += 20)
        QTest::qWait(20);
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    *said = QString::fromLocal8Bit(process.readAllStandardError());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// The socket folder of this process and of the programs it starts, while it lasts: a private
// temporary folder, no runtime folder.
struct PrivateSockets {
    QByteArray temp = qgetenv("TMPDIR"), runtime = qgetenv("XDG_RUNTIME_DIR");
    explicit PrivateSockets(const TestEnv &env) {
        qputenv("TMPDIR", QFile::encodeName(sharedTemp(env)));
        qunsetenv("XDG_RUNTIME_DIR");
    }
    ~PrivateSockets() {
        for (const auto &[name, value] : {std::pair{"TMPDIR", temp}, {"XDG_RUNTIME_DIR", runtime}})
            value.isNull() ? qunsetenv(name) : qputenv(name, value);
    }
};

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

    // Another local user binds first wherever it can: the name anyone can compute in the
    // shared temporary folder, the folder where the user's socket would go, the runtime
    // folder. It must never hear the user's paths, nor make a later start report success.
    void anotherUserCannotStandIn_data() {
        QTest::addColumn<bool>("runtimeFolder");
        QTest::newRow("runtime folder of the user's") << true;
        QTest::newRow("socket folder taken by the stranger") << false;
    }
    void anotherUserCannotStandIn() {
        QFETCH(bool, runtimeFolder);
        TestEnv env;
        const QString temp = sharedTemp(env);
        TestEnv::makeEicarDatabase(env.dataFolder() + QStringLiteral("db/"));
        const QString target = env.root() + QStringLiteral("targets/inside.com");
        TestEnv::writeFile(target, TestEnv::eicar());
        QProcessEnvironment vars = programEnvironment(env);
        vars.insert(QStringLiteral("TMPDIR"), temp);
        vars.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        const QString runtime = env.root() + QStringLiteral("run");
        QDir().mkpath(runtime);
        ::chmod(QFile::encodeName(runtime).constData(), 0700);
        if (runtimeFolder)
            vars.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        giveTo(env.home(), userId);
        giveTo(runtime, userId);
        giveTo(target, userId);

        const QString lock = env.configHome() + QStringLiteral("Vizavuz/instance.lock");
        const QString name = QStringLiteral("vizavuz-antivirus-") +
                             QString::fromLatin1(QCryptographicHash::hash(QFile::encodeName(lock),
                                                                          QCryptographicHash::Sha1)
                                                     .toHex()
                                                     .left(16));
        Stranger stranger(temp + QStringLiteral("/stranger.log"), QStringLiteral("ok"),
                          {temp + QLatin1Char('/') + name,
                           temp + QStringLiteral("/vizavuz-antivirus-%1/").arg(userId) + name,
                           runtime + QLatin1Char('/') + name});

        QProcess first;
        first.setProcessEnvironment(vars);
        first.start(QStringLiteral("setpriv"), asUser(userId, QStringLiteral(VZ_PROGRAM), {}));
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(lock), 10000);

        QString said;
        const int scanned = laterStart(vars, {target}, &said, userId);
        const int activated = laterStart(vars, {}, &said, userId);
        if (runtimeFolder) {
            QCOMPARE(scanned, 0);
            QCOMPARE(activated, 0);
            QTRY_COMPARE_WITH_TIMEOUT(lastScanField(env, 12), 1, 60000);  // the user's scan ran
        } else {
            // The user is told, by the first start and by every later one.
            QCOMPARE(scanned, 1);
            QCOMPARE(activated, 1);
            QVERIFY2(
                said.contains(QStringLiteral("cannot be reached: the folder")) &&
                    said.contains(
                        QStringLiteral("belongs to another user (user id %1)").arg(strangerId)),
                qPrintable(said));
        }
        QCOMPARE(stranger.heard(), QByteArray());

        ::kill(pid_t(first.processId()), SIGTERM);
        QVERIFY(first.waitForFinished(10000));
        const QString firstSaid = QString::fromLocal8Bit(first.readAllStandardError());
        QCOMPARE(firstSaid.contains(QStringLiteral("cannot reach this one")), !runtimeFolder);
    }

    // Both ends look at who is at the other: a client of another user is not heard, and a
    // socket served by another user gets no request.
    void peersOfAnotherUserAreNotHeard() {
        TestEnv env;
        const PrivateSockets sockets(env);
        const QString folder = env.configHome() + QStringLiteral("Vizavuz");
        const QString temp = sharedTemp(env);
        {
            SingleInstance running(folder);
            QVERIFY(running.claim());
            QVERIFY2(running.problem().isEmpty(), qPrintable(running.problem()));
            int handled = 0;
            running.setScanHandler([&handled](const QStringList &) {
                ++handled;
                return QString();
            });
            QSignalSpy asked(&running, &SingleInstance::activationRequested);
            // Opened up by mistake, the socket is still the user's alone.
            const QString socket = running.socketPath();
            ::chmod(QFile::encodeName(QFileInfo(socket).path()).constData(), 0711);
            ::chmod(QFile::encodeName(socket).constData(), 0777);
            for (const QString &message : {QStringLiteral("activate\n"), QStringLiteral("scan")}) {
                QProcess client;
                client.start(QStringLiteral("setpriv"),
                             asUser(strangerId, QStringLiteral(VZ_SOCKETPEER),
                                    {QStringLiteral("send"), socket, message}));
                QTRY_VERIFY_WITH_TIMEOUT(client.state() == QProcess::NotRunning, 10000);
                QCOMPARE(client.exitCode(), 4);  // connected, and not answered
            }
            QTest::qWait(200);
            QCOMPARE(asked.count(), 0);
            QCOMPARE(handled, 0);
            ::chmod(QFile::encodeName(QFileInfo(socket).path()).constData(), 0700);
        }

        // The stranger's socket put where the user's program would listen.
        SingleInstance later(folder);
        Stranger stranger(temp + QStringLiteral("/stranger.log"), QStringLiteral("ok"),
                          {temp + QStringLiteral("/stranger/socket")});
        QVERIFY(QFile::rename(temp + QStringLiteral("/stranger/socket"), later.socketPath()));
        QString refusal;
        QCOMPARE(later.requestScan({QStringLiteral("/tmp")}, &refusal, 2000),
                 SingleInstance::ScanAnswer::Unreachable);
        QVERIFY2(later.problem().contains(
                     QStringLiteral("served by another user (user id %1)").arg(strangerId)),
                 qPrintable(later.problem()));
        QVERIFY(!later.activateRunning(1000));
        QCOMPARE(stranger.heard(), QByteArray());
    }

    // What the running program sends as its reason is printed without its control
    // characters, and not at any length.
    void refusalsArePrintedTamed() {
        TestEnv env;
        const PrivateSockets sockets(env);
        SingleInstance running(env.configHome() + QStringLiteral("Vizavuz"));
        QVERIFY(running.claim());
        running.setScanHandler([](const QStringList &) {
            return QStringLiteral(
                       "\x1b[2J\x1b[H\x1b[32mYour files are clean\x07\r\n\u009b1m\u202e") +
                   QString(5000, QLatin1Char('x'));
        });
        QString said;
        QCOMPARE(laterStart(programEnvironment(env), {env.root()}, &said), 1);
        for (const char byte : said.toUtf8())
            QVERIFY2((uchar(byte) >= 0x20 && uchar(byte) != 0x7f) || byte == '\n',
                     qPrintable(said));
        said = said.mid(said.indexOf(QStringLiteral("vizavuz-antivirus: ")));
        QVERIFY2(said.startsWith(QStringLiteral("vizavuz-antivirus: nothing was scanned: "
                                                "\\x1b[2J\\x1b[H\\x1b[32mYour files are "
                                                "clean\\x07\\x0d\\x0a\\x9b1m\\u{202e}xxx")),
                 qPrintable(said));
        QVERIFY2(said.endsWith(QStringLiteral("x\u2026\n")) && said.size() < 400, qPrintable(said));
    }

    // A relative path from a folder that no longer has a name scans nothing, whether the
    // program runs or not: it would otherwise be taken from the root.
    void relativePathsFromADeletedFolder_data() {
        QTest::addColumn<bool>("running");
        QTest::addColumn<QString>("path");
        QTest::newRow("not running, .") << false << ".";
        QTest::newRow("running, .") << true << ".";
        QTest::newRow("running, ..") << true << "..";
    }
    void relativePathsFromADeletedFolder() {
        QFETCH(bool, running);
        QFETCH(QString, path);
        TestEnv env;
        const PrivateSockets sockets(env);
        SingleInstance first(env.configHome() + QStringLiteral("Vizavuz"));
        QStringList handled;
        if (running) {
            QVERIFY(first.claim());
            first.setScanHandler([&handled](const QStringList &paths) {
                handled << paths;
                return QString();
            });
        }
        const QString gone = env.root() + QStringLiteral("gone");
        QVERIFY(QDir().mkpath(gone));
        QString said;
        QCOMPARE(laterStart(programEnvironment(env),
                            {QStringLiteral("-c"),
                             QStringLiteral("cd \"$1\" && rmdir \"$1\" && exec \"$0\" \"$2\""),
                             QStringLiteral(VZ_PROGRAM), gone, path},
                            &said, 0, {}, QStringLiteral("sh")),
                 2);
        QVERIFY2(said.startsWith(QStringLiteral("vizavuz-antivirus: cannot scan '%1': the folder "
                                                "the command runs in was deleted\n")
                                     .arg(path)),
                 qPrintable(said));
        QTest::qWait(200);
        QCOMPARE(handled, QStringList());
        QVERIFY(!QFile::exists(env.dataFolder()));  // nothing started either
    }

    // Short names from a deep folder: 8,000 make a request just under the limit, taken in
    // time as a whole; 10,000 make one over it, which both ends say.
    void requestsNearAndOverTheLimit() {
        TestEnv env;
        const PrivateSockets sockets(env);
        SingleInstance running(env.configHome() + QStringLiteral("Vizavuz"));
        QVERIFY(running.claim());
        int handled = 0;
        qsizetype pathCount = 0;
        running.setScanHandler([&handled, &pathCount](const QStringList &paths) {
            ++handled;
            pathCount = paths.size();
            return QString();
        });
        QString deep = env.root();
        while (deep.size() < 1800)
            deep += QString(200, QLatin1Char('d')) + QLatin1Char('/');
        TestEnv::writeFile(deep + QStringLiteral("f"), "f");
        QString said;
        QCOMPARE(laterStart(programEnvironment(env), QStringList(8000, QStringLiteral("f")), &said,
                            0, deep),
                 0);
        QCOMPARE(handled, 1);
        QCOMPARE(pathCount, 8000);
        handled = 0;
        QCOMPARE(laterStart(programEnvironment(env), QStringList(10000, QStringLiteral("f")), &said,
                            0, deep),
                 1);
        QVERIFY2(said.contains(QStringLiteral("nothing was scanned: the request is too large: "
                                              "its paths make 18")) &&
                     said.contains(QStringLiteral("over the limit of 16 MiB")),
                 qPrintable(said));
        QCOMPARE(handled, 0);

        // A start that sends it anyway is told too, not left waiting.
        QLocalSocket socket;
        socket.connectToServer(running.socketPath());
        QVERIFY(socket.waitForConnected(2000));
        socket.write("scan\n" + QByteArray(SingleInstance::maxRequest + 100, 'a'));
        QByteArray reply;
        QTRY_VERIFY_WITH_TIMEOUT((reply += socket.readAll()).contains('\0'), 20000);
        QVERIFY2(reply.startsWith("refused:the request is too large: over the limit of 16 MiB"),
                 reply.constData());
        QCOMPARE(handled, 0);
    }

    // The paths scanned are those the system would open for the names given.
    void pathsAsTheSystemNamesThem_data() {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("path");  // below the test's root; empty: refused
        QTest::newRow("relative") << "real/inner/./file"
                                  << "real/inner/file";
        QTest::newRow("up through a link") << "link/.."
                                           << "real";
        QTest::newRow("up through a link, then down") << "link/../inner/file"
                                                      << "real/inner/file";
        QTest::newRow("up to a folder without the name") << "link/../../link"
                                                         << "link";
        QTest::newRow("missing below a link") << "link/../nothing"
                                              << "";
    }
    void pathsAsTheSystemNamesThem() {
        QFETCH(QString, argument);
        QFETCH(QString, path);
        TestEnv env;
        TestEnv::writeFile(env.root() + QStringLiteral("real/inner/file"), "x");
        QVERIFY(QFile::link(env.root() + QStringLiteral("real/inner"),
                            env.root() + QStringLiteral("link")));
        const QString root = QFileInfo(env.root()).canonicalFilePath();
        const CommandLine command = CommandLine::parse({QFile::encodeName(argument)}, root);
        if (path.isEmpty()) {
            QCOMPARE(command.action, CommandLine::Action::Fail);
        } else {
            QCOMPARE(command.action, CommandLine::Action::Run);
            QCOMPARE(command.paths, QStringList{root + QLatin1Char('/') + path});
        }
    }

    // Text from elsewhere, as a terminal would show it.
    void printableText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << QStringLiteral("Scan again, später.")
                               << QStringLiteral("Scan again, später.");
        QTest::newRow("escapes") << QStringLiteral("a\x1b]0;title\x07\x7f\\b")
                                 << QStringLiteral("a\\x1b]0;title\\x07\\x7f\\\\b");
        QTest::newRow("C1 and direction marks") << QStringLiteral("\u009b31m\u202egpj.exe")
                                                << QStringLiteral("\\x9b31m\\u{202e}gpj.exe");
        QTest::newRow("cut") << QString(301, QLatin1Char('y'))
                             << QString(300, QLatin1Char('y')) + QChar(0x2026);
        QTest::newRow("at the cap")
            << QString(300, QLatin1Char('y')) << QString(300, QLatin1Char('y'));
    }
    void printableText() {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(CommandLine::printable(text), shown);
    }

    void scheduledRunsScanInTheTrayOrAreSkippedWhenBusy() {
        TestEnv env;
        TestEnv::makeEicarDatabase(env.dataFolder() + QStringLiteral("db/"));
        const QString folder = env.root() + QStringLiteral("targets/");
        TestEnv::writeFile(folder + QStringLiteral("inside.com"), TestEnv::eicar());
        env.writeRegistryValue(QStringLiteral("schedule"), "REG_SZ", "daily 1 02:00 custom any");
        env.writeRegistryValue(QStringLiteral("schedulefolders"), "REG_BINARY",
                               QFile::encodeName(folder) + '\0');
        const QProcessEnvironment vars = programEnvironment(env);
        const QString lock = env.configHome() + QStringLiteral("Vizavuz/instance.lock");
        auto scheduled = [&vars](QString *output) {
            QProcess process;
            process.setProcessEnvironment(vars);
            process.setProcessChannelMode(QProcess::MergedChannels);
            process.start(QStringLiteral(VZ_PROGRAM), {QStringLiteral("--scheduled")});
            process.waitForFinished(30000);
            *output = QString::fromLocal8Bit(process.readAll());
            return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        };
        // The job's own process ends at once; the program goes on by itself and scans.
        QString said;
        QCOMPARE(scheduled(&said), 0);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(lock), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(lastScanField(env, 12), 1, 60000);
        QCOMPARE(lastScanField(env, 60), 1);
        // Its findings wait for the user: the next run is skipped and says why.
        QCOMPARE(scheduled(&said), 1);
        QVERIFY2(said.contains(QStringLiteral("the scheduled scan was skipped: Vizavuz AntiVirus "
                                              "is waiting")),
                 qPrintable(said));
        QCOMPARE(lastScanField(env, 12), 1);

        ScanLog log(env.dataFolder() + QStringLiteral("scanlog.sqlite"));
        QVERIFY(log.open());
        const QList<ScanLogEntry> logged = log.entries();
        QCOMPARE(logged.size(), 2);
        QCOMPARE(logged[0].kind, ScanLogEntry::Kind::Skipped);
        QCOMPARE(logged[1].kind, ScanLogEntry::Kind::Scheduled);
        QCOMPARE(logged[1].infections, 1);

        QFile held(lock);
        QVERIFY(held.open(QIODevice::ReadOnly));
        const qint64 pid = held.readLine().trimmed().toLongLong();
        QVERIFY(pid > 0);
        QCOMPARE(::kill(pid_t(pid), SIGTERM), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(lock), 10000);
    }

    // The scheduled job's exit code and words say what became of the run, and the log holds
    // the same: 0 when it scans, else 1 and whether it was skipped or failed. A running program
    // that does not answer cannot log the run: the job does, without starting the program, in
    // the data folder the program uses.
    void scheduledJobsSayAndLogWhatBecameOfTheRun_data() {
        QTest::addColumn<QString>("running");  // none, answering, hung, lock (held, nobody listens)
        QTest::addColumn<QByteArray>("schedule");
        QTest::addColumn<bool>("storedFolder");  // the data folder the key store names
        QTest::addColumn<bool>("logUnusable");   // a folder where the log should be
        QTest::addColumn<bool>("display");       // the job can reach a display
        QTest::addColumn<QString>("says");
        QTest::addColumn<int>("outcome");  // of the one logged entry; -1: none
        const QByteArray off("off 1 02:00 custom any"), daily("daily 1 02:00 custom any");
        const QString turnedOff("the scheduled scan was skipped: Scheduled scans are turned off.");
        const QString noDatabase("the scheduled scan failed: No virus database");
        const QString noAnswer(
            "the scheduled scan was skipped: the running program did not answer");
        const int skipped = int(ScanLogEntry::Outcome::Skipped);
        const int failed = int(ScanLogEntry::Outcome::Failed);
        QTest::newRow("turned off, first start")
            << "none" << off << false << false << true << turnedOff << skipped;
        QTest::newRow("no database, first start")
            << "none" << daily << false << false << true << noDatabase << failed;
        QTest::newRow("turned off, program running")
            << "answering" << off << false << false << true << turnedOff << skipped;
        QTest::newRow("no database, program running")
            << "answering" << daily << false << false << true << noDatabase << failed;
        // A user manager without DISPLAY, a crontab line with a stale one.
        QTest::newRow("no database, program running, no display")
            << "answering" << daily << false << false << false << noDatabase << failed;
        QTest::newRow("hung program, no display")
            << "hung" << daily << false << false << false << noAnswer << skipped;
        QTest::newRow("nobody listens, stored data folder")
            << "lock" << daily << true << false << true << noAnswer << skipped;
        QTest::newRow("nobody listens, log unusable")
            << "lock" << daily << false << true << true << noAnswer << -1;
    }
    void scheduledJobsSayAndLogWhatBecameOfTheRun() {
        QFETCH(QString, running);
        QFETCH(QByteArray, schedule);
        QFETCH(bool, storedFolder);
        QFETCH(bool, logUnusable);
        QFETCH(bool, display);
        QFETCH(QString, says);
        QFETCH(int, outcome);
        TestEnv env;
        const QString targets = env.root() + QStringLiteral("targets/");
        TestEnv::writeFile(targets + QStringLiteral("clean.txt"), "clean");
        env.writeRegistryValue(QStringLiteral("schedule"), "REG_SZ", schedule);
        env.writeRegistryValue(QStringLiteral("schedulefolders"), "REG_BINARY",
                               QFile::encodeName(targets) + '\0');
        QString dataFolder = env.dataFolder();
        if (storedFolder) {
            dataFolder = env.root() + QStringLiteral("elsewhere/Vizavuz/");
            env.writeRegistryValue(QStringLiteral("appdatapath"), "REG_SZ",
                                   QFile::encodeName(dataFolder));
            QVERIFY(QDir().mkpath(dataFolder));
        }
        const QString logFile = dataFolder + QStringLiteral("scanlog.sqlite");
        if (logUnusable)
            QVERIFY(QDir().mkpath(logFile + QStringLiteral("/inside")));
        const QProcessEnvironment vars = programEnvironment(env);
        const QString folder = env.configHome() + QStringLiteral("Vizavuz");
        const QString lock = folder + QStringLiteral("/instance.lock");

        QProcess first;
        QDir().mkpath(folder);
        QLockFile held(lock);
        if (running == QStringLiteral("lock")) {
            QVERIFY(held.tryLock());
        } else if (running != QStringLiteral("none")) {
            first.setProcessEnvironment(vars);
            first.start(QStringLiteral(VZ_PROGRAM), {});
            // Started in full, its log open: it answers a request (of nothing).
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(lock), 20000);
            SingleInstance probe(folder);
            QVERIFY(!probe.claim());
            QCOMPARE(probe.requestScan({}), SingleInstance::ScanAnswer::Scanning);
            if (running == QStringLiteral("hung"))
                QCOMPARE(::kill(pid_t(first.processId()), SIGSTOP), 0);
        }
        QProcessEnvironment jobVars = vars;
        if (!display)
            for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
                jobVars.remove(QLatin1StringView(name));
        QString said;
        const int code = laterStart(jobVars, {QStringLiteral("--scheduled")}, &said);
        if (first.state() != QProcess::NotRunning) {
            ::kill(pid_t(first.processId()), SIGCONT);
            ::kill(pid_t(first.processId()), SIGTERM);
            QVERIFY(first.waitForFinished(10000));
            QCOMPARE(first.exitStatus(), QProcess::NormalExit);
        } else if (running == QStringLiteral("none")) {
            // Nothing was going on before: nothing stays.
            QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(lock), 10000);
        }
        QCOMPARE(code, 1);
        QVERIFY2(said.contains(says), qPrintable(said));
        if (outcome < 0) {
            // Told, and the log left as it was found for the running program.
            QVERIFY2(said.contains(QStringLiteral("The scan log ") + logFile), qPrintable(said));
            QVERIFY(QFileInfo(logFile + QStringLiteral("/inside")).isDir());
            return;
        }
        QVERIFY2(!said.contains(QStringLiteral("scan log")), qPrintable(said));
        ScanLog log(logFile);
        QVERIFY(log.open());
        const QList<ScanLogEntry> logged = log.entries();
        QCOMPARE(logged.size(), 1);
        QCOMPARE(int(logged[0].outcome), outcome);
        QCOMPARE(logged[0].kind, outcome == int(ScanLogEntry::Outcome::Failed)
                                     ? ScanLogEntry::Kind::Scheduled
                                     : ScanLogEntry::Kind::Skipped);
        // The job told what the log holds.
        QVERIFY2(said.contains(logged[0].reason), qPrintable(logged[0].reason));
        // Nothing of a program start: no computed data folder beside the stored one.
        if (storedFolder)
            QVERIFY(!QFile::exists(env.dataFolder()));
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

    // A later start with another environment (no runtime folder under ssh or cron, another
    // TMPDIR) still reaches the running program, in either direction.
    void laterStartsInAnotherEnvironmentFindTheSocket() {
        TestEnv env;
        PrivateSockets sockets(env);
        const QString folder = env.configHome() + QStringLiteral("Vizavuz");
        const QString runtime = env.root() + QStringLiteral("run");
        QVERIFY(QDir().mkpath(runtime));
        QVERIFY(QFile::setPermissions(
            runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
        for (const bool firstHasRuntime : {true, false}) {
            if (firstHasRuntime)
                qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
            SingleInstance first(folder);
            QVERIFY(first.claim());
            QSignalSpy asked(&first, &SingleInstance::activationRequested);
            if (firstHasRuntime)
                qunsetenv("XDG_RUNTIME_DIR");
            else
                qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
            SingleInstance later(folder);
            QVERIFY(later.socketPath() != first.socketPath());
            QVERIFY(!later.claim());
            QVERIFY2(later.activateRunning(2000), qPrintable(later.problem()));
            QTRY_COMPARE(asked.count(), 1);
            qunsetenv("XDG_RUNTIME_DIR");
        }
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
