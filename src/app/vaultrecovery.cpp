#include "app/vaultrecovery.h"

#include <QFile>

#include "app/programdata.h"
#include "platform/fileops.h"

namespace {

QByteArray folderPart(const QByteArray &path) {
    return path.left(path.lastIndexOf('/') + 1);
}

// A file of the user's that was moved aside to be checked and deleted: gone when the vault
// holds exactly it, else back under its own name (never replacing what is there now).
bool settleMovedAside(const InfectionRecord &record, const QByteArray &fullPath) {
    const QByteArray copy = record.vaultPath.bytes();
    const QByteArray aside = platform::extendedAttribute(copy, platform::attribute::aside);
    if (aside.isEmpty() || aside.contains('/'))
        return false;
    const QByteArray moved = folderPart(fullPath) + aside;
    if (platform::pathExists(moved)) {
        if (platform::sameContent(moved, copy))
            platform::removeFile(moved);
        else
            platform::renameNoReplace(moved, fullPath);
    }
    return platform::removeExtendedAttribute(copy, platform::attribute::aside);
}

// A restore that was replacing a file: its half-placed copy beside that file goes.
void clearRestoreLeftovers(const QByteArray &copy) {
    QByteArray folder = platform::extendedAttribute(copy, platform::attribute::restoring);
    if (folder.isEmpty())
        return;
    if (!folder.endsWith('/'))
        folder += '/';
    for (const QByteArray &name : platform::fileNames(folder)) {
        if (name.startsWith(platform::temporaryPrefix) &&
            platform::sameContent(folder + name, copy))
            platform::removeFile(folder + name);
    }
    platform::removeExtendedAttribute(copy, platform::attribute::restoring);
}

}  // namespace

QStringList VaultRecovery::run(ProgramData &data) {
    QStringList problems;
    VaultTable &vault = data.vault;
    if (!vault.isLoaded())
        return problems;
    bool changed = vault.dropRepeatedCopies() > 0;

    for (int k = 1; k <= vault.count(); ++k) {
        const InfectionRecord &record = vault.slot(k);
        QByteArray fullPath =
            platform::extendedAttribute(record.vaultPath.bytes(), platform::attribute::path);
        if (fullPath.isEmpty() || !fullPath.startsWith(record.filePath.bytes()))
            fullPath = record.filePath.bytes();
        settleMovedAside(record, fullPath);
        clearRestoreLeftovers(record.vaultPath.bytes());
    }

    const QByteArray folder = QFile::encodeName(data.folders.vault());
    for (const QByteArray &name : platform::fileNames(folder)) {
        const QByteArray path = folder + name;
        if (name == "records.gav" || vault.usesVaultPath(path))
            continue;
        if (VaultTable::isTemporaryName(name)) {
            platform::removeFile(path);
            continue;
        }
        const QByteArray original = platform::extendedAttribute(path, platform::attribute::path);
        const QByteArray threat = platform::extendedAttribute(path, platform::attribute::threat);
        if (original.isEmpty() || !original.startsWith('/'))
            continue;  // not a copy this program made: the user's to judge
        // The file never left its place: the copy is not needed.
        if (platform::sameContent(original, path)) {
            platform::removeFile(path);
            continue;
        }
        InfectionRecord record;
        record.vaultPath.assign(path);
        record.filePath.assign(original);
        record.threatName.assign(threat);
        if (record.vaultPath.bytes() != path || !vault.append(record)) {
            problems << QStringLiteral(
                            "The quarantined file %1 has no record and the vault has no "
                            "room for one.")
                            .arg(QFile::decodeName(path));
            continue;
        }
        settleMovedAside(record, original);
        changed = true;
    }

    if (changed) {
        Status saved = data.saveVault();
        if (saved.ok())
            saved = data.saveSettings();
        if (!saved.ok())
            problems << saved.message();
    }
    return problems;
}
