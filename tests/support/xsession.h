#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

class QProcess;
class QWidget;

// Real input and window-manager state under Xvfb, through xdotool, xprop and xwininfo. The void
// functions report failures through QTest, so they are called from test functions.
namespace xsession {

// Runs a program and returns its standard output (empty when it did not finish in 10 s).
QString run(const QString &program, const QStringList &arguments);
void xdotool(const QStringList &arguments);

// True once the window manager has placed the widget's window: until then the toolkit maps
// widget points from 0, 0 and a click would land elsewhere.
bool placed(const QWidget *widget);

// A real click at a point of the screen. It waits out the double-click interval first and comes
// from elsewhere so that the target sees the pointer enter.
void clickAt(QPoint global, int button = 1, int repeat = 1);
// A real left click at a point of a widget (its middle by default), once its window is placed.
void click(QWidget *widget, QPoint at = QPoint(-1, -1));

// Starts trayer as the tray host, a strip at the top right, and waits until the tray is there.
void startTrayHost(QProcess &trayer);

// The client windows the window manager lists, i.e. those a taskbar shows.
QList<quint64> clientList();
bool listed(const QWidget &window);
// "Normal", "Iconic" or "Withdrawn", as the window manager keeps it in WM_STATE.
QString wmState(const QWidget &window);
// Where the X server shows the tray icon: the icon's own X window in root coordinates, once the
// tray host has embedded and mapped it (the toolkit's own idea of the position stays at 0, 0).
QRect embeddedIconGeometry();

}  // namespace xsession
