#include "ui/skin/splash.h"

#include <QLabel>
#include <QProgressBar>

#include "ui/skin/artwork.h"
#include "ui/placement.h"

TForm10::TForm10(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TForm10"));
    setWindowTitle(QStringLiteral("Vizavuz AntiVirus"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setFixedSize(239, 365);

    auto *picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Image1"));
    picture->setGeometry(0, 0, 239, 340);
    picture->setPixmap(QPixmap(QString::fromLatin1(art::splash.path)));

    m_gauge = new QProgressBar(this);
    m_gauge->setObjectName(QStringLiteral("Gauge1"));
    m_gauge->setGeometry(0, 340, 239, 25);
    m_gauge->setRange(0, steps);
    m_gauge->setValue(0);
    m_gauge->setTextVisible(false);

    auto *label = new QLabel(QStringLiteral("Loading Extensions ..."), this);
    label->setObjectName(QStringLiteral("Label1"));
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(0, 340, 239, 25);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);

    m_timer.setObjectName(QStringLiteral("Timer1"));
    m_timer.setInterval(tickMs);
    connect(&m_timer, &QTimer::timeout, this, &TForm10::tick);
}

void TForm10::setVisible(bool visible) {
    placement::centreWhenShown(*this, visible);
    QDialog::setVisible(visible);
}

void TForm10::showEvent(QShowEvent *event) {
    m_step = 0;
    m_gauge->setValue(0);
    m_timer.start();
    QDialog::showEvent(event);
}

void TForm10::hideEvent(QHideEvent *event) {
    m_timer.stop();
    QDialog::hideEvent(event);
}

void TForm10::tick() {
    ++m_step;
    m_gauge->setValue(m_step);
    if (m_step >= steps) {
        m_timer.stop();
        accept();
    }
}
