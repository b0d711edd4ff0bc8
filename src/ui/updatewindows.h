#pragma once

#include <functional>
#include <memory>

#include <QObject>
#include <QString>

class ConnectivityCheck;
class DatabaseDownload;
class DatabaseSource;
class SystemDatabase;
class ProgramData;
class QLabel;
class QProgressBar;
class QWidget;
class ScanEngine;
class SkinButtons;
class TForm1;
class TForm8;
class TForm12;
class TForm14;
class TForm15;
class UpdateSchedule;

// The update half of the program: the update schedule, the database download, the connectivity
// check and their windows (the update prompt TForm15, the download window TForm8, the failure
// window TForm14 and the settings dialog TForm12), connected to the main window's hooks.
class UpdateWindows : public QObject {
    Q_OBJECT
public:
    using FailureReporter = std::function<void(QWidget *parent, const QString &text)>;
    // Puts a Yes/No question; true for Yes.
    using Asker = std::function<bool(QWidget *parent, const QString &text)>;

    UpdateWindows(ProgramData &data, SkinButtons &skin, TForm1 &form, ScanEngine &engine,
                  FailureReporter showFailure);
    ~UpdateWindows() override;

    UpdateSchedule &schedule() { return *m_schedule; }
    DatabaseSource &source() { return *m_source; }
    DatabaseDownload &download() { return *m_download; }
    ConnectivityCheck &connectivity() { return *m_check; }
    TForm15 &prompt() { return *m_prompt; }
    TForm8 &downloadWindow() { return *m_form8; }
    TForm14 &failureWindow() { return *m_form14; }
    TForm12 &settingsDialog() { return *m_form12; }

    // How questions are put (a skinned question unless set).
    void setAsker(Asker ask) { m_ask = std::move(ask); }

    // The update prompt, modal without a nested loop; once it has closed, Yes goes on to the
    // download window and No to the pending scan.
    void showPrompt();
    // The download window, modal without a nested loop: showing it starts one download.
    void showDownload();
    // The failure window, not modal, so that the settings dialog it opens takes input; its
    // last line gives the reason.
    // downloaded: the file arrived but was refused (not a connection problem).
    void showFailureWindow(const QString &reason, bool downloaded);
    // The three update labels of the Virus Database page.
    void fillUpdateLabels();
    // The popup menu's "Virus Database Updates": the connectivity check, then a window.
    void connectAndDownload();
    // A scan found no database anywhere: offers to update now, and starts the update on Yes.
    void offerFirstUpdate(const QString &reason);

private:
    void connectDownloadWindow();
    void connectFailureWindow();
    void connectPrompt();
    void connectHooks();
    void scheduledCheck();
    // What the prompt's No answer, or a download started instead of the prompt, goes on with.
    void runPendingScan();
    // When the server asked to wait: says until when and returns true.
    bool tellWait();
    // With the system's databases chosen: says when the system last updated them (or why
    // they cannot be used) and returns true; nothing is downloaded.
    bool tellSystemKeeps();
    // The system's databases have grown stale: says so once and offers the own copy. True
    // when the user took it (the update run has started).
    bool offerOwnCopy();
    void switchScheduledCheckOff();
    void setGauge(int maximum, int progress);

    ProgramData &m_data;
    TForm1 &m_form;
    ScanEngine &m_engine;
    FailureReporter m_showFailure;
    Asker m_ask;
    std::unique_ptr<SystemDatabase> m_system;
    std::unique_ptr<DatabaseSource> m_source;
    std::unique_ptr<UpdateSchedule> m_schedule;
    std::unique_ptr<DatabaseDownload> m_download;
    std::unique_ptr<ConnectivityCheck> m_check;
    std::unique_ptr<TForm15> m_prompt;
    std::unique_ptr<TForm8> m_form8;
    std::unique_ptr<TForm14> m_form14;
    std::unique_ptr<TForm12> m_form12;
    QProgressBar *m_gauge = nullptr;
    QLabel *m_reason = nullptr;
    QString m_checklistHeading;
    int m_promptAnswer = 0;            // 2 Yes, 3 No, 0 closed otherwise
    bool m_scanAfterDownload = false;  // the download replaced the pre-scan question
};
