#include "vault/scanconfirmation.h"

#include <vector>

#include "platform/scannerprocess.h"

namespace {

// Enough for 500 answers with paths of any length; anything beyond is not read into memory.
constexpr qsizetype outputLimit = 8 * 1024 * 1024;
constexpr long readBlock = 64 * 1024;
constexpr int readPollMs = 200;

}  // namespace

ScanConfirmation::Command ScanConfirmation::Command::ofScan(const QByteArray &scanner,
                                                            const QList<QByteArray> &arguments,
                                                            const QByteArray &workingFolder) {
    Command command;
    command.scanner = scanner;
    // Every option but the recursion: the same databases, and the same files left out, so
    // that an excluded file is never confirmed. The targets are dropped.
    for (const QByteArray &arg : arguments) {
        if (arg.startsWith("--") && arg != "--recursive")
            command.options << arg;
    }
    if (!workingFolder.isEmpty())
        command.workingFolder = workingFolder;
    return command;
}

ScanConfirmation::ScanConfirmation(QObject *parent) : QObject(parent) {}

ScanConfirmation::~ScanConfirmation() {
    m_abandoned = true;
    cancel();
    join();
}

void ScanConfirmation::join() {
    if (m_worker.joinable())
        m_worker.join();
}

void ScanConfirmation::start(const Command &command, const QList<QByteArray> &paths) {
    cancel();
    join();
    m_paths = paths;
    m_confirmed.clear();
    m_error.clear();
    m_running = true;
    if (paths.isEmpty()) {
        QMetaObject::invokeMethod(
            this, [this] { finish({}, {}); }, Qt::QueuedConnection);
        return;
    }
    if (command.scanner.isEmpty()) {
        QMetaObject::invokeMethod(
            this, [this] { finish({}, QStringLiteral("No scanner to ask")); },
            Qt::QueuedConnection);
        return;
    }
    QList<QByteArray> args = command.options;
    // The paths are absolute, so none is taken for an option; each is one argument.
    args += paths;
    m_worker = std::thread([this, command, args] {
        int pid = -1, fd = -1;
        QString error;
        QByteArray output;
        if (!platform::ChildProcess::spawn(command.scanner, args, command.workingFolder, &pid, &fd,
                                           &error)) {
            QMetaObject::invokeMethod(
                this, [this, error] { finish({}, error); }, Qt::QueuedConnection);
            return;
        }
        {
            std::lock_guard lock(m_mutex);
            m_pid = pid;
        }
        std::vector<char> buffer(readBlock);
        for (;;) {
            const long n =
                platform::ChildProcess::readSome(fd, buffer.data(), readBlock, readPollMs);
            if (n == -2)
                continue;
            if (n <= 0)
                break;
            if (output.size() < outputLimit)
                output.append(buffer.data(), n);
        }
        platform::ChildProcess::closeFd(fd);
        platform::ChildProcess::waitUntilEnded(pid);
        {
            std::lock_guard lock(m_mutex);
            platform::ChildProcess::reap(pid);
            m_pid = -1;
        }
        if (!m_abandoned)
            QMetaObject::invokeMethod(
                this, [this, output] { finish(output, {}); }, Qt::QueuedConnection);
    });
}

void ScanConfirmation::cancel() {
    std::lock_guard lock(m_mutex);
    if (m_pid > 0)
        platform::ChildProcess::killGroup(m_pid);
}

void ScanConfirmation::finish(const QByteArray &output, const QString &error) {
    join();
    m_running = false;
    m_error = error;
    m_confirmed = confirmedPaths(output, m_paths);
    emit finished();
}

QSet<QByteArray> ScanConfirmation::confirmedPaths(const QByteArray &output,
                                                  const QList<QByteArray> &paths) {
    const QSet<QByteArray> asked(paths.begin(), paths.end());
    static const QByteArray found = QByteArrayLiteral(" FOUND");
    static const QByteArray separator = QByteArrayLiteral(": ");
    QSet<QByteArray> confirmed;
    for (QByteArray line : output.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        // A line from inside an asked path means that path is a folder now: the scanner went
        // through its files, whose names may print any line. Nothing is taken on such answers.
        for (qsizetype slash = line.indexOf('/', 1); slash > 0;
             slash = line.indexOf('/', slash + 1))
            if (asked.contains(line.left(slash)))
                return {};
        if (!line.endsWith(found))
            continue;
        const QByteArray front = line.chopped(found.size());
        // The path is what comes before the last ": " (a threat name holds none); it must be
        // one of the paths asked about, whole.
        const qsizetype cut = front.lastIndexOf(separator);
        if (cut <= 0 || cut + separator.size() >= front.size())
            continue;
        const QByteArray path = front.left(cut);
        if (asked.contains(path))
            confirmed.insert(path);
    }
    return confirmed;
}
