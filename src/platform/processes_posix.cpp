#include "platform/processes.h"

#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QString>

namespace platform {

std::vector<ProcessEntry> processSnapshot() {
    std::vector<ProcessEntry> entries;
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return entries;
    const pid_t self = ::getpid();
    while (const dirent *entry = ::readdir(proc)) {
        char *end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0' || pid == self)
            continue;
        const QByteArray link =
            QByteArrayLiteral("/proc/") + QByteArray(entry->d_name) + QByteArrayLiteral("/exe");
        char target[4096];
        const ssize_t n = ::readlink(link.constData(), target, sizeof target);
        if (n <= 0)
            continue;
        struct stat st {};
        if (::stat(link.constData(), &st) != 0)
            continue;
        ProcessEntry e;
        e.pid = pid;
        e.executable = QByteArray(target, static_cast<qsizetype>(n));
        e.device = static_cast<quint64>(st.st_dev);
        e.inode = static_cast<quint64>(st.st_ino);
        entries.push_back(std::move(e));
    }
    ::closedir(proc);
    return entries;
}

bool killProcess(qint64 pid) {
    if (pid <= 0 || pid == ::getpid())
        return false;
    return ::kill(static_cast<pid_t>(pid), SIGKILL) == 0;
}

}  // namespace platform
