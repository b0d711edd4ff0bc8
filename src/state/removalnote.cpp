#include "state/removalnote.h"

#include <QFile>

#include "platform/fileops.h"

namespace {
constexpr char tag[] = "vizavuz removal step 1\n";
}  // namespace

QByteArray RemovalNote::encode() const {
    QByteArray bytes(tag);
    for (const QByteArray *field : {&copy, &original, &threat, &aside}) {
        bytes += *field;
        bytes += '\0';
    }
    return bytes;
}

std::optional<RemovalNote> RemovalNote::decode(const QByteArray &bytes) {
    if (!bytes.startsWith(tag))
        return std::nullopt;
    const QList<QByteArray> fields = bytes.mid(qsizetype(sizeof tag) - 1).split('\0');
    // Four fields, each ended by its zero byte: the split leaves an empty fifth.
    if (fields.size() != 5 || !fields.at(4).isEmpty())
        return std::nullopt;
    RemovalNote note{fields.at(0), fields.at(1), fields.at(2), fields.at(3)};
    const bool leaving = note.original.isEmpty() && note.aside.isEmpty();
    const bool taking = note.original.startsWith('/') && !note.original.endsWith('/') &&
                        (note.aside.isEmpty() || note.aside.startsWith(asidePrefix)) &&
                        !note.aside.contains('/');
    if (!note.copy.startsWith('/') || (!leaving && !taking))
        return std::nullopt;
    return note;
}

QByteArray RemovalNote::newPath(const QByteArray &vaultFolder, quint64 random) {
    return vaultFolder + namePrefix + QByteArray::number(random, 36);
}

QString RemovalNote::writeTo(const QByteArray &path) const {
    return platform::writeFileAtomically(path, encode(), 0600);
}

QString RemovalNote::keptText(const QByteArray &original, const QByteArray &kept) {
    return QStringLiteral(
               "%1 changed while it was being removed, and its name was taken meanwhile. It was "
               "left where it was, as %2.")
        .arg(QFile::decodeName(original), QFile::decodeName(kept));
}
