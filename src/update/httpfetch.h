#pragma once

#include <functional>
#include <memory>

#include <QDateTime>
#include <QFile>
#include <QObject>
#include <QString>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include "state/records.h"
#include "state/registry.h"

class QNetworkAccessManager;
class QNetworkReply;

// The HTTP proxy the user entered in the update settings; used when enabled.
struct ProxySettings {
    bool enabled = false;
    QString host;
    quint16 port = 0;
    QString portText;  // as stored, for the message when it is not a port
    QString user;
    QString password;

    static ProxySettings fromRecord(const SettingsRecord &record);
    // A port that is a whole number from 1 to 65535 (the only ones a proxy can have).
    static bool validPort(const QString &text);
    // Why an enabled proxy cannot be used (no server, no valid port), else empty.
    QString refusal() const;
};

// The bounds of every download, whatever the server sends.
namespace fetchlimits {
// The most a database download may bring in. The largest database, main.cvd, is about 170 MB
// today and daily.cvd about 60 MB; three times the largest leaves years of growth, yet stops a
// server that sends without end long before the disk fills.
inline constexpr qint64 largestDatabase = 512LL * 1024 * 1024;
// The connectivity check's page: a web page of a few KiB.
inline constexpr qint64 largestPage = 1024 * 1024;
// What the network layer holds of a download before it is written: it reads no faster than
// the file is written, so the program's memory does not grow with a fast server.
inline constexpr qint64 readBuffer = 256 * 1024;
}  // namespace fetchlimits

// The least progress a transfer must make: at least minBytes in every window of windowMs. About
// 1 KiB/s by default, a fifth of what a dial-up line carries; a server that trickles is ended.
struct SlowRule {
    int windowMs = 30000;
    qint64 minBytes = 32 * 1024;
};

// One download: where from, where to, and how.
struct FetchRequest {
    QUrl url;
    QString target;
    ProxySettings proxy;
    int noDataTimeoutMs = 60000;
    // A larger body (announced or sent) ends the download.
    qint64 maxBytes = fetchlimits::largestDatabase;
    // Applies from the answer's head on.
    SlowRule slow;
    QByteArray userAgent;
    // Run on the worker once the file is complete and on disk; empty when it may be kept,
    // otherwise the reason it is not (the file is then deleted).
    std::function<QString(const QString &path)> verify;
};

// How a download ended.
struct FetchOutcome {
    bool ok = false;
    QString reason;               // what happened, for the user; empty on success
    int httpStatus = 0;           // the final answer's status, 0 when none came
    QDateTime retryAfter;         // when a 429 answer asked to come back (UTC), else invalid
    bool refusedByCheck = false;  // it arrived whole, but the request's check refused it
    qint64 bytes = 0;             // size of the stored file
    quint64 device = 0;           // identity of the stored file, so that it is known at install
    quint64 inode = 0;
};
Q_DECLARE_METATYPE(FetchOutcome)

// Host names of the download server and of the maker's web site ("host" or "host:port"),
// read from the key store when a download starts, with built-in defaults.
namespace updatehosts {
QString databaseServer(const Registry &registry);
QString website(const Registry &registry);
// "http://" + host + path.
QUrl url(const QString &host, const QString &path);
// The default server, database.clamav.net, which serves ClamAV's own updater only.
bool isOfficial(const QString &host);
// This program's own name and version, sent with every request.
QByteArray userAgent();
}  // namespace updatehosts

// Downloads one URL into one file. Lives on a worker thread (see FetchThread). The target is
// made anew for every download (an earlier file of that name is removed first, so two downloads
// never share one file). A download succeeds only with a 2xx status and the whole announced body,
// synced to disk and accepted by the request's check; a failed or aborted download removes its
// file. No data for the time-out, a body above the request's limit, a transfer slower than its
// rule and a final answer's head (after any redirects) that has not come within the rule's first
// window are failures; an error status ends the transfer at its head. The reply's read buffer is
// bounded.
class HttpFetch : public QObject {
    Q_OBJECT
public:
    explicit HttpFetch(QObject *parent = nullptr);
    ~HttpFetch() override;

    void fetch(quint64 id, const FetchRequest &request);
    // Stops the download with this id and removes its file; a download that has already
    // succeeded has its file removed too (its owner no longer wants it).
    void abort(quint64 id);

signals:
    void progress(quint64 id, qint64 received, qint64 total);
    void finished(quint64 id, const FetchOutcome &outcome);

private:
    void onMetaData();
    void onReadyRead();
    void onSlowWindow();
    // The final answer's head has not come within the first window.
    void onNoHead();
    // Ends the transfer at once with this reason.
    void stop(const QString &reason);
    QString writeError() const;
    void onFinished();
    void fail(const QString &reason);
    void clear();

    QNetworkAccessManager *m_manager = nullptr;
    QNetworkReply *m_reply = nullptr;
    std::unique_ptr<QFile> m_file;
    FetchRequest m_request;
    FetchOutcome m_outcome;
    quint64 m_id = 0;
    qint64 m_written = 0;
    qint64 m_received = 0;  // body bytes of every answer, for the slow rule
    qint64 m_windowStart = 0;
    QTimer *m_slowTimer = nullptr;
    QTimer *m_headTimer = nullptr;
    bool m_writeFailed = false;
    // The last download that succeeded, until another starts.
    quint64 m_doneId = 0;
    QString m_donePath;
};

// A worker thread that owns one HttpFetch; its signals arrive queued on the owner's thread.
class FetchThread : public QObject {
    Q_OBJECT
public:
    explicit FetchThread(QObject *parent = nullptr);
    ~FetchThread() override;

    // Starts a download on the worker; returns its id (never 0).
    quint64 start(const FetchRequest &request);
    // Stops the download with this id; its file is removed, also when it had just succeeded
    // and its result is still on its way. Harmless when it is over.
    void abort(quint64 id);

signals:
    void progress(quint64 id, qint64 received, qint64 total);
    void finished(quint64 id, const FetchOutcome &outcome);

private:
    QThread m_thread;
    HttpFetch *m_fetch;
    quint64 m_nextId = 1;
};
