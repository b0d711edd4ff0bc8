#include "ui/skin/skinbutton.h"

#include "ui/skin/skinbuttons.h"

SkinButton::SkinButton(SkinButtons &skin, int index, QWidget *parent, bool)
    : QLabel(parent), m_skin(skin), m_index(index) {}
void SkinButton::mouseMoveEvent(QMouseEvent *) {}
void SkinButton::mousePressEvent(QMouseEvent *) {}
void SkinButton::mouseReleaseEvent(QMouseEvent *) {}
