#include "platform/sysinfo.h"

#include <sys/utsname.h>
#include <unistd.h>

namespace platform {

KernelIdentity kernelIdentity() {
    struct utsname names {};
    if (uname(&names) != 0)
        return {};
    return {QString::fromLocal8Bit(names.sysname), QString::fromLocal8Bit(names.release)};
}

quint64 physicalMemoryBytes() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return 0;
    return static_cast<quint64>(pages) * static_cast<quint64>(pageSize);
}

}  // namespace platform
