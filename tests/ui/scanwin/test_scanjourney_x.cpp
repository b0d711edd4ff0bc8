// The scan and vault journey as a user makes it: real windows under X, real mouse clicks, the
// real clamscan with the EICAR database, and the records on disk checked byte for byte.
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QScreen>
#include <QTimer>
#include <QFileInfo>
#include <QSet>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QtEndian>

#include "app/programdata.h"
#include "scan/scanengine.h"
#include "support/testenv.h"
#include "support/programrun.h"
#include "ui/application.h"
#include "ui/scanwindows.h"
#include "ui/skin/messagedialog.h"
#include "ui/skin/skinbutton.h"
#include "ui/skin/skindialog.h"
#include "ui/tform1.h"
#include "vault/listrows.h"
#include "vault/removalrun.h"
#include "support/xsession.h"

using namespace xsession;

namespace {

QByteArray le32(qint32 v) {
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

// A Pascal string of room n: length byte, text, zeros.
QByteArray pstring(const QByteArray &text, int room) {
    QByteArray b(1, char(text.size()));
    b += text;
    b += QByteArray(room - text.size(), '\0');
    return b;
}

}  // namespace

class TestScanJourneyX : public QObject {
    Q_OBJECT
    ProgramRun run;
    TestEnv &env = run.env;
    std::unique_ptr<Application> &app = run.app;
    QStringList &failures = run.failures;
    QStringList folderAnswers;

private slots:
    void initTestCase() {
        env.copySkin();
        QDir().mkpath(env.dataFolder() + "db/");
        TestEnv::makeEicarDatabase(env.dataFolder() + "db/");
        run.start(true);  // no update prompts before or during the scan
        app->scanWindows().chooseFolder = [this](QWidget *) {
            return folderAnswers.isEmpty() ? QString() : folderAnswers.takeFirst();
        };
        app->scanWindows().removal().setTickInterval(300);
        QDir().mkpath(env.root() + "disk");
        const QByteArray mount = "36 25 8:1 / " + (env.root() + "disk").toLocal8Bit() +
                                 " rw,relatime shared:1 - ext4 /dev/sda1 rw\n";
        app->engine().setMountInfoSource([mount] { return mount; });
        app->show();
        QVERIFY(QTest::qWaitForWindowExposed(&app->mainWindow()));
        QTest::qWait(300);
    }

    void customScanRemoveAndRestore() {
        TForm1 &f = app->mainWindow();
        ScanWindows &w = app->scanWindows();
        const QString fixture = env.root() + "fixture/";
        const QString elsewhere = env.root() + "elsewhere/";
        QDir().mkpath(fixture);
        QDir().mkpath(elsewhere);
        const QStringList names{"a.com", "b.com", "c.com"};
        for (const QString &n : names)
            TestEnv::writeFile(fixture + n, TestEnv::eicar());
        TestEnv::writeFile(fixture + "clean.txt", "nothing to see here\n");
        const QByteArray settingsBefore = env.registryValue(QStringLiteral("sysdata"));
        QCOMPARE(settingsBefore.size(), 808);

        // Custom scan: the disk is listed, the fixture is added through the chooser.
        click(f.skinControl(9));
        TForm16 *dirs = w.form16();
        QTRY_VERIFY(dirs->isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(dirs));
        auto *list = dirs->findChild<QListWidget *>(QStringLiteral("ListBox"));
        QCOMPARE(list->count(), 1);
        QCOMPARE(list->item(0)->text(), env.root() + "disk/");
        folderAnswers = {QDir::cleanPath(fixture)};
        click(dirs->findChild<QPushButton *>(QStringLiteral("Button1")));
        QTRY_COMPARE(list->count(), 2);
        QCOMPARE(list->item(1)->text(), QDir::cleanPath(fixture));
        click(dirs->button(QStringLiteral("Image2")));
        QTRY_VERIFY(!dirs->isVisible());

        // The real scanner finds the three files.
        TForm11 *offer = w.form11();
        QTRY_VERIFY_WITH_TIMEOUT(offer->isVisible(), 60000);
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));
        QCOMPARE(offer->findChild<QLabel *>(QStringLiteral("Label1"))->text(), QStringLiteral("3"));
        QCOMPARE(f.infectionsList()->count(), 3);
        QVERIFY(QTest::qWaitForWindowExposed(offer));
        QDir().mkpath(QStringLiteral(VZ_SCREENSHOTS));
        QVERIFY(f.grab().save(QStringLiteral(VZ_SCREENSHOTS "scan_page_infections.png")));

        // Yes: the removal window counts to 3, then the result.
        QStringList counted;
        connect(&w.removal(), &RemovalRun::progressChanged, this, [&] {
            counted << w.form7()->findChild<QLabel *>(QStringLiteral("Label1"))->text();
        });
        click(offer->button(QStringLiteral("Image2")));
        QTRY_VERIFY(w.form7()->isVisible());
        TForm6 *result = w.form6();
        QTRY_VERIFY_WITH_TIMEOUT(result->isVisible(), 20000);
        QVERIFY(!w.form7()->isVisible());
        QVERIFY(counted.contains(QStringLiteral("3")));
        QCOMPARE(result->findChild<QLabel *>(QStringLiteral("Label2"))->text(),
                 QStringLiteral("3"));
        QVERIFY(QTest::qWaitForWindowExposed(result));
        click(result->button(QStringLiteral("Image3")));
        QTRY_VERIFY(!result->isVisible());

        const QString vault = env.dataFolder() + "virus_vault/";
        for (const QString &n : names) {
            QVERIFY2(!QFile::exists(fixture + n), qPrintable(n));
            QCOMPARE(TestEnv::readFile(vault + n), TestEnv::eicar());
        }
        QVERIFY(QFile::exists(fixture + "clean.txt"));

        // The Virus Database page lists the three.
        click(f.skinControl(4));
        QTRY_COMPARE(f.currentPage(), 4);
        QListWidget *rows = f.vaultList();
        QCOMPARE(rows->count(), 3);
        // The three records, oldest first; all three share one threat name, and each row shows
        // its own record's file.
        QStringList shown;
        for (int k = 1; k <= 3; ++k)
            shown << QString::fromLocal8Bit(app->data().vault.slot(k).filePath.bytes());
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(rows->item(i)->text(), QStringLiteral("Eicar-Test-Signature.UNOFFICIAL "));
            QCOMPARE(listrows::vaultRow(app->data().vault, i).path, shown[i]);
        }
        QCOMPARE(QSet<QString>(shown.begin(), shown.end()).size(), 3);
        for (const QString &path : shown)
            QVERIFY(names.contains(QFileInfo(path).fileName()));
        QVERIFY(f.grab().save(QStringLiteral(VZ_SCREENSHOTS "virus_database_page.png")));

        // Restore the second row to its place: record 2, not the newest of that name.
        click(rows->viewport(), rows->visualItemRect(rows->item(1)).center());
        QTRY_COMPARE(rows->selectedItems().size(), 1);
        click(f.skinControl(27));
        QTRY_COMPARE(rows->count(), 2);
        QStringList back;
        for (const QString &n : names)
            if (QFile::exists(fixture + n))
                back << n;
        QCOMPARE(back.size(), 1);
        QCOMPARE(fixture + back[0], shown[1]);
        QCOMPARE(TestEnv::readFile(fixture + back[0]), TestEnv::eicar());
        QVERIFY(!QFile::exists(vault + back[0]));

        // ... and the first to a chosen folder: record 1.
        folderAnswers = {QDir::cleanPath(elsewhere)};
        click(rows->viewport(), rows->visualItemRect(rows->item(0)).center());
        QTRY_COMPARE(rows->selectedItems().size(), 1);
        click(f.skinControl(28));
        QTRY_COMPARE(rows->count(), 1);
        const QStringList moved = QDir(elsewhere).entryList(QDir::Files);
        QCOMPARE(moved.size(), 1);
        QCOMPARE(fixture + moved[0], shown[0]);
        QCOMPARE(TestEnv::readFile(elsewhere + moved[0]), TestEnv::eicar());
        QVERIFY(!QFile::exists(fixture + moved[0]));
        QVERIFY(!QFile::exists(vault + moved[0]));
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));

        // records.gav: record 3 moved down to slot 1 and stays in the slots above it, which
        // keep their old bytes; every other slot is empty.
        const auto slotOf = [&](const QString &path) {
            const QString name = QFileInfo(path).fileName();
            QByteArray slot = pstring((vault + name).toLocal8Bit(), 255);
            slot += pstring(path.toLocal8Bit(), 255);
            slot += pstring("Eicar-Test-Signature.UNOFFICIAL ", 50);
            return slot;
        };
        QCOMPARE(slotOf(shown[2]).size(), 563);
        const QByteArray records = TestEnv::readFile(vault + "records.gav");
        QCOMPARE(records.size(), 563 * 1000);
        for (int k = 0; k < 3; ++k)
            QCOMPARE(records.mid(k * 563, 563), slotOf(shown[2]));
        QCOMPARE(records.mid(3 * 563), QByteArray(563 * 997, '\0'));
        QVERIFY(QFile::exists(vault + QFileInfo(shown[2]).fileName()));

        // sysdata: one record in the vault, everything else as before.
        const QByteArray settings = env.registryValue(QStringLiteral("sysdata"));
        QCOMPARE(settings.size(), 808);
        QCOMPARE(settings.mid(784, 4), QByteArray("\x01\x00\x00\x00", 4));
        QCOMPARE(settings.left(784), settingsBefore.left(784));
        QCOMPARE(settings.mid(788), settingsBefore.mid(788));

        // lsd: one scan of one clean item, three found and three removed.
        const QByteArray date =
            QLocale::system().toString(QDate(2026, 3, 10), QLocale::ShortFormat).toLocal8Bit();
        QByteArray lsd = le32(1) + le32(1) + le32(3) + le32(1) + le32(3) + le32(0) + le32(1) +
                         le32(3) + pstring(date, 20) + QByteArray(3, '\0') + le32(0) + le32(3);
        QCOMPARE(lsd.size(), 64);
        QCOMPARE(env.registryValue(QStringLiteral("lsd")), lsd);
    }

    // The last row goes by "Delete from Vault": a real right click on it, the menu item, and
    // Yes in the skinned question.
    void deleteFromVaultByTheMenu() {
        TForm1 &f = app->mainWindow();
        QListWidget *rows = f.vaultList();
        QCOMPARE(rows->count(), 1);
        const QString copy = QString::fromLocal8Bit(app->data().vault.slot(1).vaultPath.bytes());
        QVERIFY(QFile::exists(copy));
        xsession::clickAt(
            rows->viewport()->mapToGlobal(rows->visualItemRect(rows->item(0)).center()), 3);
        QMenu *menu = f.popupMenu();
        QTRY_VERIFY(menu->isVisible());
        QAction *item = menu->findChild<QAction *>(QStringLiteral("DeletefromVault1"));
        QVERIFY(item->isEnabled());
        QString asked;
        // The question waits in its own loop: answered from a timer, by a real click on Yes.
        QTimer::singleShot(1500, this, [&asked] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (auto *d = qobject_cast<MessageDialog *>(w); d && d->isVisible()) {
                    asked = d->findChild<QLabel *>(QStringLiteral("Label1"))->text();
                    QVERIFY(
                        d->grab().save(QStringLiteral(VZ_SCREENSHOTS "vault_delete_question.png")));
                    xsession::click(d->findChild<QWidget *>(QStringLiteral("Image2")));
                }
        });
        xsession::clickAt(menu->mapToGlobal(menu->actionGeometry(item).center()));
        QTRY_COMPARE_WITH_TIMEOUT(rows->count(), 0, 10000);
        QVERIFY(asked.startsWith(QStringLiteral("Delete ")));
        QVERIFY(!QFile::exists(copy));
        QCOMPARE(app->data().vault.count(), 0);
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));
    }

    // Two windows shown at once never open one exactly over the other.
    void aMessageOpensBesideAResultWindow() {
        ScanWindows &w = app->scanWindows();
        emit w.removal().resultsWindowRequested(1, 4, true, 2);
        TForm6 *result = w.form6();
        QVERIFY(QTest::qWaitForWindowExposed(result));
        MessageDialog message(ScanWindows::incompleteText(2), &app->mainWindow());
        message.show();
        QVERIFY(QTest::qWaitForWindowExposed(&message));
        QTest::qWait(300);
        QVERIFY(!message.frameGeometry().intersects(result->frameGeometry()));
        QVERIFY(QGuiApplication::primaryScreen()->grabWindow(0).save(
            QStringLiteral(VZ_SCREENSHOTS "scan_TForm6_and_message_x.png")));
        QVERIFY(result->grab().save(QStringLiteral(VZ_SCREENSHOTS "scan_TForm6_notes_x.png")));
        message.close();
        result->close();
    }

    void cleanupTestCase() { app->shutdown(); }
};

QTEST_MAIN(TestScanJourneyX)
#include "test_scanjourney_x.moc"
