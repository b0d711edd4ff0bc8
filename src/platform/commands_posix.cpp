#include "platform/commands.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include <QDir>
#include <QFile>
#include <QProcess>

namespace platform {

CommandResult runCommand(const QString &program, const QStringList &arguments,
                         const QByteArray &input, int timeoutMs) {
    CommandResult result;
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(program, arguments);
    if (!process.waitForStarted(timeoutMs))
        return result;
    result.started = true;
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
    } else if (process.exitStatus() == QProcess::NormalExit) {
        result.exitCode = process.exitCode();
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

bool onMainsPower(const QString &powerSupplyFolder) {
    const QDir folder(powerSupplyFolder);
    bool hasMains = false;
    for (const QString &name : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile type(folder.filePath(name + QStringLiteral("/type")));
        if (!type.open(QIODevice::ReadOnly) || type.readAll().trimmed() != "Mains")
            continue;
        hasMains = true;
        QFile online(folder.filePath(name + QStringLiteral("/online")));
        if (online.open(QIODevice::ReadOnly) && online.readAll().trimmed() == "1")
            return true;
    }
    return !hasMains;
}

DetachedStart::DetachedStart(DetachedStart &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)) {}

DetachedStart &DetachedStart::operator=(DetachedStart &&other) noexcept {
    std::swap(m_fd, other.m_fd);
    return *this;
}

DetachedStart::~DetachedStart() {
    if (m_fd >= 0)
        goOn();
}

DetachedStart DetachedStart::begin() {
    DetachedStart start;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return start;
    const pid_t child = fork();
    if (child < 0) {
        close(fds[0]);
        close(fds[1]);
        return start;
    }
    if (child > 0) {
        // The starter's part: the exit code byte and the message; nothing at all when the
        // program ended without a word.
        close(fds[1]);
        QByteArray said;
        char buffer[4096];
        for (;;) {
            const ssize_t n = read(fds[0], buffer, sizeof buffer);
            if (n > 0)
                said.append(buffer, n);
            else if (n == 0 || errno != EINTR)
                break;
        }
        if (said.isEmpty())
            said = "\1vizavuz-antivirus: the program ended before the scheduled scan began\n";
        if (said.size() > 1)
            (void)!write(STDERR_FILENO, said.constData() + 1, size_t(said.size() - 1));
        _exit(static_cast<unsigned char>(said[0]));
    }
    close(fds[0]);
    setsid();
    start.m_fd = fds[1];
    return start;
}

void DetachedStart::report(int exitCode, const QByteArray &message) {
    if (m_fd < 0) {
        if (!message.isEmpty())
            (void)!write(STDERR_FILENO, message.constData(), size_t(message.size()));
        return;
    }
    const QByteArray bytes = char(exitCode) + message;
    (void)!write(m_fd, bytes.constData(), size_t(bytes.size()));
    close(m_fd);
    m_fd = -1;
}

void DetachedStart::goOn() {
    if (m_fd < 0)
        return;
    // The starter's pipes may close once it ends: a later warning must not end the program.
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0) {
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        close(null);
    }
    (void)!write(m_fd, "\0", 1);
    close(m_fd);
    m_fd = -1;
}

}  // namespace platform
