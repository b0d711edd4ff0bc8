#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

// The database files of a database folder that the scanner is given, and what their headers say.
namespace databasefiles {

// main, daily and bytecode, in that order, each as whichever of its .cvd and .cld forms is
// there (when both are, the higher version, else the newer file: freshclam keeps a .cld after
// applying changes, the direct download installs a .cvd). Empty when there is no main database.
QStringList inUse(const QString &folder);

// The .cvd or .cld form of one database (`name` "main", "daily" or "bytecode") that inUse would
// give; empty when neither is there.
QString newestForm(const QString &folder, const char *name);

// The 512-byte text header that begins every .cvd and .cld file:
// "ClamAV-VDB:build time:version:signatures:functionality level:md5:signature:builder:stime".
struct Header {
    bool valid = false;
    QDateTime built;  // UTC
    int version = 0;
    int signatures = 0;
    QString builder;
};
constexpr int headerSize = 512;
Header parseHeader(const QByteArray &bytes);
Header readHeader(const QString &path);

// The DatabaseDirectory that a freshclam configuration names, ending in "/"; freshclam's own
// default, /var/lib/clamav/, when the text names none.
QString configuredFolder(const QByteArray &configuration);

}  // namespace databasefiles
