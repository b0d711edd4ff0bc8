#pragma once

#include <functional>

#include "ui/skin/skindialog.h"

class DialogButton;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class ScanLog;
struct ScanLogEntry;

// The scan log window: the logged scans newest first, the details of the one selected, and
// their export to a CSV file. It reads the log again whenever the log changes while it is shown.
class ScanLogWindow : public SkinDialog {
    Q_OBJECT
public:
    using ShowFailure = std::function<void(QWidget *parent, const QString &text)>;

    ScanLogWindow(ScanLog &log, SkinButtons &skin, ShowFailure showFailure,
                  QWidget *parent = nullptr);

    // Asks where to export to; empty when cancelled. Tests replace it.
    std::function<QString(QWidget *parent)> chooseExportFile;
    static QString chooseExportFileWithDialog(QWidget *parent);

    void refresh();
    // Writes every logged scan, with its targets and infections, to the chosen file.
    void exportCsv();
    // The details shown for one scan.
    static QString detailsText(const ScanLogEntry &entry);

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void showDetails();

    ScanLog &m_log;
    ShowFailure m_showFailure;
    QTreeWidget *m_list;
    QPlainTextEdit *m_details;
};
