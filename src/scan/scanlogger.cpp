#include "scan/scanlogger.h"

#include <QFile>

#include "app/programdata.h"
#include "scan/scanengine.h"

ScanLogger::ScanLogger(ProgramData &data, ScanEngine &engine, ScanLog &log, QObject *parent)
    : QObject(parent), m_data(data), m_engine(engine), m_log(log) {
    connect(&engine, &ScanEngine::scanStarted, this, &ScanLogger::started);
    connect(&engine, &ScanEngine::scanNotStarted, this, &ScanLogger::notStarted);
    connect(&engine, &ScanEngine::scanClosed, this, &ScanLogger::closed);
}

ScanLogEntry::Kind ScanLogger::takeKind(bool full) {
    const ScanLogEntry::Kind kind =
        m_nextKind.value_or(full ? ScanLogEntry::Kind::Full : ScanLogEntry::Kind::Custom);
    m_nextKind.reset();
    return kind;
}

void ScanLogger::started(bool full) {
    ScanLogEntry entry;
    entry.started = now();
    entry.kind = takeKind(full);
    // At the start the scan list holds the targets only.
    for (const QByteArray &target : m_engine.scanList().entries())
        entry.targets << target;
    m_current = entry;
}

void ScanLogger::notStarted(bool full, const QStringList &entries, const QString &reason) {
    ScanLogEntry entry;
    entry.started = entry.ended = now();
    entry.kind = takeKind(full);
    for (const QString &path : entries)
        entry.targets << QFile::encodeName(path);
    entry.outcome = ScanLogEntry::Outcome::Failed;
    entry.reason = reason;
    m_current.reset();
    m_lastId = m_log.append(entry);
}

void ScanLogger::closed() {
    if (!m_current)
        return;
    ScanLogEntry entry = *m_current;
    m_current.reset();
    entry.ended = now();
    entry.engine = QFile::decodeName(m_engine.lastScannerPath());
    entry.items = m_engine.itemsScanned();
    entry.infections = qint64(m_engine.infectionCount()) + m_engine.foundBeyondList() +
                       m_engine.unlistedInfections();
    entry.removed = m_data.session.removedCount();
    entry.notScanned = m_engine.unreadableFiles();
    entry.reason = m_engine.failureReason();
    if (m_engine.wasStopped())
        entry.outcome = ScanLogEntry::Outcome::Stopped;
    else if (!entry.reason.isEmpty())
        entry.outcome = ScanLogEntry::Outcome::Failed;
    const InfectionList &list = m_data.infections;
    for (int i = 1; i <= list.count(); ++i) {
        const QByteArray full = list.fullPath(i);
        entry.found << ScanLogEntry::Infection{
            full.isEmpty() ? list.record(i).filePath.bytes() : full,
            list.record(i).threatName.bytes().trimmed()};
    }
    m_lastId = m_log.append(entry);
}

void ScanLogger::logSkipped(const QString &reason) {
    m_log.append(ScanLogEntry::skipped(
        reason, now()));  // a skipped run is no scan whose findings a removal could follow
}

void ScanLogger::recordRemoved(qint64 removed) {
    qint64 id = m_lastId;
    // Findings kept from the program's last run belong to the newest scan logged then.
    if (id == 0) {
        for (const ScanLogEntry &e : m_log.entries())
            if (e.kind != ScanLogEntry::Kind::Skipped) {
                id = e.id;
                break;
            }
    }
    m_log.setRemoved(id, removed);
}
