#include "vault/vaultdeletion.h"

#include <QFile>

#include "app/programdata.h"
#include "platform/fileops.h"
#include "state/removalnote.h"

VaultDeletion::VaultDeletion(ProgramData &data, QObject *parent) : QObject(parent), m_data(data) {}

QString VaultDeletion::question(int row) const {
    if (row < 0 || row >= m_data.vault.count())
        return {};
    const InfectionRecord &record = m_data.vault.slot(row + 1);
    return QStringLiteral(
               "Delete %1 (%2) from the virus vault? Its quarantined copy is deleted for good "
               "and cannot be restored.")
        .arg(QString::fromLocal8Bit(record.filePath.bytes()),
             QString::fromLocal8Bit(record.threatName.bytes()).trimmed());
}

Status VaultDeletion::deleteRow(int row) {
    if (row < 0)
        return Status::success();
    // A records file that could not be read is read again; until it can be, nothing changes.
    if (!m_data.vault.isLoaded()) {
        if (const Status loaded = m_data.loadVault(); !loaded)
            return loaded;
    }
    if (row >= m_data.vault.count())
        return Status::failure(QStringLiteral("No such vault record"));
    const int k = row + 1;
    const QByteArray copy = m_data.vault.slot(k).vaultPath.bytes();

    // Start-up after a crash deletes the copy by this note once no stored record names it.
    const QByteArray note =
        RemovalNote::newPath(QFile::encodeName(m_data.folders.vault()), m_data.random.generate64());
    (void)RemovalNote{copy, {}, {}, {}}.writeTo(note);
    const QByteArray before = m_data.vault.image();
    const std::int32_t countBefore = m_data.settings.vaultCount;
    m_data.vault.remove(k);
    Status saved = m_data.saveVault();
    if (saved.ok())
        saved = m_data.saveSettings();
    if (!saved.ok()) {
        // Nothing changes: the table as it was, and the records file written back to it
        // should only the settings record have failed.
        m_data.vault.loadImage(before);
        m_data.settings.vaultCount = countBefore;
        (void)m_data.saveVault();
        return saved;
    }
    emit vaultRowsChanged();

    // Only a file directly in the vault folder is deleted: a record never sends a deletion
    // anywhere else, whatever path it holds.
    const QByteArray vault = platform::canonicalPath(QFile::encodeName(m_data.folders.vault()));
    const QByteArray folder = platform::canonicalPath(copy.left(copy.lastIndexOf('/') + 1));
    if (!vault.isEmpty() && folder == vault && platform::pathExists(copy) &&
        !platform::removeFile(copy))
        return Status::failure(
            QStringLiteral("The record was deleted, but its copy %1 could not be deleted")
                .arg(QString::fromLocal8Bit(copy)));
    platform::removeFile(note);
    return Status::success();
}
