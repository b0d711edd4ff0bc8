#include "update/httpfetch.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {
// Record texts are 8-bit; the user typed them in the locale's encoding.
QString text(const QByteArray &bytes) {
    return QString::fromLocal8Bit(bytes);
}

QString readHost(const Registry &registry, const QString &subkey, const QString &fallback) {
    QByteArray host;
    if (!registry.readText(subkey, host))
        return fallback;
    const QString trimmed = text(host).trimmed();
    return trimmed.isEmpty() ? fallback : trimmed;
}
}  // namespace

ProxySettings ProxySettings::fromRecord(const SettingsRecord &record) {
    ProxySettings p;
    p.enabled = record.useProxy != 0;
    p.host = text(record.proxyServer.bytes()).trimmed();
    bool ok = false;
    const uint port = text(record.proxyPort.bytes()).trimmed().toUInt(&ok);
    p.port = ok && port <= 65535 ? static_cast<quint16>(port) : 0;
    p.user = text(record.proxyUser.bytes());
    p.password = text(record.proxyPassword.bytes());
    return p;
}

namespace updatehosts {
QString databaseServer(const Registry &registry) {
    return readHost(registry, regkey::dbServer(), QStringLiteral("database.clamav.net"));
}

QString website(const Registry &registry) {
    return readHost(registry, regkey::website(), QStringLiteral("www.vizavuz.com"));
}

QUrl url(const QString &host, const QString &path) {
    return QUrl(QStringLiteral("http://") + host + path);
}
}  // namespace updatehosts

HttpFetch::HttpFetch(QObject *parent) : QObject(parent) {}

HttpFetch::~HttpFetch() {
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        if (m_file)
            m_file->remove();
    }
    clear();
}

void HttpFetch::clear() {
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->deleteLater();
        m_reply = nullptr;
    }
    if (m_manager) {
        m_manager->deleteLater();
        m_manager = nullptr;
    }
    m_file.reset();
    m_id = 0;
}

void HttpFetch::fetch(quint64 id, const QUrl &url, const QString &target,
                      const ProxySettings &proxy, int noDataTimeoutMs) {
    if (m_reply)
        abort(m_id);
    m_id = id;
    m_written = 0;
    m_writeFailed = false;
    m_file = std::make_unique<QFile>(target);
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        const QString error = m_file->errorString();
        m_file.reset();
        m_id = 0;
        emit finished(id, false, error);
        return;
    }

    // A fresh manager per download, so that no connection or proxy credential of an earlier
    // download is reused.
    m_manager = new QNetworkAccessManager(this);
    if (proxy.enabled)
        m_manager->setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, proxy.host, proxy.port,
                                          proxy.user, proxy.password));

    QNetworkRequest request(url);
    // Follows redirects to other hosts and to https, never from https back to http; a loop
    // ends in an error after Qt's redirect limit.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    // The file is stored as sent; its length must match the announced one.
    request.setRawHeader("Accept-Encoding", "identity");
    // Qt's transfer time-out restarts with every piece of data.
    request.setTransferTimeout(noDataTimeoutMs);

    m_reply = m_manager->get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, &HttpFetch::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &HttpFetch::onFinished);
    connect(m_reply, &QNetworkReply::downloadProgress, this,
            [this](qint64 received, qint64 total) { emit progress(m_id, received, total); });
}

void HttpFetch::onReadyRead() {
    if (!m_reply || !m_file || !m_reply->isOpen())
        return;
    const QByteArray chunk = m_reply->readAll();
    // Only the body of the final answer is stored; redirect and error bodies are not.
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status < 200 || status > 299)
        return;
    if (m_writeFailed)
        return;
    if (m_file->write(chunk) != chunk.size()) {
        m_writeFailed = true;
        m_reply->abort();
        return;
    }
    m_written += chunk.size();
}

void HttpFetch::onFinished() {
    if (!m_reply)
        return;
    onReadyRead();
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (m_writeFailed)
        return fail(m_file->errorString());
    if (m_reply->error() != QNetworkReply::NoError)
        return fail(m_reply->errorString());
    if (status < 200 || status > 299)
        return fail(QStringLiteral("HTTP status %1").arg(status));
    if (length.isValid() && length.toLongLong() != m_written)
        return fail(QStringLiteral("The download was cut short"));
    if (!m_file->flush()) {
        return fail(m_file->errorString());
    }
    m_file->close();
    const quint64 id = m_id;
    clear();
    emit finished(id, true, QString());
}

void HttpFetch::fail(const QString &error) {
    const quint64 id = m_id;
    if (m_file) {
        m_file->close();
        m_file->remove();
    }
    clear();
    emit finished(id, false, error);
}

void HttpFetch::abort(quint64 id) {
    if (!m_reply || id != m_id)
        return;
    m_reply->disconnect(this);
    m_reply->abort();
    fail(QStringLiteral("Cancelled"));
}

FetchThread::FetchThread(QObject *parent) : QObject(parent), m_fetch(new HttpFetch) {
    m_fetch->moveToThread(&m_thread);
    connect(m_fetch, &HttpFetch::progress, this, &FetchThread::progress, Qt::QueuedConnection);
    connect(m_fetch, &HttpFetch::finished, this, &FetchThread::finished, Qt::QueuedConnection);
    m_thread.start();
}

FetchThread::~FetchThread() {
    HttpFetch *fetch = m_fetch;
    QMetaObject::invokeMethod(
        fetch, [fetch] { delete fetch; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

quint64 FetchThread::start(const QUrl &url, const QString &target, const ProxySettings &proxy,
                           int noDataTimeoutMs) {
    const quint64 id = m_nextId++;
    HttpFetch *fetch = m_fetch;
    QMetaObject::invokeMethod(
        fetch, [=] { fetch->fetch(id, url, target, proxy, noDataTimeoutMs); },
        Qt::QueuedConnection);
    return id;
}

void FetchThread::abort(quint64 id) {
    HttpFetch *fetch = m_fetch;
    QMetaObject::invokeMethod(
        fetch, [=] { fetch->abort(id); }, Qt::QueuedConnection);
}
