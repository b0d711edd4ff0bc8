#include "ui/skin/splash.h"

TForm10::TForm10(QWidget *parent) : QDialog(parent) {}
void TForm10::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
}
void TForm10::hideEvent(QHideEvent *event) {
    QDialog::hideEvent(event);
}
void TForm10::tick() {}
