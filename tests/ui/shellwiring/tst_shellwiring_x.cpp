// The real main window to the tray and back under Xvfb with a tray host (trayer), every step a
// real click from xdotool: Options, "Minimize to System Tray", then a left press on the icon.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTest>

#include "support/programrun.h"
#include "ui/application.h"
#include "ui/shell/trayminimizer.h"
#include "support/xsession.h"
#include "ui/tform1.h"

using namespace xsession;

class TestShellWiringX : public QObject {
    Q_OBJECT
    ProgramRun run;
    std::unique_ptr<Application> &app = run.app;
    QProcess trayer;

private slots:
    void initTestCase() {
        QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "runs under Xvfb");
        QApplication::setApplicationDisplayName(QStringLiteral("Vizavuz AntiVirus"));
        startTrayHost(trayer);
        if (QTest::currentTestFailed())
            return;

        run.start(true).show();  // no update prompts in this test
        QVERIFY(QTest::qWaitForWindowExposed(&app->mainWindow()));
        QTRY_VERIFY(listed(app->mainWindow()));
    }

    void cleanupTestCase() {
        if (app)
            app->shutdown();
        app.reset();
        if (trayer.state() != QProcess::NotRunning) {
            trayer.terminate();
            trayer.waitForFinished(3000);
        }
    }

    void toTrayFromTheMenuAndBackWithALeftPress() {
        TForm1 &form = app->mainWindow();
        QWidget *options = form.findChild<QWidget *>(QStringLiteral("Image8"));
        QVERIFY(options);
        QTRY_VERIFY(placed(&form));
        clickAt(options->mapToGlobal(QPoint(5, 5)), 1);
        QMenu *menu = form.popupMenu();
        QTRY_VERIFY(menu->isVisible());

        QAction *item = menu->findChild<QAction *>(QStringLiteral("MinimizetoSystemTray1"));
        QVERIFY(item);
        QCOMPARE(item->text(), QStringLiteral("Minimize to System Tray"));
        const QPoint at = menu->mapToGlobal(menu->actionGeometry(item).center());
        xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y())});
        QTest::qWait(200);
        xdotool({QStringLiteral("click"), QStringLiteral("1")});

        QTRY_VERIFY(!menu->isVisible());
        QTRY_VERIFY(!form.isVisible());
        QTRY_VERIFY(!listed(form));  // no taskbar entry while in the tray
        QRect icon;
        QTRY_VERIFY_WITH_TIMEOUT((icon = embeddedIconGeometry()).isValid(), 10000);

        clickAt(icon.center(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(form.isVisible(), 5000);
        QTRY_VERIFY(!form.isMinimized());
        QTRY_VERIFY(listed(form));
        // The icon is gone again.
        QTRY_VERIFY(!embeddedIconGeometry().isValid());
    }
};

QTEST_MAIN(TestShellWiringX)
#include "tst_shellwiring_x.moc"
