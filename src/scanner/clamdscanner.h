#pragma once

#include "scanner/clamdconnection.h"
#include "scanner/lineout.h"
#include "scanner/scanstats.h"
#include "scanner/workqueue.h"

#include <functional>
#include <map>
#include <string>

namespace scanner {

// Takes paths from the queue and has clamd scan them over one session, a few requests in
// flight at once; prints each file's line when its reply comes, as the own engine does.
// When clamd stops answering (gone, refusing, silent past the time-out, or saying something
// that is not a reply) run() returns false; the paths not answered are in unanswered() and
// the queue holds the rest.
class ClamdScanner {
public:
    static constexpr size_t kInFlight = 8;
    static constexpr int kFruitlessSessions = 2;

    ClamdScanner(const ClamdAddress &address, int timeoutSeconds, LineOut &out, ScanStats &stats)
        : m_connection(address, timeoutSeconds), m_out(out), m_stats(stats) {}
    ~ClamdScanner();
    ClamdScanner(const ClamdScanner &) = delete;
    ClamdScanner &operator=(const ClamdScanner &) = delete;

    bool run(WorkQueue &queue);
    std::vector<std::string> unanswered() const;
    // Why run() returned false, to follow "clamd at ADDR ".
    std::string failure() const {
        return m_connection.untrusted() ? "is run by another user" : "stopped answering";
    }

private:
    struct Pending {
        std::string path;
        int fd = -1;
        uint64_t size = 0;
    };

    int openChecked(const std::string &path, uint64_t *size);
    bool send(Pending pending);
    bool mayResend();
    bool resendAll();
    bool receive();
    void answer(const Pending &pending, const ClamdReply &reply);

    ClamdConnection m_connection;
    LineOut &m_out;
    ScanStats &m_stats;
    std::map<unsigned, Pending> m_pending;  // by request id on the open connection
    std::vector<Pending> m_unsent;          // taken from the queue, not (re)sent yet
    bool m_answeredSinceConnect = false;
    int m_sessions = 0;           // sessions opened
    int m_fruitlessSessions = 0;  // ended in a row without an answer
};

}  // namespace scanner
