#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include "update/httpfetch.h"

class ProgramData;

// One database download per showing of the download window: after the start delay (Timer1,
// 2,000 ms) the main or daily database is fetched off the main thread into its staging name;
// on success the update is recorded in the settings record and the staged file is renamed to
// its live name (replacing the old file in one step), with an install retry (Timer2, 500 ms).
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

    static QString successText() {
        return QStringLiteral("The Updates have successfully been downloaded and installed.");
    }
    // How every ClamAV database file begins. A download that does not (a proxy's or a captive
    // portal's page served with status 200) is not installed and counts as failed.
    static constexpr char signature[] = "ClamAV-VDB:";
    static QString notADatabaseText() {
        return QStringLiteral("The downloaded file is not a ClamAV database");
    }
    static QString installFailedText(const QString &live, const QString &cause) {
        return QStringLiteral(
                   "The update was downloaded but could not be installed: %1 could "
                   "not be replaced (%2)")
            .arg(live, cause);
    }
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
    void beginDownload();
    void onProgress(quint64 id, qint64 received, qint64 total);
    void onFinished(quint64 id, bool ok, const QString &error);
    void complete();
    void install();
    void retryInstall();
    void setState(State state);
    void setGauge(int maximum, int progress);
    void setGaugeVisible(bool visible);
    void setSuccessVisible(bool visible);

    ProgramData &m_data;
    FetchThread m_fetch;
    QTimer m_startTimer;
    QTimer m_retryTimer;
    int m_noDataTimeoutMs = 60000;
    quint64 m_activeId = 0;
    State m_state = State::Hidden;
    Kind m_kind = Kind::Main;
    QString m_targetFile;
    int m_gaugeMaximum = 0;
    int m_gaugeProgress = 0;
    bool m_gaugeVisible = true;
    bool m_successVisible = false;
};
