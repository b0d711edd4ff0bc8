#include "state/datafile.h"

#include <QFile>
#include <QSaveFile>

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
    return Status::success();
}

QByteArray readFront(const QString &path, qint64 maxBytes, bool *exists) {
    QFile file(path);
    if (exists)
        *exists = file.exists();
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(maxBytes);
}

}  // namespace datafile
