#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "platform/scannerprocess.h"

#include "update/httpfetch.h"

// Brings the databases up to date with ClamAV's own updater, freshclam, the only client the
// official database server serves. The program writes freshclam's configuration (its database
// folder, the proxy of the update settings, no daemon, no log file) and runs it once; freshclam's
// progress lines drive the gauge and its end, with what it printed, decides the outcome.
class FreshclamRun : public QObject {
    Q_OBJECT
public:
    struct Settings {
        QString databaseFolder;  // ends in "/"
        QString configFile;      // written before every run, mode 0600 (it holds the password)
        ProxySettings proxy;
        QByteArray owner;  // the user freshclam runs as when started by root
    };

    struct Outcome {
        bool ok = false;
        QString reason;       // for the failure window
        int httpStatus = 0;   // 403 or 429 when the server refused or asked to wait
        QDateTime waitUntil;  // when freshclam may ask again (UTC), after 403 or 429
        QStringList updated;  // database files it replaced, by name
        qint64 updatedBytes = 0;
    };

    // The most one run may report downloading over all files (the official databases together
    // are a fraction of it); a run beyond it is ended.
    static constexpr qint64 mostTransferred = 4 * fetchlimits::largestDatabase;

    explicit FreshclamRun(QObject *parent = nullptr);
    ~FreshclamRun() override;

    // The freshclam to run: by default the program folder's, else the one on PATH.
    void setProgram(const QByteArray &program) { m_program = program; }
    // A mirror to use instead of the official server (a test's server on 127.0.0.1).
    void setPrivateMirror(const QString &url) { m_privateMirror = url; }
    // The least progress a transfer that freshclam reports must make, and how long it may
    // print nothing at all; a run that breaks either is ended with the reason.
    void setSlowRule(const SlowRule &rule) { m_slow = rule; }
    void setSilenceLimit(int ms) { m_silence.setInterval(ms); }
    // How long a run may take besides its downloads, which add the time the slow rule allows
    // for what they brought; a run over it (one printing without end, say) is ended.
    void setTimeLimit(int ms) { m_timeLimitMs = ms; }

    // Writes the configuration and starts freshclam; the end comes through finished().
    void start(const Settings &settings);
    // Ends a running freshclam at once; nothing is reported for it.
    void cancel();
    bool running() const { return m_pid > 0; }

    // The configuration file's text, or an empty text and the reason when a value would not
    // be a single line of it.
    static QByteArray configText(const Settings &settings, const QString &privateMirror,
                                 QString *refusal);

signals:
    void progress(qint64 received, qint64 total);
    void finished(const FreshclamRun::Outcome &outcome);

private:
    void onLines(quint64 run, const QList<QByteArray> &lines);
    void onTransfer(qint64 received, qint64 total);
    void onSlowWindow();
    // Ends a run that has taken longer than its time limit; true when it did.
    bool endedForTime();
    // Ends the running freshclam and reports the run as failed with this reason.
    void abandon(const QString &reason);
    // Kills freshclam's process group, lets go of its output and reaps it.
    platform::ExitStatus endChild();
    void onEnded(quint64 run, int exitCode);
    void handleLine(const QString &line);
    void finish(Outcome outcome);
    void stopReader();

    QByteArray m_program;
    QString m_privateMirror;
    Settings m_settings;
    quint64 m_run = 0;
    int m_pid = 0;
    std::thread m_reader;
    std::shared_ptr<std::atomic_bool> m_stop;
    // Batches of lines handed to the main thread and not yet handled: the reader waits (and
    // freshclam with it) rather than pile up a flood.
    std::shared_ptr<std::atomic_int> m_queued;
    SlowRule m_slow;
    QTimer m_slowTimer;
    QTimer m_silence;
    qint64 m_lastReceived = 0;
    qint64 m_transferred = 0;  // over every file of the run
    QElapsedTimer m_runClock;
    qint64 m_timeLimitMs = 30 * 60 * 1000;
    qint64 m_windowStart = 0;
    bool m_inTransfer = false;
    bool m_transferAtWindowStart = false;
    // What the current run has printed that decides its outcome.
    int m_status = 0;
    QDateTime m_coolDown;
    QDateTime m_storedCoolDown;  // freshclam's own cool-down when the run started
    QStringList m_updated;
    QString m_processFailure;
    QString m_lastError;
    bool m_errorPrinted = false;
    bool m_cannotConnect = false;
    bool m_hostUnknown = false;
};

Q_DECLARE_METATYPE(FreshclamRun::Outcome)
