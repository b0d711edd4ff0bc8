#include "platform/mounts.h"

#include <algorithm>

#include <QFile>

namespace platform {

namespace {

// Mount points write blanks, tabs, line feeds and backslashes as octal escapes ("\040").
QByteArray unescape(const QByteArray &field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\\' && i + 3 < field.size()) {
            const QByteArray digits = field.mid(i + 1, 3);
            bool ok = false;
            const int value = digits.toInt(&ok, 8);
            if (ok && digits.size() == 3 && value < 256) {
                out.append(static_cast<char>(value));
                i += 3;
                continue;
            }
        }
        out.append(c);
    }
    return out;
}

bool isDiskFileSystem(const QByteArray &type) {
    static const QList<QByteArray> types = {"ext2",    "ext3",   "ext4",     "xfs",     "btrfs",
                                            "f2fs",    "jfs",    "reiserfs", "reiser4", "vfat",
                                            "msdos",   "exfat",  "ntfs",     "ntfs3",   "fuseblk",
                                            "hfsplus", "nilfs2", "bcachefs", "udf"};
    return types.contains(type);
}

}  // namespace

QList<QByteArray> fixedMountPoints(const QByteArray &mountinfo) {
    QList<QByteArray> points;
    for (const QByteArray &line : mountinfo.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        const qsizetype dash = fields.indexOf(QByteArray("-"));
        if (dash < 6 || dash + 2 >= fields.size())
            continue;
        const QByteArray &root = fields[3];
        const QByteArray &type = fields[dash + 1];
        const QByteArray source = unescape(fields[dash + 2]);
        // A bind mount of a subfolder would list the same files twice.
        if (root != "/")
            continue;
        if (!isDiskFileSystem(type) || !source.startsWith("/dev/") ||
            source.startsWith("/dev/loop"))
            continue;
        QByteArray point = unescape(fields[4]);
        if (!point.endsWith('/'))
            point += '/';
        if (!points.contains(point))
            points.append(point);
    }
    std::sort(points.begin(), points.end());
    return points;
}

QByteArray readMountInfo() {
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

}  // namespace platform
