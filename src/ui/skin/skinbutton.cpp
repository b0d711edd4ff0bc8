#include "ui/skin/skinbutton.h"

#include "ui/skin/skinbuttons.h"

#include <QMouseEvent>

SkinButton::SkinButton(SkinButtons &table, int index, QWidget *parent, bool stretch)
    : QLabel(parent), table_(table), index_(index) {
    setMouseTracking(true);
    table_.bind(index_, this, stretch);
}

void SkinButton::mouseMoveEvent(QMouseEvent *) {
    table_.hover(index_);
}
void SkinButton::enterEvent(QEnterEvent *) {
    table_.hover(index_);
}
void SkinButton::mousePressEvent(QMouseEvent *) {
    table_.press(index_);
}

void SkinButton::mouseReleaseEvent(QMouseEvent *event) {
    table_.release(index_);
    if (rect().contains(event->position().toPoint()))
        emit clicked();
}
