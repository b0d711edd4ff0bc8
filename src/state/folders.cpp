#include "state/folders.h"

QString Folders::computedDataFolder(const QString &roaming) {
    QString base = roaming;
    if (!base.isEmpty() && !base.endsWith(u'/'))
        base += u'/';
    if (base.isEmpty())
        base = QStringLiteral("/");
    return base + marker();
}
