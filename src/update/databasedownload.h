#pragma once

#include <optional>

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include "update/freshclamrun.h"
#include "update/httpfetch.h"

class ProgramData;

// One update run per showing of the download window. From the official server, which serves
// ClamAV's own updater only, the run is freshclam's (see FreshclamRun). From a mirror of the
// user's ("dbserver"), after the start delay (Timer1, 2,000 ms) the daily database is fetched off
// the main thread into its staging name, preceded by the main database when the last update is two
// or more days away. Each file is synced to disk and must pass sigtool before it is renamed over
// its live name in one step, so the live file is always either the old database or a verified new
// one. When every file of the run is in, the update is recorded once in the settings record. An
// install that fails is tried once more after 500 ms (Timer2), on that same verified file only.
// Everything the window shows is state here with a change signal.
class DatabaseDownload : public QObject {
    Q_OBJECT
public:
    enum class Kind { Main, Daily };
    // Hidden: no showing in progress (also after cancel). Waiting: the start delay runs.
    enum class State { Hidden, Waiting, Downloading, Completed, Failed };

    explicit DatabaseDownload(ProgramData &data, QObject *parent = nullptr);
    ~DatabaseDownload() override;

    // Intervals of the start delay, the install retry and the no-data time-out.
    void setStartDelay(int ms) { m_startTimer.setInterval(ms); }
    void setRetryInterval(int ms) { m_retryTimer.setInterval(ms); }
    void setNoDataTimeout(int ms) { m_noDataTimeoutMs = ms; }
    // The least progress a transfer must make (both transports), and the largest file a
    // mirror may send.
    void setSlowRule(const SlowRule &rule);
    void setSizeLimit(qint64 bytes) { m_maxBytes = bytes; }
    // The sigtool that verifies downloads (by default the program folder's, else PATH's).
    void setVerifier(const QByteArray &tool) { m_verifier = tool; }
    // The freshclam run for the official server (by default the program folder's, else PATH's),
    // and a mirror it is pointed at instead of the official server (a test's local server).
    void setFreshclam(const QByteArray &program, const QString &privateMirror = {});
    // How long a freshclam run may take besides its downloads (see FreshclamRun).
    void setFreshclamTimeLimit(int ms) { m_freshclam.setTimeLimit(ms); }

    // The window is shown: asks for the scheduled check to stop, resets the gauge and starts
    // the start delay.
    void start();
    // The cancel button: nothing further is started, a running download is stopped (it
    // records nothing and leaves no staging file), and the showing ends.
    void cancel();
    // The close button closes the window only once the success text shows.
    bool closeAllowed() const { return m_successVisible; }

    State state() const { return m_state; }
    Kind kind() const { return m_kind; }
    QString targetFile() const { return m_targetFile; }
    int gaugeMaximum() const { return m_gaugeMaximum; }
    int gaugeProgress() const { return m_gaugeProgress; }
    bool gaugeVisible() const { return m_gaugeVisible; }
    bool successVisible() const { return m_successVisible; }
    bool startTimerOn() const { return m_startTimer.isActive(); }
    bool retryTimerOn() const { return m_retryTimer.isActive(); }

    // Why the last run failed, as the failure window shows it.
    QString failureReason() const { return m_failureReason; }
    // The last run's file arrived whole but was not accepted (sigtool refused it, or could not
    // check it): the connection is not what failed.
    bool failedAfterDownload() const { return m_failedAfterDownload; }
    // The files of a run that started now, in order.
    QList<Kind> plan() const;

    static QString successText() {
        return QStringLiteral("The Updates have successfully been downloaded and installed.");
    }
    // How every ClamAV database file begins.
    static constexpr char signature[] = "ClamAV-VDB:";
    static QString liveName(Kind kind);
    static QString stagingName(Kind kind);
    // Main when the last update is two or more days away from today, else daily.
    Kind kindForLastUpdate() const;

signals:
    void scheduledCheckOffRequested();
    void stateChanged(DatabaseDownload::State state);
    void downloadStarted(DatabaseDownload::Kind kind, const QUrl &url);
    void gaugeMaximumChanged(int maximum);
    void gaugeProgressChanged(int progress);
    void gaugeVisibleChanged(bool visible);
    void successVisibleChanged(bool visible);
    // The download completed and was recorded; the success text shows.
    void succeeded();
    // The download failed: the failure window is shown, which closes the download window.
    void failed(const QString &reason);
    // The settings record could not be written; the text is the key store's error.
    void settingsWriteFailed(const QString &message);
    void installed(DatabaseDownload::Kind kind);
    // The install retry could not put the downloaded file in place either.
    void installFailed(const QString &message);

private:
    // A verified file waiting to be renamed over its live name.
    struct Staged {
        Kind kind;
        quint64 device;
        quint64 inode;
    };

    void beginDownload();
    void runFreshclam();
    void onFreshclamFinished(const FreshclamRun::Outcome &outcome);
    void fetchNext();
    void onProgress(quint64 id, qint64 received, qint64 total);
    void onFinished(quint64 id, const FetchOutcome &outcome);
    void fail(const QString &reason, int httpStatus, const QDateTime &retryAfter);
    void complete();
    // Renames the staged file over the live one; empty on success, otherwise the cause.
    QString install(const Staged &staged);
    void retryInstall();
    void setState(State state);
    void setGauge(int maximum, int progress);
    void setGaugeVisible(bool visible);
    void setSuccessVisible(bool visible);

    ProgramData &m_data;
    FetchThread m_fetch;
    FreshclamRun m_freshclam;
    std::optional<QByteArray> m_freshclamProgram;
    QTimer m_startTimer;
    QTimer m_retryTimer;
    int m_noDataTimeoutMs = 60000;
    SlowRule m_slow;
    qint64 m_maxBytes = fetchlimits::largestDatabase;
    std::optional<QByteArray> m_verifier;
    quint64 m_activeId = 0;
    QList<Kind> m_plan;
    qsizetype m_step = 0;
    qint64 m_runBytes = 0;
    QList<Staged> m_uninstalled;
    QString m_failureReason;
    bool m_failedAfterDownload = false;
    State m_state = State::Hidden;
    Kind m_kind = Kind::Main;
    QString m_targetFile;
    int m_gaugeMaximum = 0;
    int m_gaugeProgress = 0;
    bool m_gaugeVisible = true;
    bool m_successVisible = false;
};
