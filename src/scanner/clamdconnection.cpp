#include "scanner/clamdconnection.h"

#include "platform/clamdpeer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <string_view>

namespace scanner {

namespace {

constexpr size_t kChunk = 64 * 1024;

bool endsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

}  // namespace

ClamdAddress ClamdAddress::parse(const std::string &text) {
    ClamdAddress address;
    address.text = text;
    const size_t colon = text.rfind(':');
    const bool numericPort = colon != std::string::npos && colon + 1 < text.size() &&
                             text.find_first_not_of("0123456789", colon + 1) == std::string::npos;
    if (text.empty() || text[0] == '/' || !numericPort) {
        address.path = text;
        return address;
    }
    address.local = false;
    address.host = text.substr(0, colon);
    if (address.host.size() > 2 && address.host.front() == '[' && address.host.back() == ']')
        address.host = address.host.substr(1, address.host.size() - 2);
    address.port = text.substr(colon + 1);
    return address;
}

bool ClamdConnection::open() {
    close();
    m_nextId = 1;
    m_buffer.clear();
    m_waited = {};
    if (m_address.local) {
        sockaddr_un sa{};
        sa.sun_family = AF_UNIX;
        if (m_address.path.size() >= sizeof sa.sun_path)
            return false;
        memcpy(sa.sun_path, m_address.path.data(), m_address.path.size());
        m_socket = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        limitSendTime();
        if (m_socket < 0 || connect(m_socket, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0) {
            close();
            return false;
        }
        if (!platform::clamdPeerTrusted(m_socket)) {
            m_untrusted = true;
            close();
            return false;
        }
    } else {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo *found = nullptr;
        if (getaddrinfo(m_address.host.c_str(), m_address.port.c_str(), &hints, &found) != 0)
            return false;
        for (addrinfo *ai = found; ai && m_socket < 0; ai = ai->ai_next) {
            m_socket = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
            limitSendTime();
            if (m_socket >= 0 && connect(m_socket, ai->ai_addr, ai->ai_addrlen) != 0)
                close();
        }
        freeaddrinfo(found);
        if (m_socket < 0)
            return false;
    }
    static constexpr char kSession[] = "zIDSESSION";
    if (!sendAll(kSession, sizeof kSession)) {
        close();
        return false;
    }
    return true;
}

// A host that does not answer the connection, or a clamd that stops reading a stream, must
// not hold the scan for ever (on Linux the send time-out bounds connect() too).
void ClamdConnection::limitSendTime() {
    if (m_socket < 0)
        return;
    timeval tv{m_timeoutSeconds, 0};
    setsockopt(m_socket, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

void ClamdConnection::close() {
    if (m_socket >= 0)
        ::close(m_socket);
    m_socket = -1;
}

bool ClamdConnection::sendAll(const char *data, size_t size) {
    while (size > 0) {
        const ssize_t sent = send(m_socket, data, size, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

unsigned ClamdConnection::sendFile(int fd) {
    if (m_socket < 0)
        return 0;
    const bool sent = m_address.local ? sendDescriptor(fd) : sendStream(fd);
    return sent ? m_nextId++ : 0;
}

bool ClamdConnection::sendDescriptor(int fd) {
    // The command and the descriptor in one packet; clamd reads the file as opened here.
    static constexpr char kCommand[] = "zFILDES";
    char command[sizeof kCommand + 1];
    memcpy(command, kCommand, sizeof kCommand);
    command[sizeof kCommand] = 'x';  // the dummy byte that carries the descriptor
    iovec iov{command, sizeof command};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr *cmsg = CMSG_FIRSTHDR(&msg);
    cmsg->cmsg_level = SOL_SOCKET;
    cmsg->cmsg_type = SCM_RIGHTS;
    cmsg->cmsg_len = CMSG_LEN(sizeof(int));
    memcpy(CMSG_DATA(cmsg), &fd, sizeof fd);
    ssize_t sent;
    do
        sent = sendmsg(m_socket, &msg, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    if (sent <= 0)
        return false;
    return static_cast<size_t>(sent) == sizeof command ||
           sendAll(command + sent, sizeof command - static_cast<size_t>(sent));
}

bool ClamdConnection::sendStream(int fd) {
    static constexpr char kCommand[] = "zINSTREAM";
    if (!sendAll(kCommand, sizeof kCommand))
        return false;
    static thread_local char chunk[4 + kChunk];
    off_t offset = 0;
    for (;;) {
        const ssize_t got = pread(fd, chunk + 4, kChunk, offset);
        if (got < 0 && errno == EINTR)
            continue;
        // A file that cannot be read further ends its stream there; clamd scans what came.
        const uint32_t length = got > 0 ? htonl(static_cast<uint32_t>(got)) : 0;
        memcpy(chunk, &length, 4);
        if (!sendAll(chunk, 4 + static_cast<size_t>(got > 0 ? got : 0)))
            return false;
        if (got <= 0)
            return true;
        offset += got;
    }
}

ClamdConnection::ReadResult ClamdConnection::readReply(std::string *line) {
    using Clock = std::chrono::steady_clock;
    for (;;) {
        const size_t end = m_buffer.find('\0');
        if (end != std::string::npos) {
            *line = m_buffer.substr(0, end);
            m_buffer.erase(0, end + 1);
            m_waited = {};
            return ReadResult::Line;
        }
        if (m_socket < 0)
            return ReadResult::Closed;
        if (m_waited >= std::chrono::seconds(m_timeoutSeconds)) {
            m_waited = {};
            return ReadResult::TimedOut;
        }
        // The time-out bounds the wait for a whole reply, so a peer that trickles bytes
        // without ever ending one cannot hold the scan. Waited in slices of at most a second:
        // a scanner stopped (SIGSTOP) for longer than the time-out finds its deadline passed
        // when it goes on, and must still give clamd its full time, so only seconds spent
        // running are counted.
        pollfd pfd{m_socket, POLLIN, 0};
        const Clock::time_point sliceStart = Clock::now();
        const int ready = poll(&pfd, 1, 1000);
        m_waited += std::min<Clock::duration>(Clock::now() - sliceStart, std::chrono::seconds(1));
        if (ready <= 0)
            continue;
        char data[4096];
        const ssize_t got = recv(m_socket, data, sizeof data, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            close();
            return ReadResult::Closed;
        }
        m_buffer.append(data, static_cast<size_t>(got));
        // Replies are short; a line without an end this long is not clamd speaking.
        if (m_buffer.size() > 64 * 1024 && m_buffer.find('\0') == std::string::npos) {
            *line = m_buffer;
            m_buffer.clear();
            m_waited = {};
            return ReadResult::Line;
        }
    }
}

bool ClamdReply::parse(const std::string &line, ClamdReply *reply) {
    std::string_view text = line;
    const size_t colon = text.find(": ");
    if (colon == std::string_view::npos || colon == 0)
        return false;
    unsigned id = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + colon, id);
    if (ec != std::errc() || ptr != text.data() + colon || id == 0)
        return false;
    text.remove_prefix(colon + 2);
    reply->id = id;
    if (text.substr(0, 29) == "INSTREAM size limit exceeded.") {
        reply->kind = Kind::SizeLimit;
        reply->text = "Size limit exceeded";
        return true;
    }
    // The subject (stream, or the descriptor's name) ends at the last ": " before the result.
    const size_t split = text.rfind(": ");
    const std::string_view result = split == std::string_view::npos ? text : text.substr(split + 2);
    if (result == "OK") {
        reply->kind = Kind::Ok;
        reply->text.clear();
    } else if (endsWith(result, " FOUND") && result.size() > 6) {
        reply->kind = Kind::Found;
        reply->text = std::string(result.substr(0, result.size() - 6));
    } else if (endsWith(result, " ERROR")) {
        reply->kind = Kind::Error;
        reply->text = std::string(result.substr(0, result.size() - 6));
    } else {
        return false;
    }
    return true;
}

}  // namespace scanner
