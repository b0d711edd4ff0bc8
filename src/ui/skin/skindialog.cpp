#include "ui/skin/skindialog.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>
#include <QRegion>
#include <QShowEvent>

#include "ui/skin/artwork.h"
#include "ui/skin/dragsurface.h"
#include "ui/skin/skinbutton.h"
#include "ui/skin/skinbuttons.h"
#include "ui/fonts.h"
#include "ui/placement.h"

const std::vector<DialogFrame> &dialogFrames() {
    static const QSize std(105, 33);
    static const std::vector<DialogFrame> frames = {
        {"TForm3",
         {301, 142},
         false,
         {"Image1", "Image4"},
         "Image4",
         {16, 8},
         {265, 41},
         {"Image1", "Image4"},
         {{"Image3", {32, 96}, std, 16}, {"Image2", {152, 96}, std, 17}},
         "Image2"},
        {"TForm6",
         {367, 237},
         true,
         {},
         "Image2",
         {16, 16},
         {217, 33},
         {"Image1"},
         {{"Image3", {120, 168}, std, 23}}},
        {"TForm7", {301, 142}, true, {"Image1"}, "Image4", {16, 8}, {265, 41}, {}, {}},
        {"TForm8",
         {367, 237},
         true,
         {"Image1", "Image4"},
         "Image4",
         {16, 8},
         {289, 41},
         {"Image1", "Image4"},
         {{"Image2", {56, 184}, std, 33}, {"Image3", {176, 184}, std, 34}}},
        {"TForm11",
         {367, 237},
         true,
         {"Image1", "Image4"},
         "Image4",
         {16, 8},
         {265, 41},
         {},
         {{"Image2", {56, 168}, std, 24}, {"Image3", {176, 168}, {113, 33}, 25}}},
        {"TForm14",
         {367, 237},
         true,
         {"Image1", "Image4"},
         "Image4",
         {16, 8},
         {265, 41},
         {"Image1", "Image4"},
         {{"Image2", {128, 192}, std, 26}}},
        {"TForm15",
         {367, 237},
         true,
         {"Image1", "Image4"},
         "Image4",
         {16, 16},
         {289, 41},
         {"Image1", "Image4"},
         {{"Image2", {48, 184}, std, 31}, {"Image3", {160, 184}, std, 32}}},
        {"TForm16",
         {367, 270},
         false,
         {"Image1", "Image4"},
         "Image4",
         {8, 8},
         {237, 41},
         {"Image1", "Image4"},
         {{"Image2", {32, 216}, std, 35}, {"Image3", {152, 216}, std, 36}},
         "Image3"},
        {"TForm17",
         {367, 237},
         true,
         {"Image1", "Image3"},
         "Image3",
         {16, 16},
         {265, 41},
         {"Image1", "Image3"},
         {{"Image2", {120, 176}, std, 37}}},
        // Scan Settings: its own push buttons, a group box per topic.
        {"ScanSettingsDialog",
         {600, 592},
         false,
         {"Image1", "Image4"},
         "Image4",
         {16, 8},
         {265, 41},
         {"Image1", "Image4"},
         {}},
        // The scan log and the scheduled scan: their picture buttons are DialogButtons, which
        // take no row of the shared table.
        {"ScanLogWindow",
         {640, 440},
         false,
         {"Image1", "Image4"},
         "Image4",
         {16, 8},
         {265, 41},
         {},
         {}},
        {"ScheduleWindow",
         {400, 400},
         false,
         {"Image1", "Image4"},
         "Image4",
         {16, 8},
         {265, 41},
         {},
         {}},
    };
    return frames;
}

const DialogFrame *dialogFrame(const QString &name) {
    for (const DialogFrame &f : dialogFrames())
        if (name == QLatin1String(f.name))
            return &f;
    return nullptr;
}

static QString titlePicture(const QString &formName) {
    return QStringLiteral(":/art/dialog_%1_title.jpg").arg(formName);
}

SkinDialog::SkinDialog(const QString &formName, SkinButtons &skin, QWidget *parent)
    : QDialog(parent), m_skin(skin), m_frame(dialogFrame(formName)) {
    Q_ASSERT(m_frame);
    setObjectName(formName);
    setWindowTitle(QStringLiteral("Vizavuz AntiVirus"));
    Qt::WindowFlags flags = Qt::Dialog | Qt::FramelessWindowHint;
    if (m_frame->onTop)
        flags |= Qt::WindowStaysOnTopHint;
    setWindowFlags(flags);
    setFont(fonts::dialog());
    setFixedSize(m_frame->size);  // the narrow face keeps the long help lines inside

    m_background = new QLabel(this);
    m_background->setObjectName(QStringLiteral("Image1"));
    m_background->setGeometry(rect());
    m_background->setScaledContents(true);
    m_background->setPixmap(QPixmap(QString::fromLatin1(art::dialogBackground.path)));

    m_title = new QLabel(this);
    m_title->setObjectName(QString::fromLatin1(m_frame->titleName));
    m_title->setGeometry(QRect(m_frame->titlePos, m_frame->titleSize));
    m_title->setPixmap(QPixmap(titlePicture(formName)));

    for (const DialogFrame::Button &b : m_frame->buttons) {
        auto *button = new SkinButton(skin, b.skinIndex, this);
        button->setObjectName(QString::fromLatin1(b.name));
        button->setGeometry(QRect(b.pos, b.size));
        m_buttons << button;
    }
    for (const char *name : m_frame->dragSurfaces)
        makeDragSurface(findChild<QLabel *>(QString::fromLatin1(name)), this);
    for (const char *name : m_frame->hoverResets)
        makeHoverReset(findChild<QLabel *>(QString::fromLatin1(name)), skin);
    applyMask();
}

SkinButton *SkinDialog::button(const QString &name) const {
    for (SkinButton *b : m_buttons)
        if (b->objectName() == name)
            return b;
    return nullptr;
}

QLabel *SkinDialog::addLabel(const char *name, const QString &text, const QRect &geometry,
                             bool bold) {
    auto *label = new QLabel(text, this);
    label->setObjectName(QString::fromLatin1(name));
    if (geometry.isValid())
        label->setGeometry(geometry);
    else {
        label->adjustSize();
        label->move(geometry.topLeft());
    }
    if (bold) {
        QFont f = label->font();
        f.setBold(true);
        label->setFont(f);
    }
    label->setAttribute(Qt::WA_TranslucentBackground);
    // Labels are not buttons: a mouse move over them leaves the hovered button alone, and a
    // press does not drag the window.
    return label;
}

void SkinDialog::applyMask() {
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, width(), height()), 8, 8);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
}

void SkinDialog::setVisible(bool visible) {
    placement::centreWhenShown(*this, visible);
    QDialog::setVisible(visible);
}

void SkinDialog::showEvent(QShowEvent *event) {
    applyMask();
    QDialog::showEvent(event);
}

void SkinDialog::keyPressEvent(QKeyEvent *event) {
    if (event->matches(QKeySequence::Cancel)) {
        // Not the toolkit's reject(): only a window whose close is a plain cancel goes, and
        // then exactly as its cancel button would take it.
        pressEscapeButton();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// The window manager's close (Alt+F4, the title-bar menu) is the same request as Escape and
// gets the same answer: the cancel button where there is one, nothing elsewhere. The program's
// own close() calls are not requests and close as before.
void SkinDialog::closeEvent(QCloseEvent *event) {
    if (!event->spontaneous()) {
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
    pressEscapeButton();
}

void SkinDialog::pressEscapeButton() {
    if (m_frame->escapeButton)
        if (SkinButton *b = button(QString::fromLatin1(m_frame->escapeButton)))
            emit b->clicked();
}

void SkinDialog::resizeEvent(QResizeEvent *event) {
    QDialog::resizeEvent(event);
    if (m_background)
        m_background->setGeometry(rect());
    applyMask();
}

// A label at a place, sized to its text.
static QRect at(int x, int y) {
    return QRect(QPoint(x, y), QSize());
}

TForm3::TForm3(SkinButtons &s, QWidget *p) : SkinDialog(QStringLiteral("TForm3"), s, p) {
    addLabel("Label1", QStringLiteral("Do you want to stop the scanning proccess?"), at(32, 62));
    connect(button(QStringLiteral("Image3")), &SkinButton::clicked, this, &TForm3::image3Clicked);
    connect(button(QStringLiteral("Image2")), &SkinButton::clicked, this, &TForm3::image2Clicked);
}

TForm6::TForm6(SkinButtons &s, QWidget *p) : SkinDialog(QStringLiteral("TForm6"), s, p) {
    QLabel *count = addLabel("Label2", QStringLiteral("0"), QRect(40, 80, 40, 16), true);
    count->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    addLabel("Label1", QStringLiteral("Infection(s) were successfully removed"),
             QRect(84, 80, 260, 16));
    addLabel("Label3", QStringLiteral("Infected files have been quarantined."), at(40, 112));
    connect(button(QStringLiteral("Image3")), &SkinButton::clicked, this, &TForm6::image3Clicked);
}

TForm7::TForm7(SkinButtons &s, QWidget *p) : SkinDialog(QStringLiteral("TForm7"), s, p) {
    addLabel("Label2", QStringLiteral("Infections Removed:"), QRect(24, 64, 120, 16));
    addLabel("Label1", QStringLiteral("0"), QRect(144, 64, 140, 16), true);
    addLabel("Label3", QStringLiteral("Removing:"), QRect(24, 88, 120, 16));
    addLabel("Label4", QString(), QRect(144, 88, 150, 16), true);
}

TForm8::TForm8(SkinButtons &s, QWidget *p) : SkinDialog(QStringLiteral("TForm8"), s, p) {
    addLabel("Label1", QStringLiteral("Virus Database updates are now downloading"), at(40, 72));
    auto *gauge = new QProgressBar(this);
    gauge->setObjectName(QStringLiteral("Gauge1"));
    gauge->setGeometry(40, 112, 297, 25);
    gauge->setRange(0, 100);
    gauge->setValue(0);
    // Wrapped to the gauge's width: on one line the text would run past the window's edge.
    QLabel *done = addLabel(
        "Label2", QStringLiteral("The Updates have successfully been downloaded and installed."),
        QRect(40, 116, 297, 32));
    done->setWordWrap(true);
    done->hide();
    connect(button(QStringLiteral("Image2")), &SkinButton::clicked, this, &TForm8::image2Clicked);
    connect(button(QStringLiteral("Image3")), &SkinButton::clicked, this, &TForm8::image3Clicked);
}

TForm11::TForm11(SkinButtons &s, QWidget *p) : SkinDialog(QStringLiteral("TForm11"), s, p) {
    QLabel *count = addLabel("Label1", QStringLiteral("0"), QRect(24, 80, 48, 16), true);
    count->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    addLabel("Label3", QStringLiteral("infection(s) were found on your computer."),
             QRect(76, 80, 270, 16));
    addLabel("Label4", QStringLiteral("Would you like to remove these infections?"), at(40, 112));
    connect(button(QStringLiteral("Image2")), &SkinButton::clicked, this, &TForm11::image2Clicked);
    connect(button(QStringLiteral("Image3")), &SkinButton::clicked, this, &TForm11::image3Clicked);
}

void TForm11::showEvent(QShowEvent *event) {
    SkinDialog::showEvent(event);
    skin().paint(24);
    skin().paint(25);
}

TForm14::TForm14(SkinButtons &s, QWidget *p) : SkinDialog(QStringLiteral("TForm14"), s, p) {
    const char *names[] = {"Label1", "Label2", "Label3", "Label4", "Label5", "Label6"};
    const QString texts[] = {
        QStringLiteral("The System was unable to download the neccessary files from"),
        QStringLiteral("the internet. Please check the following:"),
        QStringLiteral("- Your computer's connected to the internet."),
        QStringLiteral("- If you're using a firewall, make sure Vizavuz AntiVirus is allowed"),
        QStringLiteral("  to use the internet."),
        QStringLiteral("- If you're using a proxy, check your proxy settings"),
    };
    QLabel *last = nullptr;
    for (int i = 0; i < 6; ++i)
        last = addLabel(names[i], texts[i], at(16, 60 + i * 18));
    QLabel *link = addLabel("Label7", QStringLiteral("here"),
                            at(last->geometry().right() + 4, last->y()), true);
    QPalette pal = link->palette();
    pal.setColor(QPalette::WindowText, QColor(0x00, 0x80, 0xc0));  // 12615680 as BGR
    link->setPalette(pal);
    link->setCursor(Qt::PointingHandCursor);
    connect(button(QStringLiteral("Image2")), &SkinButton::clicked, this, &TForm14::image2Clicked);
}

TForm15::TForm15(SkinButtons &s, QWidget *p) : SkinDialog(QStringLiteral("TForm15"), s, p) {
    addLabel("Label1", QStringLiteral("There is a Virus Database Update available!"), at(64, 80));
    addLabel("Label3", QStringLiteral("For your maximum security, the Virus Database must be"),
             at(64, 96));
    addLabel("Label4", QStringLiteral("updated regularly."), at(64, 112));
    addLabel("Label2", QStringLiteral("Would you like to download it before continuing?"),
             at(64, 144));
    connect(button(QStringLiteral("Image2")), &SkinButton::clicked, this, &TForm15::image2Clicked);
    connect(button(QStringLiteral("Image3")), &SkinButton::clicked, this, &TForm15::image3Clicked);
}

TForm16::TForm16(SkinButtons &s, QWidget *p) : SkinDialog(QStringLiteral("TForm16"), s, p) {
    addLabel("Label1", QStringLiteral("Directories to scan:"), at(16, 56));
    auto *list = new QListWidget(this);
    list->setObjectName(QStringLiteral("ListBox"));
    list->setGeometry(16, 74, 225, 130);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto *add = new QPushButton(QStringLiteral("Add Directory"), this);
    add->setObjectName(QStringLiteral("Button1"));
    add->setGeometry(250, 74, 105, 25);
    auto *remove = new QPushButton(QStringLiteral("Remove Selected"), this);
    remove->setObjectName(QStringLiteral("Button2"));
    remove->setGeometry(250, 106, 105, 25);
    connect(button(QStringLiteral("Image2")), &SkinButton::clicked, this, &TForm16::image2Clicked);
    connect(button(QStringLiteral("Image3")), &SkinButton::clicked, this, &TForm16::image3Clicked);
}

TForm17::TForm17(SkinButtons &s, QWidget *p) : SkinDialog(QStringLiteral("TForm17"), s, p) {
    addLabel("Label1", QStringLiteral("The Scan is Complete and no infections were found!"),
             at(32, 100));
    connect(button(QStringLiteral("Image2")), &SkinButton::clicked, this, &TForm17::image2Clicked);
}
