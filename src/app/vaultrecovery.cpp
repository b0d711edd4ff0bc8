#include "app/vaultrecovery.h"

#include <QFile>

#include "app/programdata.h"
#include "platform/fileops.h"
#include "state/datafile.h"
#include "state/removalnote.h"

namespace {

QByteArray folderPart(const QByteArray &path) {
    return path.left(path.lastIndexOf('/') + 1);
}

// A file of the user's that was moved aside (under the hidden name aside, in its own folder) to
// be checked and deleted: gone when the vault holds exactly it, else back under its own name, or
// under a visible name beside it when that is taken now (the user is told). False when it is
// still under the hidden name.
bool settleAside(const QByteArray &fullPath, const QByteArray &aside, const QByteArray &heldCopy,
                 QStringList &problems) {
    const QByteArray moved = folderPart(fullPath) + aside;
    if (aside.isEmpty() || aside.contains('/') || !platform::pathExists(moved))
        return true;
    if (!heldCopy.isEmpty() && platform::sameContent(moved, heldCopy))
        return platform::removeFile(moved);
    const QByteArray name = fullPath.mid(fullPath.lastIndexOf('/') + 1);
    const QByteArray kept = platform::putBackAside(folderPart(fullPath), aside, name);
    if (kept.isEmpty()) {
        problems << RemovalNote::keptText(fullPath, moved);
        return false;
    }
    if (kept != fullPath)
        problems << RemovalNote::keptText(fullPath, kept);
    return true;
}

bool settleMovedAside(const InfectionRecord &record, const QByteArray &fullPath,
                      QStringList &problems) {
    const QByteArray copy = record.vaultPath.bytes();
    const QByteArray aside = platform::extendedAttribute(copy, platform::attribute::aside);
    if (aside.isEmpty())
        return false;
    return settleAside(fullPath, aside, copy, problems) &&
           platform::removeExtendedAttribute(copy, platform::attribute::aside);
}

// A removal step that did not end, as its note tells: the file moved aside is settled first (it
// may come back to its place); then a copy without a record is deleted when its file is in its
// place, else it gets its record. True when the note has served (it may go); changed is set when
// a record was added.
bool settleNote(VaultTable &vault, const QByteArray &vaultFolder, const RemovalNote &note,
                bool *changed, QStringList &problems) {
    // Only a copy directly in the vault folder is the step's.
    const bool ownCopy = folderPart(note.copy) == vaultFolder &&
                         !VaultTable::isReservedName(note.copy.mid(vaultFolder.size())) &&
                         platform::isRegularFile(note.copy);
    const bool recorded = ownCopy && vault.usesVaultPath(note.copy);
    // A copy that was leaving the vault (restored, deleted) goes once no record names it.
    if (note.original.isEmpty())
        return !ownCopy || recorded || platform::removeFile(note.copy);
    if (!settleAside(note.original, note.aside, recorded ? note.copy : QByteArray(), problems))
        return false;
    if (!ownCopy || recorded)
        return true;
    if (platform::pathExists(note.original))
        return platform::removeFile(note.copy);
    InfectionRecord record;
    record.vaultPath.assign(note.copy);
    record.filePath.assign(note.original);
    record.threatName.assign(note.threat);
    if (record.vaultPath.bytes() != note.copy || !vault.append(record)) {
        problems << QStringLiteral(
                        "The quarantined file %1 has no record and the vault has no room for one.")
                        .arg(QFile::decodeName(note.copy));
        return false;  // kept: the next start tries again
    }
    *changed = true;
    return true;
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
    const QByteArray folder = QFile::encodeName(data.folders.vault());

    for (const QByteArray &name : platform::fileNames(folder)) {
        if (!RemovalNote::isNoteName(name))
            continue;
        const std::optional<RemovalNote> note =
            RemovalNote::decode(datafile::readFront(QFile::decodeName(folder + name), 1 << 16));
        if (!note || settleNote(vault, folder, *note, &changed, problems))
            platform::removeFile(folder + name);
    }

    for (int k = 1; k <= vault.count(); ++k) {
        const InfectionRecord &record = vault.slot(k);
        QByteArray fullPath =
            platform::extendedAttribute(record.vaultPath.bytes(), platform::attribute::path);
        if (fullPath.isEmpty() || !fullPath.startsWith(record.filePath.bytes()))
            fullPath = record.filePath.bytes();
        settleMovedAside(record, fullPath, problems);
        clearRestoreLeftovers(record.vaultPath.bytes());
    }

    for (const QByteArray &name : platform::fileNames(folder)) {
        const QByteArray path = folder + name;
        // A note that could not be settled yet is kept for the next start.
        if (name == "records.gav" || vault.usesVaultPath(path) || RemovalNote::isNoteName(name))
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
        settleMovedAside(record, original, problems);
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
