#include "platform/processes.h"

#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <sys/syscall.h>
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

bool killIfRunning(qint64 pid, quint64 device, quint64 inode) {
    if (pid <= 0 || pid == ::getpid())
        return false;
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
    if (fd < 0)
        return false;
    // Read after the descriptor was taken: if this is not the held process any more, the held
    // one has ended and the signal below reaches nobody.
    const QByteArray link = "/proc/" + QByteArray::number(pid) + "/exe";
    struct stat st {};
    bool killed = false;
    if (::stat(link.constData(), &st) == 0 && static_cast<quint64>(st.st_dev) == device &&
        static_cast<quint64>(st.st_ino) == inode)
        killed = ::syscall(SYS_pidfd_send_signal, fd, SIGKILL, nullptr, 0) == 0;
    ::close(fd);
    return killed;
}

}  // namespace platform
