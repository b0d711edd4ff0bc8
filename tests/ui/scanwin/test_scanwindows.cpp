// The scan and vault windows offscreen: the custom-directories dialog, the confirm-stop dialog,
// the result windows of a scan and of a removal run, and the restore commands.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "app/programdata.h"
#include "state/records.h"
#include "state/infectionlist.h"
#include "scan/scanengine.h"
#include "support/testenv.h"
#include "support/programrun.h"
#include "ui/application.h"
#include "ui/scanwindows.h"
#include "ui/skin/skinbutton.h"
#include "ui/skin/skindialog.h"
#include "ui/tform1.h"
#include "vault/removalrun.h"
#include "vault/restore.h"
#include "vault/vaultdeletion.h"

namespace {

// A program run in a private world, with the fake scanner as the program's clamscan.
struct Run : ProgramRun {
    QStringList folderAnswers;  // what the folder chooser returns, first to last

    explicit Run(const QByteArray &scannerOutput = {}, bool hang = false) {
        env.installFakeScanner();
        env.copySkin();
        const QString out = env.root() + "scanner-output.txt";
        TestEnv::writeFile(out, scannerOutput);
        qputenv("FAKE_CLAMSCAN_OUTPUT", out.toLocal8Bit());
        qputenv("FAKE_CLAMSCAN_HANG", hang ? "1" : "0");
        qputenv("FAKE_CLAMSCAN_ARGS", (env.root() + "args.txt").toLocal8Bit());
        start();
        windows().chooseFolder = [this](QWidget *) {
            return folderAnswers.isEmpty() ? QString() : folderAnswers.takeFirst();
        };
        windows().removal().setTickInterval(10);
        app->show();
    }
    ~Run() {
        qunsetenv("FAKE_CLAMSCAN_HANG");
        qunsetenv("FAKE_CLAMSCAN_ARGS");
    }
    ScanWindows &windows() { return app->scanWindows(); }
    ScanEngine &engine() { return app->engine(); }
    static void click(QWidget *w) { QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(5, 5)); }
    static QString text(QWidget *dialog, const char *name) {
        auto *l = dialog->findChild<QLabel *>(QString::fromLatin1(name));
        return l ? l->text() : QStringLiteral("<missing %1>").arg(QLatin1String(name));
    }
    QListWidget *directories() {
        return windows().form16()->findChild<QListWidget *>(QStringLiteral("ListBox"));
    }
    QStringList directoryRows() {
        QStringList rows;
        for (int i = 0; i < directories()->count(); ++i)
            rows << directories()->item(i)->text();
        return rows;
    }
    void pushButton(const char *name) {
        windows().form16()->findChild<QPushButton *>(QString::fromLatin1(name))->click();
    }
    QString folder(const char *name) {
        const QString path = env.root() + QString::fromLatin1(name);
        QDir().mkpath(path);
        return path;
    }
    // Two fixed disks, in the mount order of the system.
    void twoDisks() {
        const QByteArray mounts = "36 25 8:1 / " + folder("diskc").toLocal8Bit() +
                                  " rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                                  "37 25 8:2 / " +
                                  folder("diskd").toLocal8Bit() +
                                  " rw,relatime shared:1 - ext4 /dev/sda2 rw\n";
        engine().setMountInfoSource([mounts] { return mounts; });
    }
    // One detection of an existing file; returns its path.
    static QByteArray foundLine(const QString &path) {
        return path.toLocal8Bit() + ": Eicar-Test-Signature FOUND\n";
    }
    void waitForScanEnd() {
        QTRY_COMPARE_WITH_TIMEOUT(app->data().session.state(), QStringLiteral("idle"), 10000);
    }
};

}  // namespace

class TestScanWindows : public QObject {
    Q_OBJECT
private slots:
    void folderChooserStartsAtHomeAndGivesTheChosenFolder() {
        TestEnv env;  // HOME is the test's own
        const QString chosen = env.root() + QStringLiteral("picked");
        QVERIFY(QDir().mkpath(chosen));
        QString startedIn, title;
        QTimer::singleShot(200, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            title = dialog->windowTitle();
            startedIn = dialog->directory().absolutePath();
            dialog->setDirectory(chosen);  // the user goes into the folder
            QMetaObject::invokeMethod(dialog, "accept");
        });
        const QString answer = ScanWindows::chooseFolderWithDialog(nullptr);
        QCOMPARE(title, QStringLiteral("Select a Folder"));
        QCOMPARE(startedIn, QDir(env.home()).absolutePath());
        QCOMPARE(QDir(answer).absolutePath(), QDir(chosen).absolutePath());
    }

    void customScanDialogListsDisksAddsAndRemoves() {
        Run run;
        run.twoDisks();
        run.form().hooks.customScan();
        TForm16 *dlg = run.windows().form16();
        QVERIFY(dlg->isVisible());
        QCOMPARE(dlg->windowModality(), Qt::ApplicationModal);
        const QString c = run.env.root() + "diskc/", d = run.env.root() + "diskd/";
        QCOMPARE(run.directoryRows(), (QStringList{c, d}));
        QCOMPARE(run.directories()->selectionMode(), QAbstractItemView::ExtendedSelection);
        QCOMPARE(run.directories()->visualItemRect(run.directories()->item(0)).height(), 13);

        // The same folder twice is listed twice; a cancelled chooser adds nothing.
        const QString data = run.folder("data");
        run.folderAnswers = {data, data, QString()};
        run.pushButton("Button1");
        run.pushButton("Button1");
        run.pushButton("Button1");
        QCOMPARE(run.directoryRows(), (QStringList{c, d, data, data}));

        // Nothing current: nothing removed. Three selected: all three go.
        run.directories()->setCurrentItem(nullptr);
        run.directories()->clearSelection();
        run.pushButton("Button2");
        QCOMPARE(run.directories()->count(), 4);
        run.directories()->setCurrentRow(0);
        run.directories()->item(0)->setSelected(true);
        run.directories()->item(2)->setSelected(true);
        run.directories()->item(3)->setSelected(true);
        run.pushButton("Button2");
        QCOMPARE(run.directoryRows(), (QStringList{d}));

        // Cancel closes; the next opening starts from the disks again.
        Run::click(dlg->button(QStringLiteral("Image3")));
        QVERIFY(!dlg->isVisible());
        run.form().hooks.customScan();
        QCOMPARE(run.directoryRows(), (QStringList{c, d}));

        // An empty list: the start button closes the dialog and starts nothing.
        run.directories()->setCurrentRow(0);
        run.directories()->selectAll();
        run.pushButton("Button2");
        QCOMPARE(run.directories()->count(), 0);
        Run::click(dlg->button(QStringLiteral("Image2")));
        QVERIFY(!dlg->isVisible());
        QCOMPARE(run.app->data().session.state(), QStringLiteral("idle"));
        QVERIFY(run.engine().lastArguments().isEmpty());
        QVERIFY(run.failures.isEmpty());
    }

    void customScanStartsWithTheEntries() {
        Run run;
        run.twoDisks();
        run.form().hooks.customScan();
        const QString data = run.folder("data");
        run.folderAnswers = {data};
        run.pushButton("Button1");
        QSignalSpy closed(&run.engine(), &ScanEngine::scanClosed);
        Run::click(run.windows().form16()->button(QStringLiteral("Image2")));
        QVERIFY(!run.windows().form16()->isVisible());
        QCOMPARE(run.form().scanView(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 1, 10000);
        const QByteArray args = TestEnv::readFile(run.env.root() + "args.txt");
        for (const QString &dir :
             {run.env.root() + "diskc/", run.env.root() + "diskd/", data + "/"})
            QVERIFY2(args.contains("\n" + dir.toLocal8Bit() + "\n"), args.constData());
        // No detections: the no-infections window, closed by its button.
        TForm17 *done = run.windows().form17();
        QTRY_VERIFY(done->isVisible());
        QVERIFY(!QApplication::activeModalWidget());  // shown without waiting
        Run::click(done->button(QStringLiteral("Image2")));
        QVERIFY(!done->isVisible());
    }

    void customScanWhileScanningStartsNothing() {
        Run run({}, true);
        run.twoDisks();
        QVERIFY(run.engine().startCustomScan({run.folder("first")}));
        const QList<QByteArray> before = run.engine().lastArguments();
        run.form().hooks.customScan();
        Run::click(run.windows().form16()->button(QStringLiteral("Image2")));
        QVERIFY(!run.windows().form16()->isVisible());
        QCOMPARE(run.app->data().session.state(), QStringLiteral("scanning"));
        QCOMPARE(run.engine().lastArguments(), before);
        QCOMPARE(run.failures, QStringList{ScanWindows::scanRunningText()});

        run.engine().pauseScan();
        run.form().hooks.customScan();
        Run::click(run.windows().form16()->button(QStringLiteral("Image2")));
        QCOMPARE(run.app->data().session.state(), QStringLiteral("paused"));
        QCOMPARE(run.failures.size(), 2);
        run.engine().resumeScan();
        run.engine().stopRoutine();
        run.waitForScanEnd();
    }

    void confirmStopKeepsOrStopsTheScan() {
        Run run;
        const QString file = run.folder("t") + "/bad.com";
        TestEnv::writeFile(file, "x");
        TestEnv::writeFile(run.env.root() + "scanner-output.txt", Run::foundLine(file));
        qputenv("FAKE_CLAMSCAN_HANG", "1");
        QVERIFY(run.engine().startCustomScan({run.folder("t")}));
        QTRY_COMPARE(run.app->data().infections.count(), 1);

        TForm3 *confirm = run.windows().form3();
        run.form().hooks.remove();
        QVERIFY(confirm->isVisible());
        QCOMPARE(Run::text(confirm, "Label1"),
                 QStringLiteral("Do you want to stop the scanning proccess?"));
        Run::click(confirm->button(QStringLiteral("Image2")));
        QVERIFY(!confirm->isVisible());
        QCOMPARE(run.app->data().session.state(), QStringLiteral("scanning"));

        run.form().hooks.remove();
        Run::click(confirm->button(QStringLiteral("Image3")));
        QVERIFY(!confirm->isVisible());
        run.waitForScanEnd();
        // The removal itself does not follow: the file is still in its place.
        QVERIFY(!run.windows().removal().isRunning());
        QVERIFY(QFile::exists(file));
    }

    void infectionsFoundOffersRemovalAndShowsTheResult() {
        Run run;
        const QString dir = run.folder("t");
        TestEnv::writeFile(dir + "/a.com", "one");
        TestEnv::writeFile(dir + "/b.com", "two");
        TestEnv::writeFile(run.env.root() + "scanner-output.txt",
                           Run::foundLine(dir + "/a.com") + Run::foundLine(dir + "/b.com"));
        QVERIFY(run.engine().startCustomScan({dir}));
        TForm11 *offer = run.windows().form11();
        QTRY_VERIFY_WITH_TIMEOUT(offer->isVisible(), 10000);
        QCOMPARE(Run::text(offer, "Label1"), QStringLiteral("2"));
        QVERIFY(!QApplication::activeModalWidget());  // shown without waiting

        // No: nothing is removed.
        Run::click(offer->button(QStringLiteral("Image3")));
        QVERIFY(!offer->isVisible());
        QVERIFY(!run.windows().removal().isRunning());
        QVERIFY(QFile::exists(dir + "/a.com"));

        // Remove Found Infections when idle: the progress window counts, then the result.
        QSignalSpy progress(&run.windows().removal(), &RemovalRun::progressChanged);
        QStringList done;
        connect(&run.windows().removal(), &RemovalRun::progressChanged, this,
                [&] { done << Run::text(run.windows().form7(), "Label1"); });
        run.windows().removal().setTickInterval(50);
        run.form().hooks.remove();
        QVERIFY(run.windows().form7()->isVisible());
        QCOMPARE(Run::text(run.windows().form7(), "Label4"),
                 QStringLiteral("Eicar-Test-Signature "));
        TForm6 *result = run.windows().form6();
        QTRY_VERIFY_WITH_TIMEOUT(result->isVisible(), 10000);
        QVERIFY(!run.windows().form7()->isVisible());
        QVERIFY(done.contains(QStringLiteral("1")));
        QVERIFY(done.contains(QStringLiteral("2")));
        QCOMPARE(Run::text(result, "Label2"), QStringLiteral("2"));
        QVERIFY(!result->findChild<QLabel *>(QStringLiteral("Label5"))->isVisible());
        QVERIFY(!QFile::exists(dir + "/a.com"));
        QCOMPARE(run.form().vaultList()->count(), 2);
        Run::click(result->button(QStringLiteral("Image3")));
        QVERIFY(!result->isVisible());
    }

    // A scanner that died after a detection: the detection is offered with a note, the status
    // line says the scan failed, and the no-infections window never shows. The next, finished
    // scan shows no note.
    void diedScanOffersWhatItFoundWithANote() {
        Run run;
        const QString dir = run.folder("t");
        TestEnv::writeFile(dir + "/a.com", "one");
        TestEnv::writeFile(run.env.root() + "scanner-output.txt", Run::foundLine(dir + "/a.com"));
        qputenv("FAKE_CLAMSCAN_SIGNAL", "KILL");
        QVERIFY(run.engine().startCustomScan({dir}));
        qunsetenv("FAKE_CLAMSCAN_SIGNAL");
        TForm11 *offer = run.windows().form11();
        QTRY_VERIFY_WITH_TIMEOUT(offer->isVisible(), 10000);
        QCOMPARE(Run::text(offer, "Label1"), QStringLiteral("1"));
        QLabel *note = offer->findChild<QLabel *>(QStringLiteral("Label5"));
        QVERIFY(note && note->isVisible());
        QVERIFY2(note->text().contains(QStringLiteral("did not finish")), qPrintable(note->text()));
        QVERIFY(note->text().contains(QStringLiteral("signal 9")));
        QTRY_VERIFY(
            Run::text(&run.form(), "Label10").startsWith(QStringLiteral("Scanning Failed")));
        QVERIFY(!run.windows().form17()->isVisible());
        Run::click(offer->button(QStringLiteral("Image3")));

        QVERIFY(run.engine().startCustomScan({dir}));
        QTRY_VERIFY_WITH_TIMEOUT(offer->isVisible(), 10000);
        QVERIFY(!note->isVisible());
        QCOMPARE(Run::text(&run.form(), "Label10"), QStringLiteral("Scanning Complete"));
    }

    // While a removal run walks the infection list, its window stays up (Escape and a close do
    // nothing) and no scan starts, whichever way one is asked for.
    void removalRunCannotBeRaced() {
        Run run;
        run.twoDisks();
        const QString dir = run.folder("t");
        TestEnv::writeFile(dir + "/a.com", "one");
        TestEnv::writeFile(dir + "/b.com", "two");
        TestEnv::writeFile(run.env.root() + "scanner-output.txt",
                           Run::foundLine(dir + "/a.com") + Run::foundLine(dir + "/b.com"));
        QVERIFY(run.engine().startCustomScan({dir}));
        QTRY_VERIFY_WITH_TIMEOUT(run.windows().form11()->isVisible(), 10000);
        run.windows().removal().setTickInterval(400);
        Run::click(run.windows().form11()->button(QStringLiteral("Image2")));
        TForm7 *progress = run.windows().form7();
        QVERIFY(progress->isVisible());
        QTest::keyClick(progress, Qt::Key_Escape);
        progress->close();
        QVERIFY(progress->isVisible());

        const QList<QByteArray> before = run.engine().lastArguments();
        run.engine().fullScanCommand();
        run.form().hooks.customScan();
        Run::click(run.windows().form16()->button(QStringLiteral("Image2")));
        QCOMPARE(run.app->data().session.state(), QStringLiteral("idle"));
        QCOMPARE(run.engine().lastArguments(), before);
        QCOMPARE(run.failures, QStringList(2, ScanWindows::removalRunningText()));
        QVERIFY(run.windows().removal().isRunning());

        TForm6 *result = run.windows().form6();
        QTRY_VERIFY_WITH_TIMEOUT(result->isVisible(), 10000);
        QVERIFY(!progress->isVisible());
        QCOMPARE(Run::text(result, "Label2"), QStringLiteral("2"));
    }

    // Remove Found Infections on a paused scan asks to stop it, like on a running one; the
    // stopped scan's figures and the removal's add up once.
    void removeOnAPausedScanStopsItFirst() {
        Run run({}, true);
        const QString t = run.folder("t");
        TestEnv::writeFile(t + "/a.com", "one");
        TestEnv::writeFile(t + "/b.com", "two");
        TestEnv::writeFile(run.env.root() + "scanner-output.txt",
                           Run::foundLine(t + "/a.com") + Run::foundLine(t + "/b.com"));
        QVERIFY(run.engine().startCustomScan({t}));
        QTRY_COMPARE_WITH_TIMEOUT(run.app->data().infections.count(), 2, 10000);
        run.engine().pauseScan();
        QCOMPARE(run.app->data().session.state(), QStringLiteral("paused"));

        run.form().hooks.remove();
        TForm3 *confirm = run.windows().form3();
        QVERIFY(confirm->isVisible());
        QVERIFY(!run.windows().removal().isRunning());
        qputenv("FAKE_CLAMSCAN_HANG", "0");  // the removal's own scanner call ends
        Run::click(confirm->button(QStringLiteral("Image3")));
        QCOMPARE(run.app->data().session.state(), QStringLiteral("idle"));
        TForm11 *offer = run.windows().form11();
        QTRY_VERIFY(offer->isVisible());
        QCOMPARE(Run::text(offer, "Label1"), QStringLiteral("2"));
        Run::click(offer->button(QStringLiteral("Image2")));
        QTRY_VERIFY_WITH_TIMEOUT(run.windows().form6()->isVisible(), 10000);
        QCOMPARE(Run::text(run.windows().form6(), "Label2"), QStringLiteral("2"));
        QCOMPARE(run.app->data().infections.count(), 0);
        QCOMPARE(run.app->data().session.foundText(), QStringLiteral("Infections Found: 0"));
        // lsd: 8 total removed, 12 scans, 16 total found, 28 last removed, 60 last found.
        const QByteArray lsd = run.env.registryValue(QStringLiteral("lsd"));
        auto field = [&lsd](int offset) { return lsd.mid(offset, 4); };
        const QByteArray two("\x02\x00\x00\x00", 4), one("\x01\x00\x00\x00", 4);
        QCOMPARE(field(8), two);
        QCOMPARE(field(12), one);
        QCOMPARE(field(16), two);
        QCOMPARE(field(28), two);
        QCOMPARE(field(60), two);
        const QByteArray list = TestEnv::readFile(run.env.dataFolder() + "db/list.gav");
        QCOMPARE(list.size(), 281500);
        QCOMPARE(list.mid(563 + 257, t.size() + 6), (t + "/b.com").toLocal8Bit());
    }

    // Restoring onto a file that stands there now asks first; No keeps everything as it is.
    void restoreOntoAFileAsksFirst() {
        Run run;
        const QString dir = run.folder("t");
        TestEnv::writeFile(dir + "/a.com", "one");
        TestEnv::writeFile(run.env.root() + "scanner-output.txt", Run::foundLine(dir + "/a.com"));
        QVERIFY(run.engine().startCustomScan({dir}));
        QTRY_VERIFY_WITH_TIMEOUT(run.windows().form11()->isVisible(), 10000);
        Run::click(run.windows().form11()->button(QStringLiteral("Image2")));
        QTRY_VERIFY_WITH_TIMEOUT(run.windows().form6()->isVisible(), 10000);
        run.windows().form6()->close();
        TestEnv::writeFile(dir + "/a.com", "the user's new file");

        QStringList asked;
        bool answer = false;
        run.windows().ask = [&](QWidget *, const QString &question) {
            asked << question;
            return answer;
        };
        run.form().Action2Execute();
        run.form().vaultList()->setCurrentRow(0);
        run.form().hooks.restore(1);
        QCOMPARE(asked, QStringList{Restorer::replaceQuestion(dir + "/a.com")});
        QCOMPARE(TestEnv::readFile(dir + "/a.com"), "the user's new file");
        QCOMPARE(run.form().vaultList()->count(), 1);
        answer = true;
        run.form().vaultList()->setCurrentRow(0);
        run.form().hooks.restore(1);
        QCOMPARE(asked.size(), 2);
        QCOMPARE(TestEnv::readFile(dir + "/a.com"), "one");
        QCOMPARE(run.form().vaultList()->count(), 0);
        QVERIFY(run.failures.isEmpty());
    }

    void resultSaysWhatCouldNotBeRemoved() {
        Run run;
        const QString dir = run.folder("t");
        TestEnv::writeFile(dir + "/a.com", "one");
        // The second detection names a file that is not there.
        TestEnv::writeFile(run.env.root() + "scanner-output.txt",
                           Run::foundLine(dir + "/a.com") + Run::foundLine(dir + "/gone.com"));
        QVERIFY(run.engine().startCustomScan({dir}));
        TForm11 *offer = run.windows().form11();
        QTRY_VERIFY_WITH_TIMEOUT(offer->isVisible(), 10000);
        Run::click(offer->button(QStringLiteral("Image2")));
        QVERIFY(!offer->isVisible());
        TForm6 *result = run.windows().form6();
        QTRY_VERIFY_WITH_TIMEOUT(result->isVisible(), 10000);
        QCOMPARE(Run::text(result, "Label2"), QStringLiteral("1"));
        QLabel *extra = result->findChild<QLabel *>(QStringLiteral("Label5"));
        QVERIFY(extra->isVisible());
        QCOMPARE(extra->text(), ScanWindows::notRemovedText(1));
    }

    void restoreNeedsASelectionAndReportsFailure() {
        Run run;
        const QString dir = run.folder("t");
        TestEnv::writeFile(dir + "/a.com", "one");
        TestEnv::writeFile(run.env.root() + "scanner-output.txt", Run::foundLine(dir + "/a.com"));
        QVERIFY(run.engine().startCustomScan({dir}));
        QTRY_VERIFY_WITH_TIMEOUT(run.windows().form11()->isVisible(), 10000);
        Run::click(run.windows().form11()->button(QStringLiteral("Image2")));
        QTRY_VERIFY_WITH_TIMEOUT(run.windows().form6()->isVisible(), 10000);
        run.windows().form6()->close();

        run.form().Action2Execute();
        QListWidget *vault = run.form().vaultList();
        QCOMPARE(vault->count(), 1);
        QCOMPARE(vault->item(0)->text(), QStringLiteral("Eicar-Test-Signature "));
        // No selection: nothing happens, not even the chooser.
        run.folderAnswers = {run.folder("elsewhere")};
        run.form().hooks.restore(2);
        run.form().hooks.restore(1);
        QCOMPARE(run.folderAnswers.size(), 1);
        QCOMPARE(vault->count(), 1);
        // Chooser cancelled: nothing.
        vault->setCurrentRow(0);
        run.folderAnswers = {QString()};
        run.form().hooks.restore(2);
        QCOMPARE(vault->count(), 1);
        QVERIFY(run.failures.isEmpty());
        // The vault copy is gone: the restore fails, the user is told, the row stays.
        QVERIFY(QFile::remove(run.env.dataFolder() + "virus_vault/a.com"));
        run.form().hooks.restore(1);
        QCOMPARE(run.failures.size(), 1);
        QCOMPARE(vault->count(), 1);
        QVERIFY(!QFile::exists(dir + "/a.com"));
    }

    // Two files quarantined under one threat name: each row is its own record, for the restore
    // as for "Delete from Vault" (asked first; a row whose copy was deleted by hand clears too).
    void vaultRowsRestoreAndDeleteTheirOwnRecord() {
        Run run;
        const QString dir = run.folder("t");
        for (const char *name : {"/a.com", "/b.com", "/c.com"})
            TestEnv::writeFile(dir + QLatin1String(name), name);
        TestEnv::writeFile(run.env.root() + "scanner-output.txt",
                           Run::foundLine(dir + "/a.com") + Run::foundLine(dir + "/b.com") +
                               Run::foundLine(dir + "/c.com"));
        QVERIFY(run.engine().startCustomScan({dir}));
        QTRY_VERIFY_WITH_TIMEOUT(run.windows().form11()->isVisible(), 10000);
        Run::click(run.windows().form11()->button(QStringLiteral("Image2")));
        QTRY_VERIFY_WITH_TIMEOUT(run.windows().form6()->isVisible(), 10000);
        run.windows().form6()->close();
        // Taken last found first: records c, b, a.
        run.form().Action2Execute();
        QListWidget *vault = run.form().vaultList();
        QCOMPARE(vault->count(), 3);

        vault->setCurrentRow(0);
        run.form().hooks.restore(1);
        QCOMPARE(TestEnv::readFile(dir + "/c.com"), "/c.com");
        QVERIFY(!QFile::exists(dir + "/a.com"));
        QCOMPARE(vault->count(), 2);

        // The menu item is there for a selected row of the Virus Database page only.
        QAction *item =
            run.form().popupMenu()->findChild<QAction *>(QStringLiteral("DeletefromVault1"));
        QVERIFY(item);
        QCOMPARE(item->text(), QStringLiteral("Delete from Vault"));
        auto enabledWhenShown = [&] {
            emit run.form().popupMenu()->aboutToShow();
            return item->isEnabled();
        };
        QVERIFY(!enabledWhenShown());
        vault->setCurrentRow(1);  // a.com
        QVERIFY(enabledWhenShown());
        run.form().Image3Click();
        QVERIFY(!enabledWhenShown());
        run.form().Action2Execute();
        vault->setCurrentRow(1);
        QVERIFY(enabledWhenShown());

        QStringList asked;
        bool answer = false;
        run.windows().ask = [&](QWidget *, const QString &question) {
            asked << question;
            return answer;
        };
        const QString vaultDir = run.env.dataFolder() + "virus_vault/";
        const QString question = run.windows().deletion().question(1);
        QVERIFY(question.contains(dir + "/a.com"));
        item->trigger();
        QCOMPARE(asked, QStringList{question});
        QCOMPARE(vault->count(), 2);
        QVERIFY(QFile::exists(vaultDir + "a.com"));
        answer = true;
        vault->setCurrentRow(1);
        item->trigger();
        QCOMPARE(vault->count(), 1);
        QVERIFY(!QFile::exists(vaultDir + "a.com"));
        QVERIFY(QFile::exists(vaultDir + "b.com"));
        QVERIFY(!QFile::exists(dir + "/a.com"));
        QCOMPARE(run.app->data().vault.slot(1).filePath.bytes(), QFile::encodeName(dir + "/b.com"));

        // Its copy deleted by hand: the row is cleared all the same.
        QVERIFY(QFile::remove(vaultDir + "b.com"));
        vault->setCurrentRow(0);
        run.form().hooks.deleteFromVault();
        QCOMPARE(vault->count(), 0);
        QCOMPARE(run.app->data().vault.count(), 0);
        QCOMPARE(run.env.registryValue(QStringLiteral("sysdata")).mid(784, 4), QByteArray(4, '\0'));
        QVERIFY(run.failures.isEmpty());
        // No selection: nothing is asked.
        run.form().hooks.deleteFromVault();
        QCOMPARE(asked.size(), 3);
    }

    // More infections than the list holds: every figure counts them all, and the windows say
    // how many were not listed. The counters and the notes keep clear of each other.
    void infectionsBeyondTheListAreCountedAndTold() {
        QByteArray out;
        for (int i = 0; i < 520; ++i)
            out += "/t/f" + QByteArray::number(i) + ": X FOUND\n";
        Run run(out);
        QVERIFY(run.engine().startCustomScan({run.folder("t")}));
        TForm11 *offer = run.windows().form11();
        QTRY_VERIFY_WITH_TIMEOUT(offer->isVisible(), 10000);
        QCOMPARE(Run::text(offer, "Label1"), QStringLiteral("520"));
        QLabel *note = offer->findChild<QLabel *>(QStringLiteral("Label5"));
        QVERIFY(note->isVisible());
        QCOMPARE(note->text(), ScanWindows::beyondListText(20));
        QVERIFY(note->geometry().bottom() < offer->button(QStringLiteral("Image2"))->y());
        QVERIFY(run.failures.isEmpty());  // no separate "list is full" message

        auto *found = run.form().findChild<QLabel *>(QStringLiteral("Label12"));
        auto *scanned = run.form().findChild<QLabel *>(QStringLiteral("Label40"));
        auto *status = run.form().findChild<QLabel *>(QStringLiteral("Label10"));
        QCOMPARE(found->text(), QStringLiteral("Infections Found: 500"));
        QVERIFY(found->geometry().right() < scanned->x());
        QVERIFY(scanned->geometry().right() < status->x());
        QDir().mkpath(QStringLiteral(VZ_SCREENSHOTS));
        QVERIFY(run.form().grab().save(QStringLiteral(VZ_SCREENSHOTS "scan_counters_500.png")));
        QVERIFY(offer->grab().save(QStringLiteral(VZ_SCREENSHOTS "scan_TForm11_beyond_list.png")));

        const LastScanRecord &ls = run.app->data().lastScan;
        QCOMPARE(ls.lastFound, 520);
        QCOMPARE(ls.totalFound, 520);
        run.form().Image5Click();
        QCOMPARE(Run::text(&run.form(), "Label37"), QStringLiteral("520 (20 not listed)"));
        QCOMPARE(Run::text(&run.form(), "Label33"), QStringLiteral("520"));
        // A larger figure too keeps clear of the items-scanned pair beside it.
        run.app->data().lastScan.lastFound = 123456;
        run.form().Image4Click();
        QCOMPARE(Run::text(&run.form(), "Label19"), QStringLiteral("123456 (122956 not listed)"));
        QVERIFY(run.form().findChild<QLabel *>(QStringLiteral("Label19"))->geometry().right() <
                run.form().findChild<QLabel *>(QStringLiteral("Label17"))->x());
        QVERIFY(run.form().findChild<QLabel *>(QStringLiteral("Label17"))->geometry().right() <
                run.form().findChild<QLabel *>(QStringLiteral("Label20"))->x());
        run.app->data().lastScan.lastFound = 520;
        run.form().Image4Click();
        QCOMPARE(Run::text(&run.form(), "Label19"), QStringLiteral("520 (20 not listed)"));
        QVERIFY(
            run.form().grab().save(QStringLiteral(VZ_SCREENSHOTS "main_results_beyond_list.png")));
    }

    // Every note line of the removal results shows whole above the Close button.
    void resultWindowsShowEveryLine() {
        Run run;
        TForm6 *result = run.windows().form6();
        QLabel *extra = result->findChild<QLabel *>(QStringLiteral("Label5"));
        QDir().mkpath(QStringLiteral(VZ_SCREENSHOTS));
        for (const bool quarantined : {true, false}) {
            emit run.windows().removal().resultsWindowRequested(quarantined ? 2 : 0, 5, true, 2);
            QVERIFY(result->isVisible());
            QCOMPARE(extra->text().count(QLatin1Char('\n')), 2);
            QVERIFY(extra->height() >= extra->heightForWidth(extra->width()));
            QWidget *close = result->button(QStringLiteral("Image3"));
            QVERIFY(extra->geometry().bottom() < close->y());
            QVERIFY(close->geometry().bottom() < result->height());
            QLabel *label3 = result->findChild<QLabel *>(QStringLiteral("Label3"));
            if (quarantined)
                QVERIFY(label3->geometry().bottom() < extra->y());
            QVERIFY(result->grab().save(QStringLiteral(VZ_SCREENSHOTS) +
                                        (quarantined ? QStringLiteral("scan_TForm6_three_lines.png")
                                                     : QStringLiteral("scan_TForm6_none.png"))));
            result->close();
        }
        // One line only: the window keeps its own size.
        emit run.windows().removal().resultsWindowRequested(1, 0, true, 0);
        QCOMPARE(result->size(), QSize(367, 237));
        result->close();
    }

    void scanProblemsReachTheUser() {
        Run run;
        const QString dir = run.folder("t");
        TestEnv::writeFile(run.env.root() + "scanner-output.txt",
                           dir.toLocal8Bit() + "/locked.txt: Access denied. ERROR\n");
        QVERIFY(run.engine().startCustomScan({dir}));
        QTRY_VERIFY_WITH_TIMEOUT(!run.failures.isEmpty(), 10000);
        QCOMPARE(run.failures.constFirst(), ScanWindows::incompleteText(1));
        QVERIFY(run.failures.constFirst().contains(
            QStringLiteral("1 file(s) could not be read and were not scanned.")));
    }

    void screenshots() {
        Run run;
        QDir().mkpath(QStringLiteral(VZ_SCREENSHOTS));
        auto shoot = [](QWidget *w, const char *name) {
            w->show();
            QTest::qWait(50);
            QVERIFY(w->grab().save(QStringLiteral(VZ_SCREENSHOTS) + QLatin1String(name)));
            w->close();
        };
        ScanWindows &w = run.windows();
        shoot(w.form3(), "scan_TForm3.png");
        w.form6()->findChild<QLabel *>(QStringLiteral("Label2"))->setText(QStringLiteral("3"));
        w.form6()->findChild<QLabel *>(QStringLiteral("Label5"))->hide();
        shoot(w.form6(), "scan_TForm6.png");
        w.form6()
            ->findChild<QLabel *>(QStringLiteral("Label5"))
            ->setText(ScanWindows::notRemovedText(1) + QLatin1Char('\n') +
                      ScanWindows::vaultFullText());
        w.form6()->findChild<QLabel *>(QStringLiteral("Label5"))->show();
        shoot(w.form6(), "scan_TForm6_problems.png");
        // The progress window as a removal run fills it, with a long threat name.
        InfectionRecord r;
        r.filePath.assign("/nowhere/x.com");
        r.threatName.assign("Eicar-Test-Signature.UNOFFICIAL ");
        QVERIFY(run.app->data().infections.append(r, "/nowhere/x.com"));
        w.removal().setTickInterval(60000);
        w.removal().start();
        QVERIFY(w.form7()->isVisible());
        QLabel *threat = w.form7()->findChild<QLabel *>(QStringLiteral("Label4"));
        QCOMPARE(threat->toolTip(), QStringLiteral("Eicar-Test-Signature.UNOFFICIA"));
        QVERIFY(threat->x() + threat->fontMetrics().horizontalAdvance(threat->text()) <=
                w.form7()->width());
        QVERIFY(w.form7()->grab().save(QStringLiteral(VZ_SCREENSHOTS "scan_TForm7.png")));
        w.form11()->findChild<QLabel *>(QStringLiteral("Label1"))->setText(QStringLiteral("3"));
        shoot(w.form11(), "scan_TForm11.png");
        QLabel *unfinished = w.form11()->findChild<QLabel *>(QStringLiteral("Label5"));
        unfinished->setText(ScanWindows::unfinishedText(
            QStringLiteral("The scanner was ended by signal 9 (Killed)")));
        unfinished->show();
        shoot(w.form11(), "scan_TForm11_unfinished.png");
        unfinished->hide();
        run.twoDisks();
        run.form().hooks.customScan();
        run.folderAnswers = {run.folder("data")};
        run.pushButton("Button1");
        shoot(w.form16(), "scan_TForm16.png");
        shoot(w.form17(), "scan_TForm17.png");
    }
};

QTEST_MAIN(TestScanWindows)
#include "test_scanwindows.moc"
