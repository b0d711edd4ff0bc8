#include "ui/shell/appicon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPixmap>

namespace appicon {

QImage draw(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 256.0, size / 256.0);

    // Shield outline on a 256 × 256 design grid.
    QPainterPath shield;
    shield.moveTo(128, 12);
    shield.cubicTo(170, 36, 204, 42, 236, 40);
    shield.cubicTo(238, 140, 204, 208, 128, 246);
    shield.cubicTo(52, 208, 18, 140, 20, 40);
    shield.cubicTo(52, 42, 86, 36, 128, 12);
    shield.closeSubpath();

    QLinearGradient fill(0, 0, 0, 256);
    fill.setColorAt(0.0, QColor(0x4f, 0x9d, 0xe8));
    fill.setColorAt(1.0, QColor(0x10, 0x3f, 0x8c));
    painter.setBrush(fill);
    painter.setPen(QPen(QColor(0x0b, 0x2a, 0x5e), 10, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(shield);

    QPainterPath tick;
    tick.moveTo(74, 130);
    tick.lineTo(114, 172);
    tick.lineTo(188, 88);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 28, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(tick);
    painter.end();
    return image;
}

QIcon icon() {
    QIcon result;
    for (int size : {16, 22, 24, 32, 48, 64, 128})
        result.addPixmap(QPixmap::fromImage(draw(size)));
    return result;
}

}  // namespace appicon
