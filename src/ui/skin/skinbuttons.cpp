#include "ui/skin/skinbuttons.h"

#include <QLabel>
#include <QMutexLocker>
#include <QPainter>
#include <QPixmap>
#include <cmath>

SkinButtons::SkinButtons(QObject *parent) : QObject(parent) {}

QImage SkinButtons::cutBand(const QImage &whole, int band) {
    const int h = whole.height() / 3;
    if (whole.isNull() || h == 0 || band < 0 || band > 2)
        return {};
    return whole.copy(0, band * h, whole.width(), h);
}

static QImage decode(const QString &path) {
    QImage img(path);
    if (img.isNull())
        return img;
    // Flatten onto an opaque picture of the file's own size.
    QImage flat(img.size(), QImage::Format_RGB888);
    flat.fill(Qt::black);
    QPainter p(&flat);
    p.drawImage(0, 0, img);
    return flat;
}

QStringList SkinButtons::load(const QString &programFolder) {
    QStringList problems;
    const QString dir = programFolder + QStringLiteral("bin/skin/");
    for (int i = 1; i <= buttonCount; ++i) {
        Row &row = rows_[i];
        row.bands = {};
        const QString name = QStringLiteral("img%1.png").arg(i);
        const QImage whole = decode(dir + name);
        if (whole.isNull() || whole.height() < 3) {
            problems << dir + name;
            continue;
        }
        for (int b = 0; b < 3; ++b)
            row.bands[b] = cutBand(whole, b);
    }
    hovered_ = 0;
    pressed_ = -1;
    const QImage bar = decode(dir + QStringLiteral("timg1.png"));
    if (bar.isNull() || bar.height() < 3)
        problems << dir + QStringLiteral("timg1.png");
    else
        for (int b = 0; b < 3; ++b)
            barBands_[b] = cutBand(bar, b);
    barFill_ = decode(dir + QStringLiteral("timg1f.png"));
    if (barFill_.isNull())
        problems << dir + QStringLiteral("timg1f.png");
    return problems;
}

void SkinButtons::bind(int index, QLabel *control, bool stretch) {
    if (!valid(index))
        return;
    rows_[index].control = control;
    rows_[index].stretch = stretch;
    if (control)
        control->setScaledContents(stretch);
}

SkinButtons::Group SkinButtons::groupOf(int index) const {
    return index >= 11 && index <= 14 ? Group::ScanControl : Group::Navigation;
}

bool SkinButtons::isHovered(int index) const {
    return valid(index) && hovered_ == index;
}
bool SkinButtons::isPressed(int index) const {
    return valid(index) && pressed_ == index;
}

bool SkinButtons::isSelected(int index) const {
    return valid(index) && (currentNav_ == index || currentScan_ == index) &&
           !(index == currentScan_ && scanHidden_);
}

void SkinButtons::paint(int index) {
    if (closing_ || !valid(index))
        return;
    Row &row = rows_[index];
    if (!row.control)
        return;
    int band = 0;
    if (isPressed(index) || isSelected(index))
        band = 2;
    else if (isHovered(index))
        band = 1;
    const QImage &img = row.bands[band];
    if (img.isNull())
        row.control->clear();
    else
        row.control->setPixmap(QPixmap::fromImage(img));
}

void SkinButtons::hover(int index) {
    if (index == hovered_)
        return;
    const int old = hovered_;
    hovered_ = index;
    paint(old);
    paint(index);
}

void SkinButtons::press(int index) {
    if (!valid(index))
        return;
    pressed_ = index;
    paint(index);
}

void SkinButtons::release(int index) {
    if (!valid(index))
        return;
    if (pressed_ == index)
        pressed_ = -1;
    paint(index);
}

void SkinButtons::select(Group group, int index) {
    int &current = group == Group::Navigation ? currentNav_ : currentScan_;
    const int old = current;
    current = index;
    if (group == Group::ScanControl)
        scanHidden_ = false;
    paint(old);
    paint(index);
}

void SkinButtons::clearSelectionKeepCurrent(Group group, int newCurrent) {
    int &current = group == Group::Navigation ? currentNav_ : currentScan_;
    const int old = current;
    current = newCurrent;
    if (group == Group::ScanControl)
        scanHidden_ = true;
    paint(old);
    paint(newCurrent);
}

int SkinButtons::selected(Group group) const {
    return group == Group::Navigation ? currentNav_ : currentScan_;
}

void SkinButtons::setClosing() {
    closing_ = true;
}

const QImage &SkinButtons::image(int index, int band) const {
    if (!valid(index) || band < 0 || band > 2)
        return empty_;
    return rows_[index].bands[band];
}

void SkinButtons::paintProgressBar(int bar, QLabel *target, int percent) {
    if (bar != 1 || !target)
        return;
    QMutexLocker lock(&barLock_);
    const QImage &left = barBands_[0], &right = barBands_[1], &track = barBands_[2];
    const int w = target->width();
    const int h = std::max({left.height(), track.height(), barFill_.height(), 1});
    const int l = left.width(), r = right.width();
    percent = std::clamp(percent, 0, 100);
    const int d = int(std::nearbyint(double(w - l - r) * percent / 100.0));
    QImage canvas(w, h, QImage::Format_RGB888);
    canvas.fill(Qt::black);
    QPainter p(&canvas);
    if (!left.isNull())
        p.drawImage(QRect(0, 0, l, left.height()), left);
    if (d > 0 && !barFill_.isNull())
        p.drawImage(QRect(l, 0, d, barFill_.height()), barFill_,
                    QRect(0, 0, std::min(l + d, barFill_.width()), barFill_.height()));
    if (!track.isNull() && w - r - (l + d) > 0)
        p.drawImage(QRect(l + d, 0, w - r - (l + d), track.height()), track);
    if (!right.isNull())
        p.drawImage(QRect(w - r, 0, r, right.height()), right);
    p.end();
    target->setPixmap(QPixmap::fromImage(canvas));
}
