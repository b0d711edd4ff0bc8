#include "ui/skin/skinbutton.h"

#include <QMouseEvent>
#include <QPointer>

#include "ui/skin/skinbuttons.h"

SkinButton::SkinButton(SkinButtons &skin, int index, QWidget *parent, bool stretch)
    : QLabel(parent), m_skin(skin), m_index(index) {
    setMouseTracking(true);
    skin.bind(index, this, stretch);
}

void SkinButton::mouseMoveEvent(QMouseEvent *event) {
    m_skin.hover(m_index);
    event->accept();
}

void SkinButton::mousePressEvent(QMouseEvent *event) {
    m_skin.press(m_index);
    event->accept();
}

void SkinButton::mouseReleaseEvent(QMouseEvent *event) {
    // The click runs before the release is painted; it may close or even delete this control.
    SkinButtons &skin = m_skin;
    const int index = m_index;
    const bool click =
        event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    event->accept();
    if (click) {
        QPointer<SkinButton> self(this);
        emit clicked();
        if (!self) {
            skin.release(index);
            return;
        }
    }
    skin.release(index);
}
