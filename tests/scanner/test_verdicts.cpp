#include <algorithm>
#include <cstdio>
#include <arpa/inet.h>
#include <csignal>
#include <grp.h>
#include <netinet/in.h>
#include <thread>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <memory>

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTest>

#include "scan/enginerig.h"
#include "scan/scannerchoice.h"
#include "support/clamdprocess.h"
#include "support/testenv.h"

namespace {

// The throw-away account the scanners run as, so that files only their owner may read stay
// unreadable although the test itself may run as root.
constexpr uid_t kNobody = 65534;

struct Run {
    int exitCode = -1;
    QByteArrayList lines;  // sorted; without the lines that name times and dates
};

Run runScanner(const QString &program, const QStringList &args) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setChildProcessModifier([] {
        if (geteuid() == 0) {
            if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)
                _exit(120);
        }
    });
    process.start(program, args);
    Run run;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    for (const QByteArray &line : process.readAll().split('\n')) {
        if (line.startsWith("Time: ") || line.startsWith("Start Date: ") ||
            line.startsWith("End Date: "))
            continue;
        run.lines << line;
    }
    std::sort(run.lines.begin(), run.lines.end());
    return run;
}

void writeRaw(const QByteArray &path, const QByteArray &bytes) {
    FILE *f = std::fopen(path.constData(), "wb");
    QVERIFY2(f, path.constData());
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), f);
    std::fclose(f);
}

// Runs a shell command line in folder; the archive tools make the nested archives.
void shell(const QByteArray &folder, const QString &command) {
    QProcess process;
    process.setWorkingDirectory(QFile::decodeName(folder));
    process.start(QStringLiteral("sh"), {QStringLiteral("-c"), command});
    QVERIFY(process.waitForFinished(60000));
    QVERIFY2(process.exitCode() == 0, qPrintable(command + u' ' + process.readAllStandardError()));
}

// The lines a clamd scan cannot share with clamscan: clamd loads its own databases and does
// not report how much of each file it read.
QByteArrayList withoutEngineFigures(QByteArrayList lines) {
    lines.removeIf([](const QByteArray &line) {
        return line.startsWith("Known viruses: ") || line.startsWith("Data scanned: ") ||
               line.startsWith("Data read: ");
    });
    return lines;
}

using Clamd = ClamdProcess;

}  // namespace

// vizavuz-scan against the real clamscan on a corpus of awkward files: the same lines, summary
// counts and exit code.
class TestVerdicts : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QByteArray m_root;  // with a trailing "/"
    QByteArray m_corpus;
    QString m_database;
    std::unique_ptr<Clamd> m_clamd;  // for the verdict comparisons
    QByteArray m_many;               // a folder of many small files, for scans cut short
    qint64 m_heldPid = 0;            // the scanner runCutShort runs

private slots:
    void initTestCase() {
        if (QStandardPaths::findExecutable(QStringLiteral("clamscan")).isEmpty())
            QFAIL("clamscan is not installed (Debian package clamav)");
        for (const char *tool : {"zip", "tar"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                QFAIL(tool);
        }
        QVERIFY(m_dir.isValid());
        m_root = QFile::encodeName(m_dir.path()) + '/';
        QVERIFY(chmod(m_root.constData(), 0755) == 0);

        // One hash signature and one body signature of the test file.
        const QByteArray eicar = TestEnv::eicar();
        const QByteArray db = m_root + "db";
        QVERIFY(QDir().mkpath(QFile::decodeName(db)));
        const QByteArray md5 = QCryptographicHash::hash(eicar, QCryptographicHash::Md5).toHex();
        writeRaw(db + "/test.hdb", md5 + ":68:Eicar-Hash\n");
        writeRaw(db + "/test.ndb", "Eicar-Body:0:*:" + eicar.mid(20, 30).toHex() + '\n');
        m_database = QFile::decodeName(db);

        const QByteArray c = m_root + "corpus/";
        m_corpus = c;
        QVERIFY(QDir().mkpath(QFile::decodeName(c + "sub/deeper")));
        QVERIFY(QDir().mkpath(QFile::decodeName(c + "locked")));
        QVERIFY(QDir().mkpath(QFile::decodeName(c + "pack")));
        writeRaw(c + "eicar.com", eicar);
        writeRaw(c + "clean.txt", "nothing to see\n");
        writeRaw(c + "empty", "");
        writeRaw(c + "with blank.com", eicar);
        writeRaw(c + "caf\xc3\xa9.com", eicar);
        writeRaw(c + "latin\xe9\xff.com", eicar);
        writeRaw(c + "line\nbreak.com", eicar);
        writeRaw(c + "sub/deeper/eicar copy", eicar);
        writeRaw(c + "sub/deeper/clean", "clean\n");
        writeRaw(c + "unreadable.com", eicar);
        QVERIFY(chmod(c + "unreadable.com", 0) == 0);
        writeRaw(c + "locked/inside.com", eicar);
        QVERIFY(chmod(c + "locked", 0) == 0);
        writeRaw(c + "pack/eicar.com", eicar);
        shell(c + "pack", QStringLiteral("zip -q inner.zip eicar.com && zip -q outer.zip inner.zip"
                                         " && tar czf ../nested.tar.gz outer.zip"
                                         " && zip -q ../plain.zip eicar.com"
                                         " && zip -q -P secret ../encrypted.zip eicar.com"
                                         " && rm -r ../pack"));
        // Over clamscan's default limit on a file's size (100 MB): sparse, so quick to make.
        writeRaw(c + "huge.com", eicar);
        QVERIFY(truncate(c + "huge.com", 101 * 1024 * 1024) == 0);
        QVERIFY(symlink("eicar.com", c + "link-to-file") == 0);
        QVERIFY(symlink("sub", c + "link-to-folder") == 0);
        QVERIFY(symlink("missing", c + "dangling") == 0);
        QVERIFY(mkfifo(c + "fifo", 0644) == 0);
        const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray socketPath = c + "socket";
        QVERIFY(static_cast<size_t>(socketPath.size()) < sizeof address.sun_path);
        std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
        QVERIFY(bind(sock, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0);
        close(sock);
        // Deeper than clamscan descends.
        QByteArray deep = c + "deep";
        for (int level = 0; level < 18; ++level) {
            deep += "/d" + QByteArray::number(level);
            QVERIFY(QDir().mkpath(QFile::decodeName(deep)));
            writeRaw(deep + "/f.com", eicar);
        }

        m_many = m_root + "many/";
        QVERIFY(QDir().mkpath(QFile::decodeName(m_many)));
        for (int n = 0; n < kManyFiles; ++n)
            writeRaw(m_many + QByteArray::number(n),
                     n % 10 ? "clean " + QByteArray::number(n) : eicar);

        if (!ClamdProcess::installed())
            QFAIL("clamd is not installed (Debian package clamav-daemon)");
        // Streams up to the largest corpus file, so that TCP scans see what clamscan sees.
        m_clamd = std::make_unique<Clamd>(m_root + "clamd", db, "200M");
        QVERIFY(m_clamd->waitReady());
    }

private:
    static constexpr int kManyFiles = 3000;

    // Runs vizavuz-scan over the many small files with clamd at address, and calls act once
    // the first verdict is out.
    Run runCutShort(const QStringList &args, const std::function<void()> &act) {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral(VZ_PROGRAM_DIR "/vizavuz-scan"),
                      args + QStringList{QStringLiteral("--threads=1"), QFile::decodeName(m_many)});
        m_heldPid = process.processId();
        QByteArray output;
        while (!output.contains(": OK") && process.waitForReadyRead(30000))
            output += process.readAll();
        act();
        Run run;
        if (process.state() != QProcess::NotRunning && !process.waitForFinished(120000))
            return run;
        output += process.readAll();
        run.exitCode = process.exitCode();
        run.lines = output.split('\n');
        return run;
    }

private slots:
    void cleanupTestCase() {
        // QTemporaryDir cannot remove names that are not UTF-8.
        if (!m_corpus.isEmpty()) {
            chmod(m_corpus + "locked", 0755);
            shell(m_root, QStringLiteral("rm -rf corpus"));
        }
        if (!m_root.isEmpty())
            shell(m_root, QStringLiteral("rm -rf long"));  // deeper than QDir removes
    }

    void sameLinesCountsAndExitCode_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("ownOptions");  // for vizavuz-scan alone
        QTest::addColumn<QByteArrayList>("targets");
        QTest::addColumn<int>("exitCode");
        const QByteArray c = m_corpus;
        const QStringList base{QStringLiteral("--recursive"), QStringLiteral("--cross-fs=no")};
        const QStringList none;
        QTest::newRow("tree") << base << none << QByteArrayList{c} << 1;
        QTest::newRow("tree on one thread")
            << base << QStringList{QStringLiteral("--threads=1")} << QByteArrayList{c} << 1;
        QTest::newRow("tree on many threads")
            << base << QStringList{QStringLiteral("--threads=7")} << QByteArrayList{c} << 1;
        QTest::newRow("links, special and missing targets")
            << base << none
            << QByteArrayList{c + "link-to-file", c + "link-to-folder/", c + "dangling",
                              c + "fifo",         c + "socket",          c + "nothing-here"}
            << 1;
        QTest::newRow("only errors")
            << base << none
            << QByteArrayList{c + "unreadable.com", c + "locked", c + "clean.txt", c + "empty"}
            << 2;
        QTest::newRow("clean") << base << none
                               << QByteArrayList{c + "clean.txt", c + "sub/deeper/clean"} << 0;
        QTest::newRow("exclusions") << base + QStringList{QStringLiteral("--exclude=\\.zip$"),
                                                          QStringLiteral("--exclude=blank"),
                                                          QStringLiteral("--exclude=(unbalanced"),
                                                          QStringLiteral("--exclude-dir=deeper/"),
                                                          QStringLiteral("--exclude-dir=/d5$")}
                                    << none << QByteArrayList{c} << 1;
        QTest::newRow("database that cannot be loaded")
            << base + QStringList{QStringLiteral("--database=") + QFile::decodeName(m_root) +
                                  QStringLiteral("no-such-db")}
            << none << QByteArrayList{c + "eicar.com"} << 2;
        QTest::newRow("excluded target")
            << base + QStringList{QStringLiteral("--exclude-dir=corpus/")} << none
            << QByteArrayList{c, c + "eicar.com"} << 1;
    }

    void sameLinesCountsAndExitCode() {
        QFETCH(QStringList, options);
        QFETCH(QStringList, ownOptions);
        QFETCH(QByteArrayList, targets);
        QFETCH(int, exitCode);
        QStringList args = options;
        args << QStringLiteral("--database=") + m_database;
        for (const QByteArray &target : targets)
            args << QFile::decodeName(target);

        const Run clamscan = runScanner(QStringLiteral("clamscan"), args);
        const Run own =
            runScanner(QStringLiteral(VZ_PROGRAM_DIR "/vizavuz-scan"), ownOptions + args);
        QCOMPARE(clamscan.exitCode, exitCode);
        QCOMPARE(own.exitCode, clamscan.exitCode);
        // Lines are sorted: the order between files is free, the set must be equal.
        QCOMPARE(own.lines, clamscan.lines);
        QVERIFY(clamscan.lines.contains("----------- SCAN SUMMARY -----------"));

        // clamd loads its databases itself: a database option has nothing to fail on.
        if (QByteArray(QTest::currentDataTag()).contains("database"))
            return;
        for (const QString &address : {m_clamd->localAddress(), m_clamd->tcpAddress()}) {
            const Run clamd =
                runScanner(QStringLiteral(VZ_PROGRAM_DIR "/vizavuz-scan"),
                           ownOptions + QStringList{QStringLiteral("--clamd=") + address} + args);
            QCOMPARE(clamd.exitCode, clamscan.exitCode);
            QCOMPARE(withoutEngineFigures(clamd.lines), withoutEngineFigures(clamscan.lines));
        }
    }

    // clamd killed, silent or talking nonsense in the middle of a scan: the files it left are
    // scanned with the databases given, or the scan fails saying so; never a summary with
    // files missing.
    void clamdStoppingMidScan_data() {
        QTest::addColumn<QByteArray>("server");
        QTest::addColumn<bool>("withDatabase");
        for (const char *server :
             {"killed", "silent", "garbage", "unknown id", "trickling", "another user's"}) {
            QTest::addRow("%s, own engine takes over", server) << QByteArray(server) << true;
            QTest::addRow("%s, scan fails", server) << QByteArray(server) << false;
        }
    }

    void clamdStoppingMidScan() {
        QFETCH(QByteArray, server);
        QFETCH(bool, withDatabase);
        static int faultRuns = 0;
        const QByteArray folder = m_root + "fault" + QByteArray::number(++faultRuns);
        QVERIFY(QDir().mkpath(QFile::decodeName(folder)));
        std::unique_ptr<Clamd> clamd;
        std::unique_ptr<FakeClamd> fake;
        QString address;
        if (server == "killed") {
            clamd = std::make_unique<Clamd>(folder, QFile::encodeName(m_database), "10M");
            QVERIFY(clamd->waitReady());
            address = clamd->localAddress();
        } else {
            const QByteArray answer = server == "silent"    ? QByteArray()
                                      : server == "garbage" ? QByteArray("HTTP/1.0 400 Bad\r\n", 19)
                                                            : QByteArray("7: stream: OK", 14);
            // A reply that never ends, a byte at a time, each well within the time-out.
            if (server == "trickling")
                fake = std::make_unique<FakeClamd>(folder + "/fake.sock", "1: stream: O", 200);
            else if (server == "another user's")  // which would call everything clean
                fake = std::make_unique<FakeClamd>(folder + "/fake.sock",
                                                   QByteArray("1: fd[9]: OK", 13), 0, 4242);
            else
                fake = std::make_unique<FakeClamd>(folder + "/fake.sock", answer);
            address = QFile::decodeName(folder + "/fake.sock");
        }
        QStringList args{QStringLiteral("--clamd=") + address, QStringLiteral("--clamd-timeout=1")};
        if (withDatabase)
            args << QStringLiteral("--database=") + m_database;
        const Run run = runCutShort(args, [&] {
            if (clamd)
                clamd->kill();
        });
        const QByteArray reason =
            "clamd at " + QFile::encodeName(address) +
            (server == "another user's" ? " is run by another user" : " stopped answering");
        const QByteArray failure = "ERROR: " + reason;
        if (!withDatabase) {
            QCOMPARE(run.exitCode, 2);
            QVERIFY2(run.lines.contains(failure), run.lines.join('\n').right(2000).constData());
            QVERIFY(!run.lines.contains("----------- SCAN SUMMARY -----------"));
            return;
        }
        // Every file exactly once, with its verdict.
        QCOMPARE(run.exitCode, 1);
        QVERIFY(!run.lines.contains(failure));
        // clamd failed before the scan ended: the own engine took over.
        QVERIFY(run.lines.contains("WARNING: " + reason +
                                   "; the rest is scanned with the databases given"));
        QMap<QByteArray, QByteArray> verdicts;
        for (const QByteArray &line : run.lines) {
            if (!line.startsWith(m_many))
                continue;
            const qsizetype colon = line.indexOf(": ");
            QVERIFY2(!verdicts.contains(line.left(colon)), line.constData());
            verdicts[line.left(colon)] = line.mid(colon + 2);
        }
        QCOMPARE(verdicts.size(), kManyFiles);
        for (auto it = verdicts.cbegin(); it != verdicts.cend(); ++it) {
            const bool infected = it.key().mid(m_many.size()).toInt() % 10 == 0;
            QVERIFY2(infected ? it.value().endsWith(" FOUND") : it.value() == "OK",
                     it.key().constData());
        }
        QVERIFY(run.lines.contains("Scanned files: " + QByteArray::number(kManyFiles)));
        QVERIFY(run.lines.contains("Infected files: " + QByteArray::number(kManyFiles / 10)));
    }

    // A scanner held longer than clamd's time-outs and its own (as a paused scan is): every
    // file still gets its verdict, and the summary equals that of a scan never held.
    void pauseLongerThanClamdTimeOutsLosesNoFile_data() {
        QTest::addColumn<bool>("tcp");
        QTest::addColumn<int>("stopSignal");
        QTest::newRow("local socket, stopped") << false << int(SIGSTOP);
        QTest::newRow("TCP, stopped") << true << int(SIGSTOP);
        QTest::newRow("local socket, output not read") << false << 0;
        QTest::newRow("TCP, output not read") << true << 0;
    }

    // Held in the middle of the first stream of a session, which clamd then drops unanswered.
    void pauseInTheFirstStreamLosesNoFile() {
        const QByteArray folder = m_root + "pause-stream";
        Clamd clamd(folder, QFile::encodeName(m_database), "1000M",
                    "ReadTimeout 1\nIdleTimeout 1\nCommandReadTimeout 1\n");
        // Streams long enough to be held in the middle: sparse, so quick to make.
        const QByteArray big = m_root + "big/";
        QVERIFY(QDir().mkpath(QFile::decodeName(big)));
        constexpr int files = 3;
        for (int n = 0; n < files; ++n) {
            writeRaw(big + QByteArray::number(n), "start " + QByteArray::number(n));
            QVERIFY(truncate(big + QByteArray::number(n), 400 * 1024 * 1024) == 0);
        }
        QVERIFY(clamd.waitReady());
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(
            QStringLiteral(VZ_PROGRAM_DIR "/vizavuz-scan"),
            {QStringLiteral("--clamd=") + clamd.tcpAddress(), QStringLiteral("--clamd-timeout=2"),
             QStringLiteral("--threads=1"), QFile::decodeName(big)});
        QVERIFY(process.waitForStarted());
        QThread::msleep(150);
        ::kill(pid_t(process.processId()), SIGSTOP);
        QThread::sleep(4);
        ::kill(pid_t(process.processId()), SIGCONT);
        QVERIFY(process.waitForFinished(120000));
        const QByteArray output = process.readAll();
        QVERIFY2(process.exitCode() == 0, output.constData());
        QCOMPARE(output.count(": OK\n"), files);
        QVERIFY(output.contains("\nScanned files: " + QByteArray::number(files) + '\n'));
    }

    void pauseLongerThanClamdTimeOutsLosesNoFile() {
        QFETCH(bool, tcp);
        QFETCH(int, stopSignal);
        static int pauseRuns = 0;
        const QByteArray folder = m_root + "pause" + QByteArray::number(++pauseRuns);
        Clamd clamd(folder, QFile::encodeName(m_database), "10M",
                    "ReadTimeout 1\nIdleTimeout 1\nCommandReadTimeout 1\n");
        QVERIFY(clamd.waitReady());
        const QString address = tcp ? clamd.tcpAddress() : clamd.localAddress();
        // No databases: a file clamd leaves unanswered cannot be scanned otherwise.
        const QStringList args{QStringLiteral("--clamd=") + address,
                               QStringLiteral("--clamd-timeout=2")};
        Run held = runCutShort(args, [&] {
            const qint64 pid = m_heldPid;
            if (stopSignal)
                ::kill(pid_t(pid), SIGSTOP);
            // Past clamd's time-outs and the scanner's own.
            QThread::sleep(4);
            if (stopSignal)
                ::kill(pid_t(pid), SIGCONT);
        });
        QByteArrayList lines = held.lines;
        std::sort(lines.begin(), lines.end());
        QVERIFY2(held.exitCode == 1, lines.join('\n').right(3000).constData());
        QMap<QByteArray, QByteArray> verdicts;
        for (const QByteArray &line : std::as_const(lines)) {
            if (!line.startsWith(m_many))
                continue;
            const qsizetype colon = line.indexOf(": ");
            QVERIFY2(!verdicts.contains(line.left(colon)), line.constData());
            verdicts[line.left(colon)] = line.mid(colon + 2);
        }
        QCOMPARE(verdicts.size(), kManyFiles);
        for (auto it = verdicts.cbegin(); it != verdicts.cend(); ++it) {
            const bool infected = it.key().mid(m_many.size()).toInt() % 10 == 0;
            QVERIFY2(infected ? it.value().endsWith(" FOUND") : it.value() == "OK",
                     (it.key() + ": " + it.value()).constData());
        }
        // The same summary counts as a scan that was never held.
        const Run unheld = runScanner(QStringLiteral(VZ_PROGRAM_DIR "/vizavuz-scan"),
                                      args + QStringList{QFile::decodeName(m_many)});
        QCOMPARE(unheld.exitCode, 1);
        const auto counts = [](const QByteArrayList &all) {
            QByteArrayList picked;
            for (const QByteArray &line : all)
                if (line.startsWith("Scanned files: ") || line.startsWith("Infected files: ") ||
                    line.startsWith("Total errors: ") || line.startsWith("Scanned directories: "))
                    picked << line;
            std::sort(picked.begin(), picked.end());
            return picked;
        };
        QCOMPARE(counts(lines), counts(unheld.lines));
        QVERIFY(counts(lines).contains("Scanned files: " + QByteArray::number(kManyFiles)));
    }

    // A stream over clamd's limit is an error, never clean; the requests after it on the same
    // session are answered all the same.
    void streamOverClamdsLimitIsNotClean() {
        Clamd clamd(m_root + "small-limit", QFile::encodeName(m_database), "1M");
        QVERIFY(clamd.waitReady());
        const QByteArray t = m_root + "limit/";
        QVERIFY(QDir().mkpath(QFile::decodeName(t)));
        writeRaw(t + "big", QByteArray(3 * 1024 * 1024, 'a'));
        for (int n = 0; n < 20; ++n)
            writeRaw(t + "small" + QByteArray::number(n),
                     n ? QByteArray("clean") : TestEnv::eicar());
        const Run run = runScanner(QStringLiteral(VZ_PROGRAM_DIR "/vizavuz-scan"),
                                   {QStringLiteral("--clamd=") + clamd.tcpAddress(),
                                    QStringLiteral("--threads=1"), QFile::decodeName(t)});
        QCOMPARE(run.exitCode, 1);
        QVERIFY(std::any_of(run.lines.cbegin(), run.lines.cend(), [&t](const QByteArray &line) {
            return line.startsWith(t + "small0: ") && line.endsWith(" FOUND");
        }));
        QVERIFY2(run.lines.contains(t + "big: Size limit exceeded ERROR"),
                 run.lines.join('\n').constData());
        const auto count = [&run](const char *end) {
            return std::count_if(run.lines.cbegin(), run.lines.cend(),
                                 [end](const QByteArray &line) { return line.endsWith(end); });
        };
        QCOMPARE(count(" FOUND"), 1);
        QCOMPARE(count(": OK"), 19);
        QVERIFY(run.lines.contains("Total errors: 1"));
    }

    // When clamd cannot be used the own engine scans with the size limits given, as it does
    // without clamd: the same verdicts file for file.
    void ownEngineTakingOverKeepsTheSizeLimits_data() {
        QTest::addColumn<QStringList>("limits");
        QTest::newRow("raised over the default") << QStringList{
            QStringLiteral("--max-filesize=200M"), QStringLiteral("--max-scansize=200M")};
        QTest::newRow("lowered") << QStringList{QStringLiteral("--max-filesize=10"),
                                                QStringLiteral("--max-scansize=10")};
    }

    void ownEngineTakingOverKeepsTheSizeLimits() {
        QFETCH(QStringList, limits);
        const QStringList args = limits + QStringList{QStringLiteral("--database=") + m_database,
                                                      QFile::decodeName(m_corpus + "huge.com"),
                                                      QFile::decodeName(m_corpus + "eicar.com")};
        const Run own = runScanner(QStringLiteral(VZ_PROGRAM_DIR "/vizavuz-scan"), args);
        const QByteArray nothing = m_root + "no-clamd.sock";
        Run fallback =
            runScanner(QStringLiteral(VZ_PROGRAM_DIR "/vizavuz-scan"),
                       QStringList{QStringLiteral("--clamd=") + QFile::decodeName(nothing)} + args);
        QVERIFY(fallback.lines.removeAll("WARNING: clamd at " + nothing +
                                         " stopped answering; the rest is scanned with the "
                                         "databases given") == 1);
        QCOMPARE(fallback.exitCode, own.exitCode);
        QCOMPARE(fallback.lines, own.lines);
    }

    // A name whose full path is longer than the system takes cannot be looked at or scanned:
    // it is an error of the scan, never passed over as if the folder were clean.
    void pathTooLongIsAnErrorWithEveryEngine_data() {
        QTest::addColumn<QString>("engine");
        QTest::newRow("own engine") << QStringLiteral("--database=") + m_database;
        QTest::newRow("clamd, local socket")
            << QStringLiteral("--clamd=") + m_clamd->localAddress();
        QTest::newRow("clamd, TCP") << QStringLiteral("--clamd=") + m_clamd->tcpAddress();
    }

    void pathTooLongIsAnErrorWithEveryEngine() {
        QFETCH(QString, engine);
        // A folder path of 3,850 bytes: a 250-byte name in it is over PATH_MAX (4,096).
        QByteArray folder = m_root + "long";
        for (char letter = 'a'; folder.size() < 3850; ++letter) {
            QVERIFY(mkdir(folder.constData(), 0755) == 0 || errno == EEXIST);
            folder += '/' + QByteArray(std::min<qsizetype>(240, 3850 - folder.size() - 1), letter);
        }
        QVERIFY(mkdir(folder.constData(), 0755) == 0 || errno == EEXIST);
        const QByteArray tooLong = folder + '/' + QByteArray(250, 'e');  // over PATH_MAX
        const QByteArray fitting = folder + "/short.com";
        writeRaw(fitting, TestEnv::eicar());
        shell(folder, QStringLiteral("cp short.com ") + QString(250, u'e'));
        const Run run =
            runScanner(QStringLiteral(VZ_PROGRAM_DIR "/vizavuz-scan"),
                       {engine, QStringLiteral("--recursive"), QFile::decodeName(folder)});
        QCOMPARE(run.exitCode, 1);  // as clamscan: infections outrank errors
        QVERIFY(std::any_of(run.lines.cbegin(), run.lines.cend(), [&](const QByteArray &line) {
            return line.startsWith(fitting + ": ") && line.endsWith(" FOUND");
        }));
        QVERIFY2(std::any_of(run.lines.cbegin(), run.lines.cend(),
                             [&](const QByteArray &line) {
                                 return line.startsWith(tooLong + ": ") && line.endsWith(" ERROR");
                             }),
                 run.lines.join('\n').right(600).constData());
        QVERIFY(run.lines.contains("Total errors: 1"));
        QVERIFY(run.lines.contains("Infected files: 1"));
    }

    // The program's scans run the chosen scanner and read the same figures from either.
    void programScansWithEitherScanner() {
        QMap<QByteArray, QList<qint64>> figures;
        for (const auto engine : {scannerchoice::Engine::Own, scannerchoice::Engine::Clamscan}) {
            EngineRig rig;
            TestEnv::makeEicarDatabase(rig.db());
            rig.engine->setExecutableFolder(VZ_PROGRAM_DIR "/");
            QVERIFY(scannerchoice::store(rig.data->registry(), engine).ok());
            const QByteArray t = QFile::encodeName(rig.target());
            QVERIFY(QDir().mkpath(QFile::decodeName(t + "sub")));
            writeRaw(t + "a.txt", "hello\n");
            writeRaw(t + "sub/eicar.com", TestEnv::eicar());
            writeRaw(t + "sub/caf\xe9.com", TestEnv::eicar());
            writeRaw(t + "empty", "");
            QVERIFY(rig.engine->startCustomScan({QFile::decodeName(t)}));
            QTRY_COMPARE_WITH_TIMEOUT(rig.closed->count(), 1, 60000);
            const QByteArray scanner = rig.engine->lastScannerPath();
            QCOMPARE(scanner.endsWith(engine == scannerchoice::Engine::Own ? "/vizavuz-scan"
                                                                           : "/clamscan"),
                     true);
            QCOMPARE(rig.failed->count(), 0);
            QCOMPARE(unlink(t + "sub/caf\xe9.com"), 0);  // a name QTemporaryDir cannot remove
            figures[scannerchoice::text(engine)] = {rig.engine->itemsScanned(),
                                                    rig.engine->infectionCount(),
                                                    rig.data->infections.count()};
        }
        QCOMPARE(figures.value("own"), (QList<qint64>{1, 2, 2}));
        QCOMPARE(figures.value("own"), figures.value("clamscan"));
    }

    void badArgumentsFailWithOneLine_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--memory")};
        QTest::newRow("zero threads") << QStringList{QStringLiteral("--threads=0")};
        QTest::newRow("threads not a number") << QStringList{QStringLiteral("--threads=2x")};
        QTest::newRow("no clamd time-out") << QStringList{QStringLiteral("--clamd-timeout=0")};
    }

    void badArgumentsFailWithOneLine() {
        QFETCH(QStringList, args);
        QProcess process;
        process.start(QStringLiteral(VZ_PROGRAM_DIR "/vizavuz-scan"),
                      args << QFile::decodeName(m_corpus + "clean.txt"));
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 2);
        const QByteArray output = process.readAllStandardError();
        QVERIFY2(output.contains("ERROR"), output.constData());
    }
};

QTEST_GUILESS_MAIN(TestVerdicts)
#include "test_verdicts.moc"
