#include "ui/shell/trayminimizer.h"

#include <QApplication>
#include <QWidget>
#include <QWindow>

#include "ui/shell/appicon.h"

TrayMinimizer::TrayMinimizer(QWidget *mainWindow, QObject *parent)
    : QObject(parent), m_window(mainWindow) {}

TrayMinimizer::~TrayMinimizer() {
    delete m_icon;
}

QString TrayMinimizer::trayTip(const QString &title) {
    qsizetype room = 63;
    if (title.size() > room && title.at(room - 1).isHighSurrogate())
        --room;
    return title.left(room);
}

void TrayMinimizer::minimizeToTaskbar() {
    if (!m_window)
        return;
    // When the window manager restored the window (a taskbar click), the toolkit may still
    // think it minimised and would ignore a second request: clear the stale state first.
    if (m_window->windowState() & Qt::WindowMinimized)
        m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    m_window->showMinimized();
}

void TrayMinimizer::minimizeToTray() {
    minimizeToTaskbar();
    if (!m_window || !QSystemTrayIcon::isSystemTrayAvailable())
        return;  // no tray host: stay on the taskbar, where the window can still be reached
    if (m_icon)
        return;  // already in the tray

    // The icon is rebuilt every time the program goes to the tray.
    m_icon = new QSystemTrayIcon(this);
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull())
        icon = appicon::icon();
    m_icon->setIcon(icon);
    m_icon->setToolTip(trayTip(QGuiApplication::applicationDisplayName()));
    connect(m_icon, &QSystemTrayIcon::activated, this, &TrayMinimizer::onActivated);
    m_icon->show();
    m_window->hide();  // an unmapped window has no taskbar entry
}

void TrayMinimizer::onActivated(QSystemTrayIcon::ActivationReason reason) {
    // Trigger is a left press, Context a right press; no context menu is set, so none opens.
    // Double and middle clicks are ignored.
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::Context)
        restoreFromTray();
}

namespace {
void showInFront(QWidget *window) {
    if (!window)
        return;
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}
}  // namespace

void TrayMinimizer::bringBack() {
    if (m_icon)
        restoreFromTray();
    else
        showInFront(m_window);
}

void TrayMinimizer::restoreFromTray() {
    if (!m_icon)
        return;
    // This runs inside the icon's own mouse handler: hiding the icon now would destroy the
    // widget that is delivering the press, so the icon is removed once the event is done.
    disconnect(m_icon, nullptr, this, nullptr);
    m_icon->deleteLater();
    m_icon = nullptr;
    showInFront(m_window);
    emit restored();
}

void makeOwnedWindow(QWidget *window, QWidget *mainWindow) {
    if (!window || !mainWindow || window == mainWindow)
        return;
    if (window->parentWidget() != mainWindow) {
        // Reparenting keeps the window a window of its own, owned by the main window.
        const Qt::WindowFlags flags = window->windowFlags();
        window->setParent(mainWindow, flags | Qt::Dialog);
    } else if (!(window->windowFlags() & Qt::Window)) {
        window->setWindowFlags(window->windowFlags() | Qt::Dialog);
    }
    window->winId();  // make the native window so that its transient parent can be set now
    if (QWindow *handle = window->windowHandle()) {
        mainWindow->winId();
        handle->setTransientParent(mainWindow->windowHandle());
    }
}
