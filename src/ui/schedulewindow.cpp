#include "ui/schedulewindow.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimeEdit>

#include "scan/scheduledscans.h"
#include "ui/skin/dialogbutton.h"

namespace {

constexpr int okRow = 35;  // the custom scan's "OK" and "Cancel" images
constexpr int cancelRow = 36;

template <typename W>
W *placed(W *widget, const char *name, const QRect &geometry) {
    widget->setObjectName(QLatin1StringView(name));
    widget->setGeometry(geometry);
    return widget;
}

}  // namespace

ScheduleWindow::ScheduleWindow(ScheduledScans &scans, SkinButtons &skin, ShowFailure showFailure,
                               QWidget *parent)
    : SkinDialog(QStringLiteral("ScheduleWindow"), skin, parent),
      m_scans(scans),
      m_showFailure(std::move(showFailure)) {
    setWindowTitle(QStringLiteral("Scheduled Scan"));
    chooseFolder = [](QWidget *p) {
        return QFileDialog::getExistingDirectory(p, QStringLiteral("Select a Folder"));
    };

    addLabel("Label1", QStringLiteral("Run a scan:"), QRect(16, 60, 110, 20));
    m_frequency = placed(new QComboBox(this), "FrequencyBox", QRect(130, 58, 120, 22));
    m_frequency->addItems({QStringLiteral("Off"), QStringLiteral("Daily"), QStringLiteral("Weekly"),
                           QStringLiteral("Monthly")});
    addLabel("Label2", QStringLiteral("On:"), QRect(16, 90, 110, 20));
    m_weekday = placed(new QComboBox(this), "WeekdayBox", QRect(130, 88, 120, 22));
    for (int d = 1; d <= 7; ++d)
        m_weekday->addItem(QLocale::system().dayName(d));
    m_monthDay = placed(new QSpinBox(this), "MonthDaySpin", QRect(260, 88, 60, 22));
    m_monthDay->setRange(1, 31);
    m_monthDay->setToolTip(QStringLiteral("A month without this day is scanned on its last day"));
    addLabel("Label3", QStringLiteral("At:"), QRect(16, 120, 110, 20));
    m_time = placed(new QTimeEdit(this), "TimeEdit", QRect(130, 118, 120, 22));
    m_time->setDisplayFormat(QStringLiteral("HH:mm"));

    m_target = new QButtonGroup(this);
    auto *full = placed(new QRadioButton(QStringLiteral("Full scan"), this), "FullScanRadio",
                        QRect(16, 150, 120, 20));
    auto *custom = placed(new QRadioButton(QStringLiteral("These folders:"), this),
                          "CustomScanRadio", QRect(140, 150, 150, 20));
    m_target->addButton(full, 0);
    m_target->addButton(custom, 1);
    m_folders = placed(new QListWidget(this), "FolderList", QRect(16, 176, 250, 100));
    m_folders->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto *add = placed(new QPushButton(QStringLiteral("Add Folder"), this), "AddFolderButton",
                       QRect(276, 176, 108, 25));
    auto *remove = placed(new QPushButton(QStringLiteral("Remove Selected"), this),
                          "RemoveFolderButton", QRect(276, 208, 108, 25));
    m_mains = placed(new QCheckBox(QStringLiteral("Only on mains power"), this), "MainsOnlyBox",
                     QRect(16, 286, 250, 20));
    m_nextRun = addLabel("NextRunLabel", QString(), QRect(16, 312, 368, 20));

    auto *ok = placed(new DialogButton(&skin, okRow, QStringLiteral("OK"), this), "Image2",
                      QRect(80, 350, 105, 33));
    auto *cancel = placed(new DialogButton(&skin, cancelRow, QStringLiteral("Cancel"), this),
                          "Image3", QRect(215, 350, 105, 33));

    connect(m_frequency, &QComboBox::currentIndexChanged, this, &ScheduleWindow::enableControls);
    connect(m_target, &QButtonGroup::idClicked, this, &ScheduleWindow::enableControls);
    connect(add, &QPushButton::clicked, this, [this] {
        const QString folder = chooseFolder ? chooseFolder(this) : QString();
        if (!folder.isEmpty() && m_folders->findItems(folder, Qt::MatchExactly).isEmpty())
            m_folders->addItem(folder);
    });
    connect(remove, &QPushButton::clicked, this,
            [this] { qDeleteAll(m_folders->selectedItems()); });
    connect(ok, &DialogButton::clicked, this, &ScheduleWindow::accept);
    connect(cancel, &DialogButton::clicked, this, &QDialog::close);
}

void ScheduleWindow::load(const ScanSchedule &s) {
    m_frequency->setCurrentIndex(int(s.frequency));
    m_weekday->setCurrentIndex(s.weekday - 1);
    m_monthDay->setValue(s.monthDay);
    m_time->setTime(s.time);
    m_target->button(s.customFolders ? 1 : 0)->setChecked(true);
    m_folders->clear();
    m_folders->addItems(s.folders);
    m_mains->setChecked(s.mainsOnly);
    enableControls();
}

ScanSchedule ScheduleWindow::chosen() const {
    ScanSchedule s;
    s.frequency = ScanSchedule::Frequency(m_frequency->currentIndex());
    s.weekday = m_weekday->currentIndex() + 1;
    s.monthDay = m_monthDay->value();
    s.time = QTime(m_time->time().hour(), m_time->time().minute());
    s.customFolders = m_target->checkedId() == 1;
    for (int i = 0; i < m_folders->count(); ++i)
        s.folders << m_folders->item(i)->text();
    s.mainsOnly = m_mains->isChecked();
    return s;
}

void ScheduleWindow::enableControls() {
    const auto f = ScanSchedule::Frequency(m_frequency->currentIndex());
    const bool on = f != ScanSchedule::Frequency::Off;
    m_weekday->setVisible(f == ScanSchedule::Frequency::Weekly);
    m_monthDay->setVisible(f == ScanSchedule::Frequency::Monthly);
    findChild<QLabel *>(QStringLiteral("Label2"))
        ->setVisible(f == ScanSchedule::Frequency::Weekly || f == ScanSchedule::Frequency::Monthly);
    m_time->setEnabled(on);
    for (QAbstractButton *b : m_target->buttons())
        b->setEnabled(on);
    const bool custom = on && m_target->checkedId() == 1;
    m_folders->setEnabled(custom);
    findChild<QPushButton *>(QStringLiteral("AddFolderButton"))->setEnabled(custom);
    findChild<QPushButton *>(QStringLiteral("RemoveFolderButton"))->setEnabled(custom);
    m_mains->setEnabled(on);
}

void ScheduleWindow::showNextRun() {
    const QString next = m_scans.nextRunText();
    m_nextRun->setText(next.isEmpty() ? QStringLiteral("No scheduled scan is due.")
                                      : QStringLiteral("Next scheduled scan: ") + next);
}

void ScheduleWindow::accept() {
    const ScanSchedule s = chosen();
    if (s.frequency != ScanSchedule::Frequency::Off && s.customFolders && s.folders.isEmpty()) {
        m_showFailure(this, QStringLiteral("Choose at least one folder for the scheduled scan."));
        return;
    }
    if (const Status applied = m_scans.change(s); !applied) {
        m_showFailure(
            this, QStringLiteral("The scheduled scan could not be set up: ") + applied.message());
        showNextRun();
        return;
    }
    showNextRun();
    QDialog::accept();
}

void ScheduleWindow::showEvent(QShowEvent *event) {
    load(m_scans.schedule());
    showNextRun();
    SkinDialog::showEvent(event);
}

void ScheduleWindow::keyPressEvent(QKeyEvent *event) {
    if (event->matches(QKeySequence::Cancel)) {
        close();
        return;
    }
    SkinDialog::keyPressEvent(event);
}

// The window manager's close is Cancel: nothing is stored.
void ScheduleWindow::closeEvent(QCloseEvent *event) {
    QDialog::closeEvent(event);
}
