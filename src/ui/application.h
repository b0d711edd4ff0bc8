#pragma once

#include <functional>
#include <memory>

#include <QString>

#include "app/startup.h"
#include "state/scanlog.h"

class Clock;
class DesktopNotifier;
class OutcomeNotices;
class ProgramData;
class ScanEngine;
class ScanLogger;
class ScanLogWindow;
class ScheduledScans;
class ScheduleWindow;
class ShellWiring;
class ScanSettingsDialog;
class ScanWindows;
class TForm1;
class UpdateWindows;
class SkinButtons;
class QWidget;
namespace platform {
class KeyStore;
class TerminationWatch;
}  // namespace platform

// The composition root: one ProgramData per run, the start-up routine, the engines and every
// window, created once and connected to each other.
class Application {
public:
    struct Options {
        Startup::Options startup;
        bool splash = true;  // show the splash window before the windows are created
    };

    Application(const Clock &clock, platform::KeyStore store, Options options);
    ~Application();

    // Shows the main window (centred), or puts it straight into the tray, and queues the
    // start-up problems for the user.
    void show(bool inTray = false);
    // One more start-up problem for the user, shown with the others by show().
    void reportProblem(const QString &text) { m_report.problems << text; }
    // The shutdown routine: the hooks of ProgramData (a running scan is stopped).
    void shutdown();
    // The main window back in front, from the tray or the taskbar (another start asked).
    void bringToFront();
    // A custom scan of exactly these files and folders (from the command line, another start or
    // a drop), shown on the Scan page. Returns empty when it started, else why not; the user is
    // told that reason too. Nothing starts while a scan, a removal or an update goes on, or while
    // an open window waits for an answer about the last scan or an update.
    // kind is what the scan log calls it.
    QString scanEntries(const QStringList &entries,
                        ScanLogEntry::Kind kind = ScanLogEntry::Kind::CommandLine);
    // The scheduled scan, asked for by the schedule's job: a full scan or the scheduled
    // folders, in the background. Returns empty when it started, else why it was skipped or
    // why it failed to start (then `failed` is set); either is logged as such.
    QString runScheduledScan(bool *failed = nullptr);
    static QString onBatteryText();
    static QString removalRunningText();
    static QString openQuestionText();
    static QString updateRunningText();

    ProgramData &data() { return *m_data; }
    ScanEngine &engine() { return *m_engine; }
    TForm1 &mainWindow() { return *m_form1; }
    const Startup::Report &report() const { return m_report; }
    SkinButtons &skin() { return *m_skin; }
    ScanWindows &scanWindows() { return *m_scanWindows; }
    UpdateWindows &updates() { return *m_updates; }
    ScanSettingsDialog &scanSettings() { return *m_scanSettings; }
    DesktopNotifier &notifier() { return *m_notifier; }
    ScanLog &scanLog() { return *m_scanLog; }
    ScanLogger &scanLogger() { return *m_scanLogger; }
    ScanLogWindow &scanLogWindow() { return *m_scanLogWindow; }
    ScheduledScans &scheduledScans() { return *m_scheduled; }
    ScheduleWindow &scheduleWindow() { return *m_scheduleWindow; }

    // Shows a failure the user must see. Tests replace it to record instead of blocking.
    std::function<void(QWidget *parent, const QString &text)> showFailure;
    // Puts a Yes/No question the user must answer; true for Yes. Tests replace it too.
    std::function<bool(QWidget *parent, const QString &text)> askQuestion;

private:
    void connectScan();
    void connectSkin();
    void connectNotices();
    void connectScanLog();
    QString scanRefusal() const;

    void endOnTermination();

    std::unique_ptr<platform::TerminationWatch> m_termination;
    std::unique_ptr<ProgramData> m_data;
    Startup::Report m_report;
    std::unique_ptr<ScanEngine> m_engine;
    std::unique_ptr<ScanLog> m_scanLog;
    std::unique_ptr<ScanLogger> m_scanLogger;
    ScanLogWindow *m_scanLogWindow = nullptr;  // a child of the main window
    std::unique_ptr<ScheduledScans> m_scheduled;
    ScheduleWindow *m_scheduleWindow = nullptr;  // a child of the main window
    std::unique_ptr<SkinButtons> m_skin;
    std::unique_ptr<TForm1> m_form1;
    std::unique_ptr<ShellWiring> m_shell;
    ScanWindows *m_scanWindows = nullptr;  // a child of the main window
    std::unique_ptr<UpdateWindows> m_updates;
    std::unique_ptr<ScanSettingsDialog> m_scanSettings;
    std::unique_ptr<DesktopNotifier> m_notifier;
    std::unique_ptr<OutcomeNotices> m_notices;
    bool m_shutDown = false;
};
