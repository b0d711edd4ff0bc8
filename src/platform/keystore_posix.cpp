#include "platform/keystore.h"

#include <cerrno>
#include <sys/stat.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include "platform/fileops.h"

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

namespace {

// Makes the folder and any missing parents, each with mode 0700.
bool makePrivatePath(const QByteArray &path) {
    for (qsizetype slash = path.indexOf('/', 1); slash != -1;
         slash = path.indexOf('/', slash + 1)) {
        const QByteArray part = path.left(slash);
        if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    if (!path.endsWith('/') && ::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st {};
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

// The store holds the proxy password: its folders are the owner's alone (0700), also those an
// older version made with the umask's mode, and its values are 0600.
bool KeyStore::openKey(const QString &keyPath) const {
    const QByteArray folder = QFile::encodeName(keyFolder(keyPath));
    if (!makePrivatePath(folder))
        return false;
    const QByteArray root = QFile::encodeName(m_root);
    for (qsizetype slash = root.size() - 1; slash != -1 && slash < folder.size();
         slash = folder.indexOf('/', slash + 1)) {
        struct stat st {};
        const QByteArray part = folder.left(slash);
        if (::lstat(part.constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
            (st.st_mode & 07777) != 0700)
            ::chmod(part.constData(), 0700);
    }
    return true;
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
    QByteArray bytes = value.type;
    bytes += '\n';
    bytes += value.data;
    // Written beside the value and renamed over it, the folder synced after the rename.
    if (!writeFileAtomically(QFile::encodeName(valueFile(keyPath, valueName)), bytes, 0600)
             .isEmpty())
        return writeErrorText(valueName);
    return {};
}

void KeyStore::removeTemporaries() const {
    QDirIterator folders(m_root,
                         QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks,
                         QDirIterator::Subdirectories);
    QStringList all{m_root};
    while (folders.hasNext())
        all << folders.next();
    for (const QString &folder : all) {
        const QByteArray path = QFile::encodeName(folder) + '/';
        for (const QByteArray &name : fileNames(path)) {
            if (name.startsWith(temporaryPrefix))
                removeFile(path + name);
        }
    }
}

QString KeyStore::writeErrorText(const QString &valueName) {
    return QStringLiteral("Failed to set data for '%1'").arg(valueName);
}

}  // namespace platform
