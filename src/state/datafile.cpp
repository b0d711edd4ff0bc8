#include "state/datafile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "platform/fileops.h"

namespace datafile {

Status saveAtomically(const QString &path, const QByteArray &bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Status::failure(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return Status::failure(QStringLiteral("Cannot write %1: %2").arg(path, reason));
    }
    if (!file.commit())
        return Status::failure(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    // The rename itself reaches the disk before anything that relies on it is done.
    if (!platform::syncFolder(QFile::encodeName(QFileInfo(path).absolutePath())))
        return Status::failure(
            QStringLiteral("Cannot write %1: the folder cannot be synced").arg(path));
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
