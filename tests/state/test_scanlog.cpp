#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include "state/scanlog.h"
#include "testenv.h"

class TestScanLog : public QObject {
    Q_OBJECT

    static ScanLogEntry sample(int n) {
        ScanLogEntry e;
        e.started = QDateTime::fromMSecsSinceEpoch(1'800'000'000'000 + n * 1000);
        e.ended = e.started.addSecs(30);
        e.kind = ScanLogEntry::Kind::Custom;
        e.targets = {QByteArray("/home/u/"), QByteArray("/srv/\xff\xfe odd\nname/")};
        e.engine = QStringLiteral("/usr/bin/clamscan");
        e.items = 100 + n;
        e.infections = 2;
        e.notScanned = 1;
        e.outcome = ScanLogEntry::Outcome::Failed;
        e.reason = QStringLiteral("The scanner was ended by signal 9 (Killed)");
        e.found = {{"/home/u/a \xe9.exe", "Eicar-Test-Signature "}, {"/srv/x,\"y\"", "Other"}};
        return e;
    }

private slots:
    void scansAreKeptWithTheirBytesAndNewestFirst() {
        QTemporaryDir dir;
        ScanLog log(dir.filePath(QStringLiteral("scanlog.sqlite")));
        QVERIFY(log.open());
        const qint64 first = log.append(sample(1));
        ScanLogEntry skipped;
        skipped.kind = ScanLogEntry::Kind::Skipped;
        skipped.outcome = ScanLogEntry::Outcome::Skipped;
        skipped.reason = QStringLiteral("A scan is already running");
        const qint64 second = log.append(skipped);
        QVERIFY(first > 0 && second > first);
        QVERIFY(log.setRemoved(first, 2));

        const QList<ScanLogEntry> all = log.entries();
        QCOMPARE(all.size(), 2);
        QCOMPARE(all[0].id, second);
        QCOMPARE(all[0].outcomeLine(), QStringLiteral("Skipped: A scan is already running"));
        // Reopened from the file: nothing is lost or re-encoded.
        ScanLog again(log.file());
        QVERIFY(again.open());
        const ScanLogEntry e = again.entry(first);
        const ScanLogEntry want = sample(1);
        QCOMPARE(e.started, want.started);
        QCOMPARE(e.ended, want.ended);
        QCOMPARE(e.kind, ScanLogEntry::Kind::Custom);
        QCOMPARE(e.targets, want.targets);
        QCOMPARE(e.engine, want.engine);
        QCOMPARE(e.items, 101);
        QCOMPARE(e.removed, 2);
        QCOMPARE(e.notScanned, 1);
        QCOMPARE(e.outcome, ScanLogEntry::Outcome::Failed);
        QCOMPARE(e.reason, want.reason);
        QCOMPARE(e.found.size(), 2);
        QCOMPARE(e.found[0].path, want.found[0].path);
        QCOMPARE(e.found[0].name, want.found[0].name);
        QCOMPARE(again.entry(999).id, 0);

        // Written in WAL mode.
        QVERIFY(QFile::exists(log.file() + QStringLiteral("-wal")));
    }

    void onlyTheLastThousandScansStay() {
        QTemporaryDir dir;
        ScanLog log(dir.filePath(QStringLiteral("scanlog.sqlite")));
        QVERIFY(log.open());
        qint64 last = 0;
        for (int i = 0; i < ScanLog::keep + 3; ++i)
            last = log.append(sample(i));
        const QList<ScanLogEntry> all = log.entries();
        QCOMPARE(all.size(), ScanLog::keep);
        QCOMPARE(all.first().id, last);
        QCOMPARE(all.last().id, last - ScanLog::keep + 1);
        QCOMPARE(log.entry(last - ScanLog::keep).id, 0);
        // The dropped scans' targets and infections go with them.
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "peek");
            db.setDatabaseName(log.file());
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("SELECT (SELECT count(*) FROM targets), (SELECT count(*) FROM "
                           "infections)") &&
                    q.next());
            QCOMPARE(q.value(0).toInt(), 2 * ScanLog::keep);
            QCOMPARE(q.value(1).toInt(), 2 * ScanLog::keep);
        }
        QSqlDatabase::removeDatabase("peek");
    }

    void anUnusableLogIsSetAsideAndANewOneBegun_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("garbage") << "garbage";
        QTest::newRow("folder") << "folder";
        QTest::newRow("other layout") << "other layout";
        QTest::newRow("truncated") << "truncated";
        QTest::newRow("read-only") << "read-only";
    }
    void anUnusableLogIsSetAsideAndANewOneBegun() {
        QFETCH(QString, kind);
        // Root writes a read-only file all the same: that case runs as an unprivileged user.
        if (kind == "read-only" && geteuid() == 0) {
            QProcess child;
            child.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups",
                                    QCoreApplication::applicationFilePath(),
                                    "anUnusableLogIsSetAsideAndANewOneBegun:read-only"});
            QVERIFY(child.waitForFinished(60000));
            QVERIFY2(child.exitCode() == 0, child.readAllStandardOutput().constData());
            return;
        }
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("scanlog.sqlite"));
        QByteArray before = "this is not a database, only some text that is long enough\n";
        if (kind == "garbage") {
            TestEnv::writeFile(file, before.repeated(100));
        } else if (kind == "folder") {
            QVERIFY(QDir().mkpath(file + "/inside"));
        } else {
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "make");
                db.setDatabaseName(file);
                QVERIFY(db.open());
                QSqlQuery q(db);
                if (kind == "other layout")
                    QVERIFY(q.exec("CREATE TABLE scans(x TEXT)"));
                else {
                    ScanLog fine(dir.filePath(QStringLiteral("fine.sqlite")));
                    QVERIFY(fine.open());
                    for (int i = 0; i < 50; ++i)
                        fine.append(sample(i));
                }
            }
            QSqlDatabase::removeDatabase("make");
            if (kind == "truncated") {
                QFile::remove(file);
                QVERIFY(QFile::copy(dir.filePath("fine.sqlite"), file));
                QFile f(file);
                QVERIFY(f.open(QIODevice::ReadWrite));
                QVERIFY(f.resize(f.size() / 2 + 100));
            }
            if (kind == "read-only")
                QVERIFY(QFile::setPermissions(file, QFile::ReadOwner));
        }
        if (QFileInfo(file).isFile())
            before = TestEnv::readFile(file);

        ScanLog log(file);
        QSignalSpy problems(&log, &ScanLog::problem);
        QVERIFY(log.open());
        QCOMPARE(problems.size(), 1);
        const QString text = problems[0][0].toString();
        QVERIFY2(text.contains("set aside as") && text.contains("a new log was begun"),
                 qPrintable(text));
        const QStringList aside =
            QDir(dir.path()).entryList({"scanlog.sqlite.damaged-*"}, QDir::AllEntries);
        QCOMPARE(aside.size(), 1);
        if (kind != "folder")
            QCOMPARE(TestEnv::readFile(dir.filePath(aside[0])), before);
        QVERIFY(log.append(sample(1)) > 0);
        QCOMPARE(log.entries().size(), 1);
    }

    // A log another program holds (a viewer, a backup) is busy, not damaged: it is never set
    // aside, the scan is told, and the log is used again once it is free.
    void aLogInUseElsewhereIsNeverSetAside_data() {
        QTest::addColumn<bool>("wal");
        QTest::addColumn<bool>("openFirst");
        QTest::newRow("writer on a WAL log, at open") << true << false;
        QTest::newRow("writer on a WAL log, at a scan") << true << true;
        QTest::newRow("exclusive lock on a rollback log") << false << false;
    }
    void aLogInUseElsewhereIsNeverSetAside() {
        QFETCH(bool, wal);
        QFETCH(bool, openFirst);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("scanlog.sqlite"));
        {
            ScanLog first(file);
            QVERIFY(first.open());
            QVERIFY(first.append(sample(1)) > 0);
        }
        ScanLog log(file);
        QSignalSpy problems(&log, &ScanLog::problem);
        if (openFirst)
            QVERIFY(log.open());
        {
            QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "other");
            other.setDatabaseName(file);
            QVERIFY(other.open());
            QSqlQuery q(other);
            if (!wal)
                QVERIFY(q.exec("PRAGMA journal_mode=DELETE"));
            QVERIFY(q.exec("BEGIN EXCLUSIVE"));
            QVERIFY(q.exec("INSERT INTO scans(kind) VALUES('full')"));
            if (!openFirst)
                QVERIFY(!log.open());
            QCOMPARE(log.append(sample(2)), 0);
            QVERIFY(q.exec("ROLLBACK"));
        }
        QSqlDatabase::removeDatabase("other");
        QVERIFY(!problems.isEmpty());
        for (const QList<QVariant> &said : problems)
            QVERIFY2(said[0].toString().contains("in use"), qPrintable(said[0].toString()));
        QVERIFY(QDir(dir.path()).entryList({"scanlog.sqlite.damaged-*"}).isEmpty());
        QVERIFY(log.append(sample(3)) > 0);
        QCOMPARE(log.entries().size(), 2);
    }

    void aLogThatCannotBeMadeIsReportedAndScansGoOn() {
        QTemporaryDir dir;
        TestEnv::writeFile(dir.filePath("notafolder"), "x");
        ScanLog log(dir.filePath("notafolder/scanlog.sqlite"));
        QSignalSpy problems(&log, &ScanLog::problem);
        QVERIFY(!log.open());
        QCOMPARE(log.append(sample(1)), 0);
        QVERIFY(!problems.isEmpty());
        QVERIFY(problems[0][0].toString().contains("Scans go on without it"));
        QVERIFY(log.entries().isEmpty());
    }

    void aLogDamagedWhileOpenIsSetAsideOnTheNextScan() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("scanlog.sqlite"));
        ScanLog log(file);
        QVERIFY(log.open());
        QVERIFY(log.append(sample(1)) > 0);
        // Another program replaces the file by something that is no database.
        QVERIFY(QFile::remove(file));
        QFile::remove(file + "-wal");
        QFile::remove(file + "-shm");
        QVERIFY(QDir().mkpath(file));
        QSignalSpy problems(&log, &ScanLog::problem);
        QVERIFY(log.append(sample(2)) > 0);
        QCOMPARE(log.entries().size(), 1);
        QCOMPARE(problems.size(), 1);
        QCOMPARE(QDir(dir.path()).entryList({"scanlog.sqlite.damaged-*"}, QDir::Dirs).size(), 1);
    }

    void csvQuotesWhatNeedsQuoting() {
        ScanLogEntry e = sample(0);
        e.started = QDateTime(QDate(2026, 12, 8), QTime(10, 0), Qt::UTC);
        e.ended = QDateTime(QDate(2026, 12, 8), QTime(10, 5), Qt::UTC);
        e.targets = {"/a,b/", "/plain/"};
        e.found = {{"/x \"q\"", "N1"}};
        e.reason.clear();
        e.outcome = ScanLogEntry::Outcome::Complete;
        const QByteArray csv = ScanLog::toCsv({e});
        const QByteArrayList lines = csv.split('\n');
        QVERIFY(csv.startsWith("Started,Ended,Kind,Targets,Engine,"));
        QVERIFY(lines[0].endsWith('\r'));
        QCOMPARE(csv.mid(csv.indexOf("\r\n") + 2),
                 QByteArray("2026-12-08T10:00:00Z,2026-12-08T10:05:00Z,custom,\"/a,b/\n/plain/\","
                            "/usr/bin/clamscan,100,2,0,1,Complete,\"/x \"\"q\"\": N1\"\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestScanLog)
#include "test_scanlog.moc"
