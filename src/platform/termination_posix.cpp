#include "platform/termination.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace platform {

namespace {

constexpr int watchedSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The pipe from the handler to the event loop; -1 while no watch is installed.
int pipeRead = -1;
int pipeWrite = -1;

extern "C" void onTerminationSignal(int signalNumber) {
    // Only async-signal-safe calls here: one byte per signal into the pipe.
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    if (pipeWrite >= 0)
        (void)!::write(pipeWrite, &byte, 1);
    errno = saved;
}

void resetHandlers() {
    for (int s : watchedSignals)
        std::signal(s, SIG_DFL);
}

}  // namespace

TerminationWatch::TerminationWatch(QObject *parent) : QObject(parent) {
    if (pipeRead >= 0)
        return;  // another watch is installed
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    pipeRead = fds[0];
    pipeWrite = fds[1];
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : watchedSignals) {
        if (::sigaction(s, &action, nullptr) != 0) {
            resetHandlers();
            ::close(pipeRead);
            ::close(pipeWrite);
            pipeRead = pipeWrite = -1;
            return;
        }
    }
    m_notifier = new QSocketNotifier(pipeRead, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationWatch::readPending);
}

TerminationWatch::~TerminationWatch() {
    if (!m_notifier)
        return;
    resetHandlers();
    delete m_notifier;
    ::close(pipeRead);
    ::close(pipeWrite);
    pipeRead = pipeWrite = -1;
}

void TerminationWatch::readPending() {
    unsigned char byte = 0;
    while (::read(pipeRead, &byte, 1) == 1)
        emit requested(byte);
}

}  // namespace platform
