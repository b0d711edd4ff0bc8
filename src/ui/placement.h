#pragma once

#include <QGuiApplication>
#include <QPoint>
#include <QScreen>
#include <QWidget>

namespace placement {

// Centres a window on the work area of its screen (the primary screen while it has none).
// Windows call it before they are shown: a move made from the show event reaches the X server
// but not the toolkit's own idea of the window's position, which then maps points wrongly.
inline void centreOnScreen(QWidget &window) {
    QScreen *screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (screen)
        window.move(screen->availableGeometry().center() -
                    QPoint(window.width() / 2, window.height() / 2));
}

// For a window's setVisible override: centres it when it is about to be shown.
inline void centreWhenShown(QWidget &window, bool visible) {
    if (visible && !window.isVisible())
        centreOnScreen(window);
}

}  // namespace placement
