#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

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

    explicit FreshclamRun(QObject *parent = nullptr);
    ~FreshclamRun() override;

    // The freshclam to run: by default the program folder's, else the one on PATH.
    void setProgram(const QByteArray &program) { m_program = program; }
    // A mirror to use instead of the official server (a test's server on 127.0.0.1).
    void setPrivateMirror(const QString &url) { m_privateMirror = url; }

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
