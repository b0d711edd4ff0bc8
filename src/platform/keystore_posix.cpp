#include "platform/keystore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace platform {

namespace {
// Far beyond any value the program stores (a record, a path); a larger file, a device or a
// pipe in the store is read as a failed value instead of holding up the program.
constexpr qint64 kMaxValueFile = 1 << 20;
}  // namespace

KeyStore::KeyStore(QString root) : m_root(std::move(root)) {
    if (!m_root.endsWith(u'/'))
        m_root += u'/';
}

QString KeyStore::defaultRoot() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = qEnvironmentVariable("HOME") + QStringLiteral("/.config");
    return config + QStringLiteral("/Vizavuz/registry/");
}

QString KeyStore::keyFolder(const QString &keyPath) const {
    QString relative = keyPath;
    relative.replace(u'\\', u'/');
    while (relative.startsWith(u'/'))
        relative.remove(0, 1);
    if (!relative.isEmpty() && !relative.endsWith(u'/'))
        relative += u'/';
    return m_root + relative;
}

QString KeyStore::valueFile(const QString &keyPath, const QString &valueName) const {
    return keyFolder(keyPath) + (valueName.isEmpty() ? QStringLiteral("(default)") : valueName);
}

bool KeyStore::openKey(const QString &keyPath) const {
    return QDir().mkpath(keyFolder(keyPath));
}

KeyStore::ReadResult KeyStore::read(const QString &keyPath, const QString &valueName) const {
    ReadResult result;
    QFile file(valueFile(keyPath, valueName));
    if (!file.exists())
        return result;
    result.outcome = ReadOutcome::Failed;
    if (!QFileInfo(file.fileName()).isFile() || !file.open(QIODevice::ReadOnly))
        return result;
    const QByteArray all = file.read(kMaxValueFile + 1);
    if (file.error() != QFileDevice::NoError || all.size() > kMaxValueFile)
        return result;
    const qsizetype newline = all.indexOf('\n');
    if (newline < 0)
        return result;
    result.value.type = all.left(newline);
    result.value.data = all.mid(newline + 1);
    result.outcome = ReadOutcome::Read;
    return result;
}

QString KeyStore::write(const QString &keyPath, const QString &valueName,
                        const KeyValue &value) const {
    if (!openKey(keyPath))
        return writeErrorText(valueName);
    QSaveFile file(valueFile(keyPath, valueName));
    if (!file.open(QIODevice::WriteOnly))
        return writeErrorText(valueName);
    QByteArray bytes = value.type;
    bytes += '\n';
    bytes += value.data;
    if (file.write(bytes) != bytes.size() || !file.commit())
        return writeErrorText(valueName);
    return {};
}

QString KeyStore::writeErrorText(const QString &valueName) {
    return QStringLiteral("Failed to set data for '%1'").arg(valueName);
}

}  // namespace platform
