#include "ui/scanlogwindow.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QTreeWidget>

#include "state/scanlog.h"
#include "ui/skin/dialogbutton.h"

namespace {

constexpr int closeRow = 26;  // the "Close" images of the download failure's help

QString shownTime(const QDateTime &time) {
    return time.isValid() ? QLocale::system().toString(time, QLocale::ShortFormat) : QString();
}

QString shownPath(const QByteArray &bytes) {
    return QFile::decodeName(bytes);
}

}  // namespace

ScanLogWindow::ScanLogWindow(ScanLog &log, SkinButtons &skin, ShowFailure showFailure,
                             QWidget *parent)
    : SkinDialog(QStringLiteral("ScanLogWindow"), skin, parent),
      m_log(log),
      m_showFailure(std::move(showFailure)) {
    chooseExportFile = &ScanLogWindow::chooseExportFileWithDialog;
    setWindowTitle(QStringLiteral("Scan Log"));

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("ScanList"));
    m_list->setGeometry(16, 56, 608, 170);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setHeaderLabels({QStringLiteral("Started"), QStringLiteral("Kind"),
                             QStringLiteral("Outcome"), QStringLiteral("Items"),
                             QStringLiteral("Infections"), QStringLiteral("Removed")});
    m_list->header()->setStretchLastSection(false);
    m_list->setColumnWidth(0, 130);
    m_list->setColumnWidth(1, 90);
    m_list->setColumnWidth(2, 200);
    m_list->setColumnWidth(3, 60);
    m_list->setColumnWidth(4, 64);
    m_list->setColumnWidth(5, 60);

    m_details = new QPlainTextEdit(this);
    m_details->setObjectName(QStringLiteral("Details"));
    m_details->setGeometry(16, 234, 608, 150);
    m_details->setReadOnly(true);
    m_details->setLineWrapMode(QPlainTextEdit::NoWrap);

    auto *exportButton = new QPushButton(QStringLiteral("Export to CSV..."), this);
    exportButton->setObjectName(QStringLiteral("Button1"));
    exportButton->setGeometry(16, 396, 120, 25);
    auto *close = new DialogButton(&skin, closeRow, QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("Image2"));
    close->setGeometry(519, 392, 105, 33);

    connect(m_list, &QTreeWidget::currentItemChanged, this, &ScanLogWindow::showDetails);
    connect(exportButton, &QPushButton::clicked, this, &ScanLogWindow::exportCsv);
    connect(close, &DialogButton::clicked, this, &QDialog::close);
    connect(&m_log, &ScanLog::changed, this, [this] {
        if (isVisible())
            refresh();
    });
}

QString ScanLogWindow::chooseExportFileWithDialog(QWidget *parent) {
    return QFileDialog::getSaveFileName(parent, QStringLiteral("Export the Scan Log"),
                                        QDir::homePath() + QStringLiteral("/scanlog.csv"),
                                        QStringLiteral("CSV files (*.csv)"));
}

void ScanLogWindow::refresh() {
    const qint64 selected =
        m_list->currentItem() ? m_list->currentItem()->data(0, Qt::UserRole).toLongLong() : 0;
    m_list->clear();
    QTreeWidgetItem *current = nullptr;
    for (const ScanLogEntry &e : m_log.entries()) {
        auto *item = new QTreeWidgetItem(m_list);
        item->setText(0, shownTime(e.started));
        item->setText(1, ScanLogEntry::kindText(e.kind));
        item->setText(2, e.outcomeLine());
        item->setToolTip(2, e.outcomeLine());
        item->setText(3, QString::number(e.items));
        item->setText(4, QString::number(e.infections));
        item->setText(5, QString::number(e.removed));
        item->setData(0, Qt::UserRole, e.id);
        if (e.id == selected)
            current = item;
    }
    if (!current)
        current = m_list->topLevelItem(0);
    m_list->setCurrentItem(current);
    showDetails();
}

QString ScanLogWindow::detailsText(const ScanLogEntry &e) {
    QStringList lines;
    lines << QStringLiteral("Started: ") + shownTime(e.started)
          << QStringLiteral("Ended: ") + shownTime(e.ended)
          << QStringLiteral("Kind: ") + ScanLogEntry::kindText(e.kind)
          << QStringLiteral("Outcome: ") + e.outcomeLine();
    if (!e.engine.isEmpty())
        lines << QStringLiteral("Scanner: ") + e.engine;
    lines << QStringLiteral("Items scanned: %1, infections: %2, removed: %3, not scanned: %4")
                 .arg(e.items)
                 .arg(e.infections)
                 .arg(e.removed)
                 .arg(e.notScanned);
    if (!e.targets.isEmpty()) {
        lines << QStringLiteral("Scanned:");
        for (const QByteArray &target : e.targets)
            lines << QStringLiteral("  ") + shownPath(target);
    }
    if (!e.found.isEmpty()) {
        lines << QStringLiteral("Infections:");
        for (const ScanLogEntry::Infection &i : e.found)
            lines << QStringLiteral("  ") + shownPath(i.path) + QStringLiteral(": ") +
                         QString::fromLocal8Bit(i.name);
    }
    return lines.join(QLatin1Char('\n'));
}

void ScanLogWindow::showDetails() {
    const QTreeWidgetItem *item = m_list->currentItem();
    m_details->setPlainText(
        item ? detailsText(m_log.entry(item->data(0, Qt::UserRole).toLongLong())) : QString());
}

void ScanLogWindow::exportCsv() {
    const QString file = chooseExportFile ? chooseExportFile(this) : QString();
    if (file.isEmpty())
        return;
    QList<ScanLogEntry> all;
    for (const ScanLogEntry &e : m_log.entries())
        all << m_log.entry(e.id);
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(ScanLog::toCsv(all)) < 0 || !out.commit())
        m_showFailure(this, QStringLiteral("The scan log could not be exported to %1 (%2).")
                                .arg(file, out.errorString()));
}

void ScanLogWindow::showEvent(QShowEvent *event) {
    refresh();
    SkinDialog::showEvent(event);
}

// Escape hides the window: it asks nothing.
void ScanLogWindow::keyPressEvent(QKeyEvent *event) {
    if (event->matches(QKeySequence::Cancel)) {
        close();
        return;
    }
    SkinDialog::keyPressEvent(event);
}

// The window manager's close hides it like its Close button.
void ScanLogWindow::closeEvent(QCloseEvent *event) {
    QDialog::closeEvent(event);
}
