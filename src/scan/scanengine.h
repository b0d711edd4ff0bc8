#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QObject>
#include <QStringList>

#include "scan/linesplitter.h"
#include "scan/outputparser.h"
#include "scan/scanlist.h"
#include "scan/scannerchoice.h"

class ProgramData;
struct ScanRun;

// Runs scans: starts clamscan as a child process, reads its output on a reader thread, waits
// for its end on a wait thread, parses every line on the main thread, and closes each scan with
// its record and its result window. The live texts go into the program's ScanSession.
class ScanEngine : public QObject {
    Q_OBJECT
public:
    // Runs a routine on the main thread and returns when it has finished. Called from the
    // worker threads.
    using HandOver = std::function<void(const std::function<void()> &routine)>;

    explicit ScanEngine(ProgramData &data, QObject *parent = nullptr);
    ~ScanEngine() override;

    void fullScanCommand();
    // False (nothing started) unless the scan state is "idle" and there is an entry.
    bool startCustomScan(const QStringList &entries);
    void pauseScan();
    void resumeScan();
    void stopButton();
    // Stops a running or a paused scan, records it and shows its result window; nothing when
    // idle. The Stop button, the confirm-stop dialog, the removal run and shutdown call it.
    void stopRoutine();
    void stopScan();

    QStringList fixedDisks() const;
    // Why a full scan is refused on a machine without a fixed disk.
    static QString noDiskText();
    int itemsScanned() const { return m_parser.itemsScanned(); }
    int infectionCount() const { return m_parser.infectionCount(); }
    int foundBeyondList() const { return m_parser.foundBeyondList(); }
    // Every infection reported: the listed ones and those beyond the list.
    int foundTotal() const;
    int unreadableFiles() const { return m_parser.unreadableFiles(); }
    int directoryChanges() const { return m_parser.directoryChanges(); }
    // True when the last scan was stopped before the scanner ended.
    bool wasStopped() const { return m_stopFlag; }
    // Why the last scan did not finish or cannot be trusted; empty when it did (or was stopped).
    QString failureReason() const { return m_failure; }
    // Infections the scanner reported without a path that could be listed: a name holding a
    // line break. folder is where the first lies, as far as is known.
    static QString unlistedText(qint64 count, const QByteArray &folder);
    // How many of those the last scan had; 0 when it had none.
    qint64 unlistedInfections() const { return m_unlisted; }

    // True while a worker thread of this or an earlier scan has not ended yet.
    bool workersRunning() const;

    const ScanList &scanList() const { return m_scanList; }
    OutputParser &parser() { return m_parser; }
    // The argument vector of the last launch (after the scanner's own path).
    QList<QByteArray> lastArguments() const { return m_lastArguments; }
    QByteArray lastScannerPath() const { return m_lastScanner; }
    // The clamd the last launch handed its files to; empty when it used none.
    QByteArray lastClamdAddress() const { return m_lastClamd; }
    // The last launch's arguments with the exclusions stored now in place of its own, for a
    // later confirmation of its findings: what has been excluded since is not confirmed. Its
    // own stay when the stored ones cannot be read.
    QList<QByteArray> argumentsWithCurrentExclusions() const;

    void setHandOver(HandOver handOver) { m_handOver = std::move(handOver); }
    // Asked before a scan starts: a non-empty text refuses the start (scanRefused) and says why.
    void setStartGuard(std::function<QString()> guard) { m_startGuard = std::move(guard); }
    // Replaces the mountinfo text that fixedDisks() reads (tests).
    void setMountInfoSource(std::function<QByteArray()> source) { m_mountInfo = std::move(source); }
    // The system database folder used when the program has no main.cvd.
    void setSystemDatabaseFolder(const QString &folder) { m_systemDatabase = folder; }
    // Replaces that choice: the database files (or folders) each scan is given; empty when
    // there are none.
    void setDatabaseChooser(std::function<QStringList()> chooser) {
        m_databaseChooser = std::move(chooser);
    }
    // The last scan failed because there was no virus database at all.
    bool databaseMissing() const { return m_databaseMissing; }
    static QString noDatabaseText(const QString &missing);
    // The folder looked in for vizavuz-scan after the program folder ("/"-terminated; tests).
    void setExecutableFolder(const QByteArray &folder) { m_executableFolder = folder; }

signals:
    void progressViewRequested();
    // count: every infection found (foundTotal), of which infectionCount are listed.
    void infectionsFoundWindowRequested(int count);
    void noInfectionsWindowRequested();
    void scanFailed(const QString &message);
    void scanRefused(const QString &reason);
    void scanIncomplete(int unreadableFiles, int foundBeyondList);
    void recordWriteFailed(const QString &message);
    void scanClosed();
    // A scan has started with its targets in the scan list; full is false for a custom scan.
    void scanStarted(bool full);
    // A scan was asked for but could not start: no disk, or nothing of the chosen to scan.
    void scanNotStarted(bool full, const QStringList &entries, const QString &reason);

private:
    void scanStart();
    void launch();
    void refuse(bool full, const QStringList &entries, const QString &reason);
    bool refusedByGuard();
    void onChunk(const std::shared_ptr<ScanRun> &run, QByteArrayView chunk);
    void completion(const std::shared_ptr<ScanRun> &run);
    void releaseRun();
    void closeCompleted();
    void closeFailed(const QString &reason);
    void closeDied(const QString &reason);
    QString failureOf(const ScanRun &run) const;
    QString endFailureOf(const ScanRun &run) const;
    qint64 unlistedCount(const ScanRun *run) const;
    QList<QByteArray> ownDataFolders() const;
    void scanRecord();
    void showResultWindow();
    void joinFinishedRuns();
    void abandonAll();

    ProgramData &m_data;
    ScanList m_scanList;
    OutputParser m_parser;
    LineSplitter m_splitter;
    HandOver m_handOver;
    std::function<QString()> m_startGuard;
    std::function<QByteArray()> m_mountInfo;
    QString m_systemDatabase = QStringLiteral("/var/lib/clamav/");
    QByteArray m_executableFolder = scannerchoice::executableFolder();
    std::function<QStringList()> m_databaseChooser;
    bool m_databaseMissing = false;
    std::shared_ptr<ScanRun> m_run;
    std::vector<std::shared_ptr<ScanRun>> m_finished;
    bool m_stopFlag = false;
    bool m_fullScan = false;
    int m_scanDone = 0;
    QString m_failure;
    qint64 m_unlisted = 0;
    QList<QByteArray> m_lastArguments;
    QByteArray m_lastScanner;
    QByteArray m_lastClamd;
};
