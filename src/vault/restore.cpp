#include "vault/restore.h"

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
    if (row < 0 || row >= m_data.vault.count())
        return 0;
    return m_data.vault.findThreat(m_data.vault.slot(row + 1).threatName.bytes());
}

Status Restorer::restoreToOriginal(int row) {
    if (row < 0)
        return Status::success();
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
    const int k = recordOfRow(row);
    if (k == 0)
        return Status::failure(QStringLiteral("No such vault record"));
    QByteArray target = QFile::encodeName(folder);
    if (!target.endsWith('/'))
        target += '/';
    const QByteArray filePath = m_data.vault.slot(k).filePath.bytes();
    return restore(k, target + filePath.mid(filePath.lastIndexOf('/') + 1));
}

Status Restorer::restore(int k, const QByteArray &destination) {
    const QByteArray vaultPath = m_data.vault.slot(k).vaultPath.bytes();
    if (!destination.startsWith('/') || destination.endsWith('/'))
        return Status::failure(
            QStringLiteral("Cannot restore to %1").arg(QString::fromLocal8Bit(destination)));
    // The copy replaces the destination by a rename, so a link planted there is never followed.
    // The file gets back the permission bits it had before quarantine, when they were kept.
    const int kept = platform::keptOriginalMode(vaultPath);
    const QString error =
        platform::copyFile(vaultPath, destination, kept >= 0 ? unsigned(kept) : 0600u);
    if (!error.isEmpty())
        return Status::failure(QStringLiteral("Cannot restore %1: %2")
                                   .arg(QString::fromLocal8Bit(destination), error));
    platform::removeFile(vaultPath);
    m_data.vault.remove(k);
    emit vaultRowsChanged();
    if (const Status saved = m_data.saveVault(); !saved.ok())
        return saved;
    return m_data.saveSettings();
}
