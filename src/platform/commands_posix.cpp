#include "platform/commands.h"

#include <unistd.h>

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

bool detachFromStarter() {
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child > 0)
        _exit(0);
    setsid();
    return true;
}

}  // namespace platform
