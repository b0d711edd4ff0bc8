#include "ui/skin/skinbuttons.h"

#include <QLabel>

SkinButtons::SkinButtons(QObject *parent) : QObject(parent) {}
SkinButtons::~SkinButtons() = default;
QStringList SkinButtons::load(const QString &) {
    return {};
}
void SkinButtons::bind(int, QLabel *, bool) {}
QLabel *SkinButtons::control(int) const {
    return nullptr;
}
void SkinButtons::paint(int) {}
void SkinButtons::hover(int) {}
void SkinButtons::press(int) {}
void SkinButtons::release(int) {}
void SkinButtons::select(Group, int) {}
void SkinButtons::clearSelectionKeepCurrent(Group, int) {}
int SkinButtons::selected(Group) const {
    return 0;
}
bool SkinButtons::isHovered(int) const {
    return false;
}
bool SkinButtons::isPressed(int) const {
    return false;
}
bool SkinButtons::isSelected(int) const {
    return false;
}
void SkinButtons::setClosing() {
    m_closing = true;
}
void SkinButtons::setPercent(int, int) {}
int SkinButtons::percent(int) const {
    return 0;
}
void SkinButtons::paintProgressBar(int, QLabel *, int) {}
void SkinButtons::paintProgressBar(int) {}
void SkinButtons::bindProgressBar(int, QLabel *) {}
void SkinButtons::paintAll() {}
const QImage &SkinButtons::image(int, int) const {
    static QImage none;
    return none;
}
const QImage &SkinButtons::barPart(int, int) const {
    static QImage none;
    return none;
}
int SkinButtons::fillWidth(int, int) {
    return 0;
}
std::array<QImage, 3> SkinButtons::cutBands(const QImage &) {
    return {};
}
