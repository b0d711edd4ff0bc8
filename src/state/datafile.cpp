#include "state/datafile.h"

#include <QFile>
#include <QFileInfo>

#include "platform/fileops.h"

namespace datafile {

Status saveAtomically(const QString &path, const QByteArray &bytes) {
    // Written beside the file and renamed over it; the rename reaches the disk before anything
    // that relies on it is done.
    const QString error = platform::writeFileAtomically(QFile::encodeName(path), bytes, 0600);
    if (!error.isEmpty())
        return Status::failure(QStringLiteral("Cannot write %1: %2").arg(path, error));
    return Status::success();
}

QByteArray readFront(const QString &path, qint64 maxBytes, bool *exists, bool *failed) {
    QFile file(path);
    const bool there = file.exists();
    if (exists)
        *exists = there;
    if (failed)
        *failed = false;
    // A pipe or device in the file's place would hold the reader up: only files are read.
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        if (failed)
            *failed = there;
        return {};
    }
    QByteArray bytes = file.read(maxBytes);
    if (failed && file.error() != QFileDevice::NoError)
        *failed = true;
    return bytes;
}

}  // namespace datafile
