#include "ui/skin/dragsurface.h"

#include "ui/skin/skinbuttons.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QWidget>
#include <QWindow>

namespace {

class DragFilter : public QObject {
public:
    DragFilter(QWidget *surface, QWidget *window) : QObject(surface), window_(window) {}

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (!window_)
            return false;
        if (event->type() == QEvent::MouseButtonPress) {
            auto *me = static_cast<QMouseEvent *>(event);
            QWindow *handle = window_->windowHandle();
            if (handle && handle->startSystemMove()) {
                following_ = false;
                return true;
            }
            following_ = true;
            grab_ = me->globalPosition().toPoint() - window_->frameGeometry().topLeft();
            return true;
        }
        if (event->type() == QEvent::MouseMove && following_) {
            auto *me = static_cast<QMouseEvent *>(event);
            window_->move(me->globalPosition().toPoint() - grab_);
            return false;
        }
        if (event->type() == QEvent::MouseButtonRelease)
            following_ = false;
        return false;
    }

private:
    QPointer<QWidget> window_;
    bool following_ = false;
    QPoint grab_;
};

class HoverFilter : public QObject {
public:
    HoverFilter(QWidget *surface, SkinButtons &table) : QObject(surface), table_(table) {}

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::MouseMove || event->type() == QEvent::Enter)
            table_.hover(-1);
        return false;
    }

private:
    SkinButtons &table_;
};

}  // namespace

void makeDragSurface(QWidget *surface, QWidget *window) {
    surface->installEventFilter(new DragFilter(surface, window));
}

void makeHoverReset(QWidget *surface, SkinButtons &table) {
    surface->setMouseTracking(true);
    surface->installEventFilter(new HoverFilter(surface, table));
}
