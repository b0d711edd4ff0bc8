#include <fcntl.h>
#include <unistd.h>

#include <QStandardPaths>
#include <QTest>

#include "enginerig.h"
#include "scan/scanlogger.h"

namespace {

void writeRaw(const QByteArray &path, const QByteArray &bytes) {
    QFile f;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QVERIFY(fd >= 0 && f.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle));
    f.write(bytes);
}

// The engine of a rig with its log and logger.
struct LoggedRig : EngineRig {
    ScanLog log{env.root() + QStringLiteral("scanlog.sqlite")};
    ScanLogger logger{*data, *engine, log};
    LoggedRig() { QVERIFY(log.open()); }
    ScanLogEntry newest() {
        return log.entries().isEmpty() ? ScanLogEntry() : log.entry(log.entries().first().id);
    }
};

}  // namespace

// Every way a scan ends leaves one line in the scan log, with the real clamscan where the
// findings matter.
class TestScanLogger : public QObject {
    Q_OBJECT
private slots:
    void aCompleteScanIsLoggedWithItsFindingsAndLaterRemovals() {
        if (QStandardPaths::findExecutable(QStringLiteral("clamscan")).isEmpty())
            QFAIL("clamscan is not installed (Debian package clamav)");
        LoggedRig rig;
        TestEnv::makeEicarDatabase(rig.db());
        const QByteArray t = QFile::encodeName(rig.target());
        writeRaw(t + "clean.txt", "hello\n");
        writeRaw(t + "caf\xe9\xff.com", TestEnv::eicar());
        rig.logger.setNextKind(ScanLogEntry::Kind::CommandLine);
        QVERIFY(rig.engine->startCustomScan({QFile::decodeName(t)}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.closed->count(), 1, 60000);

        ScanLogEntry e = rig.newest();
        QCOMPARE(e.kind, ScanLogEntry::Kind::CommandLine);
        QCOMPARE(e.outcome, ScanLogEntry::Outcome::Complete);
        QCOMPARE(e.targets, QList<QByteArray>{t});
        QVERIFY(e.engine.endsWith("clamscan"));
        QCOMPARE(e.items, 1);
        QCOMPARE(e.infections, 1);
        QCOMPARE(e.found.size(), 1);
        QCOMPARE(e.found[0].path, t + "caf\xe9\xff.com");
        QCOMPARE(e.found[0].name, TestEnv::eicarThreatName());
        QVERIFY(e.started.isValid() && e.ended >= e.started);

        rig.logger.recordRemoved(1);
        QCOMPARE(rig.newest().removed, 1);
        // The next scan from the windows is a custom one again.
        QVERIFY(rig.engine->startCustomScan({QFile::decodeName(t)}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.closed->count(), 2, 60000);
        QCOMPARE(rig.newest().kind, ScanLogEntry::Kind::Custom);
        QCOMPARE(rig.log.entries().size(), 2);
        ::unlink((t + "caf\xe9\xff.com").constData());  // a name the temporary folder cannot remove
    }

    void scansThatDoNotFinishAreLoggedWithWhy_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("reason");
        QTest::newRow("killed") << "killed" << int(ScanLogEntry::Outcome::Failed)
                                << "The scanner was ended by signal 9";
        QTest::newRow("stopped") << "stopped" << int(ScanLogEntry::Outcome::Stopped) << "";
        QTest::newRow("no scanner") << "no scanner" << int(ScanLogEntry::Outcome::Failed)
                                    << "The scanner clamscan was not found";
        QTest::newRow("no disk") << "no disk" << int(ScanLogEntry::Outcome::Failed)
                                 << "No local disk was found to scan";
    }
    void scansThatDoNotFinishAreLoggedWithWhy() {
        QFETCH(QString, how);
        QFETCH(int, outcome);
        QFETCH(QString, reason);
        LoggedRig rig;
        rig.useFakeScanner();
        rig.fakeOutput("/t/a: OK\n/t/b: Eicar FOUND\n");
        if (how == "killed") {
            qputenv("FAKE_CLAMSCAN_SIGNAL", "KILL");
            QVERIFY(rig.engine->startCustomScan({rig.target()}));
            QTRY_COMPARE(rig.closed->count(), 1);
        } else if (how == "stopped") {
            qputenv("FAKE_CLAMSCAN_HANG", "1");
            QVERIFY(rig.engine->startCustomScan({rig.target()}));
            QTRY_COMPARE(rig.session().infectionRows(), 1);
            rig.engine->stopRoutine();
        } else if (how == "no scanner") {
            QFile::remove(rig.env.programFolder() + "clamscan");
            const QByteArray oldPath = qgetenv("PATH");
            qputenv("PATH", QFile::encodeName(rig.env.root() + "empty-bin"));
            QVERIFY(rig.engine->startCustomScan({rig.target()}));
            qputenv("PATH", oldPath);
        } else {
            rig.engine->fullScanCommand();
        }
        QCOMPARE(rig.log.entries().size(), 1);
        const ScanLogEntry e = rig.newest();
        QCOMPARE(int(e.outcome), outcome);
        QVERIFY2(reason.isEmpty() ? e.reason.isEmpty() : e.reason.startsWith(reason),
                 qPrintable(e.reason));
        QCOMPARE(e.kind, how == "no disk" ? ScanLogEntry::Kind::Full : ScanLogEntry::Kind::Custom);
        if (how == "killed" || how == "stopped") {
            QCOMPARE(e.items, 1);
            QCOMPARE(e.found.size(), 1);
            QCOMPARE(e.found[0].path, QByteArray("/t/b"));
        }
    }

    void aLogThatCannotBeWrittenNeverStopsAScan() {
        EngineRig rig;
        TestEnv::writeFile(rig.env.root() + "file", "x");
        ScanLog log(rig.env.root() + "file/scanlog.sqlite");
        QSignalSpy problems(&log, &ScanLog::problem);
        ScanLogger logger(*rig.data, *rig.engine, log);
        rig.useFakeScanner();
        rig.fakeOutput("/t/a: OK\n");
        QVERIFY(rig.engine->startCustomScan({rig.target()}));
        QTRY_COMPARE(rig.closed->count(), 1);
        QCOMPARE(rig.cleanWindow->count(), 1);
        QVERIFY(!problems.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestScanLogger)
#include "test_scanlogger.moc"
