// The shell as the program wires it: the main window's pictures, the skinned progress bar, the
// Minimize and About commands, with the real skin files and the real scanner.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QTabWidget>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "app/programdata.h"
#include "support/testenv.h"
#include "support/programrun.h"
#include "ui/application.h"
#include "ui/shell/scannerversion.h"
#include "ui/shell/tform2.h"
#include "ui/skin/artwork.h"
#include "ui/skin/messagedialog.h"
#include "ui/tform1.h"

namespace {

struct Run : ProgramRun {
    explicit Run(bool withSkin = true) {
        if (withSkin)
            env.copySkin();
        start().show();
    }
    QLabel *label(const char *name) {
        return form().findChild<QLabel *>(QString::fromLatin1(name));
    }
    QAction *action(const char *name) {
        return form().popupMenu()->findChild<QAction *>(QString::fromLatin1(name));
    }
    // The colour the user sees at a point of a control.
    QColor shown(const char *name, const QPoint &at) {
        QLabel *l = label(name);
        return l ? l->grab().toImage().pixelColor(at) : QColor();
    }
};

bool near(const QColor &c, int r, int g, int b, int tolerance = 3) {
    return std::abs(c.red() - r) <= tolerance && std::abs(c.green() - g) <= tolerance &&
           std::abs(c.blue() - b) <= tolerance;
}

QString describe(const QColor &c) {
    return c.name();
}

}  // namespace

class TestShellWiring : public QObject {
    Q_OBJECT
private slots:
    void everyPictureIsOnItsControl() {
        Run run;
        QVERIFY2(run.failures.isEmpty(), qPrintable(run.failures.join(QLatin1Char('\n'))));
        const struct {
            const char *control;
            art::Picture picture;
        } pictures[] = {
            {"Image1", art::mainBackground},   {"Image2", art::logo},
            {"Image13", art::pageBackground},  {"Image14", art::pageBackground},
            {"Image21", art::pageBackground},  {"Image22", art::pageBackground},
            {"Image23", art::pageBackground},  {"Image24", art::scanToolbarEnd},
            {"Image25", art::headingScan},     {"Image26", art::headingLastScan},
            {"Image27", art::headingHistory},  {"Image28", art::headingStatistics},
            {"Image32", art::headingDatabase}, {"Image33", art::headingQuarantine},
            {"Image29", art::headerBar},       {"Image30", art::headerBar},
        };
        for (const auto &p : pictures) {
            QLabel *l = run.label(p.control);
            QVERIFY2(l, p.control);
            QVERIFY2(!l->pixmap().isNull(), p.control);
            QCOMPARE(l->pixmap().size(), p.picture.size());
        }
        // The logo and the backgrounds fill their controls; headings keep their size.
        QVERIFY(run.label("Image2")->hasScaledContents());
        QVERIFY(run.label("Image13")->hasScaledContents());
        QVERIFY(run.label("Image23")->hasScaledContents());
        QVERIFY(!run.label("Image25")->hasScaledContents());
        QCOMPARE(run.label("Image1")->size(), QSize(792, 442));
    }

    // The empty bar: caps and groove of timg1.png; the full bar: the green fill of timg1f.png
    // between the caps, as drawn by the skin files.
    void progressBarAtZeroAndHundredPercent() {
        Run run;
        QLabel *bar = run.form().progressBar();
        QCOMPARE(bar->size(), QSize(593, 13));
        const QColor groove(0xe4, 0xe9, 0xf1);
        const QColor rim(0xc9, 0xd2, 0xe0);

        QImage empty = bar->pixmap().toImage();
        QCOMPARE(empty.size(), QSize(593, 13));
        for (int x : {6, 300, 586}) {
            QVERIFY2(near(empty.pixelColor(x, 6), groove.red(), groove.green(), groove.blue()),
                     qPrintable(describe(empty.pixelColor(x, 6))));
            QVERIFY2(near(empty.pixelColor(x, 0), rim.red(), rim.green(), rim.blue()),
                     qPrintable(describe(empty.pixelColor(x, 0))));
        }
        QVERIFY(near(empty.pixelColor(3, 6), rim.red(), rim.green(), rim.blue()));
        QVERIFY(near(empty.pixelColor(589, 6), rim.red(), rim.green(), rim.blue()));

        // The scan writes the percent; Timer1 repaints (its last tick when the timer stops).
        ScanSession &session = run.app->data().session;
        session.setPercent(100);
        session.setProgressTimerOn(true);
        session.setProgressTimerOn(false);
        const QImage full = bar->pixmap().toImage();
        QCOMPARE(full.size(), QSize(593, 13));
        // The middle row of the fill: halfway between green lightened by a quarter and green
        // darkened by a tenth.
        for (int x : {6, 300, 586}) {
            QVERIFY2(near(full.pixelColor(x, 6), 57, 195, 97, 8),
                     qPrintable(describe(full.pixelColor(x, 6))));
        }
        QVERIFY(near(full.pixelColor(3, 6), rim.red(), rim.green(), rim.blue()));
        QVERIFY(near(full.pixelColor(589, 6), rim.red(), rim.green(), rim.blue()));
        // What the window shows is the same picture.
        QVERIFY(near(run.shown("Image15", QPoint(300, 6)), 57, 195, 97, 8));

        session.setPercent(0);
        session.setProgressTimerOn(true);
        session.setProgressTimerOn(false);
        QVERIFY(near(bar->pixmap().toImage().pixelColor(300, 6), groove.red(), groove.green(),
                     groove.blue()));
    }

    void missingSkinIsReportedAndTheWindowStillComesUp() {
        Run run(false);
        QCOMPARE(run.failures.size(), 0);  // queued for the event loop
        QTRY_COMPARE(run.failures.size(), 1);
        QVERIFY(run.failures.first().contains(QStringLiteral("bin/skin/img1.png")));
        QVERIFY(run.failures.first().contains(QStringLiteral("bin/skin/timg1f.png")));
        QVERIFY(run.form().isVisible());
        // The pictures come from the program itself and are there all the same.
        QVERIFY(!run.label("Image1")->pixmap().isNull());
    }

    void commandsReachTheShell() {
        Run run;
        QVERIFY(!QApplication::windowIcon().isNull());
        QVERIFY(!run.form().windowIcon().isNull());
        QVERIFY(run.form().hooks.minimize);
        QVERIFY(run.form().hooks.minimizeToTray);
        QVERIFY(run.form().hooks.about);
        // The dialog family are windows of their own, owned by the main window.
        for (const char *name : {"TForm3", "TForm6", "TForm7"}) {
            auto *dialog = run.form().findChild<QWidget *>(QString::fromLatin1(name));
            QVERIFY2(dialog, name);
            QVERIFY2(dialog->isWindow(), name);
            QCOMPARE(dialog->parentWidget(), &run.form());
        }

        // Minimize: the main window goes to the taskbar.
        QTest::mouseClick(run.label("Image9"), Qt::LeftButton, {}, QPoint(5, 5));
        QTRY_VERIFY(run.form().isMinimized());
        run.form().showNormal();
        QTRY_VERIFY(!run.form().isMinimized());
    }

    void aboutOpensModallyOverTheMainWindow() {
        Run run;
        // Made at start-up, owned by the main window.
        auto *about = run.form().findChild<TForm2 *>();
        QVERIFY(about);
        QVERIFY(about->isWindow());
        auto *tabs = about->findChild<QTabWidget *>();
        QVERIFY(tabs);

        QWidget *modal = nullptr;
        int shown = 0;
        auto closeLater = [&] {
            QTimer::singleShot(50, [&] {
                modal = QApplication::activeModalWidget();
                ++shown;
                if (modal)
                    modal->close();
            });
        };
        closeLater();
        run.action("About1")->trigger();
        QCOMPARE(shown, 1);
        QCOMPARE(modal, about);
        QVERIFY(about->windowHandle());
        QCOMPARE(about->windowHandle()->transientParent(), run.form().windowHandle());
        QVERIFY(!about->isVisible());
        QDir().mkpath(QStringLiteral(VZ_SCREENSHOTS));
        QVERIFY(about->grab().save(QStringLiteral(VZ_SCREENSHOTS) + "about.png"));

        // Reused on the next opening: the tab the user left stays active.
        tabs->setCurrentIndex(2);
        closeLater();
        run.action("About1")->trigger();
        QCOMPARE(shown, 2);
        QCOMPARE(modal, about);
        QCOMPARE(tabs->currentIndex(), 2);
        QCOMPARE(run.form().findChildren<TForm2 *>().size(), 1);
    }

    // Closing the program while the scanner has not yet said its version.
    void scannerStillAnsweringWhenTheProgramCloses() {
        TestEnv env;
        const QString slow = env.root() + QStringLiteral("slow-clamscan");
        TestEnv::writeFile(slow, "#!/bin/sh\nsleep 30\necho 'ClamAV 1.0.0'\n");
        QFile(slow).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QElapsedTimer clock;
        clock.start();
        {
            ScannerVersion version;
            int texts = 0;
            connect(&version, &ScannerVersion::textChanged, this, [&texts] { ++texts; });
            version.start(slow);
            QTest::qWait(200);
            QVERIFY(!version.finished());
            QCOMPARE(version.text(), ScannerVersion::pendingText());
            QCOMPARE(texts, 0);
        }
        QVERIFY(clock.elapsed() < 5000);
    }

    void anotherStartBringsTheWindowBack() {
        Run run;
        run.form().hooks.minimize();
        QTRY_VERIFY(run.form().isMinimized());
        run.app->bringToFront();
        QTRY_VERIFY(!run.form().isMinimized());
        QVERIFY(run.form().isVisible());
    }

    void failureDialogsDrawTheProgramsSkin() {
        QPointer<MessageDialog> dialog;
        {
            Run run;
            dialog = MessageDialog::showFailureLater(&run.form(), QStringLiteral("No database"));
            QVERIFY(dialog);
            auto *close = dialog->findChild<QLabel *>(QStringLiteral("Image2"));
            // The skin's Close picture, not the plain caption used when there is no skin.
            QVERIFY(close->text().isEmpty());
            QVERIFY(!close->pixmap().isNull());
            QVERIFY(QTest::qWaitForWindowExposed(dialog.data()));
            QVERIFY(dialog->grab().save(QStringLiteral(VZ_SCREENSHOTS) + "message_in_program.png"));
            dialog->close();
        }
        QTRY_VERIFY(!dialog);
        // Once the program's windows are gone, a failure shown late does not reach for their skin.
        std::unique_ptr<MessageDialog> late(new MessageDialog(QStringLiteral("late")));
        QCOMPARE(late->findChild<QLabel *>(QStringLiteral("Image2"))->text(),
                 QStringLiteral("Close"));
    }

    void screenshotsWithTheRealSkin() {
        Run run;
        QDir().mkpath(QStringLiteral(VZ_SCREENSHOTS));
        const char *pages[] = {"Image3", "Image4", "Image5", "Image6"};
        const char *files[] = {"skinned_scan.png", "skinned_results.png", "skinned_history.png",
                               "skinned_virus_database.png"};
        for (int i = 0; i < 4; ++i) {
            QTest::mouseClick(run.label(pages[i]), Qt::LeftButton, {}, QPoint(5, 5));
            QVERIFY(run.form().grab().save(QStringLiteral(VZ_SCREENSHOTS) +
                                           QString::fromLatin1(files[i])));
        }
        run.form().setScanView(2);
        run.form().setCurrentPage(1);
        run.form().ShowPage();
        run.app->data().session.setPercent(40);
        run.app->data().session.setProgressTimerOn(true);
        run.app->data().session.setProgressTimerOn(false);
        QVERIFY(run.form().grab().save(QStringLiteral(VZ_SCREENSHOTS) + "skinned_progress.png"));
    }
};

QTEST_MAIN(TestShellWiring)
#include "tst_shellwiring.moc"
