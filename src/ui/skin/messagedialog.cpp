#include "ui/skin/messagedialog.h"

#include <QEnterEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainterPath>
#include <QRegion>

#include "ui/skin/artwork.h"
#include "ui/skin/dialogbutton.h"
#include "ui/skin/dragsurface.h"
#include "ui/skin/skinbuttons.h"
#include "ui/fonts.h"
#include "ui/placement.h"

namespace {

const SkinButtons *g_skin = nullptr;
bool g_recording = false;
constexpr int closeRow = 23;  // the removal result's "Close" images

constexpr int yesRow = 16;  // the confirm-stop dialog's "Yes" and "No" images
constexpr int noRow = 17;
bool g_recordedAnswer = false;

// A button whose click ends the dialog with its result.
DialogButton *resultButton(QDialog *dialog, const char *name, int row, const QString &caption,
                           int result) {
    auto *button = new DialogButton(g_skin, row, caption, dialog);
    button->setObjectName(QString::fromLatin1(name));
    QObject::connect(button, &DialogButton::clicked, dialog,
                     [dialog, result] { dialog->done(result); });
    return button;
}

}  // namespace

MessageDialog::MessageDialog(const QString &text, QWidget *parent, Kind kind) : QDialog(parent) {
    setObjectName(QStringLiteral("MessageDialog"));
    setWindowTitle(QStringLiteral("Vizavuz AntiVirus"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setFont(fonts::dialog());
    setFixedSize(367, 200);

    auto *background = new QLabel(this);
    background->setObjectName(QStringLiteral("Image1"));
    background->setGeometry(rect());
    background->setScaledContents(true);
    background->setPixmap(QPixmap(QString::fromLatin1(art::dialogBackground.path)));
    auto *title = new QLabel(this);
    title->setObjectName(QStringLiteral("Image4"));
    title->setGeometry(16, 8, art::dialogMessageTitle.width, art::dialogMessageTitle.height);
    title->setPixmap(QPixmap(QString::fromLatin1(art::dialogMessageTitle.path)));
    makeDragSurface(background, this);
    makeDragSurface(title, this);

    auto *label = new QLabel(text, this);
    label->setObjectName(QStringLiteral("Label1"));
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(24, 60, 319, 80);

    if (kind == Kind::Question) {
        auto *yes = resultButton(this, "Image2", yesRow, QStringLiteral("Yes"), Accepted);
        yes->setGeometry(56, 152, 105, 33);
        auto *no = resultButton(this, "Image3", noRow, QStringLiteral("No"), Rejected);
        no->setGeometry(206, 152, 105, 33);
    } else {
        auto *close = resultButton(this, "Image2", closeRow, QStringLiteral("Close"), Accepted);
        close->setGeometry(131, 152, 105, 33);
    }

    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, width(), height()), 8, 8);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
}

void MessageDialog::setVisible(bool visible) {
    if (visible && !isVisible()) {
        placement::centreOnScreen(*this);
        placement::keepClearOfDialogs(*this);
    }
    QDialog::setVisible(visible);
}

void MessageDialog::showFailure(QWidget *parent, const QString &text) {
    if (g_recording) {
        recorded() << text;
        return;
    }
    MessageDialog dialog(text, parent);
    dialog.exec();
}

MessageDialog *MessageDialog::showFailureLater(QWidget *parent, const QString &text) {
    if (g_recording) {
        recorded() << text;
        return nullptr;
    }
    auto *dialog = new MessageDialog(text, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    return dialog;
}

bool MessageDialog::ask(QWidget *parent, const QString &text) {
    if (g_recording) {
        recorded() << text;
        return g_recordedAnswer;
    }
    MessageDialog dialog(text, parent, Kind::Question);
    return dialog.exec() == Accepted;
}

void MessageDialog::setRecordedAnswer(bool yes) {
    g_recordedAnswer = yes;
}

void MessageDialog::setSkin(const SkinButtons *skin) {
    g_skin = skin;
}

void MessageDialog::setRecording(bool on) {
    g_recording = on;
}

QStringList &MessageDialog::recorded() {
    static QStringList texts;
    return texts;
}
