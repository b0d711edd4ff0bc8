#pragma once

#include <algorithm>

#include <QApplication>
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

// Moves a window off the dialogs of the program that are open where it would open (a message
// shown together with a result window: both are centred): below such a dialog, else above,
// right or left of it, whichever fits the screen first.
inline void keepClearOfDialogs(QWidget &window) {
    QScreen *screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QWidgetList windows = QApplication::topLevelWidgets();
    auto blocker = [&](const QRect &place) -> const QWidget * {
        for (const QWidget *w : windows)
            if (w != &window && w->isVisible() && w->windowType() == Qt::Dialog &&
                w->geometry().intersects(place))
                return w;
        return nullptr;
    };
    const QWidget *over = blocker(window.geometry());
    if (!over)
        return;
    constexpr int gap = 12;
    const QRect o = over->geometry();
    const QSize size = window.size();
    const QPoint candidates[] = {
        {window.x(), o.bottom() + 1 + gap},
        {window.x(), o.top() - gap - size.height()},
        {o.right() + 1 + gap, window.y()},
        {o.left() - gap - size.width(), window.y()},
    };
    for (const QPoint &at : candidates) {
        const QRect place(at, size);
        if (area.contains(place) && !blocker(place)) {
            window.move(at);
            return;
        }
    }
    // A screen too small for both: as far down as it goes, so the other's top stays readable.
    window.move(window.x(), std::max(area.top(), area.bottom() + 1 - size.height()));
}

// For a window's setVisible override: centres it when it is about to be shown.
inline void centreWhenShown(QWidget &window, bool visible) {
    if (visible && !window.isVisible())
        centreOnScreen(window);
}

}  // namespace placement
