#include "vault/restore.h"

#include <algorithm>

#include <QFile>

#include "app/programdata.h"
#include "platform/fileops.h"

Restorer::Restorer(ProgramData &data, QObject *parent) : QObject(parent), m_data(data) {}

QStringList Restorer::vaultRows() const {
    QStringList rows;
    for (int k = 1; k <= m_data.vault.count(); ++k)
        rows << QString::fromLocal8Bit(m_data.vault.slot(k).threatName.bytes());
    return rows;
}

int Restorer::recordOfRow(int row) const {
    // Row i stands for record i + 1 (the list is filled in record order).
    if (row < 0 || row >= m_data.vault.count())
        return 0;
    return row + 1;
}

QString Restorer::replaceQuestion(const QString &destination) {
    return QStringLiteral("%1 already exists. Replace it with the file from the virus vault?")
        .arg(destination);
}

QString Restorer::insideVaultText() {
    return QStringLiteral(
        "Files cannot be restored into the virus vault folder. Choose another folder.");
}

Status Restorer::vaultReady() {
    return m_data.vault.isLoaded() ? Status::success() : m_data.loadVault();
}

Status Restorer::restoreToOriginal(int row) {
    if (row < 0)
        return Status::success();
    if (const Status ready = vaultReady(); !ready)
        return ready;
    const int k = recordOfRow(row);
    if (k == 0)
        return Status::failure(QStringLiteral("No such vault record"));
    const auto &filePath = m_data.vault.slot(k).filePath;
    // A path that fills its room may have been cut: it names some other place.
    if (filePath.bytes().size() >= int(filePath.capacity))
        return Status::failure(
            QStringLiteral("The original path is too long; restore to a chosen folder"));
    return restore(k, filePath.bytes());
}

Status Restorer::restoreToFolder(int row, const QString &folder) {
    if (row < 0 || folder.isEmpty())
        return Status::success();
    if (const Status ready = vaultReady(); !ready)
        return ready;
    const int k = recordOfRow(row);
    if (k == 0)
        return Status::failure(QStringLiteral("No such vault record"));
    QByteArray target = QFile::encodeName(folder);
    if (!target.endsWith('/'))
        target += '/';
    // The file's own name, kept with its copy; a recorded path may have been cut inside it.
    QByteArray name = platform::keptOriginalName(m_data.vault.slot(k).vaultPath.bytes());
    if (name.isEmpty()) {
        const QByteArray filePath = m_data.vault.slot(k).filePath.bytes();
        name = filePath.mid(filePath.lastIndexOf('/') + 1);
    }
    return restore(k, target + name);
}

Status Restorer::restore(int k, const QByteArray &destination) {
    const QByteArray vaultPath = m_data.vault.slot(k).vaultPath.bytes();
    if (!destination.startsWith('/') || destination.endsWith('/'))
        return Status::failure(
            QStringLiteral("Cannot restore to %1").arg(QString::fromLocal8Bit(destination)));
    // A file restored into the vault folder would be taken for a copy, or be the records file.
    const QByteArray vault = platform::canonicalPath(QFile::encodeName(m_data.folders.vault()));
    const QByteArray folder = platform::canonicalPath(
        destination.left(std::max<qsizetype>(destination.lastIndexOf('/'), 1)));
    if (!vault.isEmpty() && (folder == vault || folder.startsWith(QByteArray(vault + '/'))))
        return Status::failure(insideVaultText());

    // Never replaces silently: a file standing there now is the user's, until the user says so.
    const QString shown = QString::fromLocal8Bit(destination);
    auto replaceAllowed = [this, &shown] { return confirmReplace && confirmReplace(shown); };
    platform::IfExists ifExists = platform::IfExists::Keep;
    if (platform::pathExists(destination)) {
        if (!replaceAllowed())
            return Status::success();
        ifExists = platform::IfExists::Replace;
    }
    // The copy is renamed into place, so a link planted there is never followed. The file gets
    // back the permission bits it had before quarantine, when they were kept.
    const int kept = platform::keptOriginalMode(vaultPath);
    const unsigned mode = kept >= 0 ? unsigned(kept) : 0600u;
    bool existed = false;
    QString error = platform::copyFile(vaultPath, destination, mode, nullptr, ifExists, &existed);
    if (existed) {
        // Something was put there in the meantime.
        if (!replaceAllowed())
            return Status::success();
        error = platform::copyFile(vaultPath, destination, mode);
    }
    if (!error.isEmpty())
        return Status::failure(QStringLiteral("Cannot restore %1: %2").arg(shown, error));
    m_data.vault.remove(k);
    emit vaultRowsChanged();
    if (const Status saved = m_data.saveVault(); !saved.ok())
        return saved;
    if (const Status saved = m_data.saveSettings(); !saved.ok())
        return saved;
    // The copy goes last: until the records no longer name it, it stays restorable.
    platform::removeFile(vaultPath);
    return Status::success();
}
