#include "vault/restore.h"

#include <algorithm>

#include <QFile>

#include "app/programdata.h"
#include "platform/fileops.h"
#include "state/removalnote.h"

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

QString Restorer::insideDataFolderText(const QString &folder) {
    return QStringLiteral(
               "%1 is inside the program's data folder, where files cannot be "
               "restored. Choose another folder.")
        .arg(folder);
}

QString Restorer::movedFolderText(const QString &folder, const QString &real) {
    return QStringLiteral(
               "The file was not restored: %1 now leads to %2, not to the folder it "
               "was found in. Restore it to a chosen folder if that is where it "
               "belongs.")
        .arg(folder, real);
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
    QByteArray destination = filePath.bytes();
    // A path that fills its room may have been cut: it names some other place, unless the whole
    // path kept with the copy goes on from it.
    if (destination.size() >= int(filePath.capacity)) {
        const QByteArray whole = platform::extendedAttribute(m_data.vault.slot(k).vaultPath.bytes(),
                                                             platform::attribute::path);
        if (!whole.startsWith(destination))
            return Status::failure(
                QStringLiteral("The original path is too long; restore to a chosen folder"));
        destination = whole;
    }
    return restore(k, destination, true);
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
    return restore(k, target + name, false);
}

Status Restorer::restore(int k, const QByteArray &destination, bool toOriginal) {
    const QByteArray vaultPath = m_data.vault.slot(k).vaultPath.bytes();
    if (!destination.startsWith('/') || destination.endsWith('/'))
        return Status::failure(
            QStringLiteral("Cannot restore to %1").arg(QString::fromLocal8Bit(destination)));
    const QByteArray folderPath =
        destination.left(std::max<qsizetype>(destination.lastIndexOf('/'), 1));
    const QByteArray name = destination.mid(destination.lastIndexOf('/') + 1);
    const QString shown = QString::fromLocal8Bit(destination);
    // The folder is opened once and written through: whatever is renamed or linked at its path
    // from here on, the file lands in the folder that was checked.
    platform::HeldFolder folder;
    if (!folder.open(folderPath))
        return Status::failure(QStringLiteral("Cannot restore %1: the folder %2 does not exist")
                                   .arg(shown, QString::fromLocal8Bit(folderPath)));
    const QByteArray real = folder.realPath();
    // A file restored into the vault folder would be taken for a copy, or be the records file;
    // the rest of the program's data folder is no place for it either.
    const auto inside = [&real](const QString &folderText) {
        const QByteArray own = platform::canonicalPath(QFile::encodeName(folderText));
        return !own.isEmpty() && (real == own || real.startsWith(QByteArray(own + '/')));
    };
    if (real.isEmpty() || inside(m_data.folders.vault()))
        return Status::failure(insideVaultText());
    if (inside(m_data.folders.data))
        return Status::failure(insideDataFolderText(QString::fromLocal8Bit(real)));
    // Back where it was found only through the folders the user had: a link put in place of a
    // folder since then leads somewhere else, and that is never written to unasked.
    if (toOriginal) {
        QByteArray expected = platform::extendedAttribute(vaultPath, platform::attribute::folder);
        if (expected.isEmpty())
            expected = folderPath;
        if (real != expected)
            return Status::failure(
                movedFolderText(QString::fromLocal8Bit(folderPath), QString::fromLocal8Bit(real)));
    }

    // Never replaces silently: a file standing there now is the user's, until the user says so.
    auto replaceAllowed = [this, &shown] { return confirmReplace && confirmReplace(shown); };
    platform::IfExists ifExists = platform::IfExists::Keep;
    if (folder.has(name)) {
        if (!replaceAllowed())
            return Status::success();
        ifExists = platform::IfExists::Replace;
    }
    // The copy is renamed into place, so a link planted there is never followed (a folder that
    // lets no new file be made has the file written over in place). The file gets back the
    // permission bits it had before quarantine, when they were kept.
    const int kept = platform::keptOriginalMode(vaultPath);
    const unsigned mode = kept >= 0 ? unsigned(kept) : 0600u;
    bool existed = false;
    // A replacing copy is named beside the file for a moment: where, is kept with the vault
    // copy until it is done, so that start-up after a crash can clear it away.
    const auto copy = [&](platform::IfExists how, bool *taken) {
        const bool replacing = how == platform::IfExists::Replace;
        if (replacing)
            platform::setExtendedAttribute(vaultPath, platform::attribute::restoring, real);
        const QString error = platform::copyFileInto(vaultPath, folder, name, mode, how, taken);
        if (replacing)
            platform::removeExtendedAttribute(vaultPath, platform::attribute::restoring);
        return error;
    };
    QString error = copy(ifExists, &existed);
    if (existed) {
        // Something was put there in the meantime.
        if (!replaceAllowed())
            return Status::success();
        error = copy(platform::IfExists::Replace, nullptr);
    }
    if (!error.isEmpty())
        return Status::failure(QStringLiteral("Cannot restore %1: %2").arg(shown, error));
    // Start-up after a crash deletes the copy by this note once no stored record names it, also
    // where the copy carries no attributes.
    const QByteArray note =
        RemovalNote::newPath(QFile::encodeName(m_data.folders.vault()), m_data.random.generate64());
    (void)RemovalNote{vaultPath, {}, {}, {}}.writeTo(note);
    m_data.vault.remove(k);
    emit vaultRowsChanged();
    if (const Status saved = m_data.saveVault(); !saved.ok())
        return saved;
    if (const Status saved = m_data.saveSettings(); !saved.ok())
        return saved;
    // The copy goes last: until the records no longer name it, it stays restorable.
    if (platform::removeFile(vaultPath))
        platform::removeFile(note);
    return Status::success();
}
