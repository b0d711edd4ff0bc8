#include "ui/skin/messagedialog.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace {
bool recording = false;
QStringList recordedTexts;
}  // namespace

MessageDialog::MessageDialog(const QString &text, QWidget *parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::Dialog) {
    setObjectName(QStringLiteral("MessageDialog"));
    setFixedSize(367, 142);
    auto *bg = new QLabel(this);
    bg->setObjectName(QStringLiteral("Image1"));
    bg->setGeometry(0, 0, 367, 142);
    bg->setScaledContents(true);
    bg->setPixmap(QPixmap(QStringLiteral(":/art/dialog_background.jpg")));
    label_ = new QLabel(text, this);
    label_->setObjectName(QStringLiteral("Label1"));
    label_->setGeometry(16, 16, 335, 70);
    label_->setWordWrap(true);
    auto *close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("Image2"));
    close->setGeometry(131, 96, 105, 33);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    setMask(QRegion(0, 0, 367, 142, QRegion::Rectangle));
}

QString MessageDialog::text() const {
    return label_->text();
}

void MessageDialog::showFailure(QWidget *parent, const QString &text) {
    if (recording) {
        recordedTexts << text;
        return;
    }
    MessageDialog dialog(text, parent);
    dialog.exec();
}

void MessageDialog::showFailureLater(QWidget *parent, const QString &text) {
    if (recording) {
        recordedTexts << text;
        return;
    }
    auto *dialog = new MessageDialog(text, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void MessageDialog::setRecording(bool on) {
    recording = on;
}
QStringList MessageDialog::recorded() {
    return recordedTexts;
}
void MessageDialog::clearRecorded() {
    recordedTexts.clear();
}
