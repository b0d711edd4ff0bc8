#include "scanner/lineout.h"

#include <cerrno>
#include <unistd.h>

namespace scanner {

void LineOut::write(int fd, std::string line) {
    line += '\n';
    std::lock_guard lock(m_mutex);
    const char *data = line.data();
    size_t left = line.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return;  // the reader has gone; the scan ends on its own
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
}

}  // namespace scanner
