#include "state/databasefiles.h"

#include <algorithm>

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QLocale>

namespace databasefiles {

QString newestForm(const QString &folder, const char *name) {
    const QFileInfo cvd(folder + QLatin1StringView(name) + QStringLiteral(".cvd"));
    const QFileInfo cld(folder + QLatin1StringView(name) + QStringLiteral(".cld"));
    if (cvd.exists() && cld.exists()) {
        // The higher version wins, as the scanner itself would choose given the folder; a copy
        // put back with a newer time is still the older database. Headers that cannot tell
        // leave it to the time.
        const Header cvdHeader = readHeader(cvd.filePath());
        const Header cldHeader = readHeader(cld.filePath());
        if (cvdHeader.valid && cldHeader.valid && cvdHeader.version != cldHeader.version)
            return (cldHeader.version > cvdHeader.version ? cld : cvd).filePath();
        return (cld.lastModified() > cvd.lastModified() ? cld : cvd).filePath();
    }
    if (cvd.exists() || cld.exists())
        return (cvd.exists() ? cvd : cld).filePath();
    return {};
}

QStringList inUse(const QString &folder) {
    QStringList found;
    for (const char *name : {"main", "daily", "bytecode"}) {
        const QString form = newestForm(folder, name);
        if (!form.isEmpty())
            found << form;
        else if (found.isEmpty())
            return {};  // no main database
    }
    return found;
}

namespace {

// "08 Dec 2026 10-00 +0000", as sigtool writes it into the header.
QDateTime parseBuildText(const QByteArray &text) {
    const QList<QByteArray> parts = text.trimmed().split(' ');
    if (parts.size() != 5)
        return {};
    const QString stamp =
        QString::fromLatin1(parts[0] + ' ' + parts[1] + ' ' + parts[2] + ' ' + parts[3]);
    QDateTime when = QLocale::c().toDateTime(stamp, QStringLiteral("dd MMM yyyy hh-mm"));
    const QByteArray zone = parts[4];
    if (!when.isValid() || zone.size() != 5 || (zone[0] != '+' && zone[0] != '-'))
        return {};
    bool ok1 = false, ok2 = false;
    const int hours = zone.mid(1, 2).toInt(&ok1);
    const int minutes = zone.mid(3, 2).toInt(&ok2);
    if (!ok1 || !ok2)
        return {};
    const int offset = (zone[0] == '-' ? -1 : 1) * (hours * 3600 + minutes * 60);
    when.setOffsetFromUtc(offset);
    return when.toUTC();
}

}  // namespace

Header parseHeader(const QByteArray &bytes) {
    Header header;
    if (bytes.size() < headerSize || !bytes.startsWith("ClamAV-VDB:"))
        return header;
    const QList<QByteArray> fields = bytes.left(headerSize).trimmed().split(':');
    if (fields.size() < 9)
        return header;
    bool versionOk = false;
    header.version = fields[2].toInt(&versionOk);
    header.signatures = fields[3].toInt();
    header.builder = QString::fromLatin1(fields[7]);
    // The build time in seconds is exact; the text is the fallback.
    bool stimeOk = false;
    const qint64 stime = fields[8].trimmed().toLongLong(&stimeOk);
    header.built = stimeOk && stime > 0 ? QDateTime::fromSecsSinceEpoch(stime, Qt::UTC)
                                        : parseBuildText(fields[1]);
    header.valid = versionOk && header.built.isValid();
    return header;
}

Header readHeader(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parseHeader(file.read(headerSize));
}

QString configuredFolder(const QByteArray &configuration) {
    QString folder;
    for (const QByteArray &raw : configuration.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        // The name ends at the first blank or tab, whichever comes first.
        const qsizetype space = line.indexOf(' ');
        const qsizetype tab = line.indexOf('\t');
        const qsizetype gap = space < 0 ? tab : tab < 0 ? space : std::min(space, tab);
        if (gap <= 0 || line.left(gap).compare("DatabaseDirectory", Qt::CaseInsensitive) != 0)
            continue;
        QByteArray value = line.mid(gap + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        if (!value.isEmpty())
            folder = QFile::decodeName(value);  // the last one counts
    }
    if (folder.isEmpty())
        folder = QStringLiteral("/var/lib/clamav");
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

}  // namespace databasefiles
