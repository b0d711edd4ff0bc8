#include <climits>
#include <cmath>
#include <csignal>
#include <cstring>

#include <sys/stat.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "app/programdata.h"
#include "scan/scanengine.h"
#include "state/daycount.h"
#include "ui/skin/skinbuttons.h"
#include "support/testenv.h"
#include "support/programrun.h"
#include "ui/application.h"
#include "ui/tform1.h"

namespace {

// A program run in a private world, with the fake scanner as the program's clamscan.
struct Run : ProgramRun {
    explicit Run(const QByteArray &scannerOutput = {}, bool hang = false) {
        env.installFakeScanner();
        const QString out = env.root() + "scanner-output.txt";
        TestEnv::writeFile(out, scannerOutput);
        qputenv("FAKE_CLAMSCAN_OUTPUT", out.toLocal8Bit());
        qputenv("FAKE_CLAMSCAN_HANG", hang ? "1" : "0");
        start().show();
    }
    ~Run() {
        qunsetenv("FAKE_CLAMSCAN_HANG");
        qunsetenv("FAKE_CLAMSCAN_FLOOD");
    }
    QString text(const char *name) {
        auto *l = form().findChild<QLabel *>(QString::fromLatin1(name));
        return l ? l->text() : QStringLiteral("<missing %1>").arg(QLatin1String(name));
    }
    QWidget *widget(const char *name) {
        return form().findChild<QWidget *>(QString::fromLatin1(name));
    }
    void click(const char *name) {
        QTest::mouseClick(widget(name), Qt::LeftButton, {}, QPoint(5, 5));
    }
    void startScan() {
        QDir().mkpath(env.root() + "target");
        QVERIFY(app->engine().startCustomScan({env.root() + "target/"}));
    }
};

// A stored record of `size` zero bytes with `field` written at `offset`.
template <typename T>
QByteArray recordWith(int size, int offset, T field) {
    QByteArray bytes(size, '\0');
    std::memcpy(bytes.data() + offset, &field, sizeof(T));
    return bytes;
}

// How a stored value is put in place: its bytes, a pipe that no one writes, or a file of
// 3 GiB (sparse) behind a valid type line.
enum class Stored { Bytes, Pipe, Huge };

}  // namespace

class TestTForm1 : public QObject {
    Q_OBJECT
private slots:
    void firstRunShowsNoneAndZeroOnEveryPage() {
        Run run;
        QCOMPARE(run.form().size(), QSize(792, 442));
        QCOMPARE(run.form().windowTitle(), QStringLiteral("Vizavuz AntiVirus"));
        QVERIFY(run.form().windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(run.widget("Panel2")->isVisible());
        QVERIFY(!run.widget("Panel3")->isVisible());
        QCOMPARE(run.text("Label6"), QStringLiteral("none"));
        for (const char *n : {"Label7", "Label8", "Label9"})
            QCOMPARE(run.text(n), QStringLiteral("0"));
        run.click("Image4");
        QVERIFY(run.widget("Panel4")->isVisible());
        QCOMPARE(run.text("Label18"), QStringLiteral("none"));
        for (const char *n : {"Label19", "Label20", "Label21"})
            QCOMPARE(run.text(n), QStringLiteral("0"));
        run.click("Image5");
        QVERIFY(run.widget("Panel5")->isVisible());
        QVERIFY(!run.widget("Panel4")->isVisible());
        QCOMPARE(run.text("Label36"), QStringLiteral("none"));
        for (const char *n :
             {"Label32", "Label33", "Label34", "Label35", "Label37", "Label38", "Label39"})
            QCOMPARE(run.text(n), QStringLiteral("0"));
        QCOMPARE(run.widget("Panel5")->geometry(), QRect(130, 44, 649, 363));
        run.click("Image6");
        QVERIFY(run.widget("Panel6")->isVisible());
        QCOMPARE(run.form().selectedNavButton(), 4);
    }

    void anyStoredValueGivesTheWindow_data() {
        QTest::addColumn<QString>("where");  // a key store subkey, or a data folder file
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("bytes");
        const int bytes = int(Stored::Bytes);
        for (std::int32_t count : {INT_MAX, INT_MIN, 1001})
            QTest::addRow("vault count %d", count)
                << "sysdata" << bytes << recordWith(808, 784, count);
        const double dates[] = {std::nan(""), 1e308, -1e308, INFINITY, -INFINITY, 4e6};
        for (double date : dates)
            QTest::addRow("last update %g", date)
                << "sysdata" << bytes << recordWith(808, 792, date);
        QByteArray lsd(64, char(0xff));
        lsd[32] = char(0xff);  // a date text "longer" than its 20 characters
        QTest::newRow("last scan all 0xff") << "lsd" << bytes << lsd;
        for (const char *subkey : {"sysdata", "lsd", "appdatapath"}) {
            QTest::addRow("%s pipe", subkey) << subkey << int(Stored::Pipe) << QByteArray();
            QTest::addRow("%s 3 GiB", subkey) << subkey << int(Stored::Huge) << QByteArray();
        }
        QTest::newRow("records.gav pipe")
            << "virus_vault/records.gav" << int(Stored::Pipe) << QByteArray();
    }

    // Whatever a stored value holds, the program starts with its window and every page opens;
    // a count beyond the vault's room never fills more than its 1,000 rows.
    void anyStoredValueGivesTheWindow() {
        QFETCH(QString, where);
        QFETCH(int, kind);
        QFETCH(QByteArray, bytes);
        ProgramRun run;
        const bool file = where.contains(u'/');
        const QString path = file ? run.env.dataFolder() + where
                                  : run.env.registryRoot() +
                                        "HKEY_LOCAL_MACHINE/SOFTWARE/Vizavuz/AntiVirus/" + where +
                                        "/(default)";
        TestEnv::writeFile(path, file ? bytes : "REG_BINARY\n" + bytes);
        if (kind == int(Stored::Pipe)) {
            QFile::remove(path);
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == int(Stored::Huge)) {
            QFile huge(path);
            QVERIFY(huge.open(QIODevice::ReadWrite) && huge.resize(qint64(3) << 30));
        }
        run.start(true).show();
        TForm1 &f = run.form();
        QVERIFY(f.isVisible());
        const SettingsRecord &s = run.app->data().settings;
        QVERIFY(s.vaultCount >= 0 && s.vaultCount <= 1000);
        QVERIFY(f.vaultList()->count() <= 1000);
        // A date that is no date takes the yearly reset, so the page shows a real one.
        QVERIFY(daycount::toDate(s.lastUpdate).isValid());
        QTest::mouseClick(f.findChild<QWidget *>("Image6"), Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(f.currentPage(), 4);
        QVERIFY(!f.findChild<QLabel *>("lblUpdate")->text().isEmpty());
        for (const char *page : {"Image3", "Image4", "Image5"})
            QTest::mouseClick(f.findChild<QWidget *>(page), Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(f.currentPage(), 3);
        QVERIFY(f.findChild<QLabel *>("Label36")->text().size() <= 20);
    }

    void pagesShowTheStoredFigures() {
        Run run;
        LastScanRecord &ls = run.app->data().lastScan;
        ls.lastDate.assign("10/03/2026");
        ls.lastFound = 7;
        ls.lastScanned = 12345;
        ls.lastRemoved = 3;
        ls.scanCount = 4;
        ls.totalFound = 21;
        ls.totalScanned = 99999;
        ls.totalRemoved = 11;
        run.click("Image3");
        QCOMPARE(run.text("Label6"), QStringLiteral("10/03/2026"));
        QCOMPARE(run.text("Label7"), QStringLiteral("7"));
        QCOMPARE(run.text("Label8"), QStringLiteral("12345"));
        QCOMPARE(run.text("Label9"), QStringLiteral("3"));
        run.click("Image4");
        QCOMPARE(run.text("Label19"), QStringLiteral("7"));
        QCOMPARE(run.text("Label20"), QStringLiteral("12345"));
        QCOMPARE(run.text("Label21"), QStringLiteral("3"));
        run.click("Image5");
        QCOMPARE(run.text("Label32"), QStringLiteral("4"));
        QCOMPARE(run.text("Label33"), QStringLiteral("21"));
        QCOMPARE(run.text("Label34"), QStringLiteral("99999"));
        QCOMPARE(run.text("Label35"), QStringLiteral("11"));
        QCOMPARE(run.text("Label38"), QStringLiteral("12345"));
    }

    void scanDuringAScanKeepsTheProgressViewAndTheListMovesBack() {
        Run run({}, true);
        run.startScan();
        QTRY_VERIFY(run.widget("Panel3")->isVisible());
        QCOMPARE(run.form().scanView(), 2);
        auto *list = run.form().infectionsList();
        run.click("Image4");
        QCOMPARE(list->parentWidget(), run.widget("Panel4"));
        QCOMPARE(list->geometry(), QRect(0, 130, 649, 220));
        QCOMPARE(run.widget("Image29")->y(), 98);
        run.click("Image3");
        QVERIFY(run.widget("Panel3")->isVisible());
        QVERIFY(!run.widget("Panel2")->isVisible());
        QCOMPARE(list->parentWidget(), run.widget("Panel3"));
        QCOMPARE(list->geometry(), QRect(0, 64, 649, 249));
        QCOMPARE(run.widget("Image29")->y(), 32);
        QVERIFY(list->isVisible());
        run.click("Image17");  // pause
        QCOMPARE(run.app->data().session.state(), QStringLiteral("paused"));
        run.click("Image3");
        QVERIFY(run.widget("Panel3")->isVisible());
        run.click("Image18");  // resume
        QCOMPARE(run.app->data().session.state(), QStringLiteral("scanning"));
        run.click("Image19");  // stop
        QCOMPARE(run.app->data().session.state(), QStringLiteral("idle"));
        run.click("Image3");
        QVERIFY(run.widget("Panel2")->isVisible());
    }

    void finishedScanFillsTheListAndLabels() {
        Run run("/t/a: OK\n/t/b: Eicar-Test-Signature FOUND\n/t/c: OK\n");
        QSignalSpy found(&run.app->engine(), &ScanEngine::infectionsFoundWindowRequested);
        QSignalSpy bar(&run.form(), &TForm1::progressRepaintRequested);
        run.startScan();
        QTRY_COMPARE(found.count(), 1);
        // The closed scan's bar is drawn full, after the progress timer has stopped.
        QVERIFY(!bar.isEmpty());
        QCOMPARE(bar.last().at(0).toInt(), 100);
        QCOMPARE(run.form().infectionsList()->count(), 1);
        QVERIFY(run.form().infectionsList()->item(0)->text().contains(QStringLiteral("/t/b")));
        QCOMPARE(run.form().infectionsList()->item(0)->sizeHint().height(), 13);
        QTRY_COMPARE(run.text("Label12"), QStringLiteral("Infections Found: 1"));
        QCOMPARE(run.text("Label40"), run.app->data().session.scannedText());
        QCOMPARE(run.text("Label10"), run.app->data().session.status());
        QVERIFY(!run.form().timer1().isActive());
        // The test's program folder has no skin files: the program says which, and nothing else.
        QTRY_VERIFY(!run.failures.isEmpty());
        QCOMPARE(run.failures.size(), 1);
        QVERIFY(run.failures.first().contains(QStringLiteral("bin/skin/img1.png")));
        QVERIFY(!run.failures.first().contains(QStringLiteral("clamscan")));
    }

    void floodRepaintsLabelsOncePerTick() {
        qputenv("FAKE_CLAMSCAN_FLOOD", "150000");
        Run run;
        QElapsedTimer clock;
        clock.start();
        run.startScan();
        QTRY_COMPARE_WITH_TIMEOUT(run.app->data().session.state(), QStringLiteral("idle"), 60000);
        const qint64 ticks = clock.elapsed() / 100;
        QVERIFY2(run.form().scanLabelRepaints() <= ticks + 4,
                 qPrintable(QStringLiteral("%1 repaints in %2 ticks")
                                .arg(run.form().scanLabelRepaints())
                                .arg(ticks)));
        QCOMPARE(run.text("Label40"), QStringLiteral("Items Scanned: 150000"));
        QCOMPARE(run.text("Label11"), run.app->data().session.percentText());
    }

    void buttonEventsReachTheSkinInOrder() {
        Run run;
        TForm1 &f = run.form();
        QStringList events;
        connect(&f, &TForm1::buttonHovered, this,
                [&](int i) { events << QStringLiteral("hover %1").arg(i); });
        connect(&f, &TForm1::buttonPressed, this,
                [&](int i) { events << QStringLiteral("press %1").arg(i); });
        connect(&f, &TForm1::buttonReleased, this,
                [&](int i) { events << QStringLiteral("release %1").arg(i); });
        connect(&f, &TForm1::navigationSelected, this,
                [&](int i) { events << QStringLiteral("select %1").arg(i); });
        // A right press shows the down image too, but only the left button clicks; the click
        // runs before the release.
        QTest::mouseClick(run.widget("Image5"), Qt::RightButton, {}, QPoint(3, 3));
        QCOMPARE(events, QStringList({"press 3", "release 3"}));
        f.popupMenu()->hide();  // the right click's menu
        events.clear();
        QTest::mouseClick(run.widget("Image5"), Qt::LeftButton, {}, QPoint(3, 3));
        QCOMPARE(events, QStringList({"press 3", "select 3", "release 3"}));
        events.clear();
        QTest::mouseMove(run.widget("Image3"), QPoint(4, 4));
        QTest::mouseMove(run.widget("Image1"), QPoint(300, 20));
        QVERIFY(events.contains(QStringLiteral("hover 1")));
        QCOMPARE(events.last(), QStringLiteral("hover -1"));
        // Pressed, then released outside: no click.
        events.clear();
        QTest::mousePress(run.widget("Image4"), Qt::LeftButton, {}, QPoint(3, 3));
        QTest::mouseRelease(run.widget("Image4"), Qt::LeftButton, {}, QPoint(300, 300));
        QCOMPARE(events, QStringList({"press 2", "release 2"}));
        QCOMPARE(f.currentPage(), 3);  // from the left click on History
    }

    void buttonOpeningAModalWindowStaysDownUntilItCloses_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("skin");
        QTest::addColumn<bool>("quiet");  // false: the update prompt comes before a scan
        QTest::newRow("Check Now, download window") << "Image36" << 29 << true;
        QTest::newRow("custom scan, directories") << "Image11" << 9 << true;
        QTest::newRow("full scan, update prompt") << "Image12" << 10 << false;
    }

    void buttonOpeningAModalWindowStaysDownUntilItCloses() {
        QFETCH(QString, button);
        QFETCH(int, skin);
        QFETCH(bool, quiet);
        ProgramRun run(QDate(2026, 3, 10));
        // The last update lies 100 days back (the first run's reset): the prompt is due.
        run.start(quiet).show();
        QWidget *control = run.form().findChild<QWidget *>(button);
        run.form().Action2Execute();  // the page that holds the control
        if (!control->isVisible())
            run.form().Image3Click();
        QVERIFY(control->isVisible());
        QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(5, 5));
        QWidget *modal = QApplication::activeModalWidget();
        QVERIFY(modal && modal->isVisible());
        QVERIFY(run.app->skin().isPressed(skin));
        QTest::qWait(50);
        QVERIFY(run.app->skin().isPressed(skin));
        QVERIFY(qobject_cast<QDialog *>(modal));
        static_cast<QDialog *>(modal)->reject();
        QVERIFY(!run.app->skin().isPressed(skin));
    }

    void controlsSitWhereTheLayoutSays() {
        Run run;
        const struct {
            const char *name;
            QRect geometry;
        } controls[] = {
            {"Image3", {8, 72, 105, 89}},     {"Image6", {8, 336, 105, 89}},
            {"Image8", {687, 0, 25, 25}},     {"Image10", {749, 0, 25, 25}},
            {"Image16", {0, 0, 105, 33}},     {"Image20", {416, 0, 105, 33}},
            {"Image15", {8, 344, 593, 13}},   {"Image12", {80, 24, 233, 81}},
            {"Image36", {520, 48, 105, 25}},  {"edtVirusDB", {0, 208, 649, 121}},
            {"Image35", {136, 344, 105, 25}}, {"Panel1", {130, 44, 649, 373}},
        };
        for (const auto &c : controls)
            QCOMPARE(run.widget(c.name)->geometry(), c.geometry);
        QCOMPARE(run.widget("Image35")->toolTip(),
                 QStringLiteral("Restore file to a seleteced location"));
        QCOMPARE(run.widget("Label20")->parentWidget()->objectName(), QStringLiteral("Panel4"));
        QCOMPARE(run.text("Label17"), QStringLiteral("Items Scaned:"));
        QVERIFY(run.widget("Image7")->isHidden());
        // The rounded outline: corners cut, edges kept.
        const QRegion mask = run.form().mask();
        QVERIFY(!mask.contains(QPoint(0, 0)));
        QVERIFY(!mask.contains(QPoint(791, 441)));
        QVERIFY(mask.contains(QPoint(8, 0)));
        QVERIFY(mask.contains(QPoint(0, 221)));
        const QStringList menu = [&] {
            QStringList names;
            for (QAction *a : run.form().popupMenu()->actions())
                names << a->objectName();
            return names;
        }();
        QCOMPARE(menu, QStringList({"Scan1", "VirusDatabase1", "UpdateSettings1",
                                    "VirusDatabaseSettings1", "ScanSettings1", "DeletefromVault1",
                                    "ScanLog1", "ScheduledScan1", "N2", "MinimizetoSystemTray1",
                                    "N1", "About1"}));
        QCOMPARE(run.form().timer2().interval(), 6000);
        QVERIFY(run.form().timer2().isActive());
        QCOMPARE(run.form().timer1().interval(), 100);
        QVERIFY(!run.form().timer1().isActive());
    }

    // Start Scan from the popup menu while another page shows: the Scan page comes up with
    // its progress view, and the navigation selection follows it.
    void startScanFromTheMenuShowsTheScanPage() {
        Run run({}, true);
        QDir().mkpath(run.env.root() + "disk");
        const QByteArray mount = "36 25 8:1 / " + (run.env.root() + "disk").toLocal8Bit() +
                                 " rw,relatime shared:1 - ext4 /dev/sda1 rw\n";
        run.app->engine().setMountInfoSource([mount] { return mount; });
        run.form().hooks.preScanOffer = [](int) { return false; };
        run.click("Image5");
        QCOMPARE(run.form().currentPage(), 3);
        QSignalSpy navigation(&run.form(), &TForm1::navigationSelected);
        run.form().popupMenu()->findChild<QAction *>(QStringLiteral("Scan1"))->trigger();
        QCOMPARE(run.app->data().session.state(), QStringLiteral("scanning"));
        QCOMPARE(run.form().currentPage(), 1);
        QVERIFY(run.widget("Panel1")->isVisible());
        QVERIFY(run.widget("Panel3")->isVisible());
        QCOMPARE(navigation.count(), 1);
        QCOMPARE(navigation.at(0).at(0).toInt(), 1);
        run.app->engine().stopRoutine();
    }

    void startScanUsesThePreScanOfferAndStopsTimer2() {
        Run run;
        QList<int> offers;
        run.form().hooks.preScanOffer = [&](int action) {
            offers << action;
            return true;  // the update prompt took over
        };
        run.click("Image12");
        run.click("Image11");
        QCOMPARE(offers, QList<int>({1, 2}));
        QVERIFY(!run.form().timer2().isActive());
        QCOMPARE(run.app->data().session.state(), QStringLiteral("idle"));
        // Check Now does nothing while a scan runs.
        int checks = 0;
        run.form().hooks.checkNow = [&] { ++checks; };
        run.form().Image36Click();
        QCOMPARE(checks, 1);
        qputenv("FAKE_CLAMSCAN_HANG", "1");
        run.startScan();
        run.form().Image36Click();
        QCOMPARE(checks, 1);
    }

    // Running or paused, the scan is stopped and recorded, its scanner ended. Once a loop has
    // been ended this way the exit stays requested for this process, so only the first row
    // runs the loop; the second waits for the same effects.
    void terminationSignalStopsTheScannerAndEndsTheLoops_data() {
        QTest::addColumn<bool>("paused");
        QTest::newRow("paused") << true;
        QTest::newRow("running") << false;
    }
    void terminationSignalStopsTheScannerAndEndsTheLoops() {
        QFETCH(bool, paused);
        Run run("/t/a: Eicar FOUND\n", true);
        const QString pidFile = run.env.root() + "scanner.pid";
        qputenv("FAKE_CLAMSCAN_PIDFILE", QFile::encodeName(pidFile));
        run.startScan();
        qunsetenv("FAKE_CLAMSCAN_PIDFILE");
        QTRY_VERIFY(!TestEnv::readFile(pidFile).trimmed().isEmpty());
        QTRY_COMPARE(run.app->data().infections.count(), 1);
        if (paused) {
            run.click("Image17");
            QCOMPARE(run.app->data().session.state(), QStringLiteral("paused"));
        }
        const QString proc = "/proc/" + QString::fromLatin1(TestEnv::readFile(pidFile).trimmed());
        // Alive: listed and not a zombie waiting to be reaped.
        auto alive = [&proc] {
            const QByteArray stat = TestEnv::readFile(proc + "/stat");
            return !stat.isEmpty() && stat.mid(stat.lastIndexOf(')') + 2, 1) != "Z";
        };
        QVERIFY(alive());
        QCOMPARE(run.app->data().session.state(),
                 paused ? QStringLiteral("paused") : QStringLiteral("scanning"));

        // The signal arrives while a loop runs, as it would in the program's main loop.
        if (paused) {
            QEventLoop loop;
            QTimer::singleShot(0, [] { ::raise(SIGTERM); });
            QTimer::singleShot(10000, &loop, [&loop] { loop.exit(1); });
            QCOMPARE(loop.exec(), 0);  // ended by the termination, not by the safety timer
        } else {
            ::raise(SIGTERM);
        }
        QTRY_COMPARE(run.app->data().session.state(), QStringLiteral("idle"));
        QTRY_VERIFY(!alive());
        // Recorded: one scan with its infection, and the list written.
        const QByteArray lsd = run.env.registryValue(QStringLiteral("lsd"));
        QCOMPARE(lsd.mid(12, 4), QByteArray("\x01\x00\x00\x00", 4));
        QCOMPARE(lsd.mid(60, 4), QByteArray("\x01\x00\x00\x00", 4));
        QCOMPARE(TestEnv::readFile(run.app->data().folders.listFile()).size(), 281500);
    }

    void screenshotsOfEveryPage() {
        Run run;
        QDir().mkpath(QStringLiteral(VZ_SCREENSHOTS));
        const char *pages[] = {"Image3", "Image4", "Image5", "Image6"};
        const char *files[] = {"main_scan.png", "main_results.png", "main_history.png",
                               "main_virus_database.png"};
        for (int i = 0; i < 4; ++i) {
            run.click(pages[i]);
            QVERIFY(run.form().grab().save(QStringLiteral(VZ_SCREENSHOTS) +
                                           QString::fromLatin1(files[i])));
        }
        qputenv("FAKE_CLAMSCAN_HANG", "1");
        run.click("Image3");
        run.startScan();
        QTRY_VERIFY(run.widget("Panel3")->isVisible());
        QVERIFY(run.form().grab().save(QStringLiteral(VZ_SCREENSHOTS) + "main_progress.png"));
    }
};

QTEST_MAIN(TestTForm1)
#include "test_tform1.moc"
