#pragma once

#include <functional>
#include <optional>

#include <QDateTime>
#include <QObject>

#include "state/scanlog.h"

class ProgramData;
class ScanEngine;

// Writes every scan the engine runs into the scan log: what it covered when it started, and how
// it ended (complete, failed and why, stopped) with its figures and infections when it closed.
// Callers that start a scan for a reason of their own (the command line, a schedule) say so
// first; scans run from the windows are full or custom as the engine started them.
class ScanLogger : public QObject {
    Q_OBJECT
public:
    ScanLogger(ProgramData &data, ScanEngine &engine, ScanLog &log, QObject *parent = nullptr);

    // The kind of the next scan that starts (or cannot start); forgotten after it.
    void setNextKind(ScanLogEntry::Kind kind) { m_nextKind = kind; }
    void clearNextKind() { m_nextKind.reset(); }
    // A scheduled run that did not scan, and why.
    void logSkipped(const QString &reason);
    // A removal run for the last logged scan has ended with this many files removed.
    void recordRemoved(qint64 removed);

    qint64 lastId() const { return m_lastId; }
    ScanLog &log() { return m_log; }

    // Where the times come from (tests).
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };

private:
    void started(bool full);
    void notStarted(bool full, const QStringList &entries, const QString &reason);
    void closed();
    ScanLogEntry::Kind takeKind(bool full);

    ProgramData &m_data;
    ScanEngine &m_engine;
    ScanLog &m_log;
    std::optional<ScanLogEntry::Kind> m_nextKind;
    std::optional<ScanLogEntry> m_current;
    qint64 m_lastId = 0;
};
