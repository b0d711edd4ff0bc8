#include "ui/shell/singleinstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>

namespace {

// The messages of a later start: "activate\n", or "scan\n" followed by each path's bytes
// ended by a zero byte, and one more zero byte after the last (paths never hold one).
// A scan request is answered with "ok" or "refused:" and the reason, ended by a zero byte.
constexpr char activateMessage[] = "activate\n";
constexpr char scanMessage[] = "scan\n";
constexpr char okAnswer[] = "ok";
constexpr char refusedAnswer[] = "refused:";
// More than any real request; a stream this long that never ends is dropped.
constexpr qint64 maxRequest = 16 * 1024 * 1024;

// The paths of a complete scan request; false while it is incomplete.
bool parseScanRequest(const QByteArray &bytes, QStringList *paths) {
    const qsizetype start = qsizetype(sizeof scanMessage) - 1;
    for (qsizetype at = start;;) {
        const qsizetype end = bytes.indexOf('\0', at);
        if (end < 0)
            return false;
        if (end == at)
            return true;
        *paths << QFile::decodeName(bytes.mid(at, end - at));
        at = end + 1;
    }
}

}  // namespace

SingleInstance::SingleInstance(const QString &folder, QObject *parent)
    : QObject(parent), m_lockPath(QDir(folder).filePath(QStringLiteral("instance.lock"))) {
    QDir().mkpath(folder);
    // The socket's name follows the lock's path, so that every user (and every test's private
    // home) has its own.
    const QByteArray hash =
        QCryptographicHash::hash(QFile::encodeName(m_lockPath), QCryptographicHash::Sha1);
    m_serverName =
        QStringLiteral("vizavuz-antivirus-") + QString::fromLatin1(hash.toHex().left(16));
}

SingleInstance::~SingleInstance() {
    if (m_server)
        m_server->close();
}

bool SingleInstance::claim() {
    m_lock = std::make_unique<QLockFile>(m_lockPath);
    m_lock->setStaleLockTime(0);  // held for the program's life; only a dead holder's lock is stale
    if (!m_lock->tryLock(0)) {
        m_lock.reset();
        return false;
    }
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left by a program that crashed is in the way; the lock says it is not in use.
    QLocalServer::removeServer(m_serverName);
    if (m_server->listen(m_serverName)) {
        connect(m_server, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket *socket = m_server->nextPendingConnection()) {
                connect(socket, &QLocalSocket::readyRead, this,
                        [this, socket] { receive(socket); });
                connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    // Without the socket the program still runs alone; later starts then only end.
    return true;
}

void SingleInstance::receive(QLocalSocket *socket) {
    const QByteArray bytes = socket->peek(socket->bytesAvailable());
    if (bytes.startsWith(scanMessage)) {
        QStringList paths;
        if (parseScanRequest(bytes, &paths)) {
            socket->readAll();
            if (m_scanHandler)
                answer(socket, paths);
            else
                m_pending.push_back({socket, paths});
        } else if (bytes.size() > maxRequest) {
            socket->abort();
        }
        return;
    }
    const auto beginsOf = [&bytes](const char *message) {
        return bytes.size() < qsizetype(qstrlen(message)) && QByteArray(message).startsWith(bytes);
    };
    if (beginsOf(activateMessage) || beginsOf(scanMessage))
        return;  // the rest is on its way
    if (socket->readAll().contains(activateMessage))
        emit activationRequested();
}

void SingleInstance::answer(QLocalSocket *socket, const QStringList &paths) {
    const QString refusal = m_scanHandler(paths);
    if (!socket)
        return;  // the asking start gave up waiting
    QByteArray reply = refusal.isEmpty() ? QByteArray(okAnswer) : refusedAnswer + refusal.toUtf8();
    reply.replace('\0', ' ');
    reply += '\0';
    socket->write(reply);
    socket->flush();
}

void SingleInstance::setScanHandler(ScanHandler handler) {
    m_scanHandler = std::move(handler);
    std::vector<Pending> pending;
    pending.swap(m_pending);
    for (const Pending &request : pending)
        answer(request.socket, request.paths);
}

bool SingleInstance::connectToRunning(QLocalSocket &socket, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (true) {
        socket.connectToServer(m_serverName);
        if (socket.waitForConnected(int(qMax<qint64>(1, deadline.remainingTime()))))
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(100);  // the running program may not be listening yet
    }
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
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    // Connecting gets a few seconds, as for activation; the answer may take longer, while the
    // running program is still starting.
    if (!connectToRunning(socket, int(qMin<qint64>(3000, deadline.remainingTime()))))
        return ScanAnswer::Unreachable;
    QByteArray request(scanMessage);
    for (const QString &path : paths)
        request += QFile::encodeName(path) + '\0';
    request += '\0';
    socket.write(request);
    QByteArray reply;
    while (!reply.contains('\0')) {
        if (deadline.hasExpired() ||
            (socket.bytesAvailable() == 0 &&
             !socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))))
            return ScanAnswer::Unreachable;
        reply += socket.readAll();
    }
    reply.truncate(reply.indexOf('\0'));
    if (reply == okAnswer)
        return ScanAnswer::Scanning;
    if (refusal)
        *refusal = QString::fromUtf8(reply.mid(qsizetype(sizeof refusedAnswer) - 1));
    return ScanAnswer::Refused;
}
