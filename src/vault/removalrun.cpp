#include "vault/removalrun.h"

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>

#include "app/programdata.h"
#include "platform/fileops.h"
#include "platform/processes.h"

namespace {

QByteArray fileNamePart(const QByteArray &path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

QByteArray folderPart(const QByteArray &path) {
    return path.left(path.lastIndexOf('/') + 1);
}

}  // namespace

RemovalRun::RemovalRun(ProgramData &data, std::function<void()> stopRoutine, QObject *parent)
    : QObject(parent), m_data(data), m_stopRoutine(std::move(stopRoutine)) {
    m_timer.setInterval(2000);
    connect(&m_timer, &QTimer::timeout, this, &RemovalRun::tick);
    // Closing the program (the tray's Exit, SIGTERM) ends a run between two steps, and what it
    // removed is recorded as when it ends by itself.
    m_data.shutdownHooks.push_back([run = QPointer<RemovalRun>(this)] {
        if (run && run->m_running)
            run->finish(false);
    });
}

void RemovalRun::setTickInterval(int ms) {
    m_timer.setInterval(ms);
}

void RemovalRun::removeFoundInfections() {
    if (m_data.infections.count() == 0) {
        m_data.session.setStatus(QStringLiteral("No Infections Found"));
        return;
    }
    // A running or paused scan is stopped first (the confirm-stop dialog).
    if (m_data.session.state() != ScanSession::idle()) {
        emit confirmStopRequested();
        return;
    }
    start();
}

void RemovalRun::start() {
    if (m_running)
        return;
    // A scan that is running or paused would go on filling the list this run walks.
    if (m_data.session.state() != ScanSession::idle()) {
        emit confirmStopRequested();
        return;
    }
    if (m_stopRoutine)
        m_stopRoutine();
    m_running = true;
    // The vault holds infected files: only the owner may reach them, whatever mode an older
    // folder was made with.
    platform::restrictFolderToOwner(QFile::encodeName(m_data.folders.vault()));
    // A records file that could not be read at start-up may be readable now; until it is,
    // nothing is taken (its records would be overwritten).
    if (!m_data.vault.isLoaded()) {
        if (const Status loaded = m_data.loadVault(); !loaded)
            emit saveFailed(loaded.message());
    }
    m_total = m_data.infections.count();
    m_index = m_total;
    m_removed = 0;
    m_notRemoved = 0;
    m_unconfirmed = 0;
    m_neutralised = 0;
    m_vaultFull = false;
    m_storeFailureReported = false;
    m_copyFailureReported = false;
    m_taken.clear();
    m_takenFiles.clear();
    m_neutralisedFiles.clear();
    m_removedFlags.assign(static_cast<std::size_t>(m_total), false);
    m_doneText = QStringLiteral("0");
    m_threatText =
        m_index > 0
            ? QString::fromLocal8Bit(m_data.infections.record(m_index).threatName.bytes()).left(30)
            : QString();

    // The scanner is asked again about every path before the first step takes anything; the
    // steps wait for its answer.
    QList<QByteArray> paths;
    m_asked.clear();
    for (int n = 1; n <= m_total; ++n) {
        const QByteArray path = actionPath(n);
        platform::FileStamp stamp;
        if (!path.isEmpty() && platform::isRegularFile(path) && !m_asked.contains(path) &&
            platform::fileStamp(path, &stamp)) {
            m_asked.insert(path, stamp);
            paths << path;
        }
    }
    m_confirmation.start(m_confirmCommand ? m_confirmCommand() : ScanConfirmation::Command{},
                         paths);

    m_timer.start();
    emit removalWindowOpened();
    emit progressChanged();
}

void RemovalRun::tick() {
    if (m_confirmation.isRunning())
        return;
    m_doneText = QString::number(m_total - m_index);
    if (m_index <= 0) {
        emit progressChanged();
        finish();
        return;
    }
    m_threatText =
        QString::fromLocal8Bit(m_data.infections.record(m_index).threatName.bytes()).left(30);
    emit progressChanged();
    const Outcome outcome = removeOne(m_index);
    // A file made harmless in place is no longer infected: it leaves the list, but it was not
    // removed.
    m_removedFlags[static_cast<std::size_t>(m_index - 1)] = outcome != Outcome::Stays;
    if (outcome == Outcome::Removed)
        ++m_removed;
    else if (outcome == Outcome::Neutralised)
        ++m_neutralised;
    else
        ++m_notRemoved;
    --m_index;
}

void RemovalRun::endProcessesOf(const QByteArray &path) {
    quint64 device = 0, inode = 0;
    if (!platform::fileIdentity(path, &device, &inode))
        return;
    // Looked up now, and checked again by each signal: a process that has ended since is never
    // confused with another that got its number.
    for (const platform::ProcessEntry &entry : platform::processSnapshot()) {
        if (entry.device == device && entry.inode == inode)
            platform::killIfRunning(entry.pid, device, inode);
    }
}

QByteArray RemovalRun::actionPath(int n) const {
    // Act on the whole printed path; a record from list.gav whose path filled its room may have
    // been cut, and a cut path names some other file.
    QByteArray path = m_data.infections.fullPath(n);
    if (path.isEmpty()) {
        const auto &filePath = m_data.infections.record(n).filePath;
        path = filePath.bytes();
        if (path.size() >= int(filePath.capacity))
            return {};
    }
    // Only an absolute path: never a forged relative name.
    if (!path.startsWith('/'))
        return {};
    // The program's own files (vault copies, databases) are never taken, whatever link they were
    // reached through: taking a vault copy again would leave its record naming a deleted file.
    const QString real = QFileInfo(QFile::decodeName(path)).canonicalFilePath();
    const QString own = QDir(m_data.folders.data).canonicalPath();
    if (!own.isEmpty() && real.startsWith(own + QLatin1Char('/')))
        return {};
    return path;
}

bool RemovalRun::copyIntoVault(const platform::HeldFile &file, const QByteArray &name,
                               const platform::Attributes &attributes, RemovalNote &note,
                               QByteArray *vaultPath, platform::FileContent *content,
                               QString *error) {
    const QByteArray folder = QFile::encodeName(m_data.folders.vault());
    // The copy's whole path must fit its record, and its name the file system.
    const qsizetype room = std::min<qsizetype>(
        qsizetype(decltype(InfectionRecord::vaultPath)::capacity) - folder.size(), 255);
    if (room < 16) {
        *error = QStringLiteral("the vault folder's path is too long");
        return false;
    }
    for (int attempt = 0; attempt < 200; ++attempt) {
        QByteArray candidate;
        if (attempt == 0) {
            candidate = name;
        } else {
            // A number in front; a name too long for the room keeps its end (the extension).
            const QByteArray number =
                QByteArray::number(m_data.random.bounded(attempt < 100 ? 10000 : 1000000000));
            candidate = number + name.right(room - number.size());
        }
        if (candidate.size() > room || VaultTable::isReservedName(candidate))
            continue;
        const QByteArray target = folder + candidate;
        if (platform::pathExists(target) || m_data.vault.usesVaultPath(target))
            continue;
        // The note is on disk before the copy has its name: start-up after a crash knows the copy
        // for the program's own, with or without the attributes it carries.
        note.copy = target;
        if (m_notePath.isEmpty())
            m_notePath = RemovalNote::newPath(folder, m_data.random.generate64());
        if (*error = note.writeTo(m_notePath); !error->isEmpty()) {
            m_notePath.clear();
            return false;
        }
        bool existed = false;
        *error = platform::copyHeldFile(file, target, 0600, attributes, &existed, content);
        if (error->isEmpty()) {
            *vaultPath = target;
            return true;
        }
        if (!existed)
            return false;
        // Taken in the meantime: another name.
    }
    return false;
}

RemovalRun::Outcome RemovalRun::removeOne(int n) {
    InfectionRecord &record = m_data.infections.record(n);
    // A note an earlier step could not settle stays on disk for start-up.
    m_notePath.clear();
    const QByteArray path = actionPath(n);
    if (path.isEmpty())
        return Outcome::Stays;
    const QByteArray name = fileNamePart(path);

    // Only what the scanner has just reported again, under this exact path, is taken.
    if (!m_confirmation.isConfirmed(path)) {
        if (m_asked.contains(path))
            ++m_unconfirmed;
        return Outcome::Stays;
    }
    // A file already gone was taken by an earlier step of this run (the same path twice).
    if (!platform::pathExists(path))
        return m_taken.contains(path) ? Outcome::Removed : Outcome::Stays;
    // Only a regular file: never a link, a folder or a device. It is held open from here on:
    // what is copied, checked and deleted is this one file, whatever is put at its name.
    platform::HeldFile file;
    if (name.isEmpty() || !file.open(path))
        return Outcome::Stays;
    // The answer was about the file as it was asked for: one replaced or changed since then is
    // not what the scanner confirmed. Another name of a file this run has taken had its change
    // time moved by that (its link count fell); it is still the confirmed file when its content
    // is what was taken.
    const platform::FileStamp asked = m_asked.value(path);
    platform::FileStamp now;
    const bool same = platform::fileStamp(file, &now) && now == asked;
    const auto takenKey = std::make_pair(asked.device, asked.inode);
    const bool otherName = !same && now.device == asked.device && now.inode == asked.inode &&
                           m_takenFiles.contains(takenKey);
    if (!same && !otherName) {
        ++m_unconfirmed;
        return Outcome::Stays;
    }
    // Another name of a file this run cut to one byte in place shows that byte: it is harmless
    // already, and its content is in the vault under the record of the name taken first.
    if (otherName && m_neutralisedFiles.contains(takenKey) && file.holdsOnly(neutralByte)) {
        m_taken.insert(path);
        return Outcome::Neutralised;
    }
    if (!m_data.vault.isLoaded())
        return Outcome::Stays;
    // Every file that leaves its place gets a record of its own.
    if (m_data.vault.isFull()) {
        m_vaultFull = true;
        return Outcome::Stays;
    }

    if (name.toLower() != QByteArrayLiteral("dudiduzaz.ivo"))
        endProcessesOf(path);

    // Kept with the copy: for the restore, the permission bits, the real name (the copy's name
    // may carry a number or be shortened) and the real folder it was found in; for start-up
    // after a crash, what rebuilds the record; and the hidden name the file is moved to just
    // before it is deleted. Without extended attributes the file comes back as 0600 under the
    // last part of its recorded path.
    const QByteArray aside =
        RemovalNote::asidePrefix + QByteArray::number(m_data.random.generate64(), 36);
    const platform::Attributes attributes{
        {platform::attribute::name, name},
        {platform::attribute::path, path},
        {platform::attribute::threat, record.threatName.bytes()},
        {platform::attribute::folder, platform::canonicalPath(folderPart(path))},
        {platform::attribute::aside, aside},
        {platform::attribute::mode, QByteArray::number(file.permissions(), 8)},
    };
    QByteArray vaultPath;
    platform::FileContent copied;
    RemovalNote note{{}, path, record.threatName.bytes(), aside};
    QString copyError;
    if (!copyIntoVault(file, name, attributes, note, &vaultPath, &copied, &copyError)) {
        endStep();
        // A file written to while it was copied has changed since it was confirmed.
        platform::FileStamp after;
        if (platform::fileStamp(file, &after) && after != now) {
            ++m_unconfirmed;
        } else if (!m_copyFailureReported && !copyError.isEmpty()) {
            // Once per run: a full or read-only vault fails every file the same way.
            m_copyFailureReported = true;
            emit saveFailed(QStringLiteral("%1 could not be copied into the virus vault: %2")
                                .arg(QFile::decodeName(path), copyError));
        }
        return Outcome::Stays;
    }
    if (otherName && copied.digest != m_takenFiles.value(takenKey)) {
        if (platform::removeFile(vaultPath))
            endStep();
        ++m_unconfirmed;
        return Outcome::Stays;
    }
    record.vaultPath.assign(vaultPath);
    m_data.vault.append(record);

    // The record is stored before the file leaves its place: a program that ends mid-run (a
    // crash, the session ending) leaves every file it took restorable from the vault.
    if (const Stored stored = storeVault(); stored != Stored::Both) {
        takeBack(vaultPath, stored == Stored::RecordsOnly);
        return Outcome::Stays;
    }
    if (m_hooks.beforeDelete)
        m_hooks.beforeDelete(path);

    // What is deleted is exactly what the vault holds: the file is moved aside, checked against
    // the copy and only then deleted; anything else is put back.
    Outcome outcome = Outcome::Stays;
    const auto afterMove = [this, &path] {
        if (m_hooks.afterMovedAside)
            m_hooks.afterMovedAside(path);
    };
    switch (platform::deleteIfUnchanged(path, aside, copied, afterMove)) {
        case platform::TakeOutcome::Deleted:
            outcome = Outcome::Removed;
            break;
        case platform::TakeOutcome::CannotMove:
            // It cannot leave its folder: made harmless where it is, now that the vault holds a
            // copy, and given a ".non" name when the folder allows that.
            if (platform::neutraliseIfUnchanged(path, copied, neutralByte)) {
                outcome = Outcome::Neutralised;
                const QByteArray nonName =
                    folderPart(path) + QByteArray::number(m_data.random.bounded(100000)) + ".non";
                platform::renameNoReplace(path, nonName);
            }
            break;
        case platform::TakeOutcome::Changed:
            ++m_unconfirmed;
            break;
        case platform::TakeOutcome::LeftAside: {
            // Changed, and its name was taken meanwhile: it stays in its folder, under a visible
            // name when not its own, and the user is told where.
            ++m_unconfirmed;
            const QByteArray kept = platform::putBackAside(folderPart(path), aside, name);
            // Not even that: it lies under the hidden name, and the note stays for start-up.
            if (kept.isEmpty())
                m_notePath.clear();
            if (kept != path)
                emit noticeRaised(
                    RemovalNote::keptText(path, kept.isEmpty() ? folderPart(path) + aside : kept));
            break;
        }
    }
    if (outcome == Outcome::Stays) {
        // Untouched in its place: take back this step's copy and record, so that the vault only
        // holds what left its place.
        takeBack(vaultPath, true);
        return outcome;
    }
    platform::removeExtendedAttribute(vaultPath, platform::attribute::aside);
    endStep();
    m_taken.insert(path);
    m_takenFiles.insert(std::make_pair(copied.device, copied.inode), copied.digest);
    if (outcome == Outcome::Neutralised)
        m_neutralisedFiles.insert(std::make_pair(copied.device, copied.inode));
    return outcome;
}

RemovalRun::Stored RemovalRun::storeVault() {
    Status saved = m_data.saveVault();
    const bool records = saved.ok();
    if (records)
        saved = m_data.saveSettings();
    if (saved.ok())
        return Stored::Both;
    // Once per run: the same cause would otherwise be shown for every file.
    if (!m_storeFailureReported)
        emit saveFailed(saved.message());
    m_storeFailureReported = true;
    return records ? Stored::RecordsOnly : Stored::Nothing;
}

void RemovalRun::takeBack(const QByteArray &vaultPath, bool recordsNameIt) {
    m_data.vault.withdrawLast();
    // Cleared, not only left beyond the count: whatever count is on disk, no record names the
    // copy once the records file is written.
    m_data.vault.slot(m_data.vault.count() + 1) = InfectionRecord{};
    if (recordsNameIt && storeVault() == Stored::Nothing)
        return;
    if (platform::removeFile(vaultPath))
        endStep();
}

void RemovalRun::endStep() {
    if (!m_notePath.isEmpty())
        platform::removeFile(m_notePath);
    m_notePath.clear();
}

void RemovalRun::finish(bool showResults) {
    m_timer.stop();
    m_confirmation.cancel();
    m_running = false;

    // A records file that could not be read was reported when the run began.
    if (m_data.vault.isLoaded()) {
        if (const Status saved = m_data.saveVault(); !saved.ok())
            emit saveFailed(saved.message());
        if (const Status saved = m_data.saveSettings(); !saved.ok())
            emit saveFailed(saved.message());
    }
    emit removalWindowClosed();

    ScanSession &session = m_data.session;
    session.setStatus(QString::number(m_removed) + QStringLiteral(" Infections Removed"));
    session.setScannedText(QStringLiteral("Items Scanned: 0"));
    session.setPercentText(QStringLiteral("0%"));
    session.setPercent(0);
    session.clearInfectionRows();
    // What was removed after the scan, by this run and those before it.
    session.setRemovedCount(saturatingAdd(session.removedCount(), m_removed));

    // What could not be quarantined stays in the list, in its order, for another try.
    std::vector<std::pair<InfectionRecord, QByteArray>> kept;
    for (int n = 1; n <= m_total; ++n) {
        if (!m_removedFlags[static_cast<std::size_t>(n - 1)])
            kept.emplace_back(m_data.infections.record(n), m_data.infections.fullPath(n));
    }
    // A paused scan may have added infections after the run began; they stay too.
    for (int n = m_total + 1; n <= m_data.infections.count(); ++n)
        kept.emplace_back(m_data.infections.record(n), m_data.infections.fullPath(n));
    m_data.infections.setCount(0);
    for (const auto &[record, fullPath] : kept) {
        if (m_data.infections.append(record, fullPath))
            session.appendInfectionRow();
    }
    session.setFoundText(QStringLiteral("Infections Found: ") +
                         QString::number(m_data.infections.count()));

    if (showResults)
        emit resultsWindowRequested(m_removed, m_notRemoved, m_vaultFull, m_unconfirmed);

    // A second run for what the first left adds to the last scan's figure, as to the total.
    m_data.lastScan.lastRemoved = saturatingAdd(m_data.lastScan.lastRemoved, m_removed);
    m_data.lastScan.totalRemoved = saturatingAdd(m_data.lastScan.totalRemoved, m_removed);
    if (const Status saved = m_data.saveLastScan(); !saved.ok())
        emit saveFailed(saved.message());
    emit finished();
}
