// The update windows inside the real program objects, offscreen: the pre-scan offer, Check Now,
// the download window against a real HTTP server on 127.0.0.1, the failure window, the
// connectivity check and the Virus Database page labels.
#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QProgressBar>
#include <QTest>
#include <QTimer>

#include "../../update/httpserver.h"
#include "state/daycount.h"
#include "app/programdata.h"
#include "state/registry.h"
#include "scan/scanengine.h"
#include "support/testenv.h"
#include "support/programrun.h"
#include "ui/application.h"
#include "ui/skin/skindialog.h"
#include "ui/tform1.h"
#include "ui/tform12.h"
#include "ui/updatewindows.h"
#include "update/databasedownload.h"
#include "update/updateschedule.h"

namespace {

const QDate today(2026, 3, 10);

// A program run in a private world: the fake scanner (kept running), the update hosts on a
// local server, the scheduled check stopped so that it does not interrupt the test.
struct Run : ProgramRun {
    TestHttpServer server;

    Run() : ProgramRun(today) {
        env.installFakeScanner();
        env.copySkin();  // so that the dialogs' buttons are drawn
        qputenv("FAKE_CLAMSCAN_HANG", "1");
        start();
        app->mainWindow().timer2().stop();
        app->show();
        QCoreApplication::processEvents();
        failures.clear();  // start-up notes (no database yet) are not this test's concern
        if (!server.listen())
            qFatal("no local port");
        (void)data().registry().writeText(regkey::dbServer(), server.host());
        (void)data().registry().writeText(regkey::website(), server.host());
        updates().download().setStartDelay(50);
        updates().download().setRetryInterval(50);
        // Accepts what begins like a database: a signed one cannot be made here (see the script).
        updates().download().setVerifier(VZ_TESTS_SOURCE_DIR "/update/standin-sigtool");
    }
    ~Run() { qunsetenv("FAKE_CLAMSCAN_HANG"); }
    ProgramData &data() { return app->data(); }
    UpdateWindows &updates() { return app->updates(); }
    QString db() const { return env.dataFolder() + "db/"; }
    void setLastUpdate(int daysBack) {
        data().settings.lastUpdate = daycount::fromDate(today.addDays(-daysBack));
    }
    static void click(QWidget *w) { QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(5, 5)); }
    static QWidget *child(QWidget *parent, const char *name) {
        return parent->findChild<QWidget *>(QString::fromLatin1(name));
    }
};

// Watches for the update prompt; answers it with the button named `answer` and counts how often
// it was seen.
struct PromptAnswerer {
    QTimer poll;
    int seen = 0;
    PromptAnswerer(TForm15 &prompt, const char *answer) {
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, [this, &prompt, answer] {
            if (!prompt.isVisible())
                return;
            ++seen;
            Run::click(Run::child(&prompt, answer));
        });
        poll.start();
    }
};

void screenshot(QWidget *w, const QString &name) {
    QDir().mkpath(QStringLiteral(VZ_SCREENSHOTS));
    QVERIFY(w->grab().save(QStringLiteral(VZ_SCREENSHOTS) + name));
}

}  // namespace

class TestUpdateWindows : public QObject {
    Q_OBJECT
private slots:
    void startScanOffersTheUpdateOnlyWhenTwoDaysAway_data() {
        QTest::addColumn<int>("daysBack");
        QTest::addColumn<bool>("offered");
        QTest::newRow("today") << 0 << false;
        QTest::newRow("yesterday") << 1 << false;
        QTest::newRow("tomorrow") << -1 << false;
        QTest::newRow("two days back") << 2 << true;
        QTest::newRow("two days ahead") << -2 << true;
    }
    void startScanOffersTheUpdateOnlyWhenTwoDaysAway() {
        QFETCH(int, daysBack);
        QFETCH(bool, offered);
        Run run;
        run.setLastUpdate(daysBack);
        run.data().settings.checkFrequency = 4;  // "Never Check" does not stop the offer
        PromptAnswerer no(run.updates().prompt(), "Image3");
        run.form().Action1Execute();
        // The prompt is up at once and the scan waits for its answer.
        QCOMPARE(run.updates().prompt().isVisible(), offered);
        if (offered)
            QCOMPARE(run.data().session.state(), QStringLiteral("idle"));
        QCOMPARE(run.updates().schedule().pendingScanAction(), 1);
        // Either way the scan runs: at once, or after the No answer.
        QTRY_COMPARE(run.data().session.state(), QStringLiteral("scanning"));
        QVERIFY(!run.form().timer2().isActive());
        QVERIFY(!run.updates().downloadWindow().isVisible());
    }

    void customScanNoAnswerGoesToTheDirectoryWindow() {
        Run run;
        run.setLastUpdate(5);
        int customScans = 0;
        run.form().hooks.customScan = [&] { ++customScans; };
        PromptAnswerer no(run.updates().prompt(), "Image3");
        run.form().Image11Click();
        QCOMPARE(customScans, 0);
        QTRY_COMPARE(customScans, 1);
        QCOMPARE(no.seen, 1);
        QCOMPARE(run.data().session.state(), QStringLiteral("idle"));
    }

    void scheduledPromptAnsweredNoDoesNothing() {
        Run run;  // fresh installation: last update 100 days back, daily checks
        PromptAnswerer no(run.updates().prompt(), "Image3");
        run.form().hooks.scheduledCheck();
        QTRY_COMPARE(no.seen, 1);
        QTRY_VERIFY(!run.updates().prompt().isVisible());
        QCOMPARE(run.data().session.state(), QStringLiteral("idle"));
        QVERIFY(!run.updates().downloadWindow().isVisible());
        QVERIFY(!run.updates().schedule().timerOn());
        // Once off, later ticks show nothing.
        run.form().hooks.scheduledCheck();
        QVERIFY(!run.updates().prompt().isVisible());
        QCOMPARE(no.seen, 1);
    }

    void scheduledCheckWaitsWhileScanning() {
        Run run;
        run.setLastUpdate(1);
        run.updates().schedule().setPendingScanAction(0);
        run.data().session.setState(QStringLiteral("scanning"));
        PromptAnswerer no(run.updates().prompt(), "Image3");
        run.form().hooks.scheduledCheck();
        QCOMPARE(no.seen, 0);
        QVERIFY(run.updates().schedule().timerOn());
        run.data().session.setState(QStringLiteral("idle"));
        run.form().hooks.scheduledCheck();
        QTRY_COMPARE(no.seen, 1);
        QVERIFY(!run.updates().schedule().timerOn());
    }

    void checkNowOnlyWhenIdle() {
        Run run;
        run.setLastUpdate(1);
        run.form().Action1Execute();
        QTRY_COMPARE(run.data().session.state(), QStringLiteral("scanning"));
        run.form().Image36Click();
        QVERIFY(!run.updates().downloadWindow().isVisible());
        QCOMPARE(run.updates().download().state(), DatabaseDownload::State::Hidden);
        run.app->engine().pauseScan();
        QTRY_COMPARE(run.data().session.state(), QStringLiteral("paused"));
        run.form().Image36Click();
        QVERIFY(!run.updates().downloadWindow().isVisible());
    }

    void closeWaitsForSuccessAndCancelStopsTheDownload() {
        Run run;
        run.updates().download().setStartDelay(100000);
        run.form().Image36Click();
        TForm8 &w = run.updates().downloadWindow();
        QVERIFY(w.isVisible());
        QVERIFY(w.isModal());
        QCOMPARE(run.updates().download().state(), DatabaseDownload::State::Waiting);
        Run::click(Run::child(&w, "Image2"));
        QVERIFY(w.isVisible());
        Run::click(Run::child(&w, "Image3"));
        QVERIFY(!w.isVisible());
        QCOMPARE(run.updates().download().state(), DatabaseDownload::State::Hidden);
        QTest::qWait(200);
        QCOMPARE(run.server.hits("/main.cvd"), 0);
        QCOMPARE(run.data().settings.updateCount, 0);

        // Escape leaves it as it is: only its buttons end it.
        run.form().Image36Click();
        QVERIFY(w.isVisible());
        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(w.isVisible());
        QCOMPARE(run.updates().download().state(), DatabaseDownload::State::Waiting);
        Run::click(Run::child(&w, "Image3"));
        QCOMPARE(run.updates().download().state(), DatabaseDownload::State::Hidden);
    }

    void successfulDownloadInstallsBothDatabasesAndRefreshesThePage() {
        Run run;  // fresh installation: last update 100 days back
        QDir(run.db() + "main.cvd").removeRecursively();  // the live file is absent
        const QByteArray body = DatabaseDownload::signature + QByteArray(3 * 1024 * 1024, 'm');
        const QByteArray daily = DatabaseDownload::signature + QByteArray(200 * 1024, 'd');
        run.server.route("/main.cvd", {200, body, false, {}});
        run.server.route("/daily.cvd", {200, daily, false, {}});
        run.form().Action2Execute();  // the Virus Database page is open all along
        auto label = [&](const char *name) {
            return run.form().findChild<QLabel *>(QString::fromLatin1(name))->text();
        };
        QCOMPARE(label("lblUpdates"), QStringLiteral("0"));
        TForm8 &w = run.updates().downloadWindow();
        auto *gauge = w.findChild<QProgressBar *>(QStringLiteral("Gauge1"));
        auto *done = w.findChild<QLabel *>(QStringLiteral("Label2"));
        QList<int> values;
        connect(gauge, &QProgressBar::valueChanged, this, [&](int v) { values << v; });
        connect(&run.updates().download(), &DatabaseDownload::downloadStarted, this,
                [&] { screenshot(&w, QStringLiteral("TForm8-downloading.png")); });
        run.form().Image36Click();
        QVERIFY(w.isVisible());
        QVERIFY(!done->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(done->isVisible(), 20000);
        QVERIFY(gauge->isHidden());
        QCOMPARE(gauge->maximum(), daily.size());
        QVERIFY(!values.isEmpty());
        screenshot(&w, QStringLiteral("TForm8-done.png"));
        QCOMPARE(run.data().settings.updateCount, 1);
        QCOMPARE(run.data().settings.updateSize, body.size() + daily.size());
        QCOMPARE(daycount::toDate(run.data().settings.lastUpdate), today);
        QTRY_VERIFY(QFile::exists(run.db() + "main.cvd") && !QFile::exists(run.db() + "main2.cvd"));
        QCOMPARE(TestEnv::readFile(run.db() + "main.cvd"), body);
        QCOMPARE(TestEnv::readFile(run.db() + "daily.cvd"), daily);
        // The page shows the new figures without being opened again.
        QCOMPARE(label("lblUpdates"), QStringLiteral("1"));
        QCOMPARE(label("lblSize"), QString::number(body.size() + daily.size()) + " bytes");
        QCOMPARE(label("lblUpdate"), QLocale::system().toString(today, QLocale::ShortFormat));
        Run::click(Run::child(&w, "Image2"));
        QVERIFY(!w.isVisible());
        QVERIFY(run.failures.isEmpty());
    }

    // "Automatically download": the scheduled check and Start Scan open the download window
    // without the prompt; the scan asked for follows the download once its window is closed.
    void automaticDownloadAsksNothing_data() {
        QTest::addColumn<bool>("scheduled");
        QTest::newRow("scheduled check") << true;
        QTest::newRow("start scan") << false;
    }
    void automaticDownloadAsksNothing() {
        QFETCH(bool, scheduled);
        Run run;
        run.setLastUpdate(5);
        run.data().settings.whenFound = 1;
        const QByteArray body = DatabaseDownload::signature + QByteArray(64 * 1024, 'm');
        run.server.route("/main.cvd", {200, body, false, {}});
        run.server.route("/daily.cvd", {200, body, false, {}});
        PromptAnswerer no(run.updates().prompt(), "Image3");
        TForm8 &w = run.updates().downloadWindow();
        if (scheduled)
            run.form().hooks.scheduledCheck();
        else
            run.form().Action1Execute();
        QVERIFY(w.isVisible());
        QVERIFY(!run.updates().prompt().isVisible());
        QVERIFY(!run.updates().schedule().timerOn());
        auto *done = w.findChild<QLabel *>(QStringLiteral("Label2"));
        QTRY_VERIFY_WITH_TIMEOUT(done->isVisible(), 20000);
        QVERIFY(run.server.hits("/daily.cvd") >= 1);
        QCOMPARE(run.data().session.state(), QStringLiteral("idle"));
        Run::click(Run::child(&w, "Image2"));
        QVERIFY(!w.isVisible());
        QCOMPARE(no.seen, 0);
        QCOMPARE(run.data().session.state(),
                 scheduled ? QStringLiteral("idle") : QStringLiteral("scanning"));
    }

    // After the server asked to wait, nothing offers or starts an update until then; Check Now
    // says until when.
    void aStoredWaitHoldsEveryWayIn() {
        Run run;
        run.setLastUpdate(5);
        const QDateTime until = QDateTime::currentDateTimeUtc().addSecs(3600);
        (void)run.data().registry().writeText(regkey::updateWait(),
                                              until.toString(Qt::ISODate).toLatin1());
        run.form().Image36Click();
        QVERIFY(!run.updates().downloadWindow().isVisible());
        QCOMPARE(run.failures.size(), 1);
        QVERIFY(run.failures[0].contains(
            QLocale::system().toString(until.toLocalTime(), QLocale::ShortFormat)));

        PromptAnswerer no(run.updates().prompt(), "Image3");
        run.form().hooks.scheduledCheck();
        QVERIFY(!run.updates().schedule().timerOn());
        run.form().Action1Execute();
        QTRY_COMPARE(run.data().session.state(), QStringLiteral("scanning"));
        QCOMPARE(no.seen, 0);
        QCOMPARE(run.server.hits("/main.cvd") + run.server.hits("/daily.cvd"), 0);
    }

    void failedDownloadShowsTheFailureWindow() {
        Run run;
        const double lastUpdate = run.data().settings.lastUpdate;
        run.form().Image36Click();  // the server answers 404
        TForm14 &f = run.updates().failureWindow();
        QTRY_VERIFY_WITH_TIMEOUT(f.isVisible(), 20000);
        QVERIFY(!run.updates().downloadWindow().isVisible());
        QCOMPARE(run.data().settings.updateCount, 0);
        QCOMPARE(run.data().settings.lastUpdate, lastUpdate);
        QVERIFY(QFile::exists(run.db() + "main.cvd/test.hdb"));
        QVERIFY(!QFile::exists(run.db() + "main2.cvd"));
        // Besides the checklist, one line says what happened.
        QCOMPARE(f.findChild<QLabel *>(QStringLiteral("lblReason"))->text(),
                 QStringLiteral("The server does not have the file (HTTP 404)"));

        auto *link = f.findChild<QLabel *>(QStringLiteral("Label7"));
        QCOMPARE(link->text(), QStringLiteral("here"));
        QVERIFY(link->font().bold());
        QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 128, 192));
        QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
        screenshot(&f, QStringLiteral("TForm14.png"));
        QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(3, 3));
        QVERIFY(run.updates().settingsDialog().isVisible());
        QVERIFY(!run.updates().settingsDialog().isModal());
        QVERIFY(f.isVisible());
        screenshot(&run.updates().settingsDialog(), QStringLiteral("TForm12.png"));
        Run::click(Run::child(&f, "Image2"));
        QVERIFY(!f.isVisible());
    }

    // The file arrived but is no database: the window says so in sigtool's words, in full,
    // instead of the connection checklist.
    void refusedFileIsToldInFullNotAsAConnectionProblem() {
        Run run;
        run.server.route("/main.cvd", {200, QByteArray(3000, 'x'), false, {}});
        run.form().Image36Click();
        TForm14 &f = run.updates().failureWindow();
        QTRY_VERIFY_WITH_TIMEOUT(f.isVisible(), 20000);
        const QString reason = run.updates().download().failureReason();
        QVERIFY2(reason.startsWith(QStringLiteral("The downloaded file is not a valid ClamAV "
                                                  "database (")) &&
                     reason.contains(QStringLiteral("main2.cvd")),
                 qPrintable(reason));
        QCOMPARE(f.findChild<QLabel *>(QStringLiteral("Label1"))->text(),
                 QStringLiteral("The file was downloaded but not installed:"));
        for (const char *hidden : {"Label2", "Label3", "Label6", "Label7"})
            QVERIFY2(!f.findChild<QLabel *>(QString::fromLatin1(hidden))->isVisible(), hidden);
        QLabel *shown = f.findChild<QLabel *>(QStringLiteral("lblReason"));
        QCOMPARE(shown->text().remove(QChar(0x200b)), reason);
        QVERIFY(shown->wordWrap());
        QVERIFY(shown->heightForWidth(shown->width()) <= shown->height());
        Run::click(Run::child(&f, "Image2"));

        // A connection problem afterwards shows the checklist again, on one line.
        run.server.route("/main.cvd", {404, "no", false, {}});
        run.form().Image36Click();
        QTRY_VERIFY_WITH_TIMEOUT(f.isVisible(), 20000);
        QVERIFY(f.findChild<QLabel *>(QStringLiteral("Label7"))->isVisible());
        QCOMPARE(shown->text(), QStringLiteral("The server does not have the file (HTTP 404)"));
        QVERIFY(!shown->wordWrap());
    }

    void connectivityCheckNeedsMoreThan5120Bytes() {
        Run run;
        run.updates().download().setStartDelay(100000);
        QAction *menuItem =
            run.form().popupMenu()->findChild<QAction *>(QStringLiteral("UpdateSettings1"));
        QVERIFY(menuItem);
        run.server.route("/ts.html", {200, QByteArray(5120, 'x'), false, {}});
        menuItem->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(run.updates().failureWindow().isVisible(), 20000);
        QVERIFY(!run.updates().downloadWindow().isVisible());
        Run::click(Run::child(&run.updates().failureWindow(), "Image2"));

        run.server.route("/ts.html", {200, QByteArray(5121, 'x'), false, {}});
        menuItem->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(run.updates().downloadWindow().isVisible(), 20000);
        QVERIFY(!run.updates().failureWindow().isVisible());
        QCOMPARE(TestEnv::readFile(run.db() + "ts.html").size(), 5121);
    }

    void settingsOpenWithoutWaitingAndOnlyComeToTheFront() {
        Run run;
        TForm12 &dlg = run.updates().settingsDialog();
        run.form()
            .popupMenu()
            ->findChild<QAction *>(QStringLiteral("VirusDatabaseSettings1"))
            ->trigger();
        QVERIFY(dlg.isVisible());
        QVERIFY(!dlg.isModal());
        run.form().hooks.updateSettings();
        QVERIFY(dlg.isVisible());
        dlg.close();
    }

    void virusDatabasePageShowsTheUpdateFigures() {
        Run run;
        // A fresh installation: nothing downloaded, last update 100 days before the first start.
        run.form().Action2Execute();
        auto text = [&](const char *name) {
            return run.form().findChild<QLabel *>(QString::fromLatin1(name))->text();
        };
        QCOMPARE(text("lblSize"), QStringLiteral("0 bytes"));
        QCOMPARE(text("lblUpdates"), QStringLiteral("0"));
        QCOMPARE(text("lblUpdate"),
                 QLocale::system().toString(QDate(2025, 11, 30), QLocale::ShortFormat));
        screenshot(&run.form(), QStringLiteral("VirusDatabasePage.png"));

        // Filled only when the page is opened.
        run.data().settings.updateSize = 1234567;
        run.data().settings.updateCount = 12;
        QCOMPARE(text("lblSize"), QStringLiteral("0 bytes"));
        run.form().Action2Execute();
        QCOMPARE(text("lblSize"), QStringLiteral("1234567 bytes"));
        QCOMPARE(text("lblUpdates"), QStringLiteral("12"));
        // The whole figure shows, not only its first digit.
        auto *size = run.form().findChild<QLabel *>(QStringLiteral("lblSize"));
        QVERIFY(size->width() >= size->fontMetrics().horizontalAdvance(size->text()));
    }

    void promptScreenshotAndYesOpensTheDownload() {
        Run run;
        run.updates().download().setStartDelay(100000);
        TForm15 &p = run.updates().prompt();
        QTimer::singleShot(200, &p, [&] {
            QCOMPARE(p.findChild<QLabel *>(QStringLiteral("Label1"))->text(),
                     QStringLiteral("There is a Virus Database Update available!"));
            screenshot(&p, QStringLiteral("TForm15.png"));
            Run::click(Run::child(&p, "Image2"));
        });
        run.updates().showPrompt();
        QVERIFY(p.isVisible());
        QVERIFY(p.isModal());
        QTRY_VERIFY(run.updates().downloadWindow().isVisible());
        QVERIFY(!p.isVisible());
        QCOMPARE(run.data().session.state(), QStringLiteral("idle"));
        Run::click(Run::child(&run.updates().downloadWindow(), "Image3"));
    }
};

QTEST_MAIN(TestUpdateWindows)
#include "test_updatewindows.moc"
