#include "state/scanlog.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

constexpr int schemaVersion = 1;

const char *const kindNames[] = {"full", "custom", "command line", "scheduled", "skipped"};
const char *const outcomeNames[] = {"complete", "failed", "stopped", "skipped"};

template <typename E, std::size_t N>
E fromName(const char *const (&names)[N], const QString &text, E otherwise) {
    for (std::size_t i = 0; i < N; ++i)
        if (text == QLatin1StringView(names[i]))
            return E(i);
    return otherwise;
}

qint64 toMs(const QDateTime &time) {
    return time.isValid() ? time.toMSecsSinceEpoch() : 0;
}

QDateTime fromMs(qint64 ms) {
    return ms ? QDateTime::fromMSecsSinceEpoch(ms) : QDateTime();
}

// SQLite's answers that mean the file itself is unusable, not this one statement: read-only,
// I/O error, damaged, cannot be opened, not a database.
bool fileIsUnusable(const QSqlError &error) {
    const int code = error.nativeErrorCode().toInt() & 0xff;
    return code == 8 || code == 10 || code == 11 || code == 14 || code == 26;
}

// SQLite's answers that mean another connection holds the file for now: busy, locked. Such a
// log is whole and is used again once it is free.
bool fileIsBusy(const QSqlError &error) {
    const int code = error.nativeErrorCode().toInt() & 0xff;
    return code == 5 || code == 6;
}

QString errorText(const QSqlError &error) {
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return text.isEmpty() ? QStringLiteral("unknown error") : text;
}

QByteArray csvField(const QByteArray &field) {
    if (!field.contains(',') && !field.contains('"') && !field.contains('\n') &&
        !field.contains('\r'))
        return field;
    QByteArray quoted = field;
    quoted.replace('"', "\"\"");
    return '"' + quoted + '"';
}

QByteArray timeText(const QDateTime &time) {
    return time.isValid() ? time.toUTC().toString(Qt::ISODate).toUtf8() : QByteArray();
}

}  // namespace

QString ScanLogEntry::kindText(Kind kind) {
    return QString::fromLatin1(kindNames[int(kind)]);
}

QString ScanLogEntry::outcomeText(Outcome outcome) {
    return QString::fromLatin1(outcomeNames[int(outcome)]);
}

QString ScanLogEntry::outcomeLine() const {
    static const char *const shown[] = {"Complete", "Failed", "Stopped", "Skipped"};
    QString line = QString::fromLatin1(shown[int(outcome)]);
    if (!reason.isEmpty())
        line += QStringLiteral(": ") + reason;
    return line;
}

ScanLogEntry ScanLogEntry::skipped(const QString &reason, const QDateTime &when) {
    ScanLogEntry entry;
    entry.started = entry.ended = when;
    entry.kind = Kind::Skipped;
    entry.outcome = Outcome::Skipped;
    entry.reason = reason;
    return entry;
}

ScanLog::ScanLog(QString file, QObject *parent)
    : QObject(parent),
      m_file(std::move(file)),
      m_connection(QStringLiteral("scanlog-%1").arg(quintptr(this), 0, 16)) {}

ScanLog::~ScanLog() {
    closeDatabase();
}

QString ScanLog::setAsideName(const QString &file, const QDateTime &when) {
    return file + QStringLiteral(".damaged-") +
           when.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
}

void ScanLog::report(const QString &message) {
    emit problem(message);
}

void ScanLog::closeDatabase() {
    if (!QSqlDatabase::contains(m_connection))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
    m_open = false;
}

bool ScanLog::open() {
    if (m_open)
        return true;
    return openDatabase();
}

bool ScanLog::openDatabase() {
    closeDatabase();
    QString why;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        if (!db.isValid()) {
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_connection);
            report(
                QStringLiteral("The scan log cannot be kept: the SQLite driver of Qt is missing"));
            return false;
        }
        db.setDatabaseName(m_file);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
        if (db.open() && prepareSchema()) {
            m_open = true;
            return true;
        }
        why = db.isOpen() ? m_why : errorText(db.lastError());
        if (!db.isOpen())
            m_busy = fileIsBusy(db.lastError());
    }
    if (m_busy) {
        closeDatabase();
        report(QStringLiteral("The scan log %1 is in use by another program (%2). Scans go on "
                              "without it until it is free.")
                   .arg(m_file, why));
        return false;
    }
    return setAside(why);
}

// Makes the tables where they are missing and checks that the file is a whole, writable log of
// this layout. On failure the reason is reported by the caller.
bool ScanLog::prepareSchema() {
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery q(db);
    m_open = false;
    m_busy = false;
    const auto fail = [this, &q](const QString &what) {
        m_why = what.isEmpty() ? errorText(q.lastError()) : what;
        m_busy = what.isEmpty() && fileIsBusy(q.lastError());
        return false;
    };
    // Checked before anything is written, so that a file set aside is left as it was found.
    if (!q.exec(QStringLiteral("PRAGMA quick_check")) || !q.next())
        return fail({});
    if (q.value(0).toString() != QStringLiteral("ok"))
        return fail(QStringLiteral("it is damaged (") + q.value(0).toString() + QLatin1Char(')'));
    const QString layout[] = {
        QStringLiteral("SELECT id, started, ended, kind, engine, items, infections, removed, "
                       "not_scanned, outcome, reason FROM scans LIMIT 0"),
        QStringLiteral("SELECT scan, seq, path FROM targets LIMIT 0"),
        QStringLiteral("SELECT scan, seq, path, name FROM infections LIMIT 0"),
    };
    const QString tables[] = {QStringLiteral("scans"), QStringLiteral("targets"),
                              QStringLiteral("infections")};
    for (int i = 0; i < 3; ++i) {
        QSqlQuery exists(db);
        exists.prepare(QStringLiteral("SELECT 1 FROM sqlite_master WHERE name = ?"));
        exists.addBindValue(tables[i]);
        if (!exists.exec()) {
            fail(errorText(exists.lastError()));
            m_busy = fileIsBusy(exists.lastError());
            return false;
        }
        if (exists.next() && !q.exec(layout[i]))
            return fail(QStringLiteral("it is not a scan log of this program"));
    }
    if (!q.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !q.next())
        return fail({});
    if (q.value(0).toString().compare(QStringLiteral("wal"), Qt::CaseInsensitive) != 0)
        return fail(QStringLiteral("it cannot be written"));
    // In WAL mode a crash may lose the last scan's line but never damages the file.
    q.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    const QString statements[] = {
        QStringLiteral("CREATE TABLE IF NOT EXISTS scans(id INTEGER PRIMARY KEY AUTOINCREMENT, "
                       "started INTEGER, ended INTEGER, kind TEXT, engine TEXT, items INTEGER, "
                       "infections INTEGER, removed INTEGER, not_scanned INTEGER, outcome TEXT, "
                       "reason TEXT)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS targets(scan INTEGER, seq INTEGER, path BLOB)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS infections(scan INTEGER, seq INTEGER, "
                       "path BLOB, name BLOB)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS targets_scan ON targets(scan)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS infections_scan ON infections(scan)"),
        // Also proves the file can be written: a read-only log fails here.
        QStringLiteral("PRAGMA user_version=%1").arg(schemaVersion),
    };
    for (const QString &statement : statements)
        if (!q.exec(statement))
            return fail({});
    return true;
}

bool ScanLog::setAside(const QString &reason) {
    QString why = reason.isEmpty() ? m_why : reason;
    if (why.isEmpty())
        why = QStringLiteral("unknown error");
    closeDatabase();
    if (!m_maySetAside) {
        report(QStringLiteral("The scan log %1 cannot be used (%2).").arg(m_file, why));
        return false;
    }
    if (!QFileInfo::exists(m_file) && !QFileInfo(m_file).isSymLink()) {
        report(QStringLiteral("The scan log %1 cannot be made (%2). Scans go on without it.")
                   .arg(m_file, why));
        return false;
    }
    const QString aside = setAsideName(m_file, QDateTime::currentDateTimeUtc());
    if (!QFile::rename(m_file, aside)) {
        report(QStringLiteral("The scan log %1 cannot be used (%2) and could not be set aside. "
                              "Scans go on without it.")
                   .arg(m_file, why));
        return false;
    }
    // The log's write-ahead files belong to the damaged log, not to the next one.
    for (const char *suffix : {"-wal", "-shm"}) {
        const QString side = m_file + QLatin1StringView(suffix);
        if (QFileInfo::exists(side) && !QFile::rename(side, aside + QLatin1StringView(suffix)))
            QFile::remove(side);
    }
    QString message =
        QStringLiteral("The scan log %1 could not be used (%2). It was set aside as %3")
            .arg(m_file, why, aside);
    bool fresh = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        db.setDatabaseName(m_file);
        fresh = db.open() && prepareSchema();
    }
    if (fresh) {
        m_open = true;
        report(message + QStringLiteral(" and a new log was begun."));
        return true;
    }
    closeDatabase();
    report(message + QStringLiteral("; a new log cannot be made either. Scans go on without it."));
    return false;
}

bool ScanLog::writeEntry(const ScanLogEntry &e, qint64 *id) {
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction())
        return false;
    QSqlQuery q(db);
    bool ok = q.prepare(QStringLiteral(
        "INSERT INTO scans(started, ended, kind, engine, items, infections, removed, "
        "not_scanned, outcome, reason) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    if (ok) {
        q.addBindValue(toMs(e.started));
        q.addBindValue(toMs(e.ended));
        q.addBindValue(ScanLogEntry::kindText(e.kind));
        q.addBindValue(e.engine);
        q.addBindValue(e.items);
        q.addBindValue(e.infections);
        q.addBindValue(e.removed);
        q.addBindValue(e.notScanned);
        q.addBindValue(ScanLogEntry::outcomeText(e.outcome));
        q.addBindValue(e.reason);
        ok = q.exec();
    }
    const qint64 scan = ok ? q.lastInsertId().toLongLong() : 0;
    if (ok) {
        ok = q.prepare(QStringLiteral("INSERT INTO targets(scan, seq, path) VALUES(?, ?, ?)"));
        for (int i = 0; ok && i < e.targets.size(); ++i) {
            q.addBindValue(scan);
            q.addBindValue(i);
            q.addBindValue(e.targets[i]);  // a QByteArray binds as a BLOB
            ok = q.exec();
        }
    }
    if (ok) {
        ok = q.prepare(
            QStringLiteral("INSERT INTO infections(scan, seq, path, name) VALUES(?, ?, ?, ?)"));
        for (int i = 0; ok && i < e.found.size(); ++i) {
            q.addBindValue(scan);
            q.addBindValue(i);
            q.addBindValue(e.found[i].path);
            q.addBindValue(e.found[i].name);
            ok = q.exec();
        }
    }
    // Only the last `keep` scans stay.
    if (ok) {
        const QString cutoff =
            QStringLiteral("(SELECT id FROM scans ORDER BY id DESC LIMIT 1 OFFSET %1)")
                .arg(keep - 1);
        ok = q.exec(QStringLiteral("DELETE FROM targets WHERE scan < ") + cutoff) &&
             q.exec(QStringLiteral("DELETE FROM infections WHERE scan < ") + cutoff) &&
             q.exec(QStringLiteral("DELETE FROM scans WHERE id < ") + cutoff);
    }
    if (ok)
        ok = db.commit();
    if (!ok) {
        m_why = errorText(q.lastError().isValid() ? q.lastError() : db.lastError());
        m_unusable = fileIsUnusable(q.lastError()) || fileIsUnusable(db.lastError());
        m_busy = fileIsBusy(q.lastError()) || fileIsBusy(db.lastError());
        db.rollback();
        return false;
    }
    *id = scan;
    return true;
}

qint64 ScanLog::append(const ScanLogEntry &entry) {
    // A log file deleted or replaced by something else since it was opened would take the scan
    // into a file nobody sees again: it is opened afresh.
    if (m_open && !QFileInfo(m_file).isFile())
        closeDatabase();
    if (!m_open && !openDatabase())
        return 0;
    qint64 id = 0;
    if (writeEntry(entry, &id)) {
        emit changed();
        return id;
    }
    // A log damaged or made unwritable since it was opened is set aside, and the scan goes
    // into the new one.
    if (m_unusable && setAside(m_why) && writeEntry(entry, &id)) {
        emit changed();
        return id;
    }
    if (m_busy)
        report(QStringLiteral("The scan could not be written to the scan log %1: it is in use by "
                              "another program (%2).")
                   .arg(m_file, m_why));
    else
        report(QStringLiteral("The scan could not be written to the scan log %1 (%2).")
                   .arg(m_file, m_why));
    return 0;
}

bool ScanLog::setRemoved(qint64 id, qint64 removed) {
    if (!m_open || id <= 0)
        return false;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("UPDATE scans SET removed = ? WHERE id = ?"));
    q.addBindValue(removed);
    q.addBindValue(id);
    if (!q.exec()) {
        report(QStringLiteral("The scan log %1 could not be updated (%2).")
                   .arg(m_file, errorText(q.lastError())));
        return false;
    }
    emit changed();
    return q.numRowsAffected() > 0;
}

namespace {

const QString scanColumns = QStringLiteral(
    "SELECT id, started, ended, kind, engine, items, infections, removed, not_scanned, outcome, "
    "reason FROM scans ");

ScanLogEntry entryOf(const QSqlQuery &q) {
    ScanLogEntry e;
    e.id = q.value(0).toLongLong();
    e.started = fromMs(q.value(1).toLongLong());
    e.ended = fromMs(q.value(2).toLongLong());
    e.kind = fromName(kindNames, q.value(3).toString(), ScanLogEntry::Kind::Full);
    e.engine = q.value(4).toString();
    e.items = q.value(5).toLongLong();
    e.infections = q.value(6).toLongLong();
    e.removed = q.value(7).toLongLong();
    e.notScanned = q.value(8).toLongLong();
    e.outcome = fromName(outcomeNames, q.value(9).toString(), ScanLogEntry::Outcome::Failed);
    e.reason = q.value(10).toString();
    return e;
}

}  // namespace

QList<ScanLogEntry> ScanLog::entries() const {
    QList<ScanLogEntry> list;
    if (!m_open)
        return list;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    if (!q.exec(scanColumns + QStringLiteral("ORDER BY id DESC")))
        return list;
    while (q.next())
        list << entryOf(q);
    return list;
}

ScanLogEntry ScanLog::entry(qint64 id) const {
    if (!m_open)
        return {};
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(scanColumns + QStringLiteral("WHERE id = ?"));
    q.addBindValue(id);
    if (!q.exec() || !q.next())
        return {};
    ScanLogEntry e = entryOf(q);
    q.prepare(QStringLiteral("SELECT path FROM targets WHERE scan = ? ORDER BY seq"));
    q.addBindValue(id);
    if (q.exec())
        while (q.next())
            e.targets << q.value(0).toByteArray();
    q.prepare(QStringLiteral("SELECT path, name FROM infections WHERE scan = ? ORDER BY seq"));
    q.addBindValue(id);
    if (q.exec())
        while (q.next())
            e.found << ScanLogEntry::Infection{q.value(0).toByteArray(), q.value(1).toByteArray()};
    return e;
}

QByteArray ScanLog::toCsv(const QList<ScanLogEntry> &entries) {
    QByteArray csv =
        "Started,Ended,Kind,Targets,Engine,Items scanned,Infections,Removed,"
        "Not scanned,Outcome,Infections found\r\n";
    for (const ScanLogEntry &e : entries) {
        QByteArrayList found;
        for (const ScanLogEntry::Infection &i : e.found)
            found << i.path + ": " + i.name;
        const QByteArrayList fields = {
            timeText(e.started),
            timeText(e.ended),
            ScanLogEntry::kindText(e.kind).toUtf8(),
            QByteArrayList(e.targets.begin(), e.targets.end()).join('\n'),
            e.engine.toUtf8(),
            QByteArray::number(e.items),
            QByteArray::number(e.infections),
            QByteArray::number(e.removed),
            QByteArray::number(e.notScanned),
            e.outcomeLine().toUtf8(),
            found.join('\n'),
        };
        QByteArrayList quoted;
        for (const QByteArray &field : fields)
            quoted << csvField(field);
        csv += quoted.join(',') + "\r\n";
    }
    return csv;
}
