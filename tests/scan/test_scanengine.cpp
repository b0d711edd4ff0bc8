#include <QTest>

#include "enginerig.h"

using namespace scantest;

namespace {

QStringList readLines(const QString &path) {
    QStringList lines = QString::fromLocal8Bit(TestEnv::readFile(path)).split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

}  // namespace

class TestScanEngine : public QObject {
    Q_OBJECT
private slots:
    void commandLineOfAFullScan() {
        EngineRig rig;
        rig.useFakeScanner();
        TestEnv::writeFile(rig.db() + "daily.cvd", "d");
        TestEnv::writeFile(rig.db() + "main2.cvd", "staged");
        TestEnv::writeFile(rig.db() + "daily2.cvd", "staged");
        rig.engine->setMountInfoSource([] {
            return QByteArray(
                "27 1 254:0 / / rw - ext4 /dev/vda rw\n"
                "28 27 8:1 / /mnt/b\\040c rw - xfs /dev/sdb1 rw\n"
                "29 27 0:5 / /proc rw - proc proc rw\n");
        });
        QCOMPARE(rig.engine->fixedDisks(), (QStringList{"/", "/mnt/b c/"}));
        const QString args = rig.env.root() + "args.txt";
        const QString cwd = rig.env.root() + "cwd.txt";
        qputenv("FAKE_CLAMSCAN_ARGS", QFile::encodeName(args));
        qputenv("FAKE_CLAMSCAN_CWD", QFile::encodeName(cwd));
        QSignalSpy view(rig.engine.get(), &ScanEngine::progressViewRequested);

        rig.engine->fullScanCommand();
        QCOMPARE(view.count(), 1);
        QCOMPARE(rig.session().state(), QStringLiteral("scanning"));
        QCOMPARE(rig.session().selectedScanButton(), 11);
        QVERIFY(rig.session().progressTimerOn());
        QVERIFY(!QFile::exists(rig.db() + "main2.cvd"));
        QVERIFY(!QFile::exists(rig.db() + "daily2.cvd"));
        QTRY_COMPARE(rig.closed->count(), 1);
        QCOMPARE(readLines(args), (QStringList{"--recursive", "--database=" + rig.db() + "main.cvd",
                                               "--database=" + rig.db() + "daily.cvd",
                                               "--cross-fs=no", "/", "/mnt/b c/"}));
        QCOMPARE(readLines(cwd), QStringList{QDir(rig.env.programFolder()).canonicalPath()});
    }

    void commandLineOfACustomScan() {
        EngineRig rig;
        rig.useFakeScanner();
        const QString args = rig.env.root() + "args.txt";
        qputenv("FAKE_CLAMSCAN_ARGS", QFile::encodeName(args));
        const QString spaced = rig.env.root() + "My Files";
        QDir().mkpath(spaced);
        QVERIFY(rig.engine->startCustomScan({spaced, spaced + "/"}));
        QVERIFY(!rig.engine->startCustomScan({"/"}));  // not idle
        QTRY_COMPARE(rig.closed->count(), 1);
        QCOMPARE(readLines(args), (QStringList{"--recursive", "--database=" + rig.db() + "main.cvd",
                                               "--cross-fs=no", spaced + "/"}));
        QVERIFY(!rig.engine->startCustomScan({}));
        QCOMPARE(rig.session().state(), QStringLiteral("idle"));
    }

    void cleanScanCompletes() {
        EngineRig rig;
        rig.useFakeScanner();
        TestEnv::writeFile(rig.data->folders.listFile(), "older list");
        const QString t = rig.target();
        rig.fakeOutput(QFile::encodeName(t) + "a: OK\n" + QFile::encodeName(t) +
                       "b: OK\n\n----------- SCAN SUMMARY -----------\nScanned files: 2\n");
        QVERIFY(rig.engine->startCustomScan({t}));
        QTRY_COMPARE(rig.closed->count(), 1);
        QCOMPARE(rig.session().state(), QStringLiteral("idle"));
        QCOMPARE(rig.session().status(), QStringLiteral("Scanning Complete"));
        QCOMPARE(rig.session().percentText(), QStringLiteral("100%"));
        QCOMPARE(rig.session().percent(), 100);
        QCOMPARE(rig.session().scannedText(), QStringLiteral("Items Scanned: 2"));
        QCOMPARE(rig.session().selectedScanButton(), 0);
        QVERIFY(!rig.session().progressTimerOn());
        QCOMPARE(rig.cleanWindow->count(), 1);
        QCOMPARE(rig.foundWindow->count(), 0);
        QCOMPARE(rig.failed->count(), 0);
        QCOMPARE(rig.incomplete->count(), 0);
        QCOMPARE(TestEnv::readFile(rig.data->folders.listFile()), QByteArray("older list"));
        QCOMPARE(rig.storedLastScan(), lastScanImage(1, 2, 0, 1, 0, 2, 0, today(), 0));

        // The next scan starts with an empty bar and its text at 0 %, not the last "100%".
        qputenv("FAKE_CLAMSCAN_HANG", "1");
        QVERIFY(rig.engine->startCustomScan({t}));
        QCOMPARE(rig.session().percent(), 0);
        QCOMPARE(rig.session().percentText(), QStringLiteral("0%"));
        QCOMPARE(rig.session().status(), QStringLiteral("Preparing to Scan ..."));
        rig.engine->stopRoutine();
    }

    void infectedScanWritesItsList() {
        EngineRig rig;
        rig.useFakeScanner();
        rig.fakeOutput(
            "/t/x/one.com: Eicar FOUND\r\n/t/x/ok: OK\r\n/t/y/two.exe: Win.Trojan FOUND\r\n"
            "/t/z: three: Pua.Thing FOUND\r\n",
            1);
        QVERIFY(rig.engine->startCustomScan({rig.target()}));
        QTRY_COMPARE(rig.closed->count(), 1);
        QCOMPARE(rig.foundWindow->count(), 1);
        QCOMPARE(rig.foundWindow->at(0).at(0).toInt(), 3);
        QCOMPARE(rig.cleanWindow->count(), 0);
        QCOMPARE(rig.session().infectionRows(), 3);
        QCOMPARE(rig.session().foundText(), QStringLiteral("Infections Found: 3"));
        QByteArray expected = recordImage("/t/x/one.com", "Eicar ") +
                              recordImage("/t/y/two.exe", "Win.Trojan ") +
                              recordImage("/t/z: three", "Pua.Thing ");
        expected += QByteArray(497 * 563, '\0');
        QCOMPARE(TestEnv::readFile(rig.data->folders.listFile()), expected);
        QCOMPARE(rig.storedLastScan(), lastScanImage(1, 1, 0, 1, 3, 1, 0, today(), 3));

        // A second scan starts from zero and adds to the totals.
        rig.fakeOutput("/t/q: OK\n");
        QVERIFY(rig.engine->startCustomScan({rig.target()}));
        QCOMPARE(rig.session().infectionRows(), 0);
        QCOMPARE(rig.session().foundText(), QStringLiteral("Infections Found: 0"));
        QTRY_COMPARE(rig.closed->count(), 2);
        QCOMPARE(rig.storedLastScan(), lastScanImage(1, 2, 0, 2, 3, 1, 0, today(), 0));
    }

    void outputInThePipeIsParsedBeforeTheClose() {
        EngineRig rig;
        rig.useFakeScanner();
        qputenv("FAKE_CLAMSCAN_FLOOD", "30000");
        rig.fakeOutput("/t/last: OK");  // no line end: taken at the close
        QVERIFY(rig.engine->startCustomScan({rig.target()}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.closed->count(), 1, 30000);
        QCOMPARE(rig.engine->itemsScanned(), 30001);
        QCOMPARE(rig.session().scannedText(), QStringLiteral("Items Scanned: 30001"));
    }

    void moreInfectionsThanTheListHolds() {
        EngineRig rig;
        rig.useFakeScanner();
        QByteArray out;
        for (int i = 0; i < 520; ++i)
            out += "/t/f" + QByteArray::number(i) + ": X FOUND\n";
        rig.fakeOutput(out, 1);
        QVERIFY(rig.engine->startCustomScan({rig.target()}));
        QTRY_COMPARE(rig.closed->count(), 1);
        QCOMPARE(rig.foundWindow->count(), 1);
        // Every figure counts all 520; 500 of them are listed.
        QCOMPARE(rig.foundWindow->at(0).at(0).toInt(), 520);
        QCOMPARE(rig.engine->infectionCount(), 500);
        QCOMPARE(rig.incomplete->count(), 1);
        QCOMPARE(rig.incomplete->at(0).at(0).toInt(), 0);
        QCOMPARE(rig.incomplete->at(0).at(1).toInt(), 20);
        QCOMPARE(TestEnv::readFile(rig.data->folders.listFile()).size(), 281500);
        QCOMPARE(rig.storedLastScan(), lastScanImage(1, 0, 0, 1, 520, 0, 0, today(), 520));
    }

    void pauseAndResumeFollowTheState() {
        EngineRig rig;
        rig.useFakeScanner();
        qputenv("FAKE_CLAMSCAN_HANG", "1");
        rig.fakeOutput("/t/a: OK\n");
        QVERIFY(rig.engine->startCustomScan({rig.target()}));
        QTRY_COMPARE(rig.engine->itemsScanned(), 1);

        rig.engine->pauseScan();
        QCOMPARE(rig.session().state(), QStringLiteral("paused"));
        QCOMPARE(rig.session().selectedScanButton(), 12);
        rig.engine->pauseScan();  // not scanning: nothing
        QCOMPARE(rig.session().selectedScanButton(), 12);
        // The full-scan command while paused resumes.
        rig.engine->fullScanCommand();
        QCOMPARE(rig.session().state(), QStringLiteral("scanning"));
        QCOMPARE(rig.session().selectedScanButton(), 11);
        rig.engine->fullScanCommand();  // scanning: only the selection
        QCOMPARE(rig.session().state(), QStringLiteral("scanning"));
        rig.engine->resumeScan();  // not paused: nothing
        QCOMPARE(rig.session().selectedScanButton(), 11);
        rig.engine->pauseScan();
        rig.engine->resumeScan();
        QCOMPARE(rig.session().state(), QStringLiteral("scanning"));
        QCOMPARE(rig.session().selectedScanButton(), 13);

        // The scanner keeps running: stop kills it and closes the scan once.
        rig.engine->stopButton();
        QCOMPARE(rig.session().state(), QStringLiteral("idle"));
        QCOMPARE(rig.session().status(), QStringLiteral("Scanning Stopped"));
        QCOMPARE(rig.session().selectedScanButton(), 14);
        QCOMPARE(rig.closed->count(), 1);
        QCOMPARE(rig.cleanWindow->count(), 1);
        QTRY_VERIFY(!rig.engine->workersRunning());
        QCOMPARE(rig.closed->count(), 1);
        QCOMPARE(rig.windows(), 1);
        QCOMPARE(rig.session().status(), QStringLiteral("Scanning Stopped"));
        QCOMPARE(rig.storedLastScan(), lastScanImage(1, 1, 0, 1, 0, 1, 0, today(), 0));
    }

    // A paused scan is stopped like a running one, by the Stop button and at shutdown: its
    // scanner (held by the full pipe) is ended, and the scan and its findings are recorded.
    void pausedScanIsStoppedAndRecorded_data() {
        QTest::addColumn<bool>("atShutdown");
        QTest::newRow("stop button") << false;
        QTest::newRow("shutdown") << true;
    }
    void pausedScanIsStoppedAndRecorded() {
        QFETCH(bool, atShutdown);
        EngineRig rig;
        rig.useFakeScanner();
        qputenv("FAKE_CLAMSCAN_HANG", "1");
        const QString pidFile = rig.env.root() + "pid";
        qputenv("FAKE_CLAMSCAN_PIDFILE", QFile::encodeName(pidFile));
        // More output than the pipe holds, so the paused scanner is blocked on its write.
        QByteArray out = "/t/a: Eicar FOUND\n";
        for (int i = 0; i < 100000; ++i)
            out += "/t/b" + QByteArray::number(i) + ": OK\n";
        rig.fakeOutput(out);
        QVERIFY(rig.engine->startCustomScan({rig.target()}));
        QTRY_VERIFY(rig.engine->itemsScanned() > 0);
        rig.engine->pauseScan();
        QCOMPARE(rig.engine->infectionCount(), 1);
        const QByteArray pid = TestEnv::readFile(pidFile).trimmed();
        QVERIFY(QFile::exists("/proc/" + QString::fromLatin1(pid)));

        QElapsedTimer timer;
        timer.start();
        if (atShutdown)
            Startup::shutdown(*rig.data);
        else
            rig.engine->stopButton();
        QVERIFY(timer.elapsed() < 900);  // nothing to wait for: it cannot end by itself
        QCOMPARE(rig.session().state(), QStringLiteral("idle"));
        QCOMPARE(rig.session().status(), QStringLiteral("Scanning Stopped"));
        QCOMPARE(rig.closed->count(), 1);
        QCOMPARE(rig.windows(), 1);
        const int items = rig.engine->itemsScanned();
        QVERIFY(items > 0);
        QTRY_VERIFY(!rig.engine->workersRunning());
        QVERIFY(!QFile::exists("/proc/" + QString::fromLatin1(pid)));
        QCOMPARE(rig.closed->count(), 1);
        QCOMPARE(rig.foundWindow->count(), 1);
        QCOMPARE(rig.storedLastScan(), lastScanImage(1, items, 0, 1, 1, items, 0, today(), 1));
        QCOMPARE(TestEnv::readFile(rig.data->folders.listFile()).mid(0, 563),
                 recordImage("/t/a", "Eicar "));
        if (!atShutdown)
            QCOMPARE(rig.session().selectedScanButton(), 14);
    }

    void stopKillsTheWholeScanner() {
        EngineRig rig;
        rig.useFakeScanner();
        qputenv("FAKE_CLAMSCAN_HANG", "1");
        const QString pidFile = rig.env.root() + "pid";
        qputenv("FAKE_CLAMSCAN_PIDFILE", QFile::encodeName(pidFile));
        rig.fakeOutput("/t/a: Eicar FOUND\n");
        QVERIFY(rig.engine->startCustomScan({rig.target()}));
        QTRY_COMPARE(rig.session().infectionRows(), 1);
        const QByteArray pid = TestEnv::readFile(pidFile).trimmed();
        QVERIFY(QFile::exists("/proc/" + QString::fromLatin1(pid)));
        QElapsedTimer timer;
        timer.start();
        rig.engine->stopRoutine();
        QVERIFY(timer.elapsed() >= 900);
        QCOMPARE(rig.foundWindow->count(), 1);
        QCOMPARE(rig.foundWindow->at(0).at(0).toInt(), 1);
        QTRY_VERIFY(!rig.engine->workersRunning());
        QVERIFY(!QFile::exists("/proc/" + QString::fromLatin1(pid)));
        QCOMPARE(rig.windows(), 1);
        QCOMPARE(rig.closed->count(), 1);
        QCOMPARE(TestEnv::readFile(rig.data->folders.listFile()).size(), 281500);
    }

    void scannerEndingWithinTheStopWaitIsClosedOnce() {
        EngineRig rig;
        rig.useFakeScanner();
        qputenv("FAKE_CLAMSCAN_DELAY", "0.3");
        rig.fakeOutput("/t/a: OK\n");
        QVERIFY(rig.engine->startCustomScan({rig.target()}));
        QElapsedTimer timer;
        timer.start();
        rig.engine->stopRoutine();
        QVERIFY(timer.elapsed() < 900);
        QCOMPARE(rig.session().state(), QStringLiteral("idle"));
        QCOMPARE(rig.closed->count(), 1);
        QTRY_VERIFY(!rig.engine->workersRunning());
        QCOMPARE(rig.closed->count(), 1);
        QCOMPARE(rig.windows(), 1);
        QCOMPARE(rig.session().state(), QStringLiteral("idle"));
        QCOMPARE(rig.storedLastScan().mid(12, 4), le32(1));  // one scan recorded
    }

    void shutdownStopsARunningScan() {
        EngineRig rig;
        rig.useFakeScanner();
        qputenv("FAKE_CLAMSCAN_HANG", "1");
        rig.fakeOutput("/t/a: OK\n");
        QVERIFY(rig.engine->startCustomScan({rig.target()}));
        QTRY_COMPARE(rig.engine->itemsScanned(), 1);
        Startup::shutdown(*rig.data);
        QCOMPARE(rig.session().state(), QStringLiteral("idle"));
        QCOMPARE(rig.closed->count(), 1);
    }

    void engineGoingAwayMidScanEndsItsWorkers() {
        EngineRig rig;
        rig.useFakeScanner();
        qputenv("FAKE_CLAMSCAN_HANG", "1");
        qputenv("FAKE_CLAMSCAN_FLOOD", "100000");
        QVERIFY(rig.engine->startCustomScan({rig.target()}));
        QTRY_VERIFY(rig.engine->itemsScanned() > 0);
        rig.engine->pauseScan();
        rig.engine.reset();  // must not hang or crash
        QVERIFY(!rig.engine);
    }

    void missingScannerFails() {
        EngineRig rig;
        TestEnv::writeFile(rig.db() + "main.cvd", "db");
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(rig.env.root() + "empty-bin"));
        const bool started = rig.engine->startCustomScan({rig.target()});
        qputenv("PATH", oldPath);
        QVERIFY(started);
        QCOMPARE(rig.failed->count(), 1);
        QVERIFY(rig.failed->at(0).at(0).toString().contains("clamscan"));
        QVERIFY(rig.session().status().startsWith("Scanning Failed: "));
        QCOMPARE(rig.session().state(), QStringLiteral("idle"));
        QCOMPARE(rig.windows(), 0);
        QCOMPARE(rig.closed->count(), 1);
        QVERIFY(rig.storedLastScan().isEmpty());
    }

    void missingDatabaseFails() {
        EngineRig rig;
        rig.useFakeScanner();
        QFile::remove(rig.db() + "main.cvd");
        QVERIFY(rig.engine->startCustomScan({rig.target()}));
        QCOMPARE(rig.failed->count(), 1);
        QVERIFY(rig.session().status().contains("main.cvd"));
        QCOMPARE(rig.windows(), 0);
        QVERIFY(rig.storedLastScan().isEmpty());

        // The system's databases serve when the program has none.
        const QString system = rig.env.root() + "sysdb/";
        TestEnv::writeFile(system + "main.cvd", "db");
        rig.engine->setSystemDatabaseFolder(system);
        const QString args = rig.env.root() + "args.txt";
        qputenv("FAKE_CLAMSCAN_ARGS", QFile::encodeName(args));
        QVERIFY(rig.engine->startCustomScan({rig.target()}));
        QTRY_COMPARE(rig.closed->count(), 2);
        QCOMPARE(readLines(args).at(1), "--database=" + system);
    }

    void scannerErrorWithNothingScannedFails() {
        EngineRig rig;
        rig.useFakeScanner();
        // clamscan writes these to standard error, which shares the pipe.
        rig.fakeOutput("", 2);
        const QString err = rig.env.root() + "stderr.txt";
        TestEnv::writeFile(err,
                           "clamscan: unrecognized option `--bogus'\nERROR: Unknown option passed\n"
                           "ERROR: Can't parse command line options\n");
        qputenv("FAKE_CLAMSCAN_STDERR", QFile::encodeName(err));
        QVERIFY(rig.engine->startCustomScan({rig.target()}));
        QTRY_COMPARE(rig.closed->count(), 1);
        QCOMPARE(rig.failed->count(), 1);
        QCOMPARE(rig.failed->at(0).at(0).toString(),
                 QStringLiteral("ERROR: Unknown option passed"));
        QCOMPARE(rig.session().status(),
                 QStringLiteral("Scanning Failed: ERROR: Unknown option passed"));
        QCOMPARE(rig.windows(), 0);
        QVERIFY(rig.storedLastScan().isEmpty());
    }

    void unreadableFilesCompleteAndAreReported() {
        EngineRig rig;
        rig.useFakeScanner();
        // What clamscan prints for files it may not read (recorded from a non-root run).
        rig.fakeOutput(
            "/srv/t/a.txt: OK\n/srv/t/secret: Access denied. ERROR\n"
            "WARNING: /srv/t/locked: Can't access file\n"
            "\n----------- SCAN SUMMARY -----------\nScanned files: 1\n",
            2);
        QVERIFY(rig.engine->startCustomScan({rig.target()}));
        QTRY_COMPARE(rig.closed->count(), 1);
        QCOMPARE(rig.failed->count(), 0);
        QCOMPARE(rig.cleanWindow->count(), 1);
        QCOMPARE(rig.session().status(), QStringLiteral("Scanning Complete"));
        QCOMPARE(rig.incomplete->count(), 1);
        QCOMPARE(rig.incomplete->at(0).at(0).toInt(), 2);
        QCOMPARE(rig.engine->unreadableFiles(), 2);
    }

    void infectionsOutrankErrors() {
        EngineRig rig;
        rig.useFakeScanner();
        rig.fakeOutput("/t/v: Eicar FOUND\nERROR: Can't open file\n", 1);
        QVERIFY(rig.engine->startCustomScan({rig.target()}));
        QTRY_COMPARE(rig.closed->count(), 1);
        QCOMPARE(rig.failed->count(), 0);
        QCOMPARE(rig.foundWindow->count(), 1);
    }

    void failedRecordWriteIsReportedAndTheScanStillCloses() {
        EngineRig rig;
        rig.useFakeScanner();
        rig.fakeOutput("/t/v: Eicar FOUND\n", 1);
        // A folder in the way of list.gav.
        QDir().mkpath(rig.data->folders.listFile() + "/blocker");
        QVERIFY(rig.engine->startCustomScan({rig.target()}));
        QTRY_COMPARE(rig.closed->count(), 1);
        QCOMPARE(rig.writeFailed->count(), 1);
        QCOMPARE(rig.session().state(), QStringLiteral("idle"));
        QCOMPARE(rig.foundWindow->count(), 1);
    }
    // A scanner that died is never a complete scan: the status says why, the no-infections
    // window never shows, the record is written, and what was found is still offered.
    void diedScansAreNeverComplete_data() {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QByteArray>("env");  // NAME=value of the fake scanner
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<int>("scanned");
        QTest::addColumn<int>("found");
        QTest::newRow("error line, exit 2")
            << QByteArray("/t/a: OK\n/t/b: OK\n/t/c: OK\nERROR: Can't allocate memory\n")
            << QByteArray() << 2 << "ERROR: Can't allocate memory" << 3 << 0;
        QTest::newRow("killed after a detection")
            << QByteArray("/t/v: Eicar FOUND\n") << QByteArray("FAKE_CLAMSCAN_SIGNAL=KILL") << 0
            << "signal 9" << 0 << 1;
        QTest::newRow("crashed") << QByteArray("/t/a: OK\n/t/b: OK\n")
                                 << QByteArray("FAKE_CLAMSCAN_SIGNAL=SEGV") << 0 << "signal 11" << 2
                                 << 0;
        QTest::newRow("exit 0 without a summary")
            << QByteArray("/t/a: OK\n") << QByteArray("FAKE_CLAMSCAN_SUMMARY=0") << 0 << "summary"
            << 1 << 0;
        QTest::newRow("unknown exit code")
            << QByteArray("/t/a: OK\n") << QByteArray() << 40 << "exit code 40" << 1 << 0;
        QTest::newRow("line-less flood before a summary")
            << QByteArray() << QByteArray("FAKE_CLAMSCAN_NOLF=300000") << 0 << "not understood" << 0
            << 0;
    }
    void diedScansAreNeverComplete() {
        QFETCH(QByteArray, output);
        QFETCH(QByteArray, env);
        QFETCH(int, exitCode);
        QFETCH(QString, reason);
        QFETCH(int, scanned);
        QFETCH(int, found);
        EngineRig rig;
        rig.useFakeScanner();
        rig.fakeOutput(output, exitCode);
        if (!env.isEmpty())
            qputenv(env.split('=').at(0).constData(), env.split('=').at(1));
        QVERIFY(rig.engine->startCustomScan({rig.target()}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.closed->count(), 1, 20000);
        QCOMPARE(rig.session().state(), QStringLiteral("idle"));
        QVERIFY2(rig.session().status().startsWith(QStringLiteral("Scanning Failed: ")),
                 qPrintable(rig.session().status()));
        QVERIFY2(rig.session().status().contains(reason), qPrintable(rig.session().status()));
        QCOMPARE(rig.cleanWindow->count(), 0);
        QCOMPARE(rig.foundWindow->count(), found > 0 ? 1 : 0);
        QCOMPARE(rig.failed->count(), found > 0 ? 0 : 1);
        QCOMPARE(rig.engine->itemsScanned(), scanned);
        // A scanner that examined nothing leaves no record.
        QCOMPARE(rig.storedLastScan(),
                 scanned + found == 0
                     ? QByteArray()
                     : lastScanImage(1, scanned, 0, 1, found, scanned, 0, today(), found));
        if (found > 0)
            QCOMPARE(TestEnv::readFile(rig.data->folders.listFile()).size(), 281500);
    }

    // The scanner ends while the scan is paused for longer than any drain wait, and the output
    // goes on after its end (written by what it left behind): every line is still parsed.
    void noOutputIsDroppedAfterALongPause() {
        EngineRig rig;
        rig.useFakeScanner();
        qputenv("FAKE_CLAMSCAN_SUMMARY", "0");
        rig.fakeOutput("/t/a/first: OK\n", 1);
        QByteArray later;
        for (int i = 0; i < 20000; ++i)
            later += "/t/b/f" + QByteArray::number(i) + ": OK\n";
        for (int i = 0; i < 5; ++i)
            later += "/t/c/v" + QByteArray::number(i) + ": Eicar FOUND\n";
        later += "\n----------- SCAN SUMMARY -----------\nInfected files: 5\n";
        const QString laterFile = rig.env.root() + "later.txt";
        TestEnv::writeFile(laterFile, later);
        qputenv("FAKE_CLAMSCAN_LATER", QFile::encodeName(laterFile));
        QVERIFY(rig.engine->startCustomScan({rig.target()}));
        rig.engine->pauseScan();
        QTest::qWait(7000);
        QCOMPARE(rig.closed->count(), 0);
        rig.engine->resumeScan();
        QTRY_COMPARE_WITH_TIMEOUT(rig.closed->count(), 1, 20000);
        QCOMPARE(rig.engine->itemsScanned(), 20001);
        QCOMPARE(rig.foundWindow->count(), 1);
        QCOMPARE(rig.foundWindow->at(0).at(0).toInt(), 5);
        QCOMPARE(rig.session().status(), QStringLiteral("Scanning Complete"));
    }

    void onlyTheProgramsOwnFolderIsExcluded() {
        EngineRig rig;
        rig.useFakeScanner();
        const QByteArray vault = QFile::encodeName(rig.data->folders.data) + "virus_vault/";
        rig.fakeOutput(vault +
                           "1.vir: Eicar FOUND\n/home/u/Downloads/Vizavuz/evil.exe: Eicar "
                           "FOUND\n/t/Vizavuz/x.com: Eicar FOUND\n",
                       1);
        QVERIFY(rig.engine->startCustomScan({rig.target()}));
        QTRY_COMPARE(rig.closed->count(), 1);
        QCOMPARE(rig.foundWindow->count(), 1);
        QCOMPARE(rig.foundWindow->at(0).at(0).toInt(), 2);
        QCOMPARE(rig.data->infections.record(1).filePath.bytes(),
                 QByteArray("/home/u/Downloads/Vizavuz/evil.exe"));
    }

    void totalsStopAtTheLargestValue() {
        EngineRig rig;
        rig.useFakeScanner();
        constexpr qint32 top = 2147483647;
        LastScanRecord &record = rig.data->lastScan;
        record.totalScanned = top - 1;
        record.totalFound = top;
        record.scanCount = top;
        rig.fakeOutput("/t/a: OK\n/t/b: OK\n/t/c: OK\n/t/v: Eicar FOUND\n", 1);
        QVERIFY(rig.engine->startCustomScan({rig.target()}));
        QTRY_COMPARE(rig.closed->count(), 1);
        QCOMPARE(rig.storedLastScan(), lastScanImage(1, top, 0, top, top, 3, 0, today(), 1));
    }
    // Without a fixed disk the full scan is refused: the scanner is never started.
    void fullScanWithoutADiskIsRefused() {
        EngineRig rig;
        rig.useFakeScanner();
        const QString args = rig.env.root() + "args.txt";
        qputenv("FAKE_CLAMSCAN_ARGS", QFile::encodeName(args));
        rig.engine->fullScanCommand();  // the rig's mountinfo names no disk
        QCOMPARE(rig.failed->count(), 1);
        QCOMPARE(rig.failed->at(0).at(0).toString(), ScanEngine::noDiskText());
        QCOMPARE(rig.session().state(), QStringLiteral("idle"));
        QVERIFY(rig.session().status().startsWith(QStringLiteral("Scanning Failed: ")));
        QTest::qWait(500);
        QVERIFY(!QFile::exists(args));
        QCOMPARE(rig.windows(), 0);
    }

    // The fixed-disk entries in a custom scan, with a folder inside one and a kernel
    // interface, give the full scan's command line.
    void customScanOfTheDiskEntriesIsTheFullScan() {
        EngineRig rig;
        rig.useFakeScanner();
        const QString disk = rig.env.root() + "disk";
        QDir().mkpath(disk + "/home/u/docs");
        QDir().mkpath(disk + "/proc");
        const QByteArray d = QFile::encodeName(disk);
        const QByteArray mounts = "27 1 8:1 / " + d + " rw - ext4 /dev/sda1 rw\n28 27 8:2 / " + d +
                                  "/home rw - ext4 /dev/sda2 rw\n29 27 0:5 / " + d +
                                  "/proc rw - proc proc rw\n30 27 0:50 / " + d +
                                  "/net rw - nfs4 nas:/x rw\n";
        rig.engine->setMountInfoSource([mounts] { return mounts; });
        const QString args = rig.env.root() + "args.txt";
        qputenv("FAKE_CLAMSCAN_ARGS", QFile::encodeName(args));
        rig.engine->fullScanCommand();
        QTRY_COMPARE(rig.closed->count(), 1);
        const QStringList full = readLines(args);
        QCOMPARE(full.mid(2), (QStringList{"--cross-fs=no", disk + "/", disk + "/home/"}));
        QStringList entries = rig.engine->fixedDisks();
        entries << disk + "/home/u/docs" << disk + "/proc" << disk + "/home";
        QVERIFY(rig.engine->startCustomScan(entries));
        QTRY_COMPARE(rig.closed->count(), 2);
        QCOMPARE(readLines(args), full);
    }
};

QTEST_GUILESS_MAIN(TestScanEngine)
#include "test_scanengine.moc"
