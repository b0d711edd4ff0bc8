// First-run update journeys as a user makes them: real windows under a window manager, real
// mouse clicks through xdotool, a real HTTP server on 127.0.0.1 as the database server.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QTest>

#include "../../update/httpserver.h"
#include "state/daycount.h"
#include "app/programdata.h"
#include "state/registry.h"
#include "platform/keystore.h"
#include "support/testenv.h"
#include "support/programrun.h"
#include "ui/application.h"
#include "ui/skin/skindialog.h"
#include "ui/tform1.h"
#include "ui/tform12.h"
#include "ui/updatewindows.h"
#include "update/databasedownload.h"
#include "support/xsession.h"

using namespace xsession;

namespace {

const QDate today(2026, 3, 10);

// A fresh installation started as the program starts: no settings, the real scheduled check.
struct FirstRun : ProgramRun {
    TestHttpServer server;

    FirstRun() : ProgramRun(today) {
        env.copySkin();
        QDir().mkpath(env.dataFolder() + "db/");
        if (!server.listen())
            qFatal("no local port");
        // The hosts are in the key store before the program starts.
        {
            ProgramData seed(clock, platform::KeyStore(env.registryRoot()));
            (void)seed.registry().writeText(regkey::dbServer(), server.host());
            (void)seed.registry().writeText(regkey::website(), server.host());
        }
        start();
        app->updates().download().setStartDelay(300);
        // Accepts what begins like a database: a signed one cannot be made here (see the script).
        app->updates().download().setVerifier(VZ_TESTS_SOURCE_DIR "/update/standin-sigtool");
        app->show();
    }
    UpdateWindows &updates() { return app->updates(); }
    QString db() const { return env.dataFolder() + "db/"; }

    // The scheduled prompt about 6 s after start, answered Yes with the mouse.
    void answerScheduledPromptYes() {
        TForm15 &prompt = updates().prompt();
        QElapsedTimer sinceStart;
        sinceStart.start();
        QTRY_VERIFY_WITH_TIMEOUT(prompt.isVisible(), 10000);
        const qint64 shownAfter = sinceStart.elapsed();
        QVERIFY(prompt.isModal());
        QVERIFY(QTest::qWaitForWindowExposed(&prompt));
        click(prompt.findChild<QWidget *>(QStringLiteral("Image2")));
        QTRY_VERIFY_WITH_TIMEOUT(updates().downloadWindow().isVisible(), 12000);
        QVERIFY(!prompt.isVisible());
        QVERIFY2(shownAfter >= 5000 && shownAfter <= 8000, qPrintable(QString::number(shownAfter)));
        QVERIFY(!app->mainWindow().timer2().isActive());
    }
};

}  // namespace

class TestUpdateWindowsX : public QObject {
    Q_OBJECT
private slots:
    void firstRunDownloadsAndInstallsTheMainAndDailyDatabases() {
        FirstRun run;
        const QByteArray body = DatabaseDownload::signature + QByteArray(6 * 1024 * 1024, 'c');
        const QByteArray daily = DatabaseDownload::signature + QByteArray(1024 * 1024, 'd');
        run.server.route("/main.cvd", {200, body, false, {}});
        run.server.route("/daily.cvd", {200, daily, false, {}});
        TForm8 &w = run.updates().downloadWindow();
        auto *gauge = w.findChild<QProgressBar *>(QStringLiteral("Gauge1"));
        QList<int> values;
        connect(gauge, &QProgressBar::valueChanged, this, [&](int v) { values << v; });

        run.answerScheduledPromptYes();
        auto *done = w.findChild<QLabel *>(QStringLiteral("Label2"));
        QTRY_VERIFY_WITH_TIMEOUT(done->isVisible(), 20000);
        QCOMPARE(done->text(),
                 QStringLiteral("The Updates have successfully been downloaded and installed."));
        // The gauge moved through both downloads, ending at the daily file's size.
        QCOMPARE(gauge->maximum(), daily.size());
        QVERIFY(!values.isEmpty());
        QCOMPARE(values.last(), daily.size());
        QCOMPARE(run.server.hits("/main.cvd"), 1);
        QCOMPARE(run.server.hits("/daily.cvd"), 1);
        QTRY_VERIFY(QFile::exists(run.db() + "main.cvd") && !QFile::exists(run.db() + "main2.cvd"));
        QCOMPARE(TestEnv::readFile(run.db() + "main.cvd"), body);
        QCOMPARE(TestEnv::readFile(run.db() + "daily.cvd"), daily);
        QCOMPARE(run.app->data().settings.updateCount, 1);
        QCOMPARE(daycount::toDate(run.app->data().settings.lastUpdate), today);

        QTest::qWait(200);
        click(w.findChild<QWidget *>(QStringLiteral("Image2")));
        QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 5000);
    }

    void firstRunWithoutServerLeadsToTheSettings() {
        FirstRun run;
        run.server.close();
        run.answerScheduledPromptYes();
        TForm14 &f = run.updates().failureWindow();
        QTRY_VERIFY_WITH_TIMEOUT(f.isVisible(), 20000);
        QTRY_VERIFY(!run.updates().downloadWindow().isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QTest::qWait(300);
        QCOMPARE(run.app->data().settings.updateCount, 0);
        QVERIFY(!QFile::exists(run.db() + "main.cvd"));

        click(f.findChild<QWidget *>(QStringLiteral("Label7")));
        TForm12 &settings = run.updates().settingsDialog();
        QTRY_VERIFY_WITH_TIMEOUT(settings.isVisible(), 5000);
        QVERIFY(f.isVisible());
        settings.close();
        QTest::qWait(200);
        click(f.findChild<QWidget *>(QStringLiteral("Image2")));
        QTRY_VERIFY_WITH_TIMEOUT(!f.isVisible(), 5000);
    }
};

QTEST_MAIN(TestUpdateWindowsX)
#include "test_updatewindows_x.moc"
