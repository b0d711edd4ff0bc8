#include "ui/shell/singleinstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>

namespace {
constexpr char activateMessage[] = "activate\n";
}

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
                connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                    if (socket->readAll().contains(activateMessage))
                        emit activationRequested();
                });
                connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    // Without the socket the program still runs alone; later starts then only end.
    return true;
}

bool SingleInstance::activateRunning(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (true) {
        QLocalSocket socket;
        socket.connectToServer(m_serverName);
        if (socket.waitForConnected(int(qMax<qint64>(1, deadline.remainingTime())))) {
            socket.write(activateMessage);
            const bool sent = socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
            return sent;
        }
        if (deadline.hasExpired())
            return false;
        QThread::msleep(100);  // the running program may not be listening yet
    }
}
