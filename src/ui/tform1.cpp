#include "ui/tform1.h"

#include <algorithm>

#include <QBitmap>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QWindow>

#include "app/programdata.h"
#include "scan/scanengine.h"
#include "state/infectionlist.h"
#include "ui/skin/artwork.h"
#include "ui/skin/modalhold.h"
#include "ui/fonts.h"

namespace {

constexpr int kRowHeight = 13;
constexpr int kVaultRowHeight = 16;

QString number(std::int32_t value) {
    return QString::number(value);
}

// A scan's found figure; when the list could not hold them all, how many were not listed.
QString foundFigure(std::int32_t found) {
    const std::int64_t unlisted = std::int64_t(found) - InfectionList::capacity;
    return unlisted > 0 ? QStringLiteral("%1 (%2 not listed)").arg(found).arg(unlisted)
                        : number(found);
}

void setText(QLabel *label, const QString &text) {
    label->setText(text);
    label->adjustSize();
}

// A flat page panel that paints nothing of its own beyond its background colour.
QWidget *panel(QWidget *parent, const char *name, const QRect &geometry) {
    auto *w = new QWidget(parent);
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(geometry);
    w->setAutoFillBackground(true);
    return w;
}

// Puts one of the built-in pictures on its control; a stretched one fills the control.
void setArt(QLabel *control, const art::Picture &picture, bool stretch) {
    control->setPixmap(QPixmap(QString::fromLatin1(picture.path)));
    control->setScaledContents(stretch);
}

}  // namespace

TForm1::TForm1(ProgramData &data, ScanEngine &engine, QWidget *parent)
    : QWidget(parent, Qt::FramelessWindowHint | Qt::Window), m_data(data), m_engine(engine) {
    setObjectName(QStringLiteral("TForm1"));
    setWindowTitle(QStringLiteral("Vizavuz AntiVirus"));
    setFixedSize(792, 442);
    setMouseTracking(true);
    setAcceptDrops(true);  // files and folders dropped on the window are scanned
    setFont(fonts::mainWindow());
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xe9, 0xef, 0xf6));
    pal.setColor(QPalette::WindowText, QColor(0x1d, 0x2b, 0x3a));
    setPalette(pal);
    setAutoFillBackground(true);

    QLabel *image1 = picture(this, "Image1", rect());
    image1->setAutoFillBackground(true);  // the window colour should the picture not load
    setArt(image1, art::mainBackground, true);
    dragSurface(image1);
    hoverReset(image1);
    QLabel *image2 = picture(this, "Image2", QRect(0, 0, 121, 65));
    setArt(image2, art::logo, true);
    dragSurface(image2);
    hoverReset(image2);

    button(this, "Image3", 1, QRect(8, 72, 105, 89), QStringLiteral("Scan"), true);
    button(this, "Image4", 2, QRect(8, 160, 105, 89), QStringLiteral("Results"), true);
    button(this, "Image5", 3, QRect(8, 248, 105, 89), QStringLiteral("History"), true);
    button(this, "Image6", 4, QRect(8, 336, 105, 89), QStringLiteral("Virus Database"), true);
    button(this, "Image7", 8, QRect(656, 0, 25, 25), QString(), false)->hide();
    button(this, "Image8", 7, QRect(687, 0, 25, 25), QStringLiteral("Options"), false);
    button(this, "Image9", 6, QRect(719, 0, 25, 25), QStringLiteral("Minimize"), false);
    button(this, "Image10", 5, QRect(749, 0, 25, 25), QStringLiteral("Close"), false);

    buildScanPage();
    buildOtherPages();
    buildMenu();

    m_timer1.setInterval(100);
    connect(&m_timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    m_timer2.setInterval(6000);
    connect(&m_timer2, &QTimer::timeout, this, [this] {
        if (hooks.scheduledCheck)
            hooks.scheduledCheck();
    });
    m_timer2.start();

    // The scan engine writes the session; the labels follow it on Timer1's tick while a scan
    // runs (a flood of output costs one repaint per tick), and at once otherwise.
    ScanSession &s = m_data.session;
    auto textChanged = [this] {
        if (!m_timer1.isActive())
            refreshScanLabels();
    };
    connect(&s, &ScanSession::statusChanged, this, textChanged);
    connect(&s, &ScanSession::percentTextChanged, this, textChanged);
    connect(&s, &ScanSession::foundTextChanged, this, textChanged);
    connect(&s, &ScanSession::scannedTextChanged, this, textChanged);
    connect(&s, &ScanSession::progressTimerChanged, this, [this](bool on) {
        if (on) {
            m_timer1.start();
        } else {
            m_timer1.stop();
            Timer1Timer();
        }
    });
    // Outside a scan (its close, a removal run) the bar is repainted as soon as it changes.
    connect(&s, &ScanSession::percentChanged, this, [this](int percent) {
        if (!m_timer1.isActive())
            emit progressRepaintRequested(percent);
    });
    connect(&s, &ScanSession::infectionRowAppended, this, &TForm1::onRowAppended);
    connect(&s, &ScanSession::infectionRowsCleared, m_infections, &QListWidget::clear);
    // A scan started from any page (the popup menu) is shown on the Scan page.
    connect(&m_engine, &ScanEngine::progressViewRequested, this, [this] {
        m_scanView = 2;
        m_currentPage = 1;
        ShowPage();
        selectNavigation(1);
    });

    fillVaultList();
    refreshScanLabels();
    applyMask();
    watchRightClicks();
}

QLabel *TForm1::label(QWidget *parent, const char *name, int x, int y, const QString &text,
                      bool bold) {
    auto *l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->move(x, y);
    l->setAttribute(Qt::WA_NoMousePropagation);  // a press on a label never drags the window
    if (bold) {
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
    }
    setText(l, text);
    return l;
}

QLabel *TForm1::picture(QWidget *parent, const char *name, const QRect &geometry) {
    auto *l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(geometry);
    l->setMouseTracking(true);
    l->setAttribute(Qt::WA_NoMousePropagation);
    return l;
}

QLabel *TForm1::button(QWidget *parent, const char *name, int skinIndex, const QRect &geometry,
                       const QString &hint, bool stretch) {
    QLabel *l = picture(parent, name, geometry);
    l->setScaledContents(stretch);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (!hint.isEmpty())
        l->setToolTip(hint);
    l->installEventFilter(this);
    m_buttons[skinIndex] = l;
    m_buttonOf[l] = skinIndex;
    m_stretch[skinIndex] = stretch;
    return l;
}

void TForm1::dragSurface(QWidget *w) {
    w->setProperty("vzDragSurface", true);
    w->installEventFilter(this);
}

void TForm1::hoverReset(QWidget *w) {
    w->setMouseTracking(true);
    w->setProperty("vzHoverReset", true);
    w->installEventFilter(this);
}

void TForm1::buildScanPage() {
    m_panel1 = panel(this, "Panel1", QRect(130, 44, 649, 373));
    dragSurface(m_panel1);
    hoverReset(m_panel1);

    m_panel3 = panel(m_panel1, "Panel3", QRect(0, 0, 649, 373));
    QLabel *image14 = picture(m_panel3, "Image14", QRect(0, 0, 649, 373));
    setArt(image14, art::pageBackground, true);
    dragSurface(image14);
    hoverReset(image14);
    button(m_panel3, "Image16", 11, QRect(0, 0, 105, 33), QStringLiteral("Start Scan"), true);
    button(m_panel3, "Image17", 12, QRect(104, 0, 105, 33), QStringLiteral("Pause Scanning"), true);
    button(m_panel3, "Image18", 13, QRect(208, 0, 105, 33), QStringLiteral("Resume Scanning"),
           true);
    button(m_panel3, "Image19", 14, QRect(312, 0, 105, 33), QStringLiteral("Stop Scanning"), true);
    button(m_panel3, "Image20", 15, QRect(416, 0, 105, 33),
           QStringLiteral("Remove Found Infections"), true);
    QLabel *image24 = picture(m_panel3, "Image24", QRect(520, 0, 129, 33));
    setArt(image24, art::scanToolbarEnd, false);
    dragSurface(image24);
    hoverReset(image24);
    m_image29 = picture(m_panel3, "Image29", QRect(0, 32, 649, 33));
    setArt(m_image29, art::headerBar, false);
    dragSurface(m_image29);
    hoverReset(m_image29);

    m_infections = new QListWidget(m_panel3);
    m_infections->setObjectName(QStringLiteral("edtInfections"));
    m_infections->setGeometry(0, 64, 649, 249);
    m_infections->setUniformItemSizes(true);
    m_infections->setFrameShape(QFrame::NoFrame);
    QPalette white = m_infections->palette();
    white.setColor(QPalette::Base, Qt::white);
    m_infections->setPalette(white);
    hoverReset(m_infections->viewport());

    m_label12 = label(m_panel3, "Label12", 8, 320, QStringLiteral("Infections Found: 0"));
    m_label40 = label(m_panel3, "Label40", 120, 320, QStringLiteral("Items Scanned: 0"));
    m_label10 = label(m_panel3, "Label10", 248, 320, QStringLiteral("Scanning:"));
    m_image15 = picture(m_panel3, "Image15", QRect(8, 344, 593, 13));
    m_label11 = label(m_panel3, "Label11", 608, 344, QStringLiteral("0%"));

    m_panel2 = panel(m_panel1, "Panel2", QRect(0, 0, 649, 363));
    QLabel *image13 = picture(m_panel2, "Image13", QRect(0, 0, 649, 363));
    setArt(image13, art::pageBackground, true);
    dragSurface(image13);
    hoverReset(image13);
    button(m_panel2, "Image12", 10, QRect(80, 24, 233, 81), QString(), true);
    button(m_panel2, "Image11", 9, QRect(328, 24, 233, 81), QString(), true);
    setArt(picture(m_panel2, "Image25", QRect(48, 136, 257, 38)), art::headingScan, false);
    label(m_panel2, "Label2", 64, 192, QStringLiteral("Date:"));
    label(m_panel2, "Label6", 184, 192, QString(), true);
    label(m_panel2, "Label3", 64, 240, QStringLiteral("Infections Found:"));
    label(m_panel2, "Label7", 184, 240, QString(), true);
    label(m_panel2, "Label4", 64, 288, QStringLiteral("Items Scanned:"));
    label(m_panel2, "Label8", 184, 288, QString(), true);
    label(m_panel2, "Label5", 304, 192, QStringLiteral("Infections Removed:"));
    label(m_panel2, "Label9", 440, 192, QString(), true);
}

void TForm1::buildOtherPages() {
    m_panel4 = panel(this, "Panel4", QRect(130, 44, 649, 373));
    QLabel *image21 = picture(m_panel4, "Image21", QRect(0, 0, 649, 373));
    setArt(image21, art::pageBackground, true);
    dragSurface(image21);
    hoverReset(image21);
    setArt(picture(m_panel4, "Image26", QRect(8, 0, 265, 38)), art::headingLastScan, false);
    label(m_panel4, "Label15", 32, 48, QStringLiteral("Date:"));
    label(m_panel4, "Label18", 152, 48, QString(), true);
    label(m_panel4, "Label16", 32, 72, QStringLiteral("Infections Found:"));
    label(m_panel4, "Label19", 152, 72, QString(), true);
    label(m_panel4, "Label14", 272, 48, QStringLiteral("Infections Removed:"));
    label(m_panel4, "Label21", 416, 48, QString(), true);
    label(m_panel4, "Label17", 272, 72, QStringLiteral("Items Scaned:"));
    label(m_panel4, "Label20", 416, 72, QString(), true);
    m_panel4->hide();

    m_panel5 = panel(this, "Panel5", QRect(130, 44, 649, 363));
    QLabel *image22 = picture(m_panel5, "Image22", QRect(0, 0, 649, 373));
    setArt(image22, art::pageBackground, true);
    dragSurface(image22);
    hoverReset(image22);
    setArt(picture(m_panel5, "Image27", QRect(72, 0, 265, 38)), art::headingHistory, false);
    setArt(picture(m_panel5, "Image28", QRect(72, 152, 265, 38)), art::headingStatistics, false);
    const struct {
        const char *caption, *value;
        int y;
        const char *text;
    } history[] = {
        {"Label23", "Label32", 48, "Number of Scans:"},
        {"Label24", "Label33", 72, "Total Number of Infections Found:"},
        {"Label25", "Label34", 96, "Total Number of Scanned Items:"},
        {"Label26", "Label35", 120, "Total Number of Infections Removed:"},
        {"Label29", "Label36", 200, "Date:"},
        {"Label30", "Label37", 224, "Infections Found:"},
        {"Label31", "Label38", 248, "Items Scaned:"},
        {"Label28", "Label39", 272, "Infections Removed:"},
    };
    for (const auto &row : history) {
        label(m_panel5, row.caption, 104, row.y, QString::fromLatin1(row.text));
        label(m_panel5, row.value, 344, row.y, QString(), true);
    }
    auto *logButton = new QPushButton(QStringLiteral("Scan Log..."), m_panel5);
    logButton->setObjectName(QStringLiteral("ScanLogButton"));
    logButton->setGeometry(104, 312, 105, 25);
    connect(logButton, &QPushButton::clicked, this, [this] {
        if (hooks.scanLog)
            hooks.scanLog();
    });
    m_panel5->hide();

    m_panel6 = panel(this, "Panel6", QRect(130, 44, 649, 377));
    QLabel *image23 = picture(m_panel6, "Image23", QRect(0, 0, 649, 377));
    setArt(image23, art::pageBackground, true);
    dragSurface(image23);
    hoverReset(image23);
    setArt(picture(m_panel6, "Image32", QRect(8, 0, 201, 38)), art::headingDatabase, false);
    setArt(picture(m_panel6, "Image33", QRect(8, 128, 273, 38)), art::headingQuarantine, false);
    label(m_panel6, "Label13", 24, 56, QStringLiteral("Last Update:"));
    label(m_panel6, "lblUpdate", 120, 56, QString(), true);
    label(m_panel6, "Label22", 24, 88, QStringLiteral("Update Size:"));
    label(m_panel6, "lblSize", 120, 88, QString(), true);
    label(m_panel6, "Label41", 296, 56, QStringLiteral("Total Updates"));
    label(m_panel6, "lblUpdates", 392, 56, QString(), true);
    // Where the databases come from: the system's (with their version) or the program's own.
    label(m_panel6, "Label42", 24, 108, QStringLiteral("Database:"));
    label(m_panel6, "lblDatabase", 120, 108, QString(), true);
    button(m_panel6, "Image36", 29, QRect(520, 48, 105, 25),
           QStringLiteral("Check Now for updates"), false);
    button(m_panel6, "Image37", 30, QRect(520, 80, 105, 25),
           QStringLiteral("Virus Database Settings"), false);
    QLabel *image30 = picture(m_panel6, "Image30", QRect(0, 176, 649, 33));
    setArt(image30, art::headerBar, false);
    image30->setToolTip(QStringLiteral("Start Scan"));
    dragSurface(image30);
    hoverReset(image30);
    m_vaultList = new QListWidget(m_panel6);
    m_vaultList->setObjectName(QStringLiteral("edtVirusDB"));
    m_vaultList->setGeometry(0, 208, 649, 121);
    m_vaultList->setUniformItemSizes(true);
    m_vaultList->setFrameShape(QFrame::NoFrame);
    hoverReset(m_vaultList->viewport());
    button(m_panel6, "Image34", 27, QRect(16, 344, 105, 25),
           QStringLiteral("Restore file to original location"), false);
    button(m_panel6, "Image35", 28, QRect(136, 344, 105, 25),
           QStringLiteral("Restore file to a seleteced location"), false);
    m_panel6->hide();
}

void TForm1::buildMenu() {
    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("PopupMenu1"));
    auto item = [this](const char *name, const QString &caption, std::function<void()> run) {
        QAction *a = m_menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, [run = std::move(run)] { run(); });
    };
    auto hook = [](const std::function<void()> &h) {
        if (h)
            h();
    };
    item("Scan1", QStringLiteral("Start Scan"), [this] { Action1Execute(); });
    item("VirusDatabase1", QStringLiteral("Virus Database"), [this] { Action2Execute(); });
    item("UpdateSettings1", QStringLiteral("Virus Database Updates"),
         [this, hook] { hook(hooks.connectAndDownload); });
    item("VirusDatabaseSettings1", QStringLiteral("Virus Database Settings"),
         [this, hook] { hook(hooks.updateSettings); });
    item("ScanSettings1", QStringLiteral("Scan Settings"),
         [this, hook] { hook(hooks.scanSettings); });
    // For the selected row of the vault list, while the Virus Database page shows it.
    item("DeletefromVault1", QStringLiteral("Delete from Vault"),
         [this, hook] { hook(hooks.deleteFromVault); });
    QAction *deleteItem = m_menu->findChild<QAction *>(QStringLiteral("DeletefromVault1"));
    connect(m_menu, &QMenu::aboutToShow, this, [this, deleteItem] {
        deleteItem->setEnabled(m_currentPage == 4 && !m_vaultList->selectedItems().isEmpty());
    });
    item("ScanLog1", QStringLiteral("Scan Log"), [this, hook] { hook(hooks.scanLog); });
    item("ScheduledScan1", QStringLiteral("Scheduled Scan"),
         [this, hook] { hook(hooks.scheduledScan); });
    m_menu->addSeparator()->setObjectName(QStringLiteral("N2"));
    item("MinimizetoSystemTray1", QStringLiteral("Minimize to System Tray"),
         [this, hook] { hook(hooks.minimizeToTray); });
    m_menu->addSeparator()->setObjectName(QStringLiteral("N1"));
    item("About1", QStringLiteral("About"), [this, hook] { hook(hooks.about); });

    // A right click anywhere in the window opens the menu at the pointer, on the release (see
    // eventFilter), so that a button pressed by it gets its release first. The children's own
    // context menus (a list's scroll bar) give way to it.
    setContextMenuPolicy(Qt::PreventContextMenu);
}

void TForm1::watchRightClicks() {
    // The window itself too, so that a widget added later to any part of it is watched as well.
    installEventFilter(this);
    for (QWidget *w : findChildren<QWidget *>())
        if (w->window() == this)
            w->installEventFilter(this);
}

QLabel *TForm1::skinControl(int index) const {
    auto it = m_buttons.find(index);
    return it == m_buttons.end() ? nullptr : it->second;
}

bool TForm1::skinStretches(int index) const {
    auto it = m_stretch.find(index);
    return it != m_stretch.end() && it->second;
}

void TForm1::ShowPage() {
    const LastScanRecord &ls = m_data.lastScan;
    const QString date = QString::fromLocal8Bit(ls.lastDate.bytes());
    auto set = [this](const char *name, const QString &text) {
        setText(findChild<QLabel *>(QString::fromLatin1(name)), text);
    };
    switch (m_currentPage) {
        case 1:
            ShowScanView();
            m_panel1->move(130, 44);
            m_panel4->resize(m_panel3->size());
            m_panel1->show();
            m_panel4->hide();
            m_panel5->hide();
            m_panel6->hide();
            break;
        case 2:
            set("Label18", date);
            set("Label19", foundFigure(ls.lastFound));
            set("Label20", number(ls.lastScanned));
            set("Label21", number(ls.lastRemoved));
            {
                // A long found figure pushes the items-scanned pair along its row.
                auto *found = findChild<QLabel *>(QStringLiteral("Label19"));
                auto *caption = findChild<QLabel *>(QStringLiteral("Label17"));
                const int x = std::max(272, found->geometry().right() + 1 + 12);
                caption->move(x, caption->y());
                findChild<QLabel *>(QStringLiteral("Label20"))->move(x + 144, caption->y());
            }
            m_infections->setParent(m_panel4);
            m_image29->setParent(m_panel4);
            m_infections->setGeometry(0, 130, 649, 220);
            m_image29->move(0, 98);
            m_infections->show();
            m_image29->show();
            m_panel4->move(130, 44);
            m_panel4->show();
            m_panel1->hide();
            m_panel5->hide();
            m_panel6->hide();
            break;
        case 3:
            set("Label32", number(ls.scanCount));
            set("Label33", number(ls.totalFound));
            set("Label34", number(ls.totalScanned));
            set("Label35", number(ls.totalRemoved));
            set("Label36", date);
            set("Label37", foundFigure(ls.lastFound));
            set("Label38", number(ls.lastScanned));
            set("Label39", number(ls.lastRemoved));
            m_panel5->setGeometry(130, 44, m_panel3->width(), m_panel3->height() - 10);
            m_panel5->show();
            m_panel1->hide();
            m_panel4->hide();
            m_panel6->hide();
            break;
        case 4:
            m_panel6->move(130, 44);
            m_panel6->show();
            m_panel1->hide();
            m_panel4->hide();
            m_panel5->hide();
            break;
        default:
            break;
    }
}

void TForm1::ShowScanView() {
    const LastScanRecord &ls = m_data.lastScan;
    auto set = [this](const char *name, const QString &text) {
        setText(findChild<QLabel *>(QString::fromLatin1(name)), text);
    };
    switch (m_scanView) {
        case 1:
            set("Label6", QString::fromLocal8Bit(ls.lastDate.bytes()));
            set("Label7", foundFigure(ls.lastFound));
            set("Label8", number(ls.lastScanned));
            set("Label9", number(ls.lastRemoved));
            m_panel2->move(0, 0);
            m_panel2->show();
            m_panel3->hide();
            m_panel2->resize(m_panel3->width(), m_panel3->height() - 10);
            break;
        case 2:
            m_panel1->resize(m_panel3->width(), m_panel1->height());
            m_infections->setParent(m_panel3);
            m_image29->setParent(m_panel3);
            m_infections->setGeometry(0, 64, 649, 249);
            m_image29->move(0, 32);
            // Back under the labels and buttons of the progress view, above its background.
            m_image29->stackUnder(m_label12);
            m_infections->stackUnder(m_label12);
            m_infections->show();
            m_image29->show();
            m_panel3->move(0, 0);
            m_panel3->show();
            m_panel2->hide();
            break;
        default:
            break;
    }
}

void TForm1::selectNavigation(int index) {
    m_selectedNav = index;
    emit navigationSelected(index);
}

void TForm1::Image3Click() {
    if (m_data.session.isIdle())
        m_scanView = 1;
    m_currentPage = 1;
    ShowPage();
    selectNavigation(1);
}

void TForm1::Image4Click() {
    m_currentPage = 2;
    ShowPage();
    selectNavigation(2);
}

void TForm1::Image5Click() {
    m_currentPage = 3;
    ShowPage();
    selectNavigation(3);
}

void TForm1::Action2Execute() {
    if (hooks.fillUpdateLabels)
        hooks.fillUpdateLabels();
    fillVaultList();
    m_currentPage = 4;
    ShowPage();
    selectNavigation(4);
}

void TForm1::Action1Execute() {
    if (!(hooks.preScanOffer && hooks.preScanOffer(1)))
        m_engine.fullScanCommand();
    m_timer2.stop();
}

void TForm1::Image11Click() {
    if (!(hooks.preScanOffer && hooks.preScanOffer(2)) && hooks.customScan)
        hooks.customScan();
    m_timer2.stop();
}

void TForm1::Image8Click() {
    m_menu->popup(m_buttons.at(7)->mapToGlobal(QPoint(0, 0)));
}

void TForm1::Image10Click() {
    emit closing();
    close();
}

void TForm1::Image36Click() {
    if (m_data.session.isIdle() && hooks.checkNow)
        hooks.checkNow();
}

void TForm1::buttonClicked(int index) {
    auto hook = [](const std::function<void()> &h) {
        if (h)
            h();
    };
    switch (index) {
        case 1:
            Image3Click();
            break;
        case 2:
            Image4Click();
            break;
        case 3:
            Image5Click();
            break;
        case 4:
            Action2Execute();
            break;
        case 5:
            Image10Click();
            break;
        case 6:
            hook(hooks.minimize);
            break;
        case 7:
            Image8Click();
            break;
        case 9:
            Image11Click();
            break;
        case 10:
        case 11:
            Action1Execute();
            break;
        case 12:
            m_engine.pauseScan();
            break;
        case 13:
            m_engine.resumeScan();
            break;
        case 14:
            m_engine.stopButton();
            break;
        case 15:
            hook(hooks.remove);
            break;
        case 27:
        case 28:
            if (hooks.restore)
                hooks.restore(index - 26);
            break;
        case 29:
            Image36Click();
            break;
        case 30:
            hook(hooks.updateSettings);
            break;
        default:
            break;  // 8: hover and press only
    }
}

void TForm1::refreshScanLabels() {
    const ScanSession &s = m_data.session;
    bool changed = false;
    auto apply = [&changed](QLabel *l, const QString &text) {
        if (l->text() != text) {
            setText(l, text);
            changed = true;
        }
    };
    apply(m_label10, s.status());
    apply(m_label11, s.percentText());
    apply(m_label12, s.foundText());
    apply(m_label40, s.scannedText());
    // The counters follow one another: a long count pushes the next along, never under it.
    constexpr int gap = 12;
    m_label40->move(std::max(120, m_label12->geometry().right() + 1 + gap), m_label40->y());
    m_label10->move(std::max(248, m_label40->geometry().right() + 1 + gap), m_label10->y());
    if (changed)
        ++m_labelRepaints;
}

void TForm1::Timer1Timer() {
    refreshScanLabels();
    emit progressRepaintRequested(m_data.session.percent());
}

void TForm1::onRowAppended(int row) {
    const int n = row + 1;
    if (n < 1 || n > m_data.infections.count())
        return;
    const InfectionRecord &r = m_data.infections.record(n);
    auto *item = new QListWidgetItem(QString::fromLocal8Bit(m_data.infections.fullPath(n)) +
                                     QStringLiteral("  ") +
                                     QString::fromLocal8Bit(r.threatName.bytes()).trimmed());
    item->setSizeHint(QSize(m_infections->width(), kRowHeight));
    m_infections->addItem(item);
}

void TForm1::fillVaultList() {
    m_vaultList->clear();
    QStringList rows;
    if (hooks.vaultRows) {
        rows = hooks.vaultRows();
    } else {
        for (int i = 1; i <= m_data.vault.count(); ++i)
            rows << QString::number(i);
    }
    for (const QString &text : rows) {
        auto *item = new QListWidgetItem(text);
        item->setSizeHint(QSize(m_vaultList->width(), kVaultRowHeight));
        m_vaultList->addItem(item);
    }
}

void TForm1::applyMask() {
    // The rounded outline: a rectangle whose corners are cut by a 16 x 16 ellipse.
    QBitmap mask(size());
    mask.fill(Qt::color0);
    QPainter p(&mask);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::color1);
    p.drawRoundedRect(QRect(QPoint(0, 0), size()), 8, 8);
    p.end();
    setMask(mask);
}

void TForm1::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    applyMask();
}

void TForm1::startDrag(QWidget *surface, const QPoint &globalPos) {
    Q_UNUSED(surface);
    QWindow *w = windowHandle();
    if (w && w->startSystemMove())
        return;
    // Without a window manager that moves windows, follow the mouse ourselves.
    m_dragging = true;
    m_dragOffset = globalPos - pos();
}

bool TForm1::eventFilter(QObject *watched, QEvent *event) {
    auto *w = qobject_cast<QWidget *>(watched);
    if (!w)
        return false;
    switch (event->type()) {
        case QEvent::MouseMove:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseButtonRelease:
            break;
        case QEvent::ContextMenu:
            return true;
        case QEvent::ChildAdded:
            if (auto *child = qobject_cast<QWidget *>(static_cast<QChildEvent *>(event)->child()))
                if (!child->isWindow())
                    child->installEventFilter(this);
            return false;
        default:
            return false;  // every child is watched: the other events pass at once
    }
    const bool handled = mouseEvent(w, event);
    if (event->type() == QEvent::MouseButtonRelease) {
        auto *me = static_cast<QMouseEvent *>(event);
        const QPoint at = me->globalPosition().toPoint();
        if (me->button() == Qt::RightButton && rect().contains(mapFromGlobal(at))) {
            m_menu->popup(at);
            return true;
        }
    }
    return handled;
}

bool TForm1::mouseEvent(QWidget *w, QEvent *event) {
    const auto found = m_buttonOf.find(w);
    if (found != m_buttonOf.end()) {
        const int index = found->second;
        switch (event->type()) {
            case QEvent::MouseMove:
                emit buttonHovered(index);
                break;
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonDblClick:
                m_pressedOn = w;
                emit buttonPressed(index);
                return true;
            case QEvent::MouseButtonRelease: {
                auto *me = static_cast<QMouseEvent *>(event);
                const bool inside = w->rect().contains(me->position().toPoint());
                // Any button shows the down image; only the left one clicks.
                const bool click = inside && m_pressedOn == w && me->button() == Qt::LeftButton;
                m_pressedOn = nullptr;
                QPointer<TForm1> self(this);
                const auto release = [self, index] {
                    if (self)
                        emit self->buttonReleased(index);
                };
                if (click)
                    clickThenRelease([this, index] { buttonClicked(index); }, release);
                else
                    release();
                return true;
            }
            default:
                break;
        }
        return false;
    }
    const bool drag = w->property("vzDragSurface").toBool();
    switch (event->type()) {
        case QEvent::MouseMove: {
            if (w->property("vzHoverReset").toBool())
                emit buttonHovered(-1);
            if (m_dragging) {
                auto *me = static_cast<QMouseEvent *>(event);
                move(me->globalPosition().toPoint() - m_dragOffset);
                return true;
            }
            break;
        }
        case QEvent::MouseButtonPress: {
            // The right button opens the menu rather than dragging the window.
            auto *me = static_cast<QMouseEvent *>(event);
            if (drag && me->button() != Qt::RightButton) {
                startDrag(w, me->globalPosition().toPoint());
                return true;
            }
            break;
        }
        case QEvent::MouseButtonRelease:
            if (m_dragging) {
                m_dragging = false;
                return true;
            }
            break;
        default:
            break;
    }
    return false;
}

void TForm1::closeEvent(QCloseEvent *event) {
    emit closing();
    QWidget::closeEvent(event);
}

namespace {

QStringList localPaths(const QMimeData *mime) {
    QStringList paths;
    for (const QUrl &url : mime->urls())
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            paths << url.toLocalFile();
    return paths;
}

}  // namespace

void TForm1::dragEnterEvent(QDragEnterEvent *event) {
    if (!localPaths(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent *event) {
    const QStringList paths = localPaths(event->mimeData());
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    emit entriesDropped(paths);
}
