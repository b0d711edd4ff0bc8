#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>

class QWidget;

// Minimises the main window to the taskbar or to the notification area. In the tray the window
// and its taskbar entry are hidden and the icon is the only way back: a left or right press on
// it restores the window and removes the icon. Without a tray host the window goes to the
// taskbar instead, so the program never becomes unreachable.
class TrayMinimizer : public QObject {
    Q_OBJECT
public:
    explicit TrayMinimizer(QWidget *mainWindow, QObject *parent = nullptr);
    ~TrayMinimizer() override;

    // The Minimize button (Image9Click).
    void minimizeToTaskbar();
    // The popup menu's "Minimize to System Tray" (MinimizetoSystemTray1Click).
    void minimizeToTray();

    // Back on the screen and in front, from the tray, the taskbar or behind other windows.
    void bringBack();

    bool inTray() const { return m_icon != nullptr; }
    // The icon while the program is in the tray, else null.
    QSystemTrayIcon *trayIcon() const { return m_icon; }

    // The icon's tooltip: the title cut to its first 63 characters (never inside a surrogate pair).
    static QString trayTip(const QString &title);

signals:
    void restored();

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    void restoreFromTray();

    QPointer<QWidget> m_window;
    QSystemTrayIcon *m_icon = nullptr;
};

// Makes a window of the owned family (the About window and the dialogs) stay above the main
// window with no taskbar entry of its own: its transient parent becomes the main window.
void makeOwnedWindow(QWidget *window, QWidget *mainWindow);
