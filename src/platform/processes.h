#pragma once

#include <vector>

#include <QByteArray>
#include <QtGlobal>

// The running processes of the system, as far as this user may see them.
namespace platform {

struct ProcessEntry {
    qint64 pid = 0;
    QByteArray executable;  // the target of /proc/<pid>/exe
    quint64 device = 0;     // identity of the executable file
    quint64 inode = 0;
};

// Every process whose executable can be read, in /proc order; the program's own process is
// left out. Processes that vanish or cannot be read are skipped.
std::vector<ProcessEntry> processSnapshot();

// Sends SIGKILL; false when the signal could not be sent.
bool killProcess(qint64 pid);

// Sends SIGKILL to the process only while it runs the executable file with the given identity.
// The process is held by a process file descriptor from before the check until the signal, so
// a process that ended in between, or another process that got its number since, is never
// reached. False when nothing was signalled.
bool killIfRunning(qint64 pid, quint64 device, quint64 inode);

}  // namespace platform
