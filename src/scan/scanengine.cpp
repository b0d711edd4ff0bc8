#include "scan/scanengine.h"
#include "scan/scannerchoice.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QLocale>

#include "app/programdata.h"
#include "scan/scanexclusions.h"
#include "state/databasefiles.h"
#include "platform/mounts.h"
#include "platform/scannerprocess.h"

namespace {

constexpr long chunkSize = 1024;
constexpr long batchSize = 64 * 1024;
constexpr auto stopWait = std::chrono::milliseconds(1000);
constexpr int readPollMs = 200;
// Output that trickles in is gathered this long before it is handed to the main thread: one
// hand-over per line of a scanner that prints a line per file costs the window more than the
// lines themselves, and the counters still move many times a second.
constexpr auto gatherTime = std::chrono::milliseconds(25);

}  // namespace

// One scanner run, shared by the main thread and its two worker threads.
struct ScanRun {
    int pid = -1;
    int fd = -1;
    std::thread reader;
    std::thread waiter;

    std::mutex mutex;
    std::condition_variable changed;
    bool paused = false;
    bool ended = false;  // the scanner has ended (not yet reaped)
    bool reaped = false;
    bool readerDone = false;
    bool waiterDone = false;
    bool readFailed = false;
    platform::ExitStatus exit;
    std::atomic<bool> abandoned{false};  // no more hand-overs: the engine is going away

    // Main thread only: the scan is closed, later chunks are ignored.
    bool closed = false;

    // Each worker passes this before every hand-over; a paused scan holds them here.
    void passGate() {
        std::unique_lock lock(mutex);
        changed.wait(lock, [this] { return !paused || abandoned.load(); });
    }
    void setPaused(bool on) {
        {
            std::lock_guard lock(mutex);
            paused = on;
        }
        changed.notify_all();
    }
    bool waitEnded(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, timeout, [this] { return ended; });
    }
    void kill() {
        std::lock_guard lock(mutex);
        if (!reaped)
            platform::ChildProcess::killGroup(pid);
    }
    void join() {
        if (reader.joinable())
            reader.join();
        if (waiter.joinable())
            waiter.join();
    }
    bool finished() {
        std::lock_guard lock(mutex);
        return readerDone && waiterDone;
    }
};

ScanEngine::ScanEngine(ProgramData &data, QObject *parent)
    : QObject(parent),
      m_data(data),
      m_parser(data.session, data.infections, m_scanList),
      m_mountInfo(&platform::readMountInfo) {
    m_handOver = [this](const std::function<void()> &routine) {
        QMetaObject::invokeMethod(this, routine, Qt::BlockingQueuedConnection);
    };
    m_data.shutdownHooks.push_back([this] { stopRoutine(); });
}

ScanEngine::~ScanEngine() {
    abandonAll();
}

void ScanEngine::abandonAll() {
    if (m_run) {
        m_finished.push_back(m_run);
        m_run.reset();
    }
    for (const auto &run : m_finished) {
        run->abandoned = true;
        run->kill();
        run->changed.notify_all();
    }
    // A worker may be waiting for its hand-over to run here: keep serving them until all end.
    for (const auto &run : m_finished) {
        while (!run->finished())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        run->join();
    }
    m_finished.clear();
}

void ScanEngine::joinFinishedRuns() {
    // A run whose worker still waits for its hand-over is kept until it has been served.
    std::erase_if(m_finished, [](const std::shared_ptr<ScanRun> &run) {
        if (!run->finished())
            return false;
        run->join();
        return true;
    });
}

bool ScanEngine::workersRunning() const {
    if (m_run)
        return true;
    return std::any_of(m_finished.begin(), m_finished.end(),
                       [](const std::shared_ptr<ScanRun> &run) { return !run->finished(); });
}

QStringList ScanEngine::fixedDisks() const {
    QStringList disks;
    for (const QByteArray &point : platform::fixedMountPoints(m_mountInfo()))
        disks << QFile::decodeName(point);
    return disks;
}

QString ScanEngine::noDatabaseText(const QString &missing) {
    return QStringLiteral("No virus database: %1 is missing; update the virus database")
        .arg(missing);
}

QString ScanEngine::noDiskText() {
    return QStringLiteral("No local disk was found to scan");
}

bool ScanEngine::refusedByGuard() {
    const QString refusal = m_startGuard ? m_startGuard() : QString();
    if (refusal.isEmpty())
        return false;
    emit scanRefused(refusal);
    return true;
}

void ScanEngine::fullScanCommand() {
    ScanSession &session = m_data.session;
    if (session.state() == ScanSession::idle()) {
        if (refusedByGuard())
            return;
        // Without a disk there is nothing to scan: the scanner is not started at all (it
        // would scan the folder it runs in).
        const QList<QByteArray> disks = platform::fixedMountPoints(m_mountInfo());
        if (disks.isEmpty()) {
            refuse(true, {}, noDiskText());
        } else {
            m_scanList.clear();
            session.setState(ScanSession::scanning());
            for (const QByteArray &point : disks)
                m_scanList.appendTarget(point);
            m_fullScan = true;
            emit progressViewRequested();
            scanStart();
        }
    } else if (session.state() == ScanSession::paused()) {
        session.setState(ScanSession::scanning());
        if (m_run)
            m_run->setPaused(false);
    }
    session.setSelectedScanButton(11);
}

namespace {

// True when a scan of `folder` (ending in "/") that stays on its file system reaches `file`: the
// file lies below it with no mount point in between.
bool reaches(const QByteArray &folder, const QByteArray &file,
             const QList<platform::MountEntry> &mounts) {
    if (!file.startsWith(folder))
        return false;
    for (const platform::MountEntry &m : mounts) {
        const QByteArray point = m.point.endsWith('/') ? m.point : m.point + '/';
        if (point.size() > folder.size() && point.startsWith(folder) && file.startsWith(point))
            return false;
    }
    return true;
}

}  // namespace

bool ScanEngine::startCustomScan(const QStringList &entries) {
    if (m_data.session.state() != ScanSession::idle() || entries.isEmpty())
        return false;
    if (refusedByGuard())
        return false;
    // The scanner is given absolute targets only, so every path it prints is absolute. A folder
    // ends in "/"; a file keeps its own name ("name/" is no file to the scanner).
    QList<QByteArray> chosen, files;
    for (const QString &entry : entries) {
        const QFileInfo info(entry);
        QByteArray target = QFile::encodeName(QDir::cleanPath(info.absoluteFilePath()));
        if (info.exists() && !info.isDir()) {
            files << target;
            continue;
        }
        if (!target.endsWith('/'))
            target += '/';
        chosen << target;
    }
    // Fixed disks below a chosen folder are scanned as in a full scan; a file reached from
    // two chosen folders is scanned once.
    const QByteArray mountInfo = m_mountInfo();
    QList<QByteArray> targets;
    if (!chosen.isEmpty())
        targets = platform::scanTargets(chosen, mountInfo);
    // A chosen file is scanned by itself unless a chosen folder's scan reaches it already.
    // Only the folders above a file can reach it, so each file looks up those alone.
    const QList<platform::MountEntry> mounts = platform::parseMountInfo(mountInfo);
    const QSet<QByteArray> folders(targets.begin(), targets.end());
    QSet<QByteArray> taken;
    for (const QByteArray &file : std::as_const(files)) {
        bool reached = taken.contains(file);
        for (qsizetype at = file.indexOf('/'); !reached && at >= 0; at = file.indexOf('/', at + 1))
            reached =
                folders.contains(file.left(at + 1)) && reaches(file.left(at + 1), file, mounts);
        if (!reached) {
            taken.insert(file);
            targets << file;
        }
    }
    if (targets.isEmpty()) {
        refuse(false, entries, QStringLiteral("None of the chosen folders can be scanned"));
        return true;
    }
    m_scanList.clear();
    for (const QByteArray &target : targets)
        m_scanList.appendTarget(target);
    m_fullScan = false;
    emit progressViewRequested();
    scanStart();
    return true;
}

void ScanEngine::refuse(bool full, const QStringList &entries, const QString &reason) {
    m_failure = reason;
    m_data.session.setStatus(QStringLiteral("Scanning Failed: ") + reason);
    emit scanNotStarted(full, entries, reason);
    emit scanFailed(reason);
}

void ScanEngine::scanStart() {
    ScanSession &session = m_data.session;
    session.setProgressTimerOn(true);
    session.setPercent(0);
    // The bar and its text start together: an empty bar never reads the last scan's "100%".
    session.setPercentText(QStringLiteral("0%"));
    session.setSelectedScanButton(11);
    session.setState(ScanSession::scanning());
    session.setScannedText(QStringLiteral("Items Scanned: 0"));
    session.setFoundText(QStringLiteral("Infections Found: 0"));
    session.setStatus(QStringLiteral("Preparing to Scan ..."));
    m_scanDone = 1;
    m_failure.clear();
    m_unlisted = 0;
    m_parser.reset();
    m_parser.setOwnDataFolders(ownDataFolders());
    m_splitter.reset();
    m_data.infections.setCount(0);
    session.setRemovedCount(0);
    session.clearInfectionRows();
    // Staged downloads never lie beside the databases while the scanner runs.
    QFile::remove(m_data.folders.database + QStringLiteral("main2.cvd"));
    QFile::remove(m_data.folders.database + QStringLiteral("daily2.cvd"));
    emit scanStarted(m_fullScan);
    launch();
}

namespace {

bool holdsDatabases(const QString &folder) {
    const QStringList found = QDir(folder).entryList(
        {QStringLiteral("*.cvd"), QStringLiteral("*.cld"), QStringLiteral("*.cud")}, QDir::Files);
    return !found.isEmpty();
}

}  // namespace

QList<QByteArray> ScanEngine::ownDataFolders() const {
    // The data folder as configured and as the disk really has it (through symbolic links),
    // since a full scan prints the latter.
    QList<QByteArray> folders{QFile::encodeName(m_data.folders.data)};
    const QString real = QFileInfo(m_data.folders.data).canonicalFilePath();
    if (!real.isEmpty()) {
        QByteArray canonical = QFile::encodeName(real);
        if (!canonical.endsWith('/'))
            canonical += '/';
        if (!folders.contains(canonical))
            folders << canonical;
    }
    return folders;
}

QList<QByteArray> ScanEngine::argumentsWithCurrentExclusions() const {
    ScanExclusions exclusions;
    if (!ScanExclusions::load(m_data.registry(), exclusions).ok())
        return m_lastArguments;
    QList<QByteArray> args = m_lastArguments;
    args.removeIf(&ScanExclusions::isExclusionArgument);
    return exclusions.scannerArguments() + args;
}

void ScanEngine::launch() {
    joinFinishedRuns();
    m_stopFlag = false;
    m_databaseMissing = false;

    // The one choice every scan makes, asked afresh each time: a clamd that went away since
    // the last scan is not used, one that came up is.
    const scannerchoice::Choice choice = scannerchoice::resolve(
        m_data.registry(), QFile::encodeName(m_data.folders.program), m_executableFolder);
    const QByteArray &scanner = choice.scanner;
    m_lastScanner = scanner;
    m_lastClamd = choice.clamd;
    if (scanner.isEmpty()) {
        closeFailed(QStringLiteral("The scanner clamscan was not found in %1 or on PATH")
                        .arg(m_data.folders.program));
        return;
    }

    QList<QByteArray> args{QByteArrayLiteral("--recursive")};
    // With clamd the databases are still given: the own engine takes over the files clamd
    // leaves unanswered if it stops answering.
    if (!choice.clamd.isEmpty())
        args << "--clamd=" + choice.clamd;
    QStringList databases;
    if (m_databaseChooser)
        databases = m_databaseChooser();
    else if (databases = databasefiles::inUse(m_data.folders.database);
             databases.isEmpty() && holdsDatabases(m_systemDatabase))
        databases << m_systemDatabase;
    m_databaseMissing = databases.isEmpty();
    if (m_databaseMissing) {
        closeFailed(noDatabaseText(m_data.folders.database + QStringLiteral("main.cvd")));
        return;
    }
    for (const QString &database : std::as_const(databases))
        args << "--database=" + QFile::encodeName(database);
    // What the user has left out, read afresh for every scan whoever starts it.
    ScanExclusions exclusions;
    if (const Status read = ScanExclusions::load(m_data.registry(), exclusions); !read.ok()) {
        closeFailed(read.message());
        return;
    }
    args += exclusions.scannerArguments();
    // Each target stays on its own file system: pseudo, network and other disks' file systems
    // below it are never descended into (the other fixed disks are targets of their own).
    args << QByteArrayLiteral("--cross-fs=no");
    for (const QByteArray &entry : m_scanList.entries())
        args << entry;
    m_lastArguments = args;

    auto run = std::make_shared<ScanRun>();
    QString error;
    if (!platform::ChildProcess::spawn(scanner, args, QFile::encodeName(m_data.folders.program),
                                       &run->pid, &run->fd, &error)) {
        closeFailed(QStringLiteral("Cannot start the scanner %1: %2")
                        .arg(QFile::decodeName(scanner), error));
        return;
    }
    m_run = run;

    run->waiter = std::thread([this, run] {
        platform::ChildProcess::waitUntilEnded(run->pid);
        {
            std::unique_lock lock(run->mutex);
            run->ended = true;
            run->changed.notify_all();
            // The scan is closed only once the reader has reached the end of the output,
            // however long a pause holds it. The scanner stays unreaped meanwhile, so that a
            // stop still reaches whatever of its group keeps the pipe open.
            run->changed.wait(lock, [&run] { return run->readerDone || run->abandoned.load(); });
            run->exit = platform::ChildProcess::reap(run->pid);
            run->reaped = true;
        }
        run->passGate();
        if (!run->abandoned)
            m_handOver([this, run] { completion(run); });
        {
            std::lock_guard lock(run->mutex);
            run->waiterDone = true;
        }
    });
    run->reader = std::thread([this, run] {
        // Reads are at most 1,024 bytes each; what arrives within a short time after the first
        // byte is handed over with it in one hand-over.
        std::vector<char> buffer(batchSize);
        bool atEnd = false;
        while (!atEnd) {
            long n =
                platform::ChildProcess::readSome(run->fd, buffer.data(), chunkSize, readPollMs);
            if (run->abandoned)
                break;
            if (n == -2)
                continue;
            if (n < 0)
                run->readFailed = true;
            if (n <= 0)
                break;
            long total = n;
            // What is waiting is read at once; when the pipe runs dry before the batch is full,
            // the reader sleeps out the gathering time once (not a wake-up per line) and reads
            // what came meanwhile.
            const auto gathered = std::chrono::steady_clock::now() + gatherTime;
            bool slept = false;
            while (total + chunkSize <= batchSize) {
                n = platform::ChildProcess::readSome(run->fd, buffer.data() + total, chunkSize, 0);
                if (n == -2) {
                    const auto left = gathered - std::chrono::steady_clock::now();
                    if (slept || left <= left.zero() || run->abandoned)
                        break;
                    std::this_thread::sleep_for(left);
                    slept = true;
                    continue;
                }
                if (n <= 0) {
                    run->readFailed = n < 0;
                    atEnd = true;
                    break;
                }
                total += n;
            }
            run->passGate();
            if (run->abandoned)
                break;
            const QByteArrayView chunk(buffer.data(), total);
            m_handOver([this, &run, chunk] { onChunk(run, chunk); });
        }
        // The reader owns its end of the pipe: nobody else closes it under a read.
        platform::ChildProcess::closeFd(run->fd);
        {
            std::lock_guard lock(run->mutex);
            run->readerDone = true;
        }
        run->changed.notify_all();
    });
}

void ScanEngine::onChunk(const std::shared_ptr<ScanRun> &run, QByteArrayView chunk) {
    if (run != m_run || run->closed)
        return;
    // A window may stop the scan while it reacts to a line; the rest of the chunk then goes.
    m_splitter.feed(chunk, [this, &run](QByteArrayView line) {
        if (!run->closed)
            m_parser.handleLine(line, m_splitter.lineCut());
    });
    if (!run->closed)
        m_parser.publish();
}

void ScanEngine::completion(const std::shared_ptr<ScanRun> &run) {
    if (run != m_run)
        return;
    const bool wasClosed = run->closed;
    releaseRun();
    if (m_stopFlag || wasClosed)
        return;

    m_splitter.finish(
        [this](QByteArrayView line) { m_parser.handleLine(line, m_splitter.lineCut()); });
    m_parser.publish();

    m_unlisted = unlistedCount(run.get());
    const QString failure = failureOf(*run);
    if (failure.isEmpty())
        closeCompleted();
    else
        closeDied(failure);
}

QString ScanEngine::unlistedText(qint64 count, const QByteArray &folder) {
    QString text = QStringLiteral(
                       "The scanner reported %1 infection(s) that could not be listed "
                       "(a name with a line break)")
                       .arg(count);
    if (!folder.isEmpty())
        text += QStringLiteral(" below ") + QFile::decodeName(folder);
    return text;
}

qint64 ScanEngine::unlistedCount(const ScanRun *run) const {
    // Every infection the scanner counted must be among those taken from its lines; the vault's
    // own copies are taken and set aside. Exit code 1 means it found at least one.
    const qint64 taken =
        qint64(m_parser.infectionCount()) + m_parser.foundBeyondList() + m_parser.ownFolderFound();
    qint64 unlisted = m_parser.unlistedFound();
    if (m_parser.summaryInfected() >= 0)
        unlisted = std::max(unlisted, m_parser.summaryInfected() - taken);
    if (run && run->exit.exited && run->exit.code == 1 && taken == 0)
        unlisted = std::max<qint64>(unlisted, 1);
    return unlisted;
}

QString ScanEngine::failureOf(const ScanRun &run) const {
    // Infections that could not be listed make any end a failure: never a clean result.
    const QString ended = endFailureOf(run);
    const qint64 unlisted = unlistedCount(&run);
    if (unlisted <= 0)
        return ended;
    const QString text = unlistedText(unlisted, m_parser.unlistedFolder());
    return ended.isEmpty() ? text : text + QStringLiteral("; ") + ended;
}

QString ScanEngine::endFailureOf(const ScanRun &run) const {
    // A scan is complete only when the scanner ended by itself, normally, after its summary.
    // Exit code 2 with a summary and no error of its own means files it could not read;
    // those are reported as not scanned.
    const platform::ExitStatus &exit = run.exit;
    const bool normal =
        exit.exited &&
        (exit.code == 0 || exit.code == 1 ||
         (exit.code == 2 && m_parser.firstError().isEmpty() && m_parser.unreadableFiles() > 0));
    if (run.readFailed)
        return QStringLiteral("The scanner's output could not be read");
    if (!exit.exited && exit.signal > 0)
        return QStringLiteral("The scanner was ended by signal %1")
            .arg(platform::signalText(exit.signal));
    if (!m_parser.firstError().isEmpty() && !normal)
        return QString::fromLocal8Bit(m_parser.firstError());
    if (!normal)
        return exit.exited ? QStringLiteral("The scanner ended with exit code %1").arg(exit.code)
                           : QStringLiteral("The scanner ended abnormally");
    if (m_parser.cutLines() > 0)
        return QStringLiteral("The scanner's output was not understood");
    if (!m_parser.summarySeen())
        return QStringLiteral("The scanner ended without its summary");
    return {};
}

void ScanEngine::releaseRun() {
    if (!m_run)
        return;
    m_run->closed = true;
    m_finished.push_back(m_run);
    m_run.reset();
}

void ScanEngine::closeCompleted() {
    ScanSession &session = m_data.session;
    session.setStatus(QStringLiteral("Scanning Complete"));
    session.setPercentText(QStringLiteral("100%"));
    session.setProgressTimerOn(false);
    session.setPercent(100);
    session.setSelectedScanButton(0);
    scanRecord();
    session.setState(ScanSession::idle());
    showResultWindow();
    if (m_parser.unreadableFiles() > 0 || m_parser.foundBeyondList() > 0)
        emit scanIncomplete(m_parser.unreadableFiles(), m_parser.foundBeyondList());
    emit scanClosed();
}

void ScanEngine::closeDied(const QString &reason) {
    ScanSession &session = m_data.session;
    m_failure = reason;
    session.setStatus(QStringLiteral("Scanning Failed: ") + reason);
    session.setProgressTimerOn(false);
    session.setSelectedScanButton(0);
    // A scanner that examined nothing leaves no record; one that died part-way records what
    // it did examine.
    const bool examined = m_parser.itemsScanned() > 0 || m_parser.infectionCount() > 0 ||
                          m_parser.foundBeyondList() > 0 || m_parser.unreadableFiles() > 0 ||
                          m_parser.unlistedFound() > 0 || m_parser.ownFolderFound() > 0;
    if (examined)
        scanRecord();
    session.setState(ScanSession::idle());
    // What was found is still offered for removal; the offer says the scan did not finish.
    if (m_parser.infectionCount() > 0)
        emit infectionsFoundWindowRequested(foundTotal());
    else
        emit scanFailed(reason);
    if (m_parser.unreadableFiles() > 0 || m_parser.foundBeyondList() > 0)
        emit scanIncomplete(m_parser.unreadableFiles(), m_parser.foundBeyondList());
    emit scanClosed();
}

void ScanEngine::closeFailed(const QString &reason) {
    ScanSession &session = m_data.session;
    m_failure = reason;
    releaseRun();
    session.setStatus(QStringLiteral("Scanning Failed: ") + reason);
    session.setProgressTimerOn(false);
    session.setSelectedScanButton(0);
    session.setState(ScanSession::idle());
    emit scanFailed(reason);
    emit scanClosed();
}

int ScanEngine::foundTotal() const {
    return saturatingAdd(m_parser.infectionCount(), m_parser.foundBeyondList());
}

void ScanEngine::showResultWindow() {
    if (m_parser.infectionCount() > 0)
        emit infectionsFoundWindowRequested(foundTotal());
    else
        emit noInfectionsWindowRequested();
}

void ScanEngine::scanRecord() {
    LastScanRecord &record = m_data.lastScan;
    // Both found figures count every infection reported, listed or not (the list holds 500).
    const int found = foundTotal();
    const int removed = m_data.session.removedCount();
    const int items = m_parser.itemsScanned();
    record.scanCount = saturatingAdd(record.scanCount, 1);
    record.totalFound = saturatingAdd(record.totalFound, found);
    record.totalRemoved = saturatingAdd(record.totalRemoved, removed);
    record.totalScanned = saturatingAdd(record.totalScanned, items);
    const QString date = QLocale::system().toString(m_data.clock().today(), QLocale::ShortFormat);
    record.lastDate.assign(date.toLocal8Bit().left(20));
    m_data.session.setProgressTimerOn(false);
    record.reserved20 = 0;
    record.lastFound = found;
    record.scanDone = m_scanDone;
    record.lastRemoved = removed;
    record.lastScanned = items;

    // A failed write is reported; the scan is still closed.
    if (m_parser.infectionCount() > 0) {
        const Status written = m_data.infections.save(m_data.folders.listFile());
        if (!written)
            emit recordWriteFailed(written.message());
    }
    const Status stored = m_data.saveLastScan();
    if (!stored)
        emit recordWriteFailed(stored.message());
}

void ScanEngine::pauseScan() {
    ScanSession &session = m_data.session;
    if (session.state() != ScanSession::scanning())
        return;
    session.setState(ScanSession::paused());
    if (m_run)
        m_run->setPaused(true);
    session.setSelectedScanButton(12);
}

void ScanEngine::resumeScan() {
    ScanSession &session = m_data.session;
    if (session.state() != ScanSession::paused())
        return;
    session.setState(ScanSession::scanning());
    if (m_run)
        m_run->setPaused(false);
    session.setSelectedScanButton(13);
}

void ScanEngine::stopButton() {
    stopRoutine();
    m_data.session.setSelectedScanButton(14);
}

void ScanEngine::stopRoutine() {
    // A paused scan is stopped and recorded like a running one: at shutdown its findings would
    // otherwise be forgotten, and its scanner left behind.
    stopScan();
}

void ScanEngine::stopScan() {
    ScanSession &session = m_data.session;
    const bool paused = session.state() == ScanSession::paused();
    if (session.state() != ScanSession::scanning() && !paused)
        return;
    m_stopFlag = true;
    session.setStatus(QStringLiteral("Scanning Stopped"));
    if (m_run) {
        // Its workers go on to their end; what they still hand over is ignored once it closes.
        // A paused scanner is held by its full pipe and cannot end by itself: no wait for it.
        if (paused)
            m_run->setPaused(false);
        else
            m_run->waitEnded(stopWait);
        // A scanner that ended by itself within the wait is closed here just the same, once.
        // The kill also ends whatever of its group still holds the output open.
        m_run->kill();
    }
    releaseRun();
    scanRecord();
    session.setState(ScanSession::idle());
    // A stopped scan that met an infection it could not list is not shown as clean either.
    const qint64 unlisted = unlistedCount(nullptr);
    m_unlisted = unlisted;
    if (unlisted > 0) {
        m_failure = unlistedText(unlisted, m_parser.unlistedFolder());
        if (m_parser.infectionCount() == 0) {
            emit scanFailed(m_failure);
            emit scanClosed();
            return;
        }
    }
    showResultWindow();
    emit scanClosed();
}
