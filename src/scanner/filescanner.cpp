#include "scanner/filescanner.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace scanner {

void FileScanner::scan(const std::string &path) {
    struct stat sb {};
    if (stat(path.c_str(), &sb) == 0 && sb.st_size == 0) {
        m_out.out(path + ": Empty file");
        return;
    }
    // clamscan asks before opening when it does not run as root, so that a file only root
    // could read is reported the same way whoever runs the scan.
    if (geteuid() != 0 && access(path.c_str(), R_OK) != 0) {
        m_out.out(path + ": Access denied");
        ++m_stats.errors;
        return;
    }
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        m_out.warning("Can't open file " + path + ": " + strerror(errno));
        ++m_stats.errors;
        return;
    }
    // Between the walker's look and this open the path may have become something else.
    if (fstat(fd, &sb) != 0 || !S_ISREG(sb.st_mode)) {
        close(fd);
        m_out.warning(path + ": Not supported file type");
        ++m_stats.errors;
        return;
    }
    ++m_stats.files;
    m_stats.blocksRead += static_cast<uint64_t>(sb.st_size) / CL_COUNT_PRECISION;

    const char *virname = nullptr;
    unsigned long scanned = 0;
    const cl_error_t ret =
        cl_scandesc(fd, path.c_str(), &virname, &scanned, m_engine.engine(), &m_options);
    close(fd);
    m_stats.blocksScanned += scanned;
    if (ret == CL_VIRUS) {
        ++m_stats.infected;
        m_out.out(path + ": " + (virname ? virname : "") + " FOUND");
    } else if (ret == CL_CLEAN) {
        m_out.out(path + ": OK");
    } else {
        m_out.out(path + ": " + cl_strerror(ret) + " ERROR");
        ++m_stats.errors;
    }
}

}  // namespace scanner
