// The system's databases inside the real program objects, offscreen: a first start with none
// anywhere, scans and pages with fresh ones, the notice when they grow stale, and the choice
// in the update settings dialog.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTest>

#include "app/programdata.h"
#include "scan/scanengine.h"
#include "state/registry.h"
#include "support/programrun.h"
#include "support/testenv.h"
#include "ui/application.h"
#include "ui/skin/skindialog.h"
#include "ui/tform1.h"
#include "ui/tform12.h"
#include "ui/updatewindows.h"
#include "update/databasedownload.h"
#include "update/updateschedule.h"

namespace {

QByteArray database(const QDateTime &built, int version) {
    return TestEnv::cvdDatabase(built, version, 4096);
}

struct Run : ProgramRun {
    QString args;
    QDateTime built;

    // daysOld < 0: no system databases. ownCopy false: the program has none of its own.
    Run(double daysOld, bool ownCopy) {
        env.installFakeScanner();
        if (!ownCopy)
            QDir(db() + "main.cvd").removeRecursively();
        if (daysOld >= 0) {
            built = QDateTime::currentDateTimeUtc().addSecs(qint64(-daysOld * 24 * 3600));
            built = built.addMSecs(-built.time().msec()).addSecs(-built.time().second());
            TestEnv::writeFile(env.systemDatabase() + "main.cvd", database(built.addDays(-90), 62));
            TestEnv::writeFile(env.systemDatabase() + "daily.cld", database(built, 27000));
        }
        // A signed database cannot be made here, and the real sigtool verifies a .cvd's
        // signature: the stand-in, as the program folder's sigtool, accepts what begins with the
        // header and hands the rest to the real sigtool.
        QVERIFY(QFile::copy(VZ_TESTS_SOURCE_DIR "/update/standin-sigtool",
                            env.programFolder() + "sigtool"));
        args = env.root() + "args.txt";
        qputenv("FAKE_CLAMSCAN_ARGS", QFile::encodeName(args));
        start();
        form().timer2().stop();
        QDir().mkpath(env.root() + "disk");
        const QByteArray mount = "36 25 8:1 / " + (env.root() + "disk").toLocal8Bit() +
                                 " rw,relatime shared:1 - ext4 /dev/sda1 rw\n";
        app->engine().setMountInfoSource([mount] { return mount; });
        updates().download().setStartDelay(600000);  // shown, never started: nothing is fetched
        failures.clear();
    }
    ~Run() { qunsetenv("FAKE_CLAMSCAN_ARGS"); }
    QString db() const { return env.dataFolder() + "db/"; }
    UpdateWindows &updates() { return app->updates(); }
    QString label(const char *name) {
        return form().findChild<QLabel *>(QString::fromLatin1(name))->text();
    }
    QStringList scannedWith() {
        QStringList databases;
        for (const QByteArray &line : TestEnv::readFile(args).split('\n'))
            if (line.startsWith("--database="))
                databases << QString::fromLocal8Bit(line.mid(11));
        return databases;
    }
};

}  // namespace

class TestSystemDatabase : public QObject {
    Q_OBJECT
private slots:
    void firstStartWithoutDatabasesOffersUpdateNow_data() {
        QTest::addColumn<bool>("answer");
        QTest::newRow("update now") << true;
        QTest::newRow("not now") << false;
    }
    void firstStartWithoutDatabasesOffersUpdateNow() {
        QFETCH(bool, answer);
        Run run(-1, false);
        run.answer = answer;
        run.form().hooks.preScanOffer = {};  // straight to the scan
        run.form().Action1Execute();
        QTRY_COMPARE(run.questions.size(), 1);
        QVERIFY(run.questions[0].endsWith("Update now?"));
        QVERIFY(run.questions[0].startsWith("No virus database"));
        QVERIFY(run.failures.isEmpty());
        QCOMPARE(run.app->data().session.state(), QStringLiteral("idle"));
        QCOMPARE(run.updates().downloadWindow().isVisible(), answer);
        QCOMPARE(run.updates().download().state() == DatabaseDownload::State::Waiting, answer);
    }

    // A fresh user on a machine whose service keeps the databases: nothing is offered or
    // downloaded, scans use the system's, and the page and Check Now say so.
    void freshSystemDatabasesServeWithoutAsking() {
        Run run(1, false);
        run.app->data().settings.checkFrequency = 0;  // a daily check, 100 days since the last
        run.form().hooks.scheduledCheck();
        QVERIFY(!run.updates().prompt().isVisible());
        QVERIFY(!run.updates().schedule().timerOn());

        run.form().Action1Execute();
        QVERIFY(!run.updates().prompt().isVisible());
        QTRY_COMPARE(run.app->data().session.state(), QStringLiteral("idle"));
        QCOMPARE(run.scannedWith(), (QStringList{run.env.systemDatabase() + "main.cvd",
                                                 run.env.systemDatabase() + "daily.cld"}));

        run.form().Action2Execute();
        QCOMPARE(run.label("lblDatabase"),
                 QStringLiteral("Version 27000. Kept up to date by the system"));
        QCOMPARE(run.label("lblUpdate"),
                 QLocale::system().toString(run.built.toLocalTime().date(), QLocale::ShortFormat));
        run.form().Image36Click();
        QCOMPARE(run.failures.size(), 1);
        QVERIFY(run.failures[0].contains("last updated it on"));
        QVERIFY(!run.updates().downloadWindow().isVisible());
        QVERIFY(run.questions.isEmpty());
        QVERIFY(run.env.registryValue("dbsource").isEmpty());  // still the default
    }

    void staleSystemDatabasesAreToldOnce_data() {
        QTest::addColumn<bool>("ownCopy");
        QTest::newRow("take an own copy") << true;
        QTest::newRow("keep the system's") << false;
    }
    void staleSystemDatabasesAreToldOnce() {
        QFETCH(bool, ownCopy);
        Run run(4, false);
        run.answer = ownCopy;
        run.form().hooks.scheduledCheck();
        QCOMPARE(run.questions.size(), 1);
        QVERIFY(run.questions[0].contains("more than three days ago"));
        QCOMPARE(run.env.registryValue("dbsource"), QByteArray(ownCopy ? "own" : "system"));
        QCOMPARE(run.updates().downloadWindow().isVisible(), ownCopy);
        if (ownCopy)
            run.updates().downloadWindow().reject();
        // Not told again for the same build, before a scan or in a later run.
        run.answer = false;
        run.form().Action1Execute();
        // An own copy is as today: the update prompt comes before the scan.
        QCOMPARE(run.updates().prompt().isVisible(), ownCopy);
        if (ownCopy)
            run.updates().prompt().reject();
        QCOMPARE(run.questions.size(), 1);
    }

    void settingsDialogSwitchesBothWays() {
        Run run(1, true);
        TestEnv::writeFile(run.db() + "daily.cvd", QByteArray(1000, 'd'));
        TestEnv::writeFile(run.db() + "list.gav", "keep");
        TForm12 &dialog = run.updates().settingsDialog();
        auto *choice = dialog.findChild<QComboBox *>(QStringLiteral("ComboBox1"));
        auto *save = dialog.findChild<QPushButton *>(QStringLiteral("Button1"));
        dialog.showDialog();
        QVERIFY(choice->isVisible());
        QCOMPARE(choice->currentText(), QStringLiteral("System (kept by the freshclam service)"));
        choice->setCurrentIndex(1);
        QTest::mouseClick(save, Qt::LeftButton);
        QCOMPARE(run.env.registryValue("dbsource"), QByteArray("own"));
        QVERIFY(run.questions.isEmpty());
        run.form().Action2Execute();
        QCOMPARE(run.label("lblDatabase"), QStringLiteral("Own copy"));

        // Back to the system's: the own copy may go, and the question says what it frees.
        dialog.showDialog();
        QCOMPARE(choice->currentIndex(), 1);
        choice->setCurrentIndex(0);
        run.answer = true;
        QTest::mouseClick(save, Qt::LeftButton);
        QCOMPARE(run.env.registryValue("dbsource"), QByteArray("system"));
        QCOMPARE(run.questions.size(), 1);
        QVERIFY(run.questions[0].contains(QLocale::system().formattedDataSize(1000)));
        QVERIFY(!QFile::exists(run.db() + "daily.cvd"));
        QVERIFY(QFile::exists(run.db() + "list.gav"));
        QCOMPARE(run.label("lblDatabase"),
                 QStringLiteral("Version 27000. Kept up to date by the system"));
    }

    // With no usable system database (none there, or one sigtool refuses) scans go on with the
    // own copy: its deletion is not offered as if the system's took over.
    void ownCopyStaysWhileTheSystemHasNone_data() {
        QTest::addColumn<bool>("forged");
        QTest::newRow("none there") << false;
        QTest::newRow("refused by sigtool") << true;
    }
    void ownCopyStaysWhileTheSystemHasNone() {
        QFETCH(bool, forged);
        Run run(forged ? 1 : -1, true);
        if (forged)
            TestEnv::writeFile(run.env.systemDatabase() + "daily.cld", "not a database");
        TestEnv::writeFile(run.db() + "daily.cvd", QByteArray(1000, 'd'));
        TForm12 &dialog = run.updates().settingsDialog();
        auto *choice = dialog.findChild<QComboBox *>(QStringLiteral("ComboBox1"));
        dialog.showDialog();
        QCOMPARE(choice->currentIndex(), 1);
        choice->setCurrentIndex(0);
        run.answer = true;
        QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("Button1")),
                          Qt::LeftButton);
        QCOMPARE(run.env.registryValue("dbsource"), QByteArray("system"));
        QVERIFY(run.questions.isEmpty());
        QVERIFY(QFile::exists(run.db() + "daily.cvd"));
        QVERIFY(QFile::exists(run.db() + "main.cvd"));
    }
};

QTEST_MAIN(TestSystemDatabase)
#include "test_systemdatabase.moc"
