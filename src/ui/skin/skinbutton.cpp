#include "ui/skin/skinbutton.h"

#include <QMouseEvent>
#include <QPointer>

#include "ui/skin/modalhold.h"
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
    const bool click =
        event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    event->accept();
    // The click may close or even delete this control; the skin table outlives it.
    const auto release = [skin = QPointer<SkinButtons>(&m_skin), index = m_index] {
        if (skin)
            skin->release(index);
    };
    if (click)
        clickThenRelease([this] { emit clicked(); }, release);
    else
        release();
}
