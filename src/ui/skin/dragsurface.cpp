#include "ui/skin/dragsurface.h"

#include <QMouseEvent>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include "ui/skin/skinbuttons.h"

namespace {

// Moves the window when its surface is pressed: by the window manager when it can, otherwise
// by following the mouse until the release.
class DragFilter : public QObject {
public:
    DragFilter(QWidget *surface, QWidget *window) : QObject(surface), m_window(window) {}

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (!m_window)
            return false;
        switch (event->type()) {
            case QEvent::MouseButtonPress: {
                auto *mouse = static_cast<QMouseEvent *>(event);
                QWindow *handle = m_window->windowHandle();
                if (handle && handle->startSystemMove())
                    return true;
                m_dragging = true;
                m_offset = mouse->globalPosition().toPoint() - m_window->pos();
                return true;
            }
            case QEvent::MouseMove:
                if (m_dragging) {
                    auto *mouse = static_cast<QMouseEvent *>(event);
                    m_window->move(mouse->globalPosition().toPoint() - m_offset);
                }
                return false;
            case QEvent::MouseButtonRelease:
                m_dragging = false;
                return false;
            default:
                return false;
        }
    }

private:
    QPointer<QWidget> m_window;
    bool m_dragging = false;
    QPoint m_offset;
};

class HoverResetFilter : public QObject {
public:
    HoverResetFilter(QWidget *surface, SkinButtons &skin) : QObject(surface), m_skin(skin) {}

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::MouseMove)
            m_skin.hover(-1);
        return false;
    }

private:
    SkinButtons &m_skin;
};

}  // namespace

void makeDragSurface(QWidget *surface, QWidget *window) {
    if (!surface || !window)
        return;
    surface->installEventFilter(new DragFilter(surface, window));
}

void makeHoverReset(QWidget *surface, SkinButtons &skin) {
    if (!surface)
        return;
    surface->setMouseTracking(true);
    surface->installEventFilter(new HoverResetFilter(surface, skin));
}
