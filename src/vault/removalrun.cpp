#include "vault/removalrun.h"

#include <QFile>

#include "app/programdata.h"
#include "platform/fileops.h"

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
}

void RemovalRun::setTickInterval(int ms) {
    m_timer.setInterval(ms);
}

void RemovalRun::removeFoundInfections() {
    if (m_data.infections.count() == 0) {
        m_data.session.setStatus(QStringLiteral("No Infections Found"));
        return;
    }
    if (m_data.session.state() == ScanSession::scanning()) {
        emit confirmStopRequested();
        return;
    }
    start();
}

void RemovalRun::start() {
    if (m_running)
        return;
    if (m_stopRoutine)
        m_stopRoutine();
    m_running = true;
    // The vault holds infected files: only the owner may reach them, whatever mode an older
    // folder was made with.
    platform::restrictFolderToOwner(QFile::encodeName(m_data.folders.vault()));
    m_snapshot = platform::processSnapshot();
    m_total = m_data.infections.count();
    m_index = m_total;
    m_removed = 0;
    m_notRemoved = 0;
    m_vaultFull = false;
    m_storeFailureReported = false;
    m_removedFlags.assign(static_cast<std::size_t>(m_total), false);
    m_doneText = QStringLiteral("0");
    m_threatText =
        m_index > 0
            ? QString::fromLocal8Bit(m_data.infections.record(m_index).threatName.bytes()).left(30)
            : QString();
    m_timer.start();
    emit removalWindowOpened();
    emit progressChanged();
}

void RemovalRun::tick() {
    m_doneText = QString::number(m_total - m_index);
    if (m_index <= 0) {
        emit progressChanged();
        finish();
        return;
    }
    m_threatText =
        QString::fromLocal8Bit(m_data.infections.record(m_index).threatName.bytes()).left(30);
    emit progressChanged();
    const bool removed = removeOne(m_index);
    m_removedFlags[static_cast<std::size_t>(m_index - 1)] = removed;
    if (removed)
        ++m_removed;
    else
        ++m_notRemoved;
    --m_index;
}

void RemovalRun::endProcessesOf(const QByteArray &path) {
    quint64 device = 0, inode = 0;
    if (!platform::fileIdentity(path, &device, &inode))
        return;
    for (const platform::ProcessEntry &entry : m_snapshot) {
        if (entry.device == device && entry.inode == inode)
            platform::killProcess(entry.pid);
    }
}

bool RemovalRun::removeOne(int n) {
    InfectionRecord &record = m_data.infections.record(n);

    // Act on the whole printed path; a record from list.gav whose path filled its room may have
    // been cut, and a cut path names some other file.
    QByteArray path = m_data.infections.fullPath(n);
    if (path.isEmpty()) {
        path = record.filePath.bytes();
        if (path.size() >= int(decltype(record.filePath)::capacity))
            return false;
    }
    const QByteArray name = fileNamePart(path);

    // A file already gone whose path is in the vault was taken by an earlier step.
    if (!platform::pathExists(path))
        return m_data.vault.isQuarantined(record);
    // Only an absolute path to a regular file: never a forged relative name, a link, a folder
    // or a device.
    if (!path.startsWith('/') || name.isEmpty() || !platform::isRegularFile(path))
        return false;

    // The vault path: the file's name, or a random number and the name when that is taken.
    const QByteArray vaultFolder = QFile::encodeName(m_data.folders.vault());
    QByteArray vaultPath = vaultFolder + name;
    if (platform::pathExists(vaultPath))
        vaultPath = vaultFolder + QByteArray::number(m_data.random.bounded(10000)) + name;
    if (vaultPath.size() > int(decltype(record.vaultPath)::capacity))
        return false;  // the record could not say where the copy lies
    record.vaultPath.assign(vaultPath);

    bool added = false;
    if (!m_data.vault.isQuarantined(record)) {
        if (!m_data.vault.append(record)) {
            m_vaultFull = true;
            return false;
        }
        added = true;
    }

    if (name.toLower() != QByteArrayLiteral("dudiduzaz.ivo"))
        endProcessesOf(path);

    unsigned originalMode = 0;
    if (!platform::copyFile(path, vaultPath, 0600, &originalMode).isEmpty()) {
        if (added)
            m_data.vault.withdrawLast();
        return false;
    }
    // For the restore; without extended attributes the file comes back as 0600.
    platform::keepOriginalMode(vaultPath, originalMode);

    // The record is stored before the file leaves its place: a program that ends mid-run (a
    // crash, the session ending) leaves every file it took restorable from the vault.
    if (added && !storeVault()) {
        platform::removeFile(vaultPath);
        m_data.vault.withdrawLast();
        return false;
    }

    if (platform::removeFile(path) || !platform::pathExists(path))
        return true;
    // It cannot be deleted: make it harmless where it is, now that the vault holds a copy.
    if (!platform::truncateToOneByte(path, neutralByte)) {
        // Untouched in its place: take back this step's copy and record, so that the vault
        // only holds what left its place.
        platform::removeFile(vaultPath);
        if (added)
            m_data.vault.withdrawLast();
        return false;
    }
    const QByteArray nonName =
        folderPart(path) + QByteArray::number(m_data.random.bounded(100000)) + ".non";
    platform::renameNoReplace(path, nonName);
    return true;
}

bool RemovalRun::storeVault() {
    Status saved = m_data.saveVault();
    if (saved.ok())
        saved = m_data.saveSettings();
    if (saved.ok())
        return true;
    // Once per run: the same cause would otherwise be shown for every file.
    if (!m_storeFailureReported)
        emit saveFailed(saved.message());
    m_storeFailureReported = true;
    return false;
}

void RemovalRun::finish() {
    m_timer.stop();
    m_running = false;

    if (const Status saved = m_data.saveVault(); !saved.ok())
        emit saveFailed(saved.message());
    if (const Status saved = m_data.saveSettings(); !saved.ok())
        emit saveFailed(saved.message());
    emit removalWindowClosed();

    ScanSession &session = m_data.session;
    session.setStatus(QString::number(m_removed) + QStringLiteral(" Infections Removed"));
    session.setScannedText(QStringLiteral("Items Scanned: 0"));
    session.setPercentText(QStringLiteral("0%"));
    session.setPercent(0);
    session.clearInfectionRows();
    session.setRemovedCount(m_removed);

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

    emit resultsWindowRequested(m_removed, m_notRemoved, m_vaultFull);

    m_data.lastScan.lastRemoved = m_removed;
    m_data.lastScan.totalRemoved += m_removed;
    if (const Status saved = m_data.saveLastScan(); !saved.ok())
        emit saveFailed(saved.message());
    emit finished();
}
