#include "ui/skin/dialogbutton.h"

#include <QMouseEvent>

#include "ui/skin/skinbuttons.h"

DialogButton::DialogButton(const SkinButtons *skin, int row, const QString &caption,
                           QWidget *parent)
    : QLabel(parent), m_skin(skin), m_row(row), m_caption(caption) {
    setAlignment(Qt::AlignCenter);
    paintBand(SkinButtons::Normal);
}

void DialogButton::enterEvent(QEnterEvent *) {
    paintBand(SkinButtons::Hover);
}

void DialogButton::leaveEvent(QEvent *) {
    paintBand(SkinButtons::Normal);
}

void DialogButton::mousePressEvent(QMouseEvent *) {
    paintBand(SkinButtons::Down);
}

void DialogButton::mouseReleaseEvent(QMouseEvent *event) {
    paintBand(SkinButtons::Normal);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

void DialogButton::paintBand(int band) {
    const QImage image = m_skin ? m_skin->image(m_row, band) : QImage();
    if (image.isNull()) {
        setText(m_caption);
        setFrameShape(QFrame::Box);
    } else {
        setPixmap(QPixmap::fromImage(image));
    }
}
