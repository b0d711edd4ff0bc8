#include "ui/skin/skindialog.h"

#include "ui/skin/dragsurface.h"
#include "ui/skin/skinbutton.h"
#include "ui/skin/skinbuttons.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <map>

namespace {

struct Extra {
    bool onTop;
    std::vector<const char *> drag;   // drag surfaces
    std::vector<const char *> hover;  // hover-reset surfaces
    const char *titleName;
};

// One row per window: size, background, title picture and its place, buttons.
const std::map<QString, std::pair<SkinDialog::Frame, Extra>> &frames() {
    static const std::map<QString, std::pair<SkinDialog::Frame, Extra>> table = [] {
        std::map<QString, std::pair<SkinDialog::Frame, Extra>> t;
        auto add = [&](const char *form, int w, int h, int tx, int ty, int tw, int th,
                       std::vector<SkinDialog::ButtonSpec> buttons, Extra extra) {
            t[QString::fromLatin1(form)] = {
                SkinDialog::Frame{form, w, h, "", "", tx, ty, tw, th, std::move(buttons)},
                std::move(extra)};
        };
        add("TForm3", 301, 142, 16, 8, 265, 41,
            {{"Image3", 16, 32, 96, 105, 33}, {"Image2", 17, 152, 96, 105, 33}},
            {false, {"Image1", "Image4"}, {"Image1", "Image4"}, "Image4"});
        add("TForm6", 367, 237, 16, 16, 217, 33, {{"Image3", 23, 120, 168, 105, 33}},
            {true, {}, {"Image1"}, "Image2"});
        add("TForm7", 301, 142, 16, 8, 265, 41, {}, {true, {"Image1"}, {}, "Image4"});
        add("TForm8", 367, 237, 16, 8, 289, 41,
            {{"Image2", 33, 56, 184, 105, 33}, {"Image3", 34, 176, 184, 105, 33}},
            {true, {"Image1", "Image4"}, {"Image1", "Image4"}, "Image4"});
        add("TForm11", 367, 237, 16, 8, 265, 41,
            {{"Image2", 24, 56, 168, 105, 33}, {"Image3", 25, 176, 168, 113, 33}},
            {true, {"Image1", "Image4"}, {}, "Image4"});
        add("TForm14", 367, 237, 16, 8, 265, 41, {{"Image2", 26, 128, 192, 105, 33}},
            {true, {"Image1", "Image4"}, {"Image1", "Image4"}, "Image4"});
        add("TForm15", 367, 237, 16, 16, 289, 41,
            {{"Image2", 31, 48, 184, 105, 33}, {"Image3", 32, 160, 184, 105, 33}},
            {true, {"Image1", "Image4"}, {"Image1", "Image4"}, "Image4"});
        add("TForm16", 367, 270, 8, 8, 237, 41,
            {{"Image2", 35, 32, 216, 105, 33}, {"Image3", 36, 152, 216, 105, 33}},
            {false, {"Image1", "Image4"}, {"Image1", "Image4"}, "Image4"});
        add("TForm17", 367, 237, 16, 16, 265, 41, {{"Image2", 37, 120, 176, 105, 33}},
            {true, {"Image1", "Image3"}, {"Image1", "Image3"}, "Image3"});
        return t;
    }();
    return table;
}

}  // namespace

const SkinDialog::Frame &SkinDialog::frame(const QString &formName) {
    return frames().at(formName).first;
}

SkinDialog::SkinDialog(const QString &formName, SkinButtons &table, QWidget *parent)
    : QDialog(parent), table_(table) {
    const auto &[f, extra] = frames().at(formName);
    setObjectName(formName);
    Qt::WindowFlags flags = Qt::Dialog | Qt::FramelessWindowHint;
    if (extra.onTop)
        flags |= Qt::WindowStaysOnTopHint;
    setWindowFlags(flags);
    setFixedSize(f.width, f.height);

    background_ = new QLabel(this);
    background_->setObjectName(QStringLiteral("Image1"));
    background_->setGeometry(0, 0, f.width, f.height);
    background_->setScaledContents(true);
    background_->setPixmap(QPixmap(QStringLiteral(":/art/dialog_%1_background.jpg").arg(formName)));

    auto *title = new QLabel(this);
    title->setObjectName(QString::fromLatin1(extra.titleName));
    title->setGeometry(f.titleX, f.titleY, f.titleW, f.titleH);
    title->setScaledContents(true);
    title->setPixmap(QPixmap(QStringLiteral(":/art/dialog_%1_title.jpg").arg(formName)));

    for (const ButtonSpec &b : f.buttons) {
        auto *button = new SkinButton(table_, b.skinIndex, this);
        button->setObjectName(QString::fromLatin1(b.objectName));
        button->setGeometry(b.x, b.y, b.w, b.h);
        table_.paint(b.skinIndex);
    }
    for (const char *name : extra.drag)
        if (auto *w = findChild<QWidget *>(QString::fromLatin1(name)))
            makeDragSurface(w, this);
    for (const char *name : extra.hover)
        if (auto *w = findChild<QWidget *>(QString::fromLatin1(name)))
            makeHoverReset(w, table_);
    applyMask();
}

SkinButton *SkinDialog::button(const QString &objectName) const {
    return findChild<SkinButton *>(objectName);
}

void SkinDialog::applyMask() {
    QBitmap bits(size());
    bits.fill(Qt::color0);
    QPainter p(&bits);
    p.setBrush(Qt::color1);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRect(0, 0, width(), height()), 8, 8);
    p.end();
    setMask(bits);
}

void SkinDialog::showEvent(QShowEvent *event) {
    applyMask();
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
    QDialog::showEvent(event);
}
