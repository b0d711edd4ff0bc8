#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

// One scan as the log keeps it. Paths and threat names are the scanner's bytes, never
// re-encoded.
struct ScanLogEntry {
    enum class Kind { Full, Custom, CommandLine, Scheduled, Skipped };
    enum class Outcome { Complete, Failed, Stopped, Skipped };
    struct Infection {
        QByteArray path;
        QByteArray name;
    };

    qint64 id = 0;  // given by the log
    QDateTime started;
    QDateTime ended;
    Kind kind = Kind::Full;
    QList<QByteArray> targets;
    QString engine;
    qint64 items = 0;
    qint64 infections = 0;
    qint64 removed = 0;
    qint64 notScanned = 0;
    Outcome outcome = Outcome::Complete;
    QString reason;  // why it failed or was skipped
    QList<Infection> found;

    static QString kindText(Kind kind);
    static QString outcomeText(Outcome outcome);
    // "Complete", "Failed: why", "Stopped", "Skipped: why".
    QString outcomeLine() const;
    // A scheduled run that did not scan, and why.
    static ScanLogEntry skipped(const QString &reason, const QDateTime &when);
};

// The log of past scans: an SQLite database in the data folder, written in WAL mode and kept to
// the last `keep` scans. A log that cannot be opened or is damaged is set aside under a new name
// and started afresh; whatever goes wrong is reported through problem() and never stops a scan.
class ScanLog : public QObject {
    Q_OBJECT
public:
    static constexpr int keep = 1000;

    explicit ScanLog(QString file, QObject *parent = nullptr);
    ~ScanLog() override;

    QString file() const { return m_file; }
    // Opens (or creates) the database; false when no log could be had.
    bool open();
    bool isOpen() const { return m_open; }
    // False: a log that cannot be used is only reported, never set aside (another program may
    // hold it open).
    void setMaySetAside(bool may) { m_maySetAside = may; }

    // Appends a scan and returns its id; 0 when it could not be written.
    qint64 append(const ScanLogEntry &entry);
    // Sets the removed count of a logged scan (a removal run for it has ended).
    bool setRemoved(qint64 id, qint64 removed);

    // The logged scans, newest first, without their infections.
    QList<ScanLogEntry> entries() const;
    // One scan with its targets and infections; id 0 when it is not in the log.
    ScanLogEntry entry(qint64 id) const;

    // The scans as CSV (RFC 4180: CRLF line ends, fields quoted where they hold a comma, a quote
    // or a line break, quotes doubled), a header line first.
    static QByteArray toCsv(const QList<ScanLogEntry> &entries);

    // The name a damaged log is moved to.
    static QString setAsideName(const QString &file, const QDateTime &when);

signals:
    void problem(const QString &message);
    void changed();

private:
    bool openDatabase();
    bool prepareSchema();
    void closeDatabase();
    bool setAside(const QString &why);
    bool writeEntry(const ScanLogEntry &entry, qint64 *id);
    void report(const QString &message);

    QString m_file;
    QString m_connection;
    bool m_open = false;
    QString m_why;            // what the last failed step met
    bool m_unusable = false;  // the last failed write found the file itself unusable
    bool m_busy = false;      // the last failed step found the file held by another connection
    bool m_maySetAside = true;
};
