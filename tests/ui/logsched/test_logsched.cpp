// The scan log and scheduled scan windows inside the program, offscreen.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimeEdit>
#include <QTreeWidget>

#include "app/programdata.h"
#include "scan/scanengine.h"
#include "scan/scanlogger.h"
#include "scan/scheduledscans.h"
#include "state/registry.h"
#include "support/programrun.h"
#include "ui/scanlogwindow.h"
#include "ui/scanwindows.h"
#include "ui/schedulewindow.h"
#include "ui/shellwiring.h"
#include "ui/shell/trayminimizer.h"
#include "ui/tform1.h"

namespace {

// The program with the fake scanner, and the commands it would run recorded instead: this user
// has no systemd manager, and an empty crontab that the recorder keeps.
struct Run : ProgramRun {
    QStringList commands;
    QByteArray crontab;

    explicit Run(const QByteArray &scannerOutput = "/t/a: OK\n", bool hang = false,
                 const QByteArray &logBytes = {}) {
        env.installFakeScanner();
        env.copySkin();
        if (!logBytes.isEmpty())
            TestEnv::writeFile(env.dataFolder() + "scanlog.sqlite", logBytes);
        const QString out = env.root() + "scanner-output.txt";
        TestEnv::writeFile(out, scannerOutput);
        qputenv("FAKE_CLAMSCAN_OUTPUT", out.toLocal8Bit());
        qputenv("FAKE_CLAMSCAN_HANG", hang ? "1" : "0");
        start(true);
        app->scheduledScans().installer().run =
            [this](const QString &program, const QStringList &arguments, const QByteArray &input) {
                commands << program + ' ' + arguments.join(' ');
                platform::CommandResult r{true, 0, {}, {}};
                if (program == "systemctl")
                    r.exitCode = 1;
                else if (arguments.contains("-l"))
                    r.out = crontab;
                else
                    crontab = input;
                return r;
            };
    }
    ~Run() { qunsetenv("FAKE_CLAMSCAN_HANG"); }
    QString target() {
        const QString t = env.root() + "target/";
        QDir().mkpath(t);
        return t;
    }
    void triggerMenu(const char *name) {
        QAction *a = form().popupMenu()->findChild<QAction *>(QString::fromLatin1(name));
        QVERIFY(a);
        a->trigger();
    }
    static void click(QWidget *w) { QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(5, 5)); }
};

}  // namespace

class TestLogSched : public QObject {
    Q_OBJECT
private slots:
    void theLogWindowShowsEveryScanAndExportsThem() {
        Run run;
        run.app->show();
        QVERIFY(run.app->scanEntries({run.target()}).isEmpty());
        QTRY_VERIFY(run.app->data().session.isIdle());
        // A full scan that cannot start is logged as well.
        run.app->engine().setMountInfoSource([] { return QByteArray(); });
        run.app->engine().fullScanCommand();
        QCOMPARE(run.failures, QStringList{ScanEngine::noDiskText()});

        run.triggerMenu("ScanLog1");
        ScanLogWindow &window = run.app->scanLogWindow();
        QVERIFY(window.isVisible());
        auto *list = window.findChild<QTreeWidget *>("ScanList");
        QCOMPARE(list->topLevelItemCount(), 2);
        // Newest first; the first row selected and its details shown.
        QCOMPARE(list->topLevelItem(0)->text(1), QString("full"));
        QCOMPARE(list->topLevelItem(0)->text(2), "Failed: " + ScanEngine::noDiskText());
        QCOMPARE(list->topLevelItem(1)->text(1), QString("command line"));
        list->setCurrentItem(list->topLevelItem(1));
        const QString details = window.findChild<QPlainTextEdit *>("Details")->toPlainText();
        QVERIFY2(details.contains("Outcome: Complete") && details.contains(run.target()),
                 qPrintable(details));

        // A scan that ends while the window is open appears at once.
        QVERIFY(run.app->scanEntries({run.target()}).isEmpty());
        QTRY_COMPARE(list->topLevelItemCount(), 3);

        const QString csv = run.env.root() + "out.csv";
        window.chooseExportFile = [csv](QWidget *) { return csv; };
        Run::click(window.findChild<QPushButton *>("Button1"));
        const QByteArray written = TestEnv::readFile(csv);
        QCOMPARE(written.count("\r\n"), 4);
        QVERIFY(written.contains(",command line," + QFile::encodeName(run.target()) + ","));
        // A place that cannot be written is told.
        window.chooseExportFile = [&run](QWidget *) { return run.env.root(); };
        Run::click(window.findChild<QPushButton *>("Button1"));
        QCOMPARE(run.failures.size(), 2);
        QVERIFY(run.failures[1].startsWith("The scan log could not be exported"));

        Run::click(window.findChild<QWidget *>("Image2"));
        QVERIFY(!window.isVisible());
        // The History page opens it too.
        run.form().Image5Click();
        Run::click(run.form().findChild<QPushButton *>("ScanLogButton"));
        QVERIFY(window.isVisible());
    }

    void aDamagedLogIsToldAndScansGoOn() {
        Run run("/t/a: OK\n", false, QByteArray("not a database at all\n").repeated(200));
        run.app->show();
        QTRY_COMPARE(run.failures.size(), 1);
        QVERIFY(run.failures[0].contains("set aside as"));
        QVERIFY(run.app->scanEntries({run.target()}).isEmpty());
        QTRY_VERIFY(run.app->data().session.isIdle());
        QCOMPARE(run.app->scanLog().entries().size(), 1);
    }

    void theScheduleIsStoredAndItsJobWritten() {
        Run run;
        run.app->show();
        run.triggerMenu("ScheduledScan1");
        ScheduleWindow &window = run.app->scheduleWindow();
        QVERIFY(window.isVisible());
        QCOMPARE(window.findChild<QLabel *>("NextRunLabel")->text(),
                 QString("No scheduled scan is due."));
        window.findChild<QComboBox *>("FrequencyBox")->setCurrentIndex(2);
        QVERIFY(window.findChild<QComboBox *>("WeekdayBox")->isVisibleTo(&window));
        window.findChild<QComboBox *>("WeekdayBox")->setCurrentIndex(6);
        window.findChild<QTimeEdit *>("TimeEdit")->setTime(QTime(3, 0));
        window.findChild<QCheckBox *>("MainsOnlyBox")->setChecked(true);
        Run::click(window.findChild<QWidget *>("Image2"));
        QVERIFY(run.failures.isEmpty());
        QVERIFY(!window.isVisible());
        QCOMPARE(run.env.registryValue("schedule"), QByteArray("weekly 7 03:00 full mains"));
        QVERIFY(
            run.crontab.startsWith(QByteArray(ScheduleInstaller::cronMarker) + "\n0 3 * * 0 env "));
        QVERIFY(run.crontab.contains("'" + QFile::encodeName(run.env.programFolder()) +
                                     "vizavuz-antivirus' --scheduled\n"));

        // Custom folders need one; then off removes the job.
        window.show();
        QCOMPARE(window.findChild<QComboBox *>("FrequencyBox")->currentIndex(), 2);
        QVERIFY(
            window.findChild<QLabel *>("NextRunLabel")->text().startsWith("Next scheduled scan: "));
        window.findChild<QWidget *>("CustomScanRadio")->setProperty("checked", true);
        Run::click(window.findChild<QWidget *>("Image2"));
        QCOMPARE(run.failures.size(), 1);
        QVERIFY(window.isVisible());
        window.findChild<QComboBox *>("FrequencyBox")->setCurrentIndex(0);
        Run::click(window.findChild<QWidget *>("Image2"));
        QCOMPARE(run.crontab, QByteArray());
        QCOMPARE(run.env.registryValue("schedule").left(4), QByteArray("off "));
    }

    // A job left behind (its removal failed, or it was run by hand) scans nothing the user did
    // not choose: each such run is skipped and logged with its reason.
    void aScheduledRunWithNothingToScanIsSkippedAndLogged_data() {
        QTest::addColumn<QByteArray>("schedule");
        QTest::addColumn<QString>("reason");
        QTest::newRow("turned off") << QByteArray("off 1 02:00 full any")
                                    << QStringLiteral("Scheduled scans are turned off.");
        QTest::newRow("no folders") << QByteArray("daily 1 02:00 custom any")
                                    << QStringLiteral("No folders are chosen for scheduled scans.");
    }
    void aScheduledRunWithNothingToScanIsSkippedAndLogged() {
        QFETCH(QByteArray, schedule);
        QFETCH(QString, reason);
        Run run;
        QVERIFY(ScanSchedule::fromText(schedule).save(run.app->data().registry()).ok());
        run.app->show(true);
        QCOMPARE(run.app->runScheduledScan(), reason);
        QVERIFY(run.app->data().session.isIdle());
        const QList<ScanLogEntry> logged = run.app->scanLog().entries();
        QCOMPARE(logged.size(), 1);
        QCOMPARE(logged[0].outcome, ScanLogEntry::Outcome::Skipped);
        QCOMPARE(logged[0].reason, reason);
    }

    void aScheduledRunScansInTheBackgroundOrIsSkippedWhenBusy() {
        Run run("/t/a: OK\n/t/b: Eicar FOUND\n", true);
        ScanSchedule s;
        s.frequency = ScanSchedule::Frequency::Daily;
        s.customFolders = true;
        s.folders = {run.target()};
        QVERIFY(s.save(run.app->data().registry()).ok());
        run.app->show(true);  // as the job starts it: in the tray (offscreen has none: minimised)
        QVERIFY(!run.form().isVisible() || run.form().isMinimized());
        run.form().hide();  // as in a tray

        QVERIFY(run.app->runScheduledScan().isEmpty());
        QTRY_COMPARE(run.app->data().session.infectionRows(), 1);
        // Busy: skipped, and logged as skipped with the reason.
        const QString busy = run.app->runScheduledScan();
        QCOMPARE(busy, ScanWindows::scanRunningText());
        run.app->engine().stopRoutine();
        QTRY_VERIFY(run.app->data().session.isIdle());

        const QList<ScanLogEntry> logged = run.app->scanLog().entries();
        QCOMPARE(logged.size(), 2);
        QCOMPARE(logged[0].kind, ScanLogEntry::Kind::Scheduled);
        QCOMPARE(logged[0].outcome, ScanLogEntry::Outcome::Stopped);
        QCOMPARE(logged[1].kind, ScanLogEntry::Kind::Skipped);
        QCOMPARE(logged[1].reason, busy);

        // The infections are offered only when the window comes back.
        QVERIFY(!run.app->scanWindows().form11()->isVisible());
        run.app->bringToFront();
        QTRY_VERIFY(run.app->scanWindows().form11()->isVisible());
        QVERIFY(run.app->data().infections.count() == 1);
    }
};

QTEST_MAIN(TestLogSched)
#include "test_logsched.moc"
