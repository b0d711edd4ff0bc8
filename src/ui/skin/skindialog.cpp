#include "ui/skin/skindialog.h"

#include "ui/skin/skinbutton.h"
#include "ui/skin/skinbuttons.h"

const std::vector<DialogFrame> &dialogFrames() {
    static std::vector<DialogFrame> f;
    return f;
}
const DialogFrame *dialogFrame(const QString &) {
    return nullptr;
}
SkinDialog::SkinDialog(const QString &, SkinButtons &skin, QWidget *parent)
    : QDialog(parent), m_skin(skin), m_frame(nullptr) {}
SkinButton *SkinDialog::button(const QString &) const {
    return nullptr;
}
QLabel *SkinDialog::addLabel(const char *, const QString &, const QRect &, bool) {
    return nullptr;
}
void SkinDialog::showEvent(QShowEvent *e) {
    QDialog::showEvent(e);
}
void SkinDialog::resizeEvent(QResizeEvent *e) {
    QDialog::resizeEvent(e);
}
void SkinDialog::applyMask() {}
TForm3::TForm3(SkinButtons &s, QWidget *p) : SkinDialog(QStringLiteral("TForm3"), s, p) {}
TForm6::TForm6(SkinButtons &s, QWidget *p) : SkinDialog(QStringLiteral("TForm6"), s, p) {}
TForm7::TForm7(SkinButtons &s, QWidget *p) : SkinDialog(QStringLiteral("TForm7"), s, p) {}
TForm8::TForm8(SkinButtons &s, QWidget *p) : SkinDialog(QStringLiteral("TForm8"), s, p) {}
TForm11::TForm11(SkinButtons &s, QWidget *p) : SkinDialog(QStringLiteral("TForm11"), s, p) {}
TForm14::TForm14(SkinButtons &s, QWidget *p) : SkinDialog(QStringLiteral("TForm14"), s, p) {}
TForm15::TForm15(SkinButtons &s, QWidget *p) : SkinDialog(QStringLiteral("TForm15"), s, p) {}
TForm16::TForm16(SkinButtons &s, QWidget *p) : SkinDialog(QStringLiteral("TForm16"), s, p) {}
TForm17::TForm17(SkinButtons &s, QWidget *p) : SkinDialog(QStringLiteral("TForm17"), s, p) {}
