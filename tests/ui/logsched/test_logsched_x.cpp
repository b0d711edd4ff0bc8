// The scan log and scheduled scan windows as the user sees them: real windows under a window
// manager, real clicks, and their screenshots.
#include <QDir>
#include <QPlainTextEdit>
#include <QTest>
#include <QTreeWidget>

#include "scan/scheduledscans.h"
#include "support/programrun.h"
#include "support/xsession.h"
#include "ui/scanlogwindow.h"
#include "ui/schedulewindow.h"
#include "ui/tform1.h"

using namespace xsession;

class TestLogSchedX : public QObject {
    Q_OBJECT
private slots:
    void bothWindowsOpenShowAndCloseByTheirButtons() {
        ProgramRun run;
        run.env.copySkin();
        run.start(true);
        // Nothing of this user's real scheduler is touched.
        run.app->scheduledScans().installer().run = [](const QString &, const QStringList &,
                                                       const QByteArray &) {
            return platform::CommandResult{true, 1, {}, "no crontab for test\n"};
        };
        run.app->show();
        ScanLogEntry e;
        e.started = QDateTime(QDate(2026, 3, 10), QTime(9, 30));
        e.ended = e.started.addSecs(95);
        e.kind = ScanLogEntry::Kind::Scheduled;
        e.targets = {"/home/user/"};
        e.engine = "/usr/bin/clamscan";
        e.items = 5120;
        e.infections = 1;
        e.found = {{"/home/user/Downloads/eicar.com", "Eicar-Test-Signature"}};
        QVERIFY(run.app->scanLog().append(e) > 0);
        e.kind = ScanLogEntry::Kind::Skipped;
        e.outcome = ScanLogEntry::Outcome::Skipped;
        e.reason = "A scan is already running or paused.";
        e.found.clear();
        QVERIFY(run.app->scanLog().append(e) > 0);

        QDir().mkpath(QStringLiteral(VZ_SCREENSHOTS));
        run.form().hooks.scanLog();
        ScanLogWindow &log = run.app->scanLogWindow();
        QVERIFY(QTest::qWaitForWindowExposed(&log));
        auto *list = log.findChild<QTreeWidget *>("ScanList");
        list->setCurrentItem(list->topLevelItem(1));
        QVERIFY(log.findChild<QPlainTextEdit *>("Details")->toPlainText().contains("eicar.com"));
        QTest::qWait(200);
        QVERIFY(log.grab().save(QStringLiteral(VZ_SCREENSHOTS) + "scan_log.png"));
        click(log.findChild<QWidget *>("Image2"));
        QTRY_VERIFY(!log.isVisible());

        run.form().hooks.scheduledScan();
        ScheduleWindow &schedule = run.app->scheduleWindow();
        QVERIFY(QTest::qWaitForWindowExposed(&schedule));
        QTest::qWait(200);
        QVERIFY(schedule.grab().save(QStringLiteral(VZ_SCREENSHOTS) + "scheduled_scan.png"));
        click(schedule.findChild<QWidget *>("Image3"));
        QTRY_VERIFY(!schedule.isVisible());
        QVERIFY(run.failures.isEmpty());
    }
};

QTEST_MAIN(TestLogSchedX)
#include "test_logsched_x.moc"
