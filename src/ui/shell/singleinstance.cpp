#include "ui/shell/singleinstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>

#include "platform/localpeer.h"

namespace {

// The messages of a later start: "activate\n", or "scan\n" followed by each path's bytes
// ended by a zero byte, and one more zero byte after the last (paths never hold one).
// A scan request, or "scheduled\n" (run the scheduled scan), is answered with "ok" or
// "refused:" and the reason (the scheduled scan also with "failed:" and the reason), ended by a
// zero byte.
constexpr char activateMessage[] = "activate\n";
constexpr char scanMessage[] = "scan\n";
constexpr char scheduledMessage[] = "scheduled\n";
constexpr char okAnswer[] = "ok";
constexpr char refusedAnswer[] = "refused:";
constexpr char failedAnswer[] = "failed:";
// More than any real answer; a longer one is not read to its end.
constexpr qint64 maxAnswer = 64 * 1024;
// The socket's name: the prefix and 16 hex digits.
constexpr char socketPrefix[] = "vizavuz-antivirus-";
constexpr qsizetype socketNameLength = qsizetype(sizeof socketPrefix) - 1 + 16;

// Where a scan request that begins `bytes` ends: the zero byte after the header or after
// another zero byte, looked for from `from` on; -1 while it has not come. Each byte is looked
// at once however the request arrives, so that a long one is not read again and again.
qsizetype scanRequestEnd(const QByteArray &bytes, qsizetype from) {
    const qsizetype start = qsizetype(sizeof scanMessage) - 1;
    for (qsizetype at = qMax(from, start); (at = bytes.indexOf('\0', at)) >= 0; ++at)
        if (at == start || bytes.at(at - 1) == '\0')
            return at;
    return -1;
}

// The paths of a complete scan request that ends at `end`.
QStringList scanRequestPaths(const QByteArray &bytes, qsizetype end) {
    QStringList paths;
    for (qsizetype at = qsizetype(sizeof scanMessage) - 1; at < end;) {
        const qsizetype next = bytes.indexOf('\0', at);
        paths << QFile::decodeName(bytes.mid(at, next - at));
        at = next + 1;
    }
    return paths;
}

}  // namespace

SingleInstance::SingleInstance(const QString &folder, QObject *parent)
    : QObject(parent), m_lockPath(QDir(folder).filePath(QStringLiteral("instance.lock"))) {
    QDir().mkpath(folder);
    // The socket's name follows the lock's path, so that every home (and every test's private
    // one) has its own program.
    const QByteArray hash =
        QCryptographicHash::hash(QFile::encodeName(m_lockPath), QCryptographicHash::Sha1);
    const QString name = QString::fromLatin1(socketPrefix + hash.toHex().left(16));
    const QString place = platform::privateSocketFolder(socketNameLength, &m_problem);
    if (!place.isEmpty())
        m_socketPath = place + QLatin1Char('/') + name;
}

QString SingleInstance::requestTooLargeText(qint64 bytes) {
    const QString limit =
        QStringLiteral("the limit of %1 MiB (%2 bytes)").arg(maxRequest >> 20).arg(maxRequest);
    if (bytes <= 0)
        return QStringLiteral(
                   "the request is too large: over %1. Give fewer paths, or the "
                   "folders that hold them.")
            .arg(limit);
    return QStringLiteral(
               "the request is too large: its paths make %1 bytes, over %2. Give "
               "fewer paths, or the folders that hold them.")
        .arg(bytes)
        .arg(limit);
}

SingleInstance::~SingleInstance() {
    if (m_server)
        m_server->close();
}

bool SingleInstance::heldByAnother(const QString &folder) {
    QLockFile lock(QDir(folder).filePath(QStringLiteral("instance.lock")));
    lock.setStaleLockTime(0);
    if (lock.tryLock(0)) {
        lock.unlock();
        return false;
    }
    return lock.error() == QLockFile::LockFailedError;
}

bool SingleInstance::claim() {
    m_lock = std::make_unique<QLockFile>(m_lockPath);
    m_lock->setStaleLockTime(0);  // held for the program's life; only a dead holder's lock is stale
    if (!m_lock->tryLock(0)) {
        m_lock.reset();
        return false;
    }
    // Without the socket the program still runs alone; later starts then say why they cannot
    // reach it.
    if (m_socketPath.isEmpty())
        return true;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left by a program that crashed is in the way; the lock says it is not in use,
    // and the folder is the user's alone.
    QLocalServer::removeServer(m_socketPath);
    if (!m_server->listen(m_socketPath)) {
        m_problem = QStringLiteral("the socket %1 cannot be made: %2")
                        .arg(m_socketPath, m_server->errorString());
        return true;
    }
    // Later starts may run with another environment (no XDG_RUNTIME_DIR under ssh or cron, another
    // TMPDIR) and so name another place; the socket's real place is kept beside the lock for them.
    QSaveFile place(m_lockPath + QStringLiteral(".socket"));
    if (place.open(QIODevice::WriteOnly)) {
        place.write(QFile::encodeName(m_socketPath));
        place.commit();
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection())
            accept(socket);
    });
    return true;
}

void SingleInstance::accept(QLocalSocket *socket) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    // Only the user's own programs are heard.
    unsigned peer = 0;
    if (!platform::peerUserId(socket->socketDescriptor(), &peer) ||
        peer != platform::currentUserId()) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    // What has come so far, and how far of it a scan request's end was looked for.
    auto received = std::make_shared<Received>();
    connect(socket, &QLocalSocket::readyRead, this,
            [this, socket, received] { receive(socket, *received); });
    if (socket->bytesAvailable() > 0)
        receive(socket, *received);
}

void SingleInstance::receive(QLocalSocket *socket, Received &received) {
    QByteArray &bytes = received.bytes;
    bytes += socket->readAll();
    if (bytes.startsWith(scanMessage)) {
        const qsizetype end = scanRequestEnd(bytes, received.searched);
        if (end >= 0) {
            const QStringList paths = scanRequestPaths(bytes, end);
            bytes.clear();  // what came after the request's end is not read, as before
            received.searched = 0;
            if (m_scanHandler)
                answer(socket, paths);
            else
                m_pending.push_back({socket, paths});
        } else if (bytes.size() > maxRequest) {
            // Told, so that the asking start does not take the silence for a program that
            // does not answer.
            disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
            bytes.clear();
            reply(socket, refusedAnswer + requestTooLargeText().toUtf8());
            socket->abort();  // the short answer is out; the rest of the stream is not read
        } else {
            received.searched = qMax<qsizetype>(0, bytes.size() - 1);
        }
        return;
    }
    if (bytes.startsWith(scheduledMessage)) {
        socket->readAll();
        if (m_scheduledHandler)
            answerScheduled(socket);
        else
            m_pending.push_back({socket, {}, true});
        return;
    }
    const auto beginsOf = [&bytes](const char *message) {
        return bytes.size() < qsizetype(qstrlen(message)) && QByteArray(message).startsWith(bytes);
    };
    if (beginsOf(activateMessage) || beginsOf(scanMessage) || beginsOf(scheduledMessage))
        return;  // the rest is on its way
    const bool activate = bytes.contains(activateMessage);
    bytes.clear();
    if (activate)
        emit activationRequested();
}

void SingleInstance::answer(QLocalSocket *socket, const QStringList &paths) {
    // A relative path would be taken from this program's folder, not the asker's.
    QString refusal;
    for (const QString &path : paths)
        if (!QDir::isAbsolutePath(path))
            refusal = QStringLiteral("cannot scan '%1': not an absolute path").arg(path);
    if (refusal.isEmpty())
        refusal = m_scanHandler(paths);
    if (!socket)
        return;  // the asking start gave up waiting
    reply(socket, refusal.isEmpty() ? QByteArray(okAnswer) : refusedAnswer + refusal.toUtf8());
}

void SingleInstance::answerScheduled(QLocalSocket *socket) {
    bool failed = false;
    const QString refusal = m_scheduledHandler(&failed);
    if (!socket)
        return;  // the asking start gave up waiting
    if (refusal.isEmpty())
        reply(socket, okAnswer);
    else
        reply(socket, (failed ? failedAnswer : refusedAnswer) + refusal.toUtf8());
}

void SingleInstance::reply(QLocalSocket *socket, QByteArray message) {
    message.replace('\0', ' ');
    message += '\0';
    socket->write(message);
    socket->flush();
}

void SingleInstance::setScanHandler(ScanHandler handler) {
    m_scanHandler = std::move(handler);
    std::vector<Pending> pending;
    pending.swap(m_pending);
    for (const Pending &request : pending) {
        if (!request.scheduled)
            answer(request.socket, request.paths);
        else
            m_pending.push_back(request);
    }
}

void SingleInstance::setScheduledHandler(ScheduledHandler handler) {
    m_scheduledHandler = std::move(handler);
    std::vector<Pending> pending;
    pending.swap(m_pending);
    for (const Pending &request : pending) {
        if (request.scheduled)
            answerScheduled(request.socket);
        else
            m_pending.push_back(request);
    }
}

bool SingleInstance::connectToRunning(QLocalSocket &socket, int timeoutMs) {
    // The place the running program wrote beside the lock comes first; the place this start
    // would use follows. Whoever answers at either is checked below.
    QStringList places;
    QFile placeFile(m_lockPath + QStringLiteral(".socket"));
    if (placeFile.open(QIODevice::ReadOnly)) {
        const QString written = QFile::decodeName(placeFile.read(4096));
        if (written.startsWith(QLatin1Char('/')))
            places << written;
    }
    if (!m_socketPath.isEmpty() && !places.contains(m_socketPath))
        places << m_socketPath;
    if (places.isEmpty())
        return false;  // problem() says why
    const QDeadlineTimer deadline(timeoutMs);
    QString connected;
    while (connected.isEmpty()) {
        for (const QString &place : std::as_const(places)) {
            socket.connectToServer(place);
            const qint64 wait = qMax<qint64>(1, deadline.remainingTime() / places.size());
            if (socket.waitForConnected(int(qMin<qint64>(wait, 1000)))) {
                connected = place;
                break;
            }
            socket.abort();
        }
        if (!connected.isEmpty())
            break;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(100);  // the running program may not be listening yet
    }
    // Paths go only to the user's own program, and only its answers count.
    unsigned peer = 0;
    if (!platform::peerUserId(socket.socketDescriptor(), &peer)) {
        m_problem = QStringLiteral("the user at the other end of %1 cannot be told").arg(connected);
    } else if (peer != platform::currentUserId()) {
        m_problem = QStringLiteral("the socket %1 is served by another user (user id %2)")
                        .arg(connected)
                        .arg(peer);
    } else {
        return true;
    }
    socket.abort();
    return false;
}

bool SingleInstance::activateRunning(int timeoutMs) {
    QLocalSocket socket;
    if (!connectToRunning(socket, timeoutMs))
        return false;
    socket.write(activateMessage);
    const bool sent = socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
    return sent;
}

SingleInstance::ScanAnswer SingleInstance::requestScan(const QStringList &paths, QString *refusal,
                                                       int timeoutMs) {
    QByteArray message(scanMessage);
    for (const QString &path : paths)
        message += QFile::encodeName(path) + '\0';
    message += '\0';
    return request(message, refusal, timeoutMs);
}

SingleInstance::ScanAnswer SingleInstance::requestScheduledScan(QString *refusal, int timeoutMs) {
    return request(scheduledMessage, refusal, timeoutMs);
}

SingleInstance::ScanAnswer SingleInstance::request(const QByteArray &message, QString *refusal,
                                                   int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    if (message.size() > maxRequest) {
        m_problem = requestTooLargeText(message.size());
        return ScanAnswer::TooLarge;
    }
    QLocalSocket socket;
    // Connecting gets a few seconds, as for activation; the answer may take longer, while the
    // running program is still starting.
    if (!connectToRunning(socket, int(qMin<qint64>(3000, deadline.remainingTime()))))
        return ScanAnswer::Unreachable;
    socket.write(message);
    QByteArray reply;
    while (!reply.contains('\0')) {
        if (deadline.hasExpired() ||
            (socket.bytesAvailable() == 0 &&
             !socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))))
            return ScanAnswer::Unreachable;
        reply += socket.read(maxAnswer + 1 - reply.size());
        if (reply.size() > maxAnswer && !reply.contains('\0')) {
            m_problem = QStringLiteral("its answer was longer than %1 bytes").arg(maxAnswer);
            return ScanAnswer::Unreachable;
        }
    }
    reply.truncate(reply.indexOf('\0'));
    if (reply == okAnswer)
        return ScanAnswer::Scanning;
    const bool failed = reply.startsWith(failedAnswer);
    if (refusal)
        *refusal = QString::fromUtf8(
            reply.mid(qsizetype(failed ? sizeof failedAnswer : sizeof refusedAnswer) - 1));
    return failed ? ScanAnswer::Failed : ScanAnswer::Refused;
}
