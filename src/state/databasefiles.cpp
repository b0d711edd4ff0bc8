#include "state/databasefiles.h"

#include <QFileInfo>

namespace databasefiles {

QStringList inUse(const QString &folder) {
    QStringList found;
    for (const char *name : {"main", "daily", "bytecode"}) {
        const QFileInfo cvd(folder + QLatin1StringView(name) + QStringLiteral(".cvd"));
        const QFileInfo cld(folder + QLatin1StringView(name) + QStringLiteral(".cld"));
        if (cvd.exists() && cld.exists())
            found << (cld.lastModified() > cvd.lastModified() ? cld : cvd).filePath();
        else if (cvd.exists() || cld.exists())
            found << (cvd.exists() ? cvd : cld).filePath();
        else if (found.isEmpty())
            return {};  // no main database
    }
    return found;
}

}  // namespace databasefiles
