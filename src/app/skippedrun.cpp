#include "app/skippedrun.h"

#include <QDateTime>

#include "app/datafolder.h"
#include "state/folders.h"
#include "state/scanlog.h"

QString SkippedRun::log(const Registry &registry, const QString &roaming, const QString &reason) {
    Folders folders;
    folders.data = DataFolder::locate(registry, roaming).folder;
    ScanLog scanLog(folders.scanLogFile());
    scanLog.setMaySetAside(false);
    QStringList problems;
    QObject::connect(&scanLog, &ScanLog::problem, &scanLog,
                     [&problems](const QString &message) { problems << message; });
    const bool logged =
        scanLog.append(ScanLogEntry::skipped(reason, QDateTime::currentDateTime())) != 0;
    if (logged)
        return {};
    if (problems.isEmpty())
        problems << QStringLiteral("The scan log %1 could not be written.").arg(scanLog.file());
    return problems.join(QLatin1Char(' '));
}
