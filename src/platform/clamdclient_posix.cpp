#include "platform/clamdclient.h"
#include "platform/clamdpeer.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? int(left) : 0;
}

// Waits for events on fd until the deadline; false when they did not come in time.
bool waitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd pfd{fd, events, 0};
        const int ready = poll(&pfd, 1, msLeft(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        return ready > 0;
    }
}

// A non-blocking connection to one socket address, made within the deadline.
int connectTo(const sockaddr *address, socklen_t size, int family, Clock::time_point deadline) {
    const int fd = socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    if (connect(fd, address, size) == 0)
        return fd;
    int error = 0;
    socklen_t length = sizeof error;
    if (errno == EINPROGRESS && waitFor(fd, POLLOUT, deadline) &&
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0)
        return fd;
    close(fd);
    return -1;
}

int connectAddress(const QByteArray &address, Clock::time_point deadline) {
    if (address.startsWith('/')) {
        sockaddr_un sa{};
        sa.sun_family = AF_UNIX;
        if (size_t(address.size()) >= sizeof sa.sun_path)
            return -1;
        memcpy(sa.sun_path, address.constData(), size_t(address.size()));
        const int fd = connectTo(reinterpret_cast<sockaddr *>(&sa), sizeof sa, AF_UNIX, deadline);
        if (fd >= 0 && !clamdPeerTrusted(fd)) {
            close(fd);
            return -1;
        }
        return fd;
    }
    const qsizetype colon = address.lastIndexOf(':');
    if (colon <= 0)
        return -1;
    QByteArray host = address.left(colon);
    if (host.size() > 2 && host.startsWith('[') && host.endsWith(']'))
        host = host.mid(1, host.size() - 2);
    const QByteArray port = address.mid(colon + 1);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (getaddrinfo(host.constData(), port.constData(), &hints, &found) != 0)
        return -1;
    int fd = -1;
    for (addrinfo *ai = found; ai && fd < 0 && msLeft(deadline) > 0; ai = ai->ai_next)
        fd = connectTo(ai->ai_addr, ai->ai_addrlen, ai->ai_family, deadline);
    freeaddrinfo(found);
    return fd;
}

bool exchange(const QByteArray &address, const QByteArray &command, Clock::time_point deadline,
              QByteArray *reply) {
    const int fd = connectAddress(address, deadline);
    if (fd < 0)
        return false;
    QByteArray request("z", 1);
    request.append(command).append('\0');
    qsizetype sent = 0;
    while (sent < request.size()) {
        if (!waitFor(fd, POLLOUT, deadline))
            break;
        const ssize_t n =
            send(fd, request.constData() + sent, size_t(request.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            break;
        sent += n;
    }
    QByteArray answer;
    bool complete = false;
    // A reply to these commands is short; anything longer is not clamd speaking.
    while (sent == request.size() && !complete && answer.size() < 4096 &&
           waitFor(fd, POLLIN, deadline)) {
        char buffer[512];
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            break;
        answer.append(buffer, n);
        complete = answer.contains('\0');
    }
    close(fd);
    if (!complete)
        return false;
    *reply = answer.left(answer.indexOf('\0'));
    return true;
}

}  // namespace

bool clamdRequest(const QByteArray &address, const QByteArray &command, int timeoutMs,
                  QByteArray *reply) {
    // The exchange runs on a thread of its own: a name look-up has no time-out of its own.
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        bool answered = false;
        QByteArray reply;
    };
    auto shared = std::make_shared<Shared>();
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::thread([shared, address, command, deadline] {
        QByteArray answer;
        const bool answered = exchange(address, command, deadline, &answer);
        std::lock_guard lock(shared->mutex);
        shared->finished = true;
        shared->answered = answered;
        shared->reply = answer;
        shared->done.notify_all();
    }).detach();
    std::unique_lock lock(shared->mutex);
    shared->done.wait_until(lock, deadline + std::chrono::milliseconds(50),
                            [&shared] { return shared->finished; });
    if (!shared->finished || !shared->answered)
        return false;
    *reply = shared->reply;
    return true;
}

}  // namespace platform
