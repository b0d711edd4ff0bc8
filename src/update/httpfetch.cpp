#include "update/httpfetch.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QFileInfo>

#include <cerrno>

#include "platform/fileops.h"
#include "platform/filesync.h"
#include "update/updatetexts.h"

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
constexpr char officialServer[] = "database.clamav.net";

// The longest wait a server's Retry-After is taken for; a larger value (or a hostile one) would
// stop updates for good.
constexpr qint64 maxRetryAfterSeconds = 7 * 24 * 3600;
// A 429 answer without a usable Retry-After.
constexpr qint64 defaultRetryAfterSeconds = 3600;
// Less free space than this after a failed write: the file system is full.
constexpr qint64 fullDiskMargin = 1024 * 1024;

int monthNumber(const QString &name) {
    static const QString months = QStringLiteral("janfebmaraprmayjunjulaugsepoctnovdec");
    const qsizetype at = name.size() == 3 ? months.indexOf(name.toLower()) : -1;
    return at >= 0 && at % 3 == 0 ? int(at / 3) + 1 : 0;  // 0 when unknown
}

QDateTime utcAt(int year, const QString &month, int day, const QRegularExpressionMatch &m,
                int hourGroup) {
    const QDate date(year, monthNumber(month), day);
    const QTime time(m.captured(hourGroup).toInt(), m.captured(hourGroup + 1).toInt(),
                     m.captured(hourGroup + 2).toInt());
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

// An HTTP date in any of its three forms: "Tue, 08 Dec 2026 14:06:15 GMT" (what servers send),
// "Tuesday, 08-Dec-26 14:06:15 GMT" and "Tue Dec  8 14:06:15 2026"; invalid otherwise.
QDateTime httpDate(const QString &value, const QDateTime &now) {
    static const QRegularExpression fixdate(QStringLiteral(
        "^[A-Za-z]{3}, *(\\d{1,2}) +([A-Za-z]{3}) +(\\d{4}) +(\\d\\d):(\\d\\d):(\\d\\d) +GMT\\b"));
    static const QRegularExpression rfc850(QStringLiteral(
        "^[A-Za-z]+, *(\\d{1,2})-([A-Za-z]{3})-(\\d\\d) +(\\d\\d):(\\d\\d):(\\d\\d) +GMT\\b"));
    static const QRegularExpression asctime(QStringLiteral(
        "^[A-Za-z]{3} +([A-Za-z]{3}) +(\\d{1,2}) +(\\d\\d):(\\d\\d):(\\d\\d) +(\\d{4})\\b"));
    if (const auto m = fixdate.match(value); m.hasMatch())
        return utcAt(m.captured(3).toInt(), m.captured(2), m.captured(1).toInt(), m, 4);
    if (const auto m = rfc850.match(value); m.hasMatch()) {
        // A two-digit year more than 50 years ahead is one of the past century.
        int year = 2000 + m.captured(3).toInt();
        if (year > now.date().year() + 50)
            year -= 100;
        return utcAt(year, m.captured(2), m.captured(1).toInt(), m, 4);
    }
    if (const auto m = asctime.match(value); m.hasMatch())
        return utcAt(m.captured(6).toInt(), m.captured(1), m.captured(2).toInt(), m, 3);
    return QDateTime::fromString(value, Qt::RFC2822Date);
}

// Retry-After is either seconds or an HTTP date. Several headers arrive joined by ", ": the
// first one counts.
QDateTime retryAfter(const QByteArray &value, const QDateTime &now) {
    static const QRegularExpression leadingSeconds(QStringLiteral("^(\\d+) *(?:,|$)"));
    const QString text = QString::fromLatin1(value.trimmed());
    qint64 seconds = defaultRetryAfterSeconds;
    bool ok = false;
    if (const auto m = leadingSeconds.match(text); m.hasMatch()) {
        const qint64 given = m.captured(1).toLongLong(&ok);
        seconds = ok ? given : maxRetryAfterSeconds;  // too many digits: the longest wait
    } else if (const QDateTime at = httpDate(text, now); at.isValid()) {
        seconds = now.secsTo(at);
    }
    if (seconds < 0)
        seconds = 0;
    return now.addSecs(qMin(seconds, maxRetryAfterSeconds));
}

QString networkReason(QNetworkReply *reply) {
    switch (reply->error()) {
        case QNetworkReply::ConnectionRefusedError:
            return updatetexts::refused();
        case QNetworkReply::HostNotFoundError:
            return updatetexts::hostNotFound(reply->url().host());
        case QNetworkReply::TimeoutError:
        case QNetworkReply::OperationCanceledError:  // the transfer time-out ends it this way
            return updatetexts::stalled();
        case QNetworkReply::ProxyConnectionRefusedError:
        case QNetworkReply::ProxyConnectionClosedError:
        case QNetworkReply::ProxyNotFoundError:
        case QNetworkReply::ProxyTimeoutError:
        case QNetworkReply::ProxyAuthenticationRequiredError:
        case QNetworkReply::UnknownProxyError:
            return updatetexts::proxyFailed(reply->errorString());
        default:
            return updatetexts::networkError(reply->errorString());
    }
}
}  // namespace

ProxySettings ProxySettings::fromRecord(const SettingsRecord &record) {
    ProxySettings p;
    p.enabled = record.useProxy != 0;
    p.host = text(record.proxyServer.bytes()).trimmed();
    const QString port = text(record.proxyPort.bytes()).trimmed();
    p.port = validPort(port) ? static_cast<quint16>(port.toUInt()) : 0;
    p.portText = port;
    p.user = text(record.proxyUser.bytes());
    p.password = text(record.proxyPassword.bytes());
    return p;
}

bool ProxySettings::validPort(const QString &text) {
    bool ok = false;
    const uint port = text.trimmed().toUInt(&ok, 10);
    return ok && port >= 1 && port <= 65535;
}

QString ProxySettings::refusal() const {
    if (!enabled)
        return {};
    if (host.isEmpty())
        return updatetexts::proxyNotSet();
    if (port == 0)
        return updatetexts::badProxyPort(portText);
    return {};
}

namespace updatehosts {
QString databaseServer(const Registry &registry) {
    return readHost(registry, regkey::dbServer(), QString::fromLatin1(officialServer));
}

QString website(const Registry &registry) {
    return readHost(registry, regkey::website(), QStringLiteral("www.vizavuz.com"));
}

QUrl url(const QString &host, const QString &path) {
    return QUrl(QStringLiteral("http://") + host + path);
}

bool isOfficial(const QString &host) {
    QString name = QUrl(QStringLiteral("http://") + host).host().toLower();
    if (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    return name == QLatin1StringView(officialServer);
}

QByteArray userAgent() {
    return QByteArrayLiteral("Vizavuz-AntiVirus/" VZ_VERSION);
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
    if (m_slowTimer)
        m_slowTimer->stop();
    if (m_headTimer)
        m_headTimer->stop();
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

void HttpFetch::fetch(quint64 id, const FetchRequest &request) {
    if (m_reply)
        abort(m_id);
    m_doneId = 0;
    m_donePath.clear();
    m_id = id;
    m_request = request;
    m_outcome = FetchOutcome{};
    m_written = 0;
    m_received = 0;
    m_windowStart = 0;
    m_writeFailed = false;
    if (const QString refusal = request.proxy.refusal(); !refusal.isEmpty()) {
        m_id = 0;
        FetchOutcome outcome;
        outcome.reason = refusal;
        emit finished(id, outcome);
        return;
    }
    // A new file each time: whatever still holds an earlier file of this name (an earlier
    // download, another run of the program) keeps that one and never writes into this one.
    const QByteArray target = QFile::encodeName(request.target);
    if (platform::pathExists(target))
        platform::removeFile(target);
    m_file = std::make_unique<QFile>(request.target);
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        FetchOutcome outcome;
        outcome.reason = updatetexts::cannotWrite(m_file->errorString());
        m_file.reset();
        m_id = 0;
        emit finished(id, outcome);
        return;
    }

    // A fresh manager per download, so that no connection or proxy credential of an earlier
    // download is reused.
    m_manager = new QNetworkAccessManager(this);
    const ProxySettings &proxy = request.proxy;
    // Qt's basic authentication sends each character of the user name and password as one
    // Latin-1 byte (a letter beyond it as "?"); given the stored bytes one per character, it
    // sends them unchanged, as freshclam does.
    auto bytewise = [](const QString &text) { return QString::fromLatin1(text.toLocal8Bit()); };
    if (proxy.enabled)
        m_manager->setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, proxy.host, proxy.port,
                                          bytewise(proxy.user), bytewise(proxy.password)));

    QNetworkRequest http(request.url);
    // Follows redirects to other hosts and to https, never from https back to http; a loop
    // ends in an error after Qt's redirect limit.
    http.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                      QNetworkRequest::NoLessSafeRedirectPolicy);
    http.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    // The file is stored as sent; its length must match the announced one.
    http.setRawHeader("Accept-Encoding", "identity");
    if (!request.userAgent.isEmpty())
        http.setHeader(QNetworkRequest::UserAgentHeader, request.userAgent);
    // Qt's transfer time-out restarts with every piece of data.
    http.setTransferTimeout(request.noDataTimeoutMs);

    // Whatever comes before the final answer's body (redirects, a head sent slowly or without
    // end, interim answers) is bounded by the first window: it carries no data the slow rule
    // could count.
    if (!m_headTimer) {
        m_headTimer = new QTimer(this);
        m_headTimer->setSingleShot(true);
        connect(m_headTimer, &QTimer::timeout, this, &HttpFetch::onNoHead);
    }
    m_headTimer->start(request.slow.windowMs);

    m_reply = m_manager->get(http);
    m_reply->setReadBufferSize(fetchlimits::readBuffer);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &HttpFetch::onMetaData);
    connect(m_reply, &QNetworkReply::readyRead, this, &HttpFetch::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &HttpFetch::onFinished);
    connect(m_reply, &QNetworkReply::downloadProgress, this,
            [this](qint64 received, qint64 total) { emit progress(m_id, received, total); });
}

// Why the file could not be written. A write that ends short on a full file system leaves no
// error code behind, so the free space names that cause.
QString HttpFetch::writeError() const {
    const QString reason = m_file->errorString();
    if (!reason.isEmpty() && reason != QLatin1StringView("Unknown error"))
        return reason;
    const QStorageInfo volume(QFileInfo(m_request.target).absolutePath());
    if (volume.isValid() && volume.bytesAvailable() < fullDiskMargin)
        return qt_error_string(ENOSPC);
    return reason.isEmpty() ? QStringLiteral("Unknown error") : reason;
}

void HttpFetch::onMetaData() {
    if (!m_reply)
        return;
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // A redirect is followed once its body has ended; until then the head's window holds.
    if ((status == 301 || status == 302 || status == 303 || status == 307 || status == 308) &&
        m_reply->hasRawHeader("Location"))
        return;
    // An error's body is not stored: it must end within the head's window (see onNoHead).
    if (status < 400 || status == 401 || status == 407)
        m_headTimer->stop();
    // The final answer has begun: from now on it must keep moving.
    if (!m_slowTimer) {
        m_slowTimer = new QTimer(this);
        connect(m_slowTimer, &QTimer::timeout, this, &HttpFetch::onSlowWindow);
    }
    if (!m_slowTimer->isActive()) {
        m_windowStart = m_received;
        m_slowTimer->start(m_request.slow.windowMs);
    }
    // A body announced larger than the limit is not begun.
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (status >= 200 && status <= 299 && length.isValid() &&
        length.toLongLong() > m_request.maxBytes)
        stop(updatetexts::tooLarge(m_request.maxBytes));
}

void HttpFetch::onSlowWindow() {
    if (!m_reply)
        return;
    if (m_received - m_windowStart < m_request.slow.minBytes) {
        stop(updatetexts::tooSlow(m_request.slow.minBytes, m_request.slow.windowMs));
        return;
    }
    m_windowStart = m_received;
}

void HttpFetch::onNoHead() {
    if (!m_reply)
        return;
    // An error answer whose body goes on: its status says all there is.
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 400) {
        m_outcome.httpStatus = status;
        if (status == 429)
            m_outcome.retryAfter =
                retryAfter(m_reply->rawHeader("Retry-After"), QDateTime::currentDateTimeUtc());
        return stop(updatetexts::httpStatus(status));
    }
    stop(updatetexts::noAnswer(m_request.slow.windowMs));
}

void HttpFetch::stop(const QString &reason) {
    if (!m_reply)
        return;
    m_reply->disconnect(this);
    m_reply->abort();
    fail(reason);
}

void HttpFetch::onReadyRead() {
    if (!m_reply || !m_file || !m_reply->isOpen())
        return;
    // At most the read buffer's worth.
    const QByteArray chunk = m_reply->readAll();
    m_received += chunk.size();
    // Only the body of the final answer is stored; redirect and error bodies are not.
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status < 200 || status > 299)
        return;
    if (m_writeFailed)
        return;
    if (m_written + chunk.size() > m_request.maxBytes) {
        stop(updatetexts::tooLarge(m_request.maxBytes));
        return;
    }
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
    m_outcome.httpStatus = status;
    if (m_writeFailed)
        return fail(updatetexts::cannotWrite(writeError()));
    if (status >= 400) {
        if (status == 429)
            m_outcome.retryAfter =
                retryAfter(m_reply->rawHeader("Retry-After"), QDateTime::currentDateTimeUtc());
        return fail(updatetexts::httpStatus(status));
    }
    if (m_reply->error() != QNetworkReply::NoError) {
        if (m_reply->error() == QNetworkReply::RemoteHostClosedError && length.isValid())
            return fail(updatetexts::cutShort(m_written, length.toLongLong()));
        return fail(networkReason(m_reply));
    }
    if (status < 200 || status > 299)
        return fail(updatetexts::httpStatus(status));
    if (length.isValid() && length.toLongLong() != m_written)
        return fail(updatetexts::cutShort(m_written, length.toLongLong()));
    if (!m_file->flush())
        return fail(updatetexts::cannotWrite(writeError()));
    m_file->close();
    // On disk before anyone renames it into place.
    const QByteArray path = QFile::encodeName(m_request.target);
    const QString synced = platform::syncFile(path);
    if (!synced.isEmpty())
        return fail(updatetexts::cannotWrite(synced));
    if (m_request.verify) {
        const QString refused = m_request.verify(m_request.target);
        if (!refused.isEmpty()) {
            m_outcome.refusedByCheck = true;
            return fail(refused);
        }
    }
    FetchOutcome outcome = m_outcome;
    outcome.ok = true;
    outcome.bytes = m_written;
    platform::fileIdentity(path, &outcome.device, &outcome.inode);
    const quint64 id = m_id;
    m_doneId = id;
    m_donePath = m_request.target;
    clear();
    emit finished(id, outcome);
}

void HttpFetch::fail(const QString &reason) {
    const quint64 id = m_id;
    FetchOutcome outcome = m_outcome;
    outcome.ok = false;
    outcome.reason = reason;
    if (m_file) {
        m_file->close();
        m_file->remove();
    }
    clear();
    emit finished(id, outcome);
}

void HttpFetch::abort(quint64 id) {
    if (id != 0 && id == m_doneId) {
        // Finished, but its owner has given it up before hearing so: nothing may install it.
        QFile::remove(m_donePath);
        m_doneId = 0;
        m_donePath.clear();
        return;
    }
    if (!m_reply || id != m_id)
        return;
    m_reply->disconnect(this);
    m_reply->abort();
    fail(QStringLiteral("Cancelled"));
}

FetchThread::FetchThread(QObject *parent) : QObject(parent), m_fetch(new HttpFetch) {
    qRegisterMetaType<FetchOutcome>();
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

quint64 FetchThread::start(const FetchRequest &request) {
    const quint64 id = m_nextId++;
    HttpFetch *fetch = m_fetch;
    QMetaObject::invokeMethod(
        fetch, [=] { fetch->fetch(id, request); }, Qt::QueuedConnection);
    return id;
}

void FetchThread::abort(quint64 id) {
    HttpFetch *fetch = m_fetch;
    QMetaObject::invokeMethod(
        fetch, [=] { fetch->abort(id); }, Qt::QueuedConnection);
}
