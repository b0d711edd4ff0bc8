#pragma once

#include <QObject>
#include <QString>

// The live state of scanning that the main window shows and that the scan engine and the
// removal run write: the scan state, the status and counter texts, the progress percent, the
// number of rows of the infection list, the removed count and the scan-control selection.
// Every setter emits its change signal only when the value changes.
class ScanSession : public QObject {
    Q_OBJECT
public:
    static QString idle() { return QStringLiteral("idle"); }
    static QString scanning() { return QStringLiteral("scanning"); }
    static QString paused() { return QStringLiteral("paused"); }

    explicit ScanSession(QObject *parent = nullptr) : QObject(parent) {}

    // "idle", "scanning" or "paused"; compared exactly by every command.
    QString state() const { return m_state; }
    void setState(const QString &state);
    bool isIdle() const { return m_state == idle(); }

    // Label10: the status line.
    QString status() const { return m_status; }
    void setStatus(const QString &text);
    // Label11: the progress text, "0%", "12.50%", "100%".
    QString percentText() const { return m_percentText; }
    void setPercentText(const QString &text);
    // Label12: "Infections Found: N".
    QString foundText() const { return m_foundText; }
    void setFoundText(const QString &text);
    // Label40: "Items Scanned: N".
    QString scannedText() const { return m_scannedText; }
    void setScannedText(const QString &text);

    // Percent of the progress bar, 0 to 100.
    int percent() const { return m_percent; }
    void setPercent(int percent);

    // Rows of edtInfections; row i shows infection record i + 1.
    int infectionRows() const { return m_rows; }
    void appendInfectionRow();
    void clearInfectionRows();

    // Infections removed for the current scan.
    int removedCount() const { return m_removed; }
    void setRemovedCount(int count) { m_removed = count; }

    // The skin index (11 to 14) of the scan-control button drawn selected; 0 when none is.
    int selectedScanButton() const { return m_selectedScanButton; }
    void setSelectedScanButton(int skinIndex);

    // The main window's Timer1: on while a scan runs, repainting the progress bar.
    bool progressTimerOn() const { return m_timerOn; }
    void setProgressTimerOn(bool on);

signals:
    void stateChanged(const QString &state);
    void statusChanged(const QString &text);
    void percentTextChanged(const QString &text);
    void foundTextChanged(const QString &text);
    void scannedTextChanged(const QString &text);
    void percentChanged(int percent);
    void infectionRowAppended(int row);
    void infectionRowsCleared();
    void selectedScanButtonChanged(int skinIndex);
    void progressTimerChanged(bool on);

private:
    QString m_state = idle();
    QString m_status = QStringLiteral("Scanning:");
    QString m_percentText = QStringLiteral("0%");
    QString m_foundText = QStringLiteral("Infections Found: 0");
    QString m_scannedText = QStringLiteral("Items Scanned: 0");
    int m_percent = 0;
    int m_rows = 0;
    int m_removed = 0;
    int m_selectedScanButton = 0;
    bool m_timerOn = false;
};
