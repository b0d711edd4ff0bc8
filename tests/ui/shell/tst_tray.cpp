// Minimising to the taskbar and to the tray under a real X server, with real clicks from
// xdotool on the icon that trayer embeds.
#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QProcess>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QWidget>

#include "support/xsession.h"
#include "ui/shell/trayminimizer.h"

using namespace xsession;

namespace {

bool anyMenuOpen() {
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (qobject_cast<QMenu *>(widget) && widget->isVisible())
            return true;
    return QApplication::activePopupWidget() != nullptr;
}

}  // namespace

class TestTray : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "runs under Xvfb");
        QApplication::setApplicationDisplayName(QStringLiteral("Vizavuz AntiVirus"));
    }

    void cleanupTestCase() {
        if (m_trayer.state() != QProcess::NotRunning) {
            m_trayer.terminate();
            m_trayer.waitForFinished(3000);
        }
    }

    // Runs first, before any tray host exists.
    void withoutTrayHostStaysOnTaskbar() {
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        QWidget window;
        window.setWindowTitle(QStringLiteral("Vizavuz AntiVirus"));
        window.resize(300, 200);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_VERIFY(listed(window));

        TrayMinimizer tray(&window);
        tray.minimizeToTray();
        QVERIFY(!tray.inTray());
        QTRY_VERIFY(window.isMinimized());
        // Still on the taskbar, and a taskbar click (activation) brings it back.
        QVERIFY(listed(window));
        QTRY_COMPARE(wmState(window), QStringLiteral("Iconic"));
        xdotool({QStringLiteral("windowactivate"), QString::number(window.winId())});
        QTRY_COMPARE(wmState(window), QStringLiteral("Normal"));
        QVERIFY(window.isVisible());

        // Restored by the window manager behind the toolkit's back, the Minimize button must
        // still work.
        tray.minimizeToTaskbar();
        QTRY_COMPARE(wmState(window), QStringLiteral("Iconic"));
    }

    void startTrayHost() { xsession::startTrayHost(m_trayer); }

    void toTrayAndBack_data() {
        QTest::addColumn<int>("button");
        QTest::newRow("left press") << 1;
        QTest::newRow("right press") << 3;
    }
    void toTrayAndBack() {
        QFETCH(int, button);
        QWidget window;
        window.setWindowTitle(QStringLiteral("Vizavuz AntiVirus"));
        window.resize(300, 200);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_VERIFY(listed(window));

        TrayMinimizer tray(&window);
        QSignalSpy restored(&tray, &TrayMinimizer::restored);
        tray.minimizeToTray();
        QVERIFY(tray.inTray());
        QCOMPARE(tray.trayIcon()->toolTip(), QStringLiteral("Vizavuz AntiVirus"));
        QTRY_VERIFY(!window.isVisible());
        QTRY_VERIFY(!listed(window));  // no taskbar entry

        QRect icon;
        QTRY_VERIFY_WITH_TIMEOUT((icon = embeddedIconGeometry()).isValid(), 10000);

        // A middle click is ignored: the program stays in the tray.
        clickAt(icon.center(), 2);
        QTest::qWait(400);
        QVERIFY(tray.inTray());
        QVERIFY(!window.isVisible());

        clickAt(icon.center(), button);
        QTRY_VERIFY_WITH_TIMEOUT(!tray.inTray(), 5000);
        QCOMPARE(restored.count(), 1);
        QTRY_VERIFY(window.isVisible());
        QTRY_VERIFY(!window.isMinimized());
        QTRY_VERIFY(listed(window));
        QVERIFY(!anyMenuOpen());

        // Double clicks and moves where the icon was do nothing now.
        const Qt::WindowStates state = window.windowState();
        clickAt(icon.center(), 1, 2);
        xdotool({QStringLiteral("mousemove"), QString::number(icon.center().x() + 3),
                 QString::number(icon.center().y() + 1)});
        QTest::qWait(400);
        QCOMPARE(restored.count(), 1);
        QVERIFY(!tray.inTray());
        QVERIFY(window.isVisible());
        QCOMPARE(window.windowState(), state);
        QVERIFY(!anyMenuOpen());
    }

    void secondTripBuildsFreshIcon() {
        QWidget window;
        window.resize(200, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        TrayMinimizer tray(&window);
        for (int trip = 0; trip < 2; ++trip) {
            tray.minimizeToTray();
            QVERIFY(tray.inTray());
            QRect icon;
            QTRY_VERIFY_WITH_TIMEOUT((icon = embeddedIconGeometry()).isValid(), 10000);
            clickAt(icon.center(), 1);
            QTRY_VERIFY_WITH_TIMEOUT(!tray.inTray(), 5000);
            QTRY_VERIFY(window.isVisible() && !window.isMinimized());
        }
    }

    void longTitleCutInTooltip() {
        const QString title = QStringLiteral("Vizavuz AntiVirus ") + QString(80, QLatin1Char('x'));
        QCOMPARE(TrayMinimizer::trayTip(title), title.left(63));
        QCOMPARE(TrayMinimizer::trayTip(QString(63, QLatin1Char('y'))),
                 QString(63, QLatin1Char('y')));
        // A character outside the basic plane is never split in half.
        const QString wide =
            QString(62, QLatin1Char('a')) + QString::fromUcs4(U"\U0001F6E1") + QStringLiteral("b");
        QCOMPARE(TrayMinimizer::trayTip(wide), QString(62, QLatin1Char('a')));

        QApplication::setApplicationDisplayName(title);
        QWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        TrayMinimizer tray(&window);
        tray.minimizeToTray();
        QVERIFY(tray.inTray());
        QCOMPARE(tray.trayIcon()->toolTip(), title.left(63));
        QApplication::setApplicationDisplayName(QStringLiteral("Vizavuz AntiVirus"));
    }

    void ownedWindowIsTransientForMainWindow() {
        QWidget window;
        window.setWindowTitle(QStringLiteral("main"));
        window.resize(300, 200);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QWidget dialog;  // made without a parent, as a window of its own
        dialog.resize(100, 80);
        makeOwnedWindow(&dialog, &window);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QString transient =
            run(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(dialog.winId()),
                                          QStringLiteral("WM_TRANSIENT_FOR")});
        QVERIFY2(transient.contains(QStringLiteral("0x") + QString::number(window.winId(), 16)),
                 qPrintable(transient));
        const QString type =
            run(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(dialog.winId()),
                                          QStringLiteral("_NET_WM_WINDOW_TYPE")});
        QVERIFY2(type.contains(QStringLiteral("_NET_WM_WINDOW_TYPE_DIALOG")), qPrintable(type));
    }

private:
    QProcess m_trayer;
};

QTEST_MAIN(TestTray)
#include "tst_tray.moc"
