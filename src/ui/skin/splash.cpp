#include "ui/skin/splash.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QScreen>

TForm10::TForm10(QWidget *parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Dialog) {
    setObjectName(QStringLiteral("TForm10"));
    setFixedSize(239, 365);
    picture_ = new QLabel(this);
    picture_->setObjectName(QStringLiteral("Image1"));
    picture_->setGeometry(0, 0, 239, 340);
    picture_->setScaledContents(true);
    picture_->setPixmap(QPixmap(QStringLiteral(":/art/splash.jpg")));
    gauge_ = new QProgressBar(this);
    gauge_->setObjectName(QStringLiteral("Gauge1"));
    gauge_->setGeometry(0, 340, 239, 25);
    gauge_->setRange(0, 100);
    gauge_->setValue(0);
    gauge_->setTextVisible(false);
    label_ = new QLabel(QStringLiteral("Loading Extensions ..."), this);
    label_->setObjectName(QStringLiteral("Label1"));
    label_->setGeometry(8, 344, 223, 17);
    label_->setAlignment(Qt::AlignCenter);
    label_->setAttribute(Qt::WA_TransparentForMouseEvents);
    timer_.setObjectName(QStringLiteral("Timer1"));
    timer_.setInterval(12);
    connect(&timer_, &QTimer::timeout, this, &TForm10::tick);
}

int TForm10::exec() {
    step_ = 0;
    gauge_->setValue(0);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
    timer_.start();
    return QDialog::exec();
}

void TForm10::tick() {
    ++step_;
    gauge_->setValue(step_);
    if (step_ >= 100) {
        timer_.stop();
        accept();
    }
}
