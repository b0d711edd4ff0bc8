#include "clamdprocess.h"

#include <algorithm>
#include <chrono>
#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

#include "platform/clamdclient.h"

ClamdProcess::ClamdProcess(const QByteArray &folder, const QByteArray &database,
                           const QByteArray &streamMax, const QByteArray &extra)
    : m_socket(folder + "/clamd.sock"), m_port(freeTcpPort()) {
    QDir().mkpath(QFile::decodeName(folder));
    QFile config(QFile::decodeName(folder + "/clamd.conf"));
    if (!config.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", config.fileName().toLocal8Bit().constData());
    config.write("DatabaseDirectory " + database + "\nLocalSocket " + m_socket +
                 "\nLocalSocketMode 666\nTCPSocket " + QByteArray::number(m_port) +
                 "\nTCPAddr 127.0.0.1\nForeground yes\nLogFile " + folder +
                 "/clamd.log\nStreamMaxLength " + streamMax + "\n" + extra);
    config.close();
    m_process.start(
        QStringLiteral("clamd"),
        {QStringLiteral("--foreground"), QStringLiteral("--config-file=") + config.fileName()});
}

ClamdProcess::~ClamdProcess() {
    m_process.kill();
    m_process.waitForFinished(10000);
}

bool ClamdProcess::installed() {
    return !QStandardPaths::findExecutable(QStringLiteral("clamd"), {QStringLiteral("/usr/sbin")})
                .isEmpty() ||
           !QStandardPaths::findExecutable(QStringLiteral("clamd")).isEmpty();
}

bool ClamdProcess::waitReady() {
    QByteArray reply;
    for (int tries = 0; tries < 600 && m_process.state() != QProcess::NotRunning; ++tries) {
        if (platform::clamdRequest(m_socket, "PING", 2000, &reply) && reply == "PONG")
            return true;
        QTest::qWait(100);
    }
    return false;
}

void ClamdProcess::kill() {
    ::kill(static_cast<pid_t>(m_process.processId()), SIGKILL);
}

int ClamdProcess::freeTcpPort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr *>(&a), &size);
    close(s);
    return ntohs(a.sin_port);
}

namespace {

int listenLocal(const QByteArray &path, uid_t owner) {
    const int s = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::copy(path.begin(), path.end(), a.sun_path);
    // The listening user is what a client learns of the server (SO_PEERCRED).
    const uid_t was = geteuid();
    const bool listening = bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
                           (owner == 0 || seteuid(owner) == 0) && listen(s, 16) == 0;
    if (geteuid() != was && seteuid(was) != 0)
        qFatal("cannot return to user %u", unsigned(was));
    if (!listening) {
        close(s);
        return -1;
    }
    chmod(path.constData(), 0666);
    return s;
}

}  // namespace

FakeClamd::FakeClamd(const QByteArray &path, QByteArray answer, int trickleMs, uid_t owner)
    : m_listener(listenLocal(path, owner)), m_answer(std::move(answer)), m_trickleMs(trickleMs) {
    m_thread = std::thread([this] {
        std::vector<int> clients;
        for (;;) {
            const int client = accept(m_listener, nullptr, nullptr);
            if (client < 0)
                break;
            if (m_trickleMs > 0) {
                m_tricklers.emplace_back([this, client] {
                    for (qsizetype n = 0; !m_stopping; n = (n + 1) % m_answer.size()) {
                        if (send(client, m_answer.constData() + n, 1, MSG_NOSIGNAL) != 1)
                            break;
                        std::this_thread::sleep_for(std::chrono::milliseconds(m_trickleMs));
                    }
                    close(client);
                });
                continue;
            }
            clients.push_back(client);
            char buffer[256];
            if (!m_answer.isEmpty() && read(client, buffer, sizeof buffer) > 0)
                (void)!write(client, m_answer.constData(), static_cast<size_t>(m_answer.size()));
        }
        for (int client : clients)
            close(client);
    });
}

FakeClamd::~FakeClamd() {
    m_stopping = true;
    shutdown(m_listener, SHUT_RDWR);
    m_thread.join();
    for (std::thread &trickler : m_tricklers)
        trickler.join();
    close(m_listener);
}
