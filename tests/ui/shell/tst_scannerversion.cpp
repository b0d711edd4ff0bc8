// The scanner's version is asked at every start: a scanner that prints without end, or never
// answers, must neither fill the program's memory nor keep running.
#include <atomic>
#include <thread>

#include <csignal>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include "testenv.h"
#include "ui/shell/scannerversion.h"

namespace {
// The peak resident memory of this process so far, in KiB.
qint64 peakKib() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}
}  // namespace

class TestScannerVersion : public QObject {
    Q_OBJECT
private slots:
    void hostileOutputIsReadOnlyToItsFirstLine_data() {
        QTest::addColumn<QByteArray>("mode");
        QTest::addColumn<QString>("text");
        QTest::newRow("a line, then output without end")
            << QByteArray("line-then-flood")
            << "Scanner: ClamAV 9.9.9/27000/Tue Dec  8 10:00:00 2026";
        QTest::newRow("200 MB without a line feed")
            << QByteArray("long-no-newline") << ScannerVersion::missingText();
        QTest::newRow("output without a line feed and without end")
            << QByteArray("flood-no-newline") << ScannerVersion::missingText();
        QTest::newRow("a line, then asleep in the program's process group")
            << QByteArray("leave-group") << "Scanner: ClamAV 9.9.9/27000/Tue Dec  8 10:00:00 2026";
    }
    void hostileOutputIsReadOnlyToItsFirstLine() {
        QFETCH(QByteArray, mode);
        QFETCH(QString, text);
        TestEnv env;
        const QString pidFile = env.root() + QStringLiteral("helper.pid");
        qputenv("STANDIN_CLAMSCAN_MODE", mode);
        qputenv("STANDIN_CLAMSCAN_PID", QFile::encodeName(pidFile));
        const qint64 before = peakKib();
        // A scanner out of reach of the end it is given would hold the window up for good: here
        // it is ended after 5 s, so that the test ends.
        std::atomic_bool done{false};
        std::thread watchdog([&] {
            for (int i = 0; i < 50 && !done; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (const int pid = TestEnv::readFile(pidFile).trimmed().toInt(); pid > 0 && !done)
                ::kill(pid, SIGKILL);
        });
        const auto stopWatchdog = qScopeGuard([&] {
            done = true;
            watchdog.join();
        });
        QElapsedTimer took;
        took.start();
        ScannerVersion version;
        QSignalSpy changed(&version, &ScannerVersion::textChanged);
        version.start(QStringLiteral(VZ_TESTS_SOURCE_DIR "/ui/shell/standin-clamscan"));
        qunsetenv("STANDIN_CLAMSCAN_MODE");
        // Well before the time limit: the answer is there once its first line (or the cap) is.
        QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, 5000);
        QVERIFY2(took.elapsed() < 3000, qPrintable(QString::number(took.elapsed())));
        QCOMPARE(version.text(), text);
        if (mode == "leave-group")
            QVERIFY(!QFileInfo::exists("/proc/" + TestEnv::readFile(pidFile).trimmed()));
        const qint64 grown = peakKib() - before;
        QVERIFY2(grown < 32 * 1024, qPrintable(QStringLiteral("grew by %1 KiB").arg(grown)));
        // The scanner and what it started with it are ended.
        if (mode == "line-then-flood") {
            QTRY_VERIFY(!TestEnv::readFile(pidFile).trimmed().isEmpty());
            const QByteArray helper = TestEnv::readFile(pidFile).trimmed();
            QTRY_VERIFY_WITH_TIMEOUT(
                !QFileInfo::exists("/proc/" + helper) ||
                    TestEnv::readFile("/proc/" + helper + "/stat").contains(") Z "),
                3000);
        }
    }

    void scannerThatNeverAnswersIsEndedAtTheTimeLimit() {
        qputenv("STANDIN_CLAMSCAN_MODE", "silent");
        ScannerVersion version;
        version.setTimeLimit(300);
        QSignalSpy changed(&version, &ScannerVersion::textChanged);
        version.start(QStringLiteral(VZ_TESTS_SOURCE_DIR "/ui/shell/standin-clamscan"));
        qunsetenv("STANDIN_CLAMSCAN_MODE");
        QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, 3000);
        QCOMPARE(version.text(), ScannerVersion::missingText());
    }

    void missingScannerIsSaid() {
        ScannerVersion version;
        QSignalSpy changed(&version, &ScannerVersion::textChanged);
        version.start(QStringLiteral("/nonexistent/clamscan"));
        QTRY_COMPARE(changed.count(), 1);
        QCOMPARE(version.text(), ScannerVersion::missingText());
    }
};

QTEST_GUILESS_MAIN(TestScannerVersion)
#include "tst_scannerversion.moc"
