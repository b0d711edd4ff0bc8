#pragma once

#include <atomic>
#include <sys/types.h>
#include <thread>
#include <vector>

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>

// A real clamd (`clamd --foreground`, Debian's clamav-daemon) on a private configuration in
// folder: a local socket and a TCP port on 127.0.0.1. extra holds further configuration lines.
class ClamdProcess {
public:
    ClamdProcess(const QByteArray &folder, const QByteArray &database,
                 const QByteArray &streamMax = "200M", const QByteArray &extra = {});
    ~ClamdProcess();
    ClamdProcess(const ClamdProcess &) = delete;
    ClamdProcess &operator=(const ClamdProcess &) = delete;

    // Waits until PING is answered with PONG on the local socket (databases loaded).
    bool waitReady();
    void kill();
    QString localAddress() const { return QFile::decodeName(m_socket); }
    QString tcpAddress() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }
    qint64 pid() const { return m_process.processId(); }

    static bool installed();
    // A TCP port on 127.0.0.1 that nothing listens on right now.
    static int freeTcpPort();

private:
    QProcess m_process;
    QByteArray m_socket;
    int m_port;
};

// A server on a local socket that takes requests and never answers (answer empty) or answers
// each with answer, which is not what clamd would say. With trickleMs, it sends answer's bytes
// one at a time every trickleMs, over and over, so that a reply never ends. With owner, the
// socket is listened on as that user, as another user's clamd would be.
class FakeClamd {
public:
    FakeClamd(const QByteArray &path, QByteArray answer, int trickleMs = 0, uid_t owner = 0);
    ~FakeClamd();
    FakeClamd(const FakeClamd &) = delete;
    FakeClamd &operator=(const FakeClamd &) = delete;

private:
    int m_listener;
    QByteArray m_answer;
    int m_trickleMs;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
    std::vector<std::thread> m_tricklers;
};
