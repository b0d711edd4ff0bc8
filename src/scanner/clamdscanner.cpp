#include "scanner/clamdscanner.h"

#include <clamav.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace scanner {

ClamdScanner::~ClamdScanner() {
    for (auto &[id, pending] : m_pending)
        close(pending.fd);
    for (Pending &pending : m_unsent)
        close(pending.fd);
}

std::vector<std::string> ClamdScanner::unanswered() const {
    std::vector<std::string> paths;
    for (const auto &[id, pending] : m_pending)
        paths.push_back(pending.path);
    for (const Pending &pending : m_unsent)
        paths.push_back(pending.path);
    return paths;
}

// The checks the own engine makes before it scans, with the same lines.
int ClamdScanner::openChecked(const std::string &path, uint64_t *size) {
    struct stat sb {};
    if (stat(path.c_str(), &sb) == 0 && sb.st_size == 0) {
        m_out.out(path + ": Empty file");
        return -1;
    }
    if (geteuid() != 0 && access(path.c_str(), R_OK) != 0) {
        m_out.out(path + ": Access denied");
        ++m_stats.errors;
        return -1;
    }
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        m_out.warning("Can't open file " + path + ": " + strerror(errno));
        ++m_stats.errors;
        return -1;
    }
    if (fstat(fd, &sb) != 0 || !S_ISREG(sb.st_mode)) {
        close(fd);
        m_out.warning(path + ": Not supported file type");
        ++m_stats.errors;
        return -1;
    }
    *size = static_cast<uint64_t>(sb.st_size);
    return fd;
}

bool ClamdScanner::send(Pending pending) {
    if (!m_connection.isOpen()) {
        if (!m_connection.open()) {
            m_unsent.push_back(std::move(pending));
            return false;
        }
        m_answeredSinceConnect = false;
        ++m_sessions;
    }
    const unsigned id = m_connection.sendFile(pending.fd);
    if (id == 0) {
        m_unsent.push_back(std::move(pending));
        return false;
    }
    m_pending.emplace(id, std::move(pending));
    return true;
}

// A session clamd ended after answering (its idle time-out, or a stream over its limit):
// the requests it left unanswered go again on a new session.
bool ClamdScanner::resendAll() {
    m_connection.close();
    for (auto &[id, pending] : m_pending)
        m_unsent.push_back(std::move(pending));
    m_pending.clear();
    std::vector<Pending> again = std::move(m_unsent);
    m_unsent.clear();
    for (size_t n = 0; n < again.size(); ++n) {
        if (!send(std::move(again[n]))) {
            for (size_t rest = n + 1; rest < again.size(); ++rest)
                m_unsent.push_back(std::move(again[rest]));
            return false;
        }
    }
    return true;
}

// A session ended without a single answer is tried again, a few times in a row at most: a
// clamd that drops every session unanswered counts as stopped answering.
bool ClamdScanner::mayResend() {
    if (m_sessions == 0)
        return false;  // never connected: clamd is not there
    if (!m_answeredSinceConnect && ++m_fruitlessSessions > kFruitlessSessions)
        return false;
    return true;
}

bool ClamdScanner::run(WorkQueue &queue) {
    bool queueClosed = false;
    for (;;) {
        while (!queueClosed && m_unsent.empty() && m_pending.size() < kInFlight) {
            std::optional<std::string> path =
                m_pending.empty() ? queue.pop() : queue.tryPop(&queueClosed);
            if (!path) {
                queueClosed = queueClosed || m_pending.empty();
                break;
            }
            uint64_t size = 0;
            const int fd = openChecked(*path, &size);
            if (fd >= 0)
                send(Pending{std::move(*path), fd, size});  // kept in m_unsent when it fails
        }
        if (!m_unsent.empty() && m_pending.empty()) {
            // A session that clamd ended (idle, or a stream it stopped waiting for while this
            // process was held) is opened again.
            if (!mayResend() || !resendAll())
                return false;
            continue;
        }
        if (m_pending.empty()) {
            if (queueClosed)
                return true;
            continue;
        }
        if (!receive())
            return false;
    }
}

bool ClamdScanner::receive() {
    std::string line;
    switch (m_connection.readReply(&line)) {
        case ClamdConnection::ReadResult::TimedOut:
            return false;
        case ClamdConnection::ReadResult::Closed:
            return mayResend() && resendAll();
        case ClamdConnection::ReadResult::Line:
            break;
    }
    ClamdReply reply;
    const auto it = ClamdReply::parse(line, &reply) ? m_pending.find(reply.id) : m_pending.end();
    if (it == m_pending.end()) {
        m_connection.close();
        return false;
    }
    m_answeredSinceConnect = true;
    m_fruitlessSessions = 0;
    answer(it->second, reply);
    close(it->second.fd);
    m_pending.erase(it);
    return true;
}

void ClamdScanner::answer(const Pending &pending, const ClamdReply &reply) {
    ++m_stats.files;
    m_stats.blocksRead += pending.size / CL_COUNT_PRECISION;
    switch (reply.kind) {
        case ClamdReply::Kind::Ok:
            m_stats.blocksScanned += pending.size / CL_COUNT_PRECISION;
            m_out.out(pending.path + ": OK");
            break;
        case ClamdReply::Kind::Found:
            m_stats.blocksScanned += pending.size / CL_COUNT_PRECISION;
            ++m_stats.infected;
            m_out.out(pending.path + ": " + reply.text + " FOUND");
            break;
        case ClamdReply::Kind::Error:
        case ClamdReply::Kind::SizeLimit:
            ++m_stats.errors;
            m_out.out(pending.path + ": " + reply.text + " ERROR");
            break;
    }
}

}  // namespace scanner
