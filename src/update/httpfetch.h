#pragma once

#include <memory>

#include <QFile>
#include <QObject>
#include <QString>
#include <QThread>
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
    QString user;
    QString password;

    static ProxySettings fromRecord(const SettingsRecord &record);
};

// Host names of the download server and of the maker's web site ("host" or "host:port"),
// read from the key store when a download starts, with built-in defaults.
namespace updatehosts {
QString databaseServer(const Registry &registry);
QString website(const Registry &registry);
// "http://" + host + path.
QUrl url(const QString &host, const QString &path);
}  // namespace updatehosts

// Downloads one URL into one file. Lives on a worker thread (see FetchThread). A download
// succeeds only with a 2xx status and the whole announced body; a failed or aborted download
// removes its partial file. No data for the time-out is a failure.
class HttpFetch : public QObject {
    Q_OBJECT
public:
    explicit HttpFetch(QObject *parent = nullptr);
    ~HttpFetch() override;

    void fetch(quint64 id, const QUrl &url, const QString &target, const ProxySettings &proxy,
               int noDataTimeoutMs);
    void abort(quint64 id);

signals:
    void progress(quint64 id, qint64 received, qint64 total);
    void finished(quint64 id, bool ok, const QString &error);

private:
    void onReadyRead();
    void onFinished();
    void fail(const QString &error);
    void clear();

    QNetworkAccessManager *m_manager = nullptr;
    QNetworkReply *m_reply = nullptr;
    std::unique_ptr<QFile> m_file;
    quint64 m_id = 0;
    qint64 m_written = 0;
    bool m_writeFailed = false;
};

// A worker thread that owns one HttpFetch; its signals arrive queued on the owner's thread.
class FetchThread : public QObject {
    Q_OBJECT
public:
    explicit FetchThread(QObject *parent = nullptr);
    ~FetchThread() override;

    // Starts a download on the worker; returns its id (never 0).
    quint64 start(const QUrl &url, const QString &target, const ProxySettings &proxy,
                  int noDataTimeoutMs);
    // Stops the download with this id; its partial file is removed. Harmless when it is over.
    void abort(quint64 id);

signals:
    void progress(quint64 id, qint64 received, qint64 total);
    void finished(quint64 id, bool ok, const QString &error);

private:
    QThread m_thread;
    HttpFetch *m_fetch;
    quint64 m_nextId = 1;
};
