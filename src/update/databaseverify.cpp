#include "update/databaseverify.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QThread>

#include "platform/scannerprocess.h"
#include "update/updatetexts.h"

namespace databaseverify {

QByteArray defaultTool(const QString &programFolder) {
    const QByteArray local = QFile::encodeName(programFolder) + "sigtool";
    return platform::isExecutable(local) ? local
                                         : platform::findOnPath(QByteArrayLiteral("sigtool"));
}

QString verify(const QByteArray &tool, const QString &path, int timeoutMs) {
    if (tool.isEmpty())
        return updatetexts::cannotVerify(QStringLiteral("sigtool was not found"));
    int pid = 0;
    int fd = -1;
    QString error;
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    if (!platform::ChildProcess::spawn(tool, {"--info=" + QFile::encodeName(path)}, folder, &pid,
                                       &fd, &error))
        return updatetexts::cannotVerify(error);

    // Its output is a few lines; more than this is not sigtool's and is not kept.
    constexpr qsizetype keep = 64 * 1024;
    QByteArray output;
    QDeadlineTimer deadline(timeoutMs);
    bool timedOut = false;
    char buffer[4096];
    for (;;) {
        const qint64 left = deadline.remainingTime();
        if (left == 0) {
            timedOut = true;
            break;
        }
        const long n = platform::ChildProcess::readSome(fd, buffer, sizeof buffer,
                                                        static_cast<int>(qMin<qint64>(left, 1000)));
        if (n == -2)
            continue;
        if (n <= 0)
            break;
        if (output.size() < keep)
            output.append(buffer, n);
    }
    platform::ChildProcess::closeFd(fd);
    // Its output is over; a sigtool that goes on without it is ended at the deadline too.
    while (!timedOut && !platform::ChildProcess::hasEnded(pid)) {
        if (deadline.hasExpired())
            timedOut = true;
        else
            QThread::msleep(20);
    }
    platform::ChildProcess::killGroup(pid);
    const platform::ExitStatus ended = platform::ChildProcess::reap(pid);
    const int code = ended.exited ? ended.code : -1;
    if (timedOut)
        return updatetexts::cannotVerify(QStringLiteral("sigtool did not finish"));

    // An unsigned container proves nothing about where the file came from.
    if (code == 0 && !output.contains("Unsigned container"))
        return {};
    // The tool's own words: its last error line, else its last line.
    QString cause;
    const QList<QByteArray> lines = output.split('\n');
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        const QByteArray line = it->trimmed();
        if (line.isEmpty())
            continue;
        if (cause.isEmpty() || line.contains("ERROR") || line.contains("Error")) {
            cause = QString::fromLocal8Bit(line);
            if (line.contains("ERROR") || line.contains("Error"))
                break;
        }
    }
    if (cause.startsWith(QStringLiteral("ERROR: ")))
        cause = cause.mid(7);
    if (cause.isEmpty())
        cause = code == 0 ? QStringLiteral("unsigned")
                          : QStringLiteral("sigtool exit code %1").arg(code);
    // Whole: one of sigtool's lines is short; only what could not be one is cut.
    return updatetexts::notADatabase(cause.left(1000));
}

}  // namespace databaseverify
