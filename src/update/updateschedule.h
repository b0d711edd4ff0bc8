#pragma once

#include <QObject>
#include <QString>

class ProgramData;

// When the user is offered a database update: the scheduled check of the main window's Timer2
// (at most one prompt a run), the offer made before a scan, and the update figures of the
// Virus Database page. Decisions come from the settings record alone; no server is asked.
class UpdateSchedule : public QObject {
    Q_OBJECT
public:
    // Skip: the timer stays on. Prompt: show the update prompt, then switch the timer off.
    // Done: the check is not due; switch the timer off. Download: as Prompt, but the user chose
    // "Automatically download": the download starts without the question.
    enum class Tick { Skip, Prompt, Done, Download };
    // The offer before a scan: none (the scan goes on), the prompt, or the download at once.
    enum class Offer { None, Prompt, Download };

    // What the prompt's No answer continues with.
    enum ScanAction : int { NoAction = 0, FullScan = 1, CustomScan = 2 };

    static constexpr int checkIntervalMs = 6000;

    explicit UpdateSchedule(ProgramData &data, QObject *parent = nullptr);

    // One tick of the scheduled check; promptShowing tells whether the update prompt is up. A
    // wait the server asked for makes the check not due.
    Tick scheduledCheck(bool promptShowing) const;

    // The offer before a scan: the last update is two or more days away from today, in
    // either direction, and the server has not asked to wait.
    bool preScanOfferDue() const;
    Offer preScanOffer() const;

    // The when-found choice of the update settings is "Automatically download".
    bool downloadsAutomatically() const;

    // Days between scheduled offers for a check frequency index, -1 for "Never Check".
    static int intervalForFrequency(int frequency, int intervalDays);

    // The Virus Database page labels lblSize, lblUpdate and lblUpdates.
    QString sizeText() const;
    QString updateText() const;
    QString updatesText() const;

    // Set by Start Scan (1) and the custom scan button (2) before the offer; never reset.
    int pendingScanAction() const { return m_pendingScanAction; }
    void setPendingScanAction(int action);

    // The scheduled-check timer's state (Timer2 of the main window); once off, it stays off.
    bool timerOn() const { return m_timerOn; }
    void switchTimerOff();

signals:
    void pendingScanActionChanged(int action);
    void timerOnChanged(bool on);

private:
    // Today minus the last update date, in whole days.
    int daysSinceUpdate() const;

    ProgramData &m_data;
    int m_pendingScanAction = NoAction;
    bool m_timerOn = true;
};
