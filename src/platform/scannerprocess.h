#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace platform {

// How a child process ended.
struct ExitStatus {
    bool exited = false;  // by exit(): code holds its exit code; otherwise by a signal
    int code = -1;
    int signal = 0;
};

// A child process whose standard output and standard error share one pipe, with standard input
// from /dev/null, started in its own process group so that a kill reaches all of it.
class ChildProcess {
public:
    // Starts program with args (argv[1...]) in workingFolder. On success fills pid and the
    // read end of the output pipe (owned by the caller); on failure returns the error text.
    static bool spawn(const QByteArray &program, const QList<QByteArray> &args,
                      const QByteArray &workingFolder, int *pid, int *readFd, QString *error);

    // Blocks until the child has ended, without reaping it, so that its process group id
    // stays reserved for kill().
    static void waitUntilEnded(int pid);
    // True once the child has ended (it is not reaped).
    static bool hasEnded(int pid);
    // Reaps an ended child.
    static ExitStatus reap(int pid);
    // SIGKILL to the child's process group (the child and anything it started).
    static void killGroup(int pid);

    // Reads at most max bytes, waiting at most timeoutMs for data: the count read, 0 at end
    // of data, -1 on a failure, -2 when nothing arrived in time (interrupted reads retry).
    static long readSome(int fd, char *buffer, long max, int timeoutMs);
    static void closeFd(int fd);
};

// The signal's number and name, "9 (Killed)".
QString signalText(int signal);

// The path of an executable file on PATH, or empty.
QByteArray findOnPath(const QByteArray &name);
// True when the file exists and the caller may execute it.
bool isExecutable(const QByteArray &path);

}  // namespace platform
