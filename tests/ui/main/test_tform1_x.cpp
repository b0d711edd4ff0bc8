// The main window as a real X window under a window manager, driven by xdotool.
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include "app/programdata.h"
#include "scan/scanengine.h"
#include "support/testenv.h"
#include "support/programrun.h"
#include "ui/application.h"
#include "support/xsession.h"
#include "ui/skin/skinbuttons.h"
#include "ui/tform1.h"

using namespace xsession;

namespace {

// Presses at a point of a widget, moves the pointer by `delta` and releases.
void dragFrom(QWidget *w, QPoint at, QPoint delta) {
    const QPoint g = w->mapToGlobal(at);
    xdotool({"mousemove", QString::number(g.x()), QString::number(g.y())});
    QTest::qWait(100);
    xdotool({"mousedown", "1"});
    QTest::qWait(150);
    for (int i = 1; i <= 5; ++i) {
        xdotool({"mousemove", QString::number(g.x() + delta.x() * i / 5),
                 QString::number(g.y() + delta.y() * i / 5)});
        QTest::qWait(60);
    }
    xdotool({"mouseup", "1"});
    QTest::qWait(400);
}

}  // namespace

class TestTForm1X : public QObject {
    Q_OBJECT
    ProgramRun run;
    TestEnv &env = run.env;
    std::unique_ptr<Application> &app = run.app;

private slots:
    void initTestCase() {
        env.installFakeScanner();
        qputenv("FAKE_CLAMSCAN_DELAY", "0.5");
        qputenv("FAKE_CLAMSCAN_FLOOD", "2000");
        run.start(true).show();  // no update prompts in these tests
        QVERIFY(QTest::qWaitForWindowExposed(&app->mainWindow()));
        QTest::qWait(300);
    }

    void cornersAreCutFromTheWindow() {
        TForm1 &f = app->mainWindow();
        // What the screen shows at the window's corner is the root window, not the window.
        f.findChild<QLabel *>(QStringLiteral("Image1"))->setPixmap(QPixmap());
        f.findChild<QWidget *>(QStringLiteral("Image1"))
            ->setStyleSheet(QStringLiteral("background: #ff0000"));
        f.findChild<QWidget *>(QStringLiteral("Image1"))->setAutoFillBackground(true);
        QTest::qWait(300);
        const QImage shot = f.screen()->grabWindow(0).toImage();
        const QPoint tl = f.mapToGlobal(QPoint(0, 0));
        QVERIFY(shot.pixelColor(tl + QPoint(0, 0)) != QColor(0xff, 0, 0));
        QVERIFY(shot.pixelColor(tl + QPoint(791, 441)) != QColor(0xff, 0, 0));
        QCOMPARE(shot.pixelColor(tl + QPoint(20, 440)), QColor(0xff, 0, 0));
        QCOMPARE(shot.pixelColor(tl + QPoint(400, 1)), QColor(0xff, 0, 0));
    }

    void backgroundDragsLabelsAndButtonsDoNot() {
        TForm1 &f = app->mainWindow();
        const QPoint start = f.frameGeometry().topLeft();
        dragFrom(f.findChild<QWidget *>(QStringLiteral("Label2")), QPoint(3, 3), QPoint(60, 40));
        QCOMPARE(f.frameGeometry().topLeft(), start);
        dragFrom(f.findChild<QWidget *>(QStringLiteral("Image25")), QPoint(3, 3), QPoint(60, 40));
        QCOMPARE(f.frameGeometry().topLeft(), start);
        dragFrom(f.findChild<QWidget *>(QStringLiteral("Image1")), QPoint(400, 20),
                 QPoint(-80, 50));
        QTRY_VERIFY(f.frameGeometry().topLeft() != start);
        QVERIFY(qAbs(f.frameGeometry().topLeft().x() - (start.x() - 80)) <= 3);
    }

    void optionsMenuOpensAtTheOptionsButton() {
        TForm1 &f = app->mainWindow();
        QWidget *options = f.findChild<QWidget *>(QStringLiteral("Image8"));
        const QPoint g = options->mapToGlobal(QPoint(5, 5));
        xdotool({"mousemove", QString::number(g.x()), QString::number(g.y())});
        xdotool({"click", "1"});
        QTRY_VERIFY(f.popupMenu()->isVisible());
        QCOMPARE(f.popupMenu()->pos(), options->mapToGlobal(QPoint(0, 0)));
        xdotool({"key", "Escape"});
        QTRY_VERIFY(!f.popupMenu()->isVisible());
    }

    void fullScanByARealClickRunsToItsResult() {
        TForm1 &f = app->mainWindow();
        QDir().mkpath(env.root() + "disk");
        const QByteArray mount = "36 25 8:1 / " + (env.root() + "disk").toLocal8Bit() +
                                 " rw,relatime shared:1 - ext4 /dev/sda1 rw\n";
        app->engine().setMountInfoSource([mount] { return mount; });
        QSignalSpy result(&app->engine(), &ScanEngine::noInfectionsWindowRequested);
        QWidget *full = f.findChild<QWidget *>(QStringLiteral("Image12"));
        const QPoint g = full->mapToGlobal(QPoint(40, 40));
        xdotool({"mousemove", QString::number(g.x()), QString::number(g.y())});
        xdotool({"click", "1"});
        QTRY_VERIFY(f.findChild<QWidget *>(QStringLiteral("Panel3"))->isVisible());
        QTRY_COMPARE(app->data().session.state(), QStringLiteral("scanning"));
        QVERIFY(f.timer1().isActive());
        QTRY_COMPARE_WITH_TIMEOUT(result.count(), 1, 20000);
        QCOMPARE(f.findChild<QLabel *>(QStringLiteral("Label40"))->text(),
                 QStringLiteral("Items Scanned: 2000"));
        QCOMPARE(app->data().lastScan.lastScanned, 2000);
        QVERIFY(!f.timer1().isActive());
    }

    void rightClickOpensTheMenuAtThePointerAndClicksNothing_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QPoint>("at");
        QTest::newRow("window background") << "Image1" << QPoint(400, 20);
        QTest::newRow("logo") << "Image2" << QPoint(20, 20);
        QTest::newRow("page background") << "Image13" << QPoint(600, 300);
        QTest::newRow("heading picture") << "Image25" << QPoint(10, 10);
        QTest::newRow("label") << "Label2" << QPoint(3, 3);
        QTest::newRow("Results button") << "Image4" << QPoint(40, 40);
        QTest::newRow("full scan button") << "Image12" << QPoint(40, 40);
        QTest::newRow("Close button") << "Image10" << QPoint(10, 10);
    }

    // A right click anywhere in the window opens the Options menu where the pointer is, and
    // never runs a button: Close does not end the program, a scan button starts no scan.
    void rightClickOpensTheMenuAtThePointerAndClicksNothing() {
        QFETCH(QString, control);
        QFETCH(QPoint, at);
        TForm1 &f = app->mainWindow();
        for (QWidget *top : QApplication::topLevelWidgets())  // an earlier scan's result window
            if (top != &f && qobject_cast<QDialog *>(top))
                top->hide();
        f.Image3Click();  // the Scan page, summary view
        QVERIFY(placed(&f));
        QWidget *w = f.findChild<QWidget *>(control);
        QVERIFY(w && w->isVisible());
        const QPoint g = w->mapToGlobal(at);
        clickAt(g, 3);
        QTRY_VERIFY(f.popupMenu()->isVisible() || !f.isVisible());
        QVERIFY(f.isVisible());
        QCOMPARE(f.currentPage(), 1);
        QCOMPARE(app->data().session.state(), QStringLiteral("idle"));
        for (int i = 1; i <= SkinButtons::buttonCount; ++i)
            QVERIFY(!app->skin().isPressed(i));
        QVERIFY(f.popupMenu()->isVisible());
        QCOMPARE(f.popupMenu()->pos(), g);
        xdotool({"key", "Escape"});
        QTRY_VERIFY(!f.popupMenu()->isVisible());
    }

    void cleanupTestCase() { app->shutdown(); }
};

QTEST_MAIN(TestTForm1X)
#include "test_tform1_x.moc"
