#include "ui/scansettingsdialog.h"

#include <algorithm>

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>

#include "app/programdata.h"
#include "scan/scannerchoice.h"
#include "ui/scanwindows.h"

namespace {

template <typename W>
W *named(W *widget, const char *name, const QRect &geometry) {
    widget->setObjectName(QLatin1StringView(name));
    widget->setGeometry(geometry);
    return widget;
}

QPushButton *pushButton(QWidget *parent, const char *name, const QString &text,
                        const QRect &geometry) {
    auto *b = named(new QPushButton(text, parent), name, geometry);
    b->setAutoDefault(false);
    return b;
}

QGroupBox *group(QWidget *parent, const char *name, const QString &title, const QRect &geometry) {
    auto *box = named(new QGroupBox(title, parent), name, geometry);
    // Readable over the dialog's background picture.
    box->setAutoFillBackground(true);
    return box;
}

}  // namespace

ScanSettingsDialog::ScanSettingsDialog(ProgramData &data, SkinButtons &skin, QWidget *parent)
    : SkinDialog(QStringLiteral("ScanSettingsDialog"), skin, parent), m_data(data) {
    chooseFolder = &ScanWindows::chooseFolderWithDialog;

    auto *folders =
        group(this, "grpFolders", QStringLiteral("Folders Not Scanned"), QRect(16, 56, 278, 190));
    m_folders = named(new QListWidget(folders), "lstFolders", QRect(8, 22, 262, 126));
    m_folders->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto *addFolder = pushButton(folders, "btnAddFolder", QStringLiteral("Add Folder..."),
                                 QRect(8, 156, 125, 25));
    auto *removeFolder =
        pushButton(folders, "btnRemoveFolder", QStringLiteral("Remove"), QRect(145, 156, 125, 25));

    auto *patterns =
        group(this, "grpPatterns", QStringLiteral("Names Not Scanned"), QRect(306, 56, 278, 190));
    m_patterns = named(new QListWidget(patterns), "lstPatterns", QRect(8, 22, 262, 94));
    m_patterns->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pattern = named(new QLineEdit(patterns), "edtPattern", QRect(8, 124, 180, 24));
    m_pattern->setPlaceholderText(QStringLiteral("*.iso or node_modules"));
    auto *addPattern =
        pushButton(patterns, "btnAddPattern", QStringLiteral("Add"), QRect(196, 124, 74, 25));
    auto *removePattern = pushButton(patterns, "btnRemovePattern", QStringLiteral("Remove"),
                                     QRect(145, 156, 125, 25));
    auto *hint = named(new QLabel(QStringLiteral("A name or a pattern (*, ?, [a-z])"), patterns),
                       "lblPatternHint", QRect(8, 156, 135, 25));
    hint->setWordWrap(true);
    QFont small = hint->font();
    // The dialog font may be sized in pixels or in points.
    if (small.pointSizeF() > 0)
        small.setPointSizeF(small.pointSizeF() * 0.85);
    else if (small.pixelSize() > 0)
        small.setPixelSize(std::max(1, small.pixelSize() * 85 / 100));
    hint->setFont(small);

    const QList<ScanExclusions::Preset> &presets = ScanExclusions::presets();
    auto *presetBox = group(this, "grpPresets", QStringLiteral("Leave Out"),
                            QRect(16, 254, 278, 30 + 22 * int(presets.size())));
    for (int i = 0; i < presets.size(); ++i) {
        auto *box = new QCheckBox(presets[i].label, presetBox);
        box->setObjectName(QStringLiteral("chkPreset_") + presets[i].key);
        box->setGeometry(10, 22 + 22 * i, 262, 20);
        connect(box, &QCheckBox::toggled, this,
                [this, key = presets[i].key](bool on) { m_edit.setPresetTicked(key, on); });
        m_presets << box;
    }

    auto *size = group(this, "grpSize", QStringLiteral("File Size"), QRect(306, 254, 278, 86));
    m_sizeOn = named(new QCheckBox(QStringLiteral("Skip files larger than"), size), "chkSizeLimit",
                     QRect(10, 24, 150, 22));
    m_size = named(new QSpinBox(size), "spnSizeLimit", QRect(162, 23, 70, 24));
    m_size->setRange(1, ScanExclusions::maxSizeLimitMb);
    m_size->setValue(100);
    named(new QLabel(QStringLiteral("MB"), size), "lblSizeUnit", QRect(238, 24, 30, 22));
    auto *sizeHint = named(
        new QLabel(QStringLiteral("Without a limit the scanner skips files over 100 MB."), size),
        "lblSizeHint", QRect(10, 52, 262, 26));
    sizeHint->setWordWrap(true);
    sizeHint->setFont(small);
    auto applySize = [this] { m_edit.setSizeLimitMb(m_sizeOn->isChecked() ? m_size->value() : 0); };
    connect(m_sizeOn, &QCheckBox::toggled, this, [this, applySize](bool on) {
        m_size->setEnabled(on);
        applySize();
    });
    connect(m_size, &QSpinBox::valueChanged, this, applySize);

    auto *engine = group(this, "grpEngine", QStringLiteral("Scan Engine"), QRect(16, 402, 568, 84));
    named(new QLabel(QStringLiteral("Engine"), engine), "lblEngine", QRect(10, 24, 48, 22));
    m_engine = named(new QComboBox(engine), "cmbEngine", QRect(60, 22, 150, 24));
    m_engine->addItem(QStringLiteral("Automatic"), int(scannerchoice::Engine::Automatic));
    m_engine->addItem(QStringLiteral("Own engine"), int(scannerchoice::Engine::Own));
    m_engine->addItem(QStringLiteral("clamscan"), int(scannerchoice::Engine::Clamscan));
    named(new QLabel(QStringLiteral("clamd address"), engine), "lblClamdAddress",
          QRect(222, 24, 90, 22));
    m_clamdAddress = named(new QLineEdit(engine), "edtClamdAddress", QRect(314, 22, 246, 24));
    m_clamdAddress->setPlaceholderText(QStringLiteral("/run/clamav/clamd.ctl or host:3310"));
    auto *engineHint = named(new QLabel(QStringLiteral("Automatic scans with clamd when it answers "
                                                       "at this address or at the system's "
                                                       "socket, else with the own engine."),
                                        engine),
                             "lblEngineHint", QRect(10, 50, 550, 28));
    engineHint->setWordWrap(true);
    engineHint->setFont(small);

    auto *test = group(this, "grpTest", QStringLiteral("Test a Path"), QRect(16, 494, 568, 56));
    m_testPath = named(new QLineEdit(test), "edtTestPath", QRect(8, 22, 210, 24));
    m_testPath->setPlaceholderText(QStringLiteral("/home/me/VMs/disk.iso"));
    auto *testButton =
        pushButton(test, "btnTestPath", QStringLiteral("Test"), QRect(224, 21, 60, 25));
    m_testResult = named(new QLabel(test), "lblTestResult", QRect(292, 18, 270, 34));
    m_testResult->setWordWrap(true);
    m_testResult->setFont(small);

    auto *saveButton =
        pushButton(this, "Button1", QStringLiteral("Save Settings"), QRect(384, 558, 110, 25));
    auto *cancel = pushButton(this, "Button2", QStringLiteral("Cancel"), QRect(504, 558, 80, 25));

    connect(addFolder, &QPushButton::clicked, this, &ScanSettingsDialog::addFolder);
    connect(removeFolder, &QPushButton::clicked, this, &ScanSettingsDialog::removeFolders);
    connect(addPattern, &QPushButton::clicked, this, &ScanSettingsDialog::addPattern);
    connect(m_pattern, &QLineEdit::returnPressed, this, &ScanSettingsDialog::addPattern);
    connect(removePattern, &QPushButton::clicked, this, &ScanSettingsDialog::removePatterns);
    connect(testButton, &QPushButton::clicked, this, &ScanSettingsDialog::testPath);
    connect(m_testPath, &QLineEdit::returnPressed, this, &ScanSettingsDialog::testPath);
    connect(saveButton, &QPushButton::clicked, this, &ScanSettingsDialog::save);
    connect(cancel, &QPushButton::clicked, this, &QDialog::close);
}

void ScanSettingsDialog::showDialog() {
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    load();
    show();
}

void ScanSettingsDialog::load() {
    const Status read = ScanExclusions::load(m_data.registry(), m_edit);
    if (!read.ok() && reportFailure)
        reportFailure(this, read.message() + QStringLiteral("; saving replaces them."));
    for (QCheckBox *box : std::as_const(m_presets))
        box->setChecked(m_edit.presetTicked(box->objectName().mid(10)));
    const int limit = m_edit.sizeLimitMb();
    if (limit > 0)
        m_size->setValue(limit);
    m_sizeOn->setChecked(limit > 0);
    m_size->setEnabled(limit > 0);
    m_edit.setSizeLimitMb(limit);  // the spin box's signals must not have changed it
    const int choice = m_engine->findData(int(scannerchoice::stored(m_data.registry())));
    m_engine->setCurrentIndex(std::max(0, choice));
    m_clamdAddress->setText(
        QFile::decodeName(scannerchoice::storedClamdAddress(m_data.registry())));
    m_pattern->clear();
    m_testPath->clear();
    m_testResult->clear();
    fillLists();
}

void ScanSettingsDialog::fillLists() {
    m_folders->clear();
    for (const QByteArray &folder : m_edit.folders()) {
        auto *item = new QListWidgetItem(QFile::decodeName(folder), m_folders);
        item->setData(Qt::UserRole, folder);
    }
    m_patterns->clear();
    m_patterns->addItems(m_edit.patterns());
}

void ScanSettingsDialog::addFolder() {
    const QString folder = chooseFolder ? chooseFolder(this) : QString();
    if (folder.isEmpty())
        return;
    if (m_edit.addFolder(QFile::encodeName(QFileInfo(folder).absoluteFilePath())))
        fillLists();
    else if (reportFailure)
        reportFailure(this, QStringLiteral("The scanners compare no more than the first %1 bytes "
                                           "of a path: a folder whose path is longer than %2 "
                                           "bytes cannot be left out.")
                                .arg(ScanExclusions::matchedBytes)
                                .arg(ScanExclusions::maxFolderBytes));
}

void ScanSettingsDialog::removeFolders() {
    for (QListWidgetItem *item : m_folders->selectedItems())
        m_edit.removeFolder(item->data(Qt::UserRole).toByteArray());
    fillLists();
}

void ScanSettingsDialog::addPattern() {
    if (!m_edit.addPattern(m_pattern->text())) {
        if (reportFailure && !m_pattern->text().trimmed().isEmpty())
            reportFailure(this, QStringLiteral("A pattern matches one name and holds no \"/\"; "
                                               "add a folder to leave out a path."));
        return;
    }
    m_pattern->clear();
    fillLists();
}

void ScanSettingsDialog::removePatterns() {
    for (QListWidgetItem *item : m_patterns->selectedItems())
        m_edit.removePattern(item->text());
    fillLists();
}

QString ScanSettingsDialog::verdictText(const ScanExclusions &exclusions, const QString &path) {
    QString typed = path.trimmed();
    if (typed == u'~' || typed.startsWith(QStringLiteral("~/")))
        typed = QDir::homePath() + typed.mid(1);
    if (typed.isEmpty())
        return {};
    if (!typed.startsWith(u'/'))
        return QStringLiteral("Enter a full path, beginning with \"/\" or \"~/\".");
    const QFileInfo info(typed);
    const bool folder = info.isDir();
    const qint64 size = info.isFile() ? info.size() : -1;
    const QString rule = exclusions.exclusionOf(QFile::encodeName(typed), folder, size);
    if (rule.isEmpty())
        return folder ? QStringLiteral("This folder would be scanned.")
                      : QStringLiteral("This file would be scanned.");
    return QStringLiteral("Not scanned: left out by %1.").arg(rule);
}

void ScanSettingsDialog::testPath() {
    m_testResult->setText(verdictText(m_edit, m_testPath->text()));
    m_testResult->setToolTip(m_testResult->text());
}

void ScanSettingsDialog::save() {
    // A wrong address is refused before anything is stored; the dialog stays open with it.
    const QString address = m_clamdAddress->text().trimmed();
    if (const QString problem = scannerchoice::clamdAddressProblem(address); !problem.isEmpty()) {
        if (reportFailure)
            reportFailure(this, problem);
        m_clamdAddress->setFocus();
        return;
    }
    Status written = m_edit.save(m_data.registry());
    if (written.ok())
        written = scannerchoice::store(m_data.registry(),
                                       scannerchoice::Engine(m_engine->currentData().toInt()));
    if (written.ok())
        written = scannerchoice::storeClamdAddress(m_data.registry(), QFile::encodeName(address));
    if (!written.ok()) {
        // The dialog stays open with what the user chose.
        if (reportFailure)
            reportFailure(this, written.message());
        return;
    }
    emit settingsSaved();
    close();
}

void ScanSettingsDialog::keyPressEvent(QKeyEvent *event) {
    if (event->matches(QKeySequence::Cancel)) {
        close();
        event->accept();
        return;
    }
    SkinDialog::keyPressEvent(event);
}

void ScanSettingsDialog::closeEvent(QCloseEvent *event) {
    // The window manager's close is Cancel: nothing is saved.
    QDialog::closeEvent(event);
}
