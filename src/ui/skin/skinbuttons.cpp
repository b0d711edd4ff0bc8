#include "ui/skin/skinbuttons.h"

#include <QLabel>
#include <QMutexLocker>
#include <QPainter>
#include <QPixmap>

#include <algorithm>

SkinButtons::SkinButtons(QObject *parent) : QObject(parent) {}

SkinButtons::~SkinButtons() = default;

SkinButtons::Record *SkinButtons::record(int index) {
    return valid(index) ? &m_records[static_cast<size_t>(index - 1)] : nullptr;
}

const SkinButtons::Record *SkinButtons::record(int index) const {
    return valid(index) ? &m_records[static_cast<size_t>(index - 1)] : nullptr;
}

std::array<QImage, 3> SkinButtons::cutBands(const QImage &picture) {
    std::array<QImage, 3> bands;
    const int h = picture.height() / 3;
    if (picture.isNull() || h == 0)
        return bands;
    for (int b = 0; b < 3; ++b)
        bands[static_cast<size_t>(b)] = picture.copy(0, b * h, picture.width(), h);
    return bands;
}

// Decodes a PNG and flattens it onto an opaque 24-bit picture of its own size.
static QImage loadFlat(const QString &path) {
    QImage image;
    if (!image.load(path, "PNG"))
        return {};
    return image.convertToFormat(QImage::Format_RGB888);
}

QStringList SkinButtons::load(const QString &programFolder) {
    QStringList failed;
    for (int n = 1; n <= buttonCount; ++n) {
        Record &r = m_records[static_cast<size_t>(n - 1)];
        r.selected = r.pressed = r.hovered = false;
        const QString name = QStringLiteral("bin/skin/img%1.png").arg(n);
        const QImage picture = loadFlat(programFolder + name);
        r.bands = cutBands(picture);
        for (size_t b = 0; b < 3; ++b)
            r.pixmaps[b] = r.bands[b].isNull() ? QPixmap() : QPixmap::fromImage(r.bands[b]);
        if (r.bands[0].isNull())
            failed << name;
    }
    m_hovered = 0;

    QMutexLocker lock(&m_barLock);
    const QString fillName = QStringLiteral("bin/skin/timg1f.png");
    m_bar.fill = loadFlat(programFolder + fillName);
    if (m_bar.fill.isNull())
        failed << fillName;
    const QString capsName = QStringLiteral("bin/skin/timg1.png");
    const auto parts = cutBands(loadFlat(programFolder + capsName));
    m_bar.leftCap = parts[0];
    m_bar.rightCap = parts[1];
    m_bar.track = parts[2];
    if (m_bar.leftCap.isNull())
        failed << capsName;
    return failed;
}

void SkinButtons::bind(int index, QLabel *control, bool stretch) {
    Record *r = record(index);
    if (!r)
        return;
    r->control = control;
    r->stretch = stretch;
    if (control)
        control->setScaledContents(stretch);
}

QLabel *SkinButtons::control(int index) const {
    const Record *r = record(index);
    return r ? r->control.data() : nullptr;
}

void SkinButtons::paint(int index) {
    if (m_closing)
        return;
    Record *r = record(index);
    if (!r || !r->control)
        return;
    const size_t band = (r->pressed || r->selected) ? Down : r->hovered ? Hover : Normal;
    if (r->pixmaps[band].isNull())
        r->control->clear();
    else
        r->control->setPixmap(r->pixmaps[band]);
}

void SkinButtons::hover(int index) {
    if (index == m_hovered)
        return;
    if (Record *old = record(m_hovered)) {
        old->hovered = false;
        paint(m_hovered);
    }
    if (Record *now = record(index)) {
        now->hovered = true;
        paint(index);
    }
    m_hovered = index;
}

void SkinButtons::press(int index) {
    if (Record *r = record(index)) {
        r->pressed = true;
        paint(index);
    }
}

void SkinButtons::release(int index) {
    if (Record *r = record(index)) {
        r->pressed = false;
        paint(index);
    }
}

void SkinButtons::select(Group group, int index) {
    int &current = group == Group::Navigation ? m_selectedNav : m_selectedScan;
    if (Record *old = record(current)) {
        old->selected = false;
        paint(current);
    }
    current = index;
    if (Record *now = record(index)) {
        now->selected = true;
        paint(index);
    }
}

void SkinButtons::clearSelectionKeepCurrent(Group group, int newCurrent) {
    // Every member is cleared, not only the Start button: after a pause and resume the
    // current member is Resume, and it must not stay drawn selected.
    const int first = group == Group::Navigation ? 1 : 11;
    for (int i = first; i < first + 4; ++i) {
        Record *r = record(i);
        if (r->selected) {
            r->selected = false;
            paint(i);
        }
    }
    (group == Group::Navigation ? m_selectedNav : m_selectedScan) = newCurrent;
}

int SkinButtons::selected(Group group) const {
    return group == Group::Navigation ? m_selectedNav : m_selectedScan;
}

bool SkinButtons::isHovered(int index) const {
    const Record *r = record(index);
    return r && r->hovered;
}

bool SkinButtons::isPressed(int index) const {
    const Record *r = record(index);
    return r && r->pressed;
}

bool SkinButtons::isSelected(int index) const {
    const Record *r = record(index);
    return r && r->selected;
}

void SkinButtons::setClosing() {
    m_closing = true;
}

void SkinButtons::setPercent(int bar, int percent) {
    if (bar != 1)
        return;
    QMutexLocker lock(&m_barLock);
    m_bar.percent = std::clamp(percent, 0, 100);
}

int SkinButtons::percent(int bar) const {
    if (bar != 1)
        return 0;
    QMutexLocker lock(&m_barLock);
    return m_bar.percent;
}

int SkinButtons::fillWidth(int innerWidth, int percent) {
    if (innerWidth <= 0)
        return 0;
    const qint64 product = qint64(innerWidth) * std::clamp(percent, 0, 100);
    qint64 d = product / 100;
    const qint64 rest = product % 100;
    if (rest > 50 || (rest == 50 && d % 2 == 1))
        ++d;
    return static_cast<int>(d);
}

void SkinButtons::bindProgressBar(int bar, QLabel *target) {
    if (bar != 1)
        return;
    QMutexLocker lock(&m_barLock);
    m_bar.target = target;
}

void SkinButtons::paintProgressBar(int bar, QLabel *target, int percent) {
    if (bar != 1)
        return;
    {
        QMutexLocker lock(&m_barLock);
        m_bar.target = target;
    }
    setPercent(bar, percent);
    paintProgressBar(bar);
}

void SkinButtons::paintProgressBar(int bar) {
    if (bar != 1)
        return;
    QMutexLocker lock(&m_barLock);
    QLabel *target = m_bar.target;
    if (!target || target->width() <= 0 || target->height() <= 0)
        return;
    const int w = target->width();
    const int l = m_bar.leftCap.width();
    const int r = m_bar.rightCap.width();
    const int d = fillWidth(w - l - r, m_bar.percent);

    // Start from what the control shows, so a part that is missing leaves the old pixels.
    QImage canvas(w, target->height(), QImage::Format_RGB888);
    canvas.fill(Qt::white);
    const QPixmap shown = target->pixmap();
    QPainter p(&canvas);
    if (!shown.isNull())
        p.drawPixmap(0, 0, shown);
    if (!m_bar.leftCap.isNull())
        p.drawImage(QRect(0, 0, l, m_bar.leftCap.height()), m_bar.leftCap);
    if (!m_bar.fill.isNull() && d > 0)
        p.drawImage(QRect(l, 0, d, m_bar.fill.height()), m_bar.fill,
                    QRect(0, 0, std::min(l + d, m_bar.fill.width()), m_bar.fill.height()));
    if (!m_bar.track.isNull() && w - r - (l + d) > 0)
        p.drawImage(QRect(l + d, 0, w - r - (l + d), m_bar.track.height()), m_bar.track);
    if (!m_bar.rightCap.isNull())
        p.drawImage(QRect(w - r, 0, r, m_bar.rightCap.height()), m_bar.rightCap);
    p.end();
    target->setPixmap(QPixmap::fromImage(canvas));
}

void SkinButtons::paintAll() {
    if (Record *nav = record(m_selectedNav))
        nav->selected = true;
    paintProgressBar(0);
    paintProgressBar(1);
    for (int i = 0; i <= buttonCount; ++i)
        paint(i);
}

const QImage &SkinButtons::image(int index, int band) const {
    static const QImage none;
    const Record *r = record(index);
    if (!r || band < 0 || band > 2)
        return none;
    return r->bands[static_cast<size_t>(band)];
}

const QImage &SkinButtons::barPart(int bar, int part) const {
    static const QImage none;
    if (bar != 1)
        return none;
    switch (part) {
        case 0:
            return m_bar.leftCap;
        case 1:
            return m_bar.rightCap;
        case 2:
            return m_bar.fill;
        case 3:
            return m_bar.track;
        default:
            return none;
    }
}
