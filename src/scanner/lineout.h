#pragma once

#include <mutex>
#include <string>

namespace scanner {

// Writes whole lines to standard output or standard error: one write per line (more only when
// the pipe takes part of it), never interleaved with another thread's line.
class LineOut {
public:
    void out(std::string line) { write(1, std::move(line)); }
    void err(std::string line) { write(2, std::move(line)); }
    // "WARNING: " + text on standard error, as clamscan's warnings.
    void warning(const std::string &text) { err("WARNING: " + text); }

private:
    void write(int fd, std::string line);

    std::mutex m_mutex;
};

}  // namespace scanner
