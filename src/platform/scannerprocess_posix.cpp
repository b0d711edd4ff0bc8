#include "platform/scannerprocess.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace platform {

bool ChildProcess::spawn(const QByteArray &program, const QList<QByteArray> &args,
                         const QByteArray &workingFolder, int *pid, int *readFd, QString *error) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    std::vector<QByteArray> storage;
    storage.reserve(static_cast<std::size_t>(args.size()) + 1);
    storage.push_back(program);
    for (const QByteArray &arg : args)
        storage.push_back(arg);
    std::vector<char *> argv;
    for (QByteArray &arg : storage)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    posix_spawn_file_actions_addchdir_np(&actions, workingFolder.constData());
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(
        &attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attr, 0);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    // Every signal as a fresh process has it. Qt's network layer ignores SIGPIPE in the program;
    // inherited, a child (or what it starts) writing to an output no one reads any more would
    // go on without end instead of ending.
    sigset_t all;
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    posix_spawnattr_setsigdefault(&attr, &all);

    pid_t child = 0;
    const int rc = posix_spawn(&child, program.constData(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    // The child's end is closed at once, so that the pipe reports end of data when it ends.
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        *error = QString::fromLocal8Bit(std::strerror(rc));
        return false;
    }
    *pid = child;
    *readFd = fds[0];
    return true;
}

void ChildProcess::waitUntilEnded(int pid) {
    siginfo_t info;
    while (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
    }
}

bool ChildProcess::hasEnded(int pid) {
    siginfo_t info;
    info.si_pid = 0;
    int r;
    do {
        r = waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT | WNOHANG);
    } while (r != 0 && errno == EINTR);
    // No such child (already reaped) counts as ended.
    return r != 0 || info.si_pid != 0;
}

ExitStatus ChildProcess::reap(int pid) {
    int status = 0;
    pid_t r;
    do {
        r = waitpid(pid, &status, 0);
    } while (r < 0 && errno == EINTR);
    ExitStatus result;
    if (r < 0)
        return result;
    if (WIFEXITED(status)) {
        result.exited = true;
        result.code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

QString signalText(int signal) {
    QString text = QString::number(signal);
    if (const char *name = ::strsignal(signal))
        text += QStringLiteral(" (") + QString::fromLocal8Bit(name) + QLatin1Char(')');
    return text;
}

void ChildProcess::killGroup(int pid) {
    if (pid <= 0)
        return;
    ::kill(-pid, SIGKILL);
    // The child itself too: it may have moved into another group of the session (the program's
    // own, say), and waiting for it would then never end. Not yet reaped, its id is still its own.
    ::kill(pid, SIGKILL);
}

long ChildProcess::readSome(int fd, char *buffer, long max, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    for (;;) {
        const int ready = ::poll(&p, 1, timeoutMs);
        if (ready == 0)
            return -2;
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        break;
    }
    for (;;) {
        const ssize_t n = ::read(fd, buffer, static_cast<std::size_t>(max));
        if (n >= 0)
            return static_cast<long>(n);
        if (errno != EINTR)
            return -1;
    }
}

void ChildProcess::closeFd(int fd) {
    if (fd >= 0)
        ::close(fd);
}

bool isExecutable(const QByteArray &path) {
    return !path.isEmpty() && ::access(path.constData(), X_OK) == 0;
}

QByteArray findOnPath(const QByteArray &name) {
    const char *path = std::getenv("PATH");
    if (!path)
        return {};
    for (const QByteArray &folder : QByteArray(path).split(':')) {
        if (folder.isEmpty())
            continue;
        const QByteArray candidate = folder + '/' + name;
        if (isExecutable(candidate))
            return candidate;
    }
    return {};
}

}  // namespace platform
