// Where the scanner's databases come from: the system's freshclam configuration and folder,
// the database headers, sigtool's verdict, the default choice, the stale notice and the own copy.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include "app/programdata.h"
#include "platform/scannerprocess.h"
#include "state/databasefiles.h"
#include "testenv.h"
#include "update/databasesource.h"
#include "update/systemdatabase.h"

namespace {

const QDateTime kNow = QDateTime(QDate(2026, 12, 8), QTime(12, 0), Qt::UTC);

QByteArray database(const QDateTime &built, int version) {
    return TestEnv::cvdDatabase(built, version, 2048);
}

// A signed database cannot be made here, and the real sigtool verifies a .cvd's signature:
// the stand-in accepts what begins with the header and hands the rest to the real sigtool.
QByteArray standinSigtool() {
    return QByteArrayLiteral(VZ_TESTS_SOURCE_DIR "/update/standin-sigtool");
}

struct World {
    TestEnv env;
    FixedClock clock{kNow.date()};
    ProgramData data{clock, platform::KeyStore(env.registryRoot())};
    SystemDatabase system{env.freshclamConf(), standinSigtool()};
    DatabaseSource source{data, system, [] { return kNow; }};

    World() {
        data.folders.database = env.dataFolder() + QStringLiteral("db/");
        QDir().mkpath(data.folders.database);
    }
    // main and daily in the system's folder, daily built `daysAgo` days before now.
    void systemDatabases(double daysAgo, const char *suffix = ".cvd") {
        const QDateTime built = kNow.addSecs(qint64(-daysAgo * 24 * 3600));
        TestEnv::writeFile(env.systemDatabase() + "main" + suffix,
                           database(built.addDays(-300), 62));
        TestEnv::writeFile(env.systemDatabase() + "daily" + suffix, database(built, 27000));
    }
};

}  // namespace

class TestDatabaseSource : public QObject {
    Q_OBJECT
private slots:
    void folderOfTheFreshclamConfiguration_data() {
        QTest::addColumn<QByteArray>("configuration");
        QTest::addColumn<QString>("folder");
        QTest::newRow("unset") << QByteArray("DatabaseMirror database.clamav.net\n")
                               << "/var/lib/clamav/";
        QTest::newRow("commented out")
            << QByteArray("#DatabaseDirectory /srv/db\n") << "/var/lib/clamav/";
        QTest::newRow("set") << QByteArray("Foo bar\nDatabaseDirectory /srv/clam db\n")
                             << "/srv/clam db/";
        QTest::newRow("tab, quotes, slash")
            << QByteArray("  DatabaseDirectory\t\"/srv/db/\"\r\n") << "/srv/db/";
        QTest::newRow("tab, then a blank in the folder")
            << QByteArray("DatabaseDirectory\t/srv/clam db\n") << "/srv/clam db/";
        QTest::newRow("a longer option name")
            << QByteArray("DatabaseDirectoryX /nope\n") << "/var/lib/clamav/";
    }
    void folderOfTheFreshclamConfiguration() {
        QFETCH(QByteArray, configuration);
        QFETCH(QString, folder);
        QCOMPARE(databasefiles::configuredFolder(configuration), folder);
    }

    void headerGivesVersionAndBuildTime() {
        const QDateTime built(QDate(2026, 12, 7), QTime(9, 41), Qt::UTC);
        databasefiles::Header h = databasefiles::parseHeader(database(built, 27123));
        QVERIFY(h.valid);
        QCOMPARE(h.version, 27123);
        QCOMPARE(h.built, built);
        // Without the seconds field the text counts, with its zone.
        QByteArray text = "ClamAV-VDB:07 Dec 2026 11-41 +0200:5:1:90:md5:dsig:b:";
        text.append(QByteArray(512 - text.size(), ' '));
        h = databasefiles::parseHeader(text);
        QVERIFY(h.valid);
        QCOMPARE(h.built, built);
        // Short, foreign or broken headers are no databases.
        QVERIFY(!databasefiles::parseHeader(database(built, 1).left(300)).valid);
        QVERIFY(!databasefiles::parseHeader(QByteArray(512, 'x')).valid);
        QVERIFY(!databasefiles::parseHeader(database(built, 27).replace(":27:", ":x7:")).valid);
    }

    void ofACvdAndACldTheHigherVersionCounts() {
        World w;
        const QString folder = w.env.systemDatabase();
        w.systemDatabases(1);
        // A .cld of an older version written after the .cvd (a backup put back, say).
        TestEnv::writeFile(folder + "daily.cld", database(kNow.addDays(-9), 26990));
        const QDateTime later = QDateTime::currentDateTimeUtc().addSecs(60);
        QFile cld(folder + "daily.cld");
        QVERIFY(cld.open(QIODevice::ReadWrite));
        QVERIFY(cld.setFileTime(later, QFileDevice::FileModificationTime));
        cld.close();
        QCOMPARE(databasefiles::newestForm(folder, "daily"), folder + "daily.cvd");
        const SystemDatabaseState s = w.system.state();
        QCOMPARE(s.version, 27000);
        QVERIFY(s.files.contains(folder + "daily.cvd"));
        // Headers that do not tell leave it to the newer file.
        TestEnv::writeFile(folder + "daily.cld", "damaged");
        QVERIFY(cld.open(QIODevice::ReadWrite));
        QVERIFY(cld.setFileTime(later, QFileDevice::FileModificationTime));
        cld.close();
        QCOMPARE(databasefiles::newestForm(folder, "daily"), folder + "daily.cld");
    }

    void systemDatabasesNeedMainAndDailyThatSigtoolAccepts() {
        World w;
        QVERIFY(!w.system.state().present);  // an empty folder
        w.systemDatabases(1);
        QFile::remove(w.env.systemDatabase() + "main.cvd");
        QVERIFY(!w.system.state().present);  // daily alone

        w.systemDatabases(1);
        TestEnv::writeFile(w.env.systemDatabase() + "bytecode.cld", database(kNow, 3));
        const SystemDatabaseState s = w.system.state();
        QVERIFY2(s.present, qPrintable(s.problem));
        QCOMPARE(s.folder, w.env.systemDatabase());
        QCOMPARE(s.version, 27000);
        QCOMPARE(s.built, kNow.addDays(-1));
        QCOMPARE(s.files, (QStringList{w.env.systemDatabase() + "main.cvd",
                                       w.env.systemDatabase() + "daily.cvd",
                                       w.env.systemDatabase() + "bytecode.cld"}));
        QVERIFY(s.updated.isValid());

        // The real sigtool refuses a file that is not a signed database.
        const QByteArray sigtool = platform::findOnPath("sigtool");
        QVERIFY2(!sigtool.isEmpty(), "ClamAV's sigtool is needed");
        SystemDatabase real(w.env.freshclamConf(), sigtool);
        const SystemDatabaseState refused = real.state();
        QVERIFY(!refused.present);
        QVERIFY(refused.problem.startsWith("main.cvd: "));
        // A verdict holds until the file changes: damaged in place, daily is checked again.
        real.checkInBackground();
        QVERIFY(!real.state().present);
        QFile daily(w.env.systemDatabase() + "daily.cvd");
        QVERIFY(daily.open(QIODevice::WriteOnly | QIODevice::Truncate));
        daily.write("not a database");
        daily.close();
        QVERIFY(w.system.state().problem.startsWith("daily.cvd: "));
    }

    // The default when the user has not chosen: the system's when fresh and no mirror is set.
    void defaultAndStoredChoice_data() {
        QTest::addColumn<double>("daysOld");  // < 0: no system databases
        QTest::addColumn<bool>("mirror");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("system");
        QTest::newRow("fresh") << 0.5 << false << QByteArray() << true;
        QTest::newRow("three days") << 2.99 << false << QByteArray() << true;
        QTest::newRow("stale") << 3.01 << false << QByteArray() << false;
        QTest::newRow("none") << -1.0 << false << QByteArray() << false;
        QTest::newRow("fresh, mirror") << 0.5 << true << QByteArray() << false;
        QTest::newRow("fresh, own chosen") << 0.5 << false << QByteArray("own") << false;
        QTest::newRow("none, system chosen") << -1.0 << false << QByteArray("system") << true;
        QTest::newRow("mirror, system chosen") << 0.5 << true << QByteArray("system") << true;
        QTest::newRow("unknown value") << 0.5 << false << QByteArray("both") << true;
    }
    void defaultAndStoredChoice() {
        QFETCH(double, daysOld);
        QFETCH(bool, mirror);
        QFETCH(QByteArray, stored);
        QFETCH(bool, system);
        World w;
        if (daysOld >= 0)
            w.systemDatabases(daysOld);
        if (mirror)
            (void)w.data.registry().writeText(regkey::dbServer(), "127.0.0.1:8080");
        if (!stored.isEmpty())
            w.env.writeRegistryValue("dbsource", "REG_SZ", stored);
        QCOMPARE(w.source.effective() == DatabaseSource::Choice::System, system);

        // The switch both ways is stored as text and read back.
        QVERIFY(w.source.store(DatabaseSource::Choice::Own).ok());
        QCOMPARE(w.env.registryValue("dbsource"), QByteArray("own"));
        QCOMPARE(w.source.effective(), DatabaseSource::Choice::Own);
        QVERIFY(w.source.store(DatabaseSource::Choice::System).ok());
        QCOMPARE(w.env.registryValue("dbsource"), QByteArray("system"));
        QCOMPARE(w.source.effective(), DatabaseSource::Choice::System);
    }

    void staleNoticeOncePerBuild() {
        World w;
        w.systemDatabases(1);
        QVERIFY(!w.source.staleNoticeDue());  // fresh
        w.systemDatabases(4);
        QVERIFY(w.source.staleNoticeDue());
        QVERIFY(w.source.staleNoticeGiven().ok());
        QVERIFY(!w.source.staleNoticeDue());
        // Another stale build (the service ran once more, then stopped again).
        w.systemDatabases(3.5);
        QVERIFY(w.source.staleNoticeDue());
        // The user keeps an own copy: the system's age is not theirs to hear about.
        QVERIFY(w.source.store(DatabaseSource::Choice::Own).ok());
        QVERIFY(!w.source.staleNoticeDue());
        QVERIFY(w.source.store(DatabaseSource::Choice::System).ok());
        QVERIFY(w.source.staleNoticeDue());
    }

    void scansUseTheChosenSourceElseTheOther() {
        World w;
        QVERIFY(w.source.scanDatabases().isEmpty());
        w.systemDatabases(1, ".cld");
        const QStringList system{w.env.systemDatabase() + "main.cld",
                                 w.env.systemDatabase() + "daily.cld"};
        QCOMPARE(w.source.scanDatabases(), system);  // no own copy yet
        TestEnv::writeFile(w.data.folders.database + "main.cvd", "m");
        TestEnv::writeFile(w.data.folders.database + "daily.cld", "d");
        QCOMPARE(w.source.scanDatabases(), system);  // fresh: the system's by default
        QVERIFY(w.source.store(DatabaseSource::Choice::Own).ok());
        QCOMPARE(w.source.scanDatabases(), (QStringList{w.data.folders.database + "main.cvd",
                                                        w.data.folders.database + "daily.cld"}));
    }

    void deletingTheOwnCopyKeepsRecordsAndVault() {
        World w;
        const QString db = w.data.folders.database;
        for (const char *name : {"main.cvd", "daily.cld", "bytecode.cvd", "daily2.cvd"})
            TestEnv::writeFile(db + name, QByteArray(1000, 'd'));
        for (const char *name :
             {"list.gav", "ts.html", "freshclam.dat", "virus_vault/main.cvd", "other.cvd"})
            TestEnv::writeFile(db + name, "keep");
        QCOMPARE(w.source.ownCopyBytes(), 4000);
        QVERIFY(w.source.deleteOwnCopy().ok());
        QCOMPARE(w.source.ownCopyBytes(), 0);
        QStringList left = QDir(db).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
        left.sort();
        QCOMPARE(left,
                 (QStringList{"freshclam.dat", "list.gav", "other.cvd", "ts.html", "virus_vault"}));
        QVERIFY(QFile::exists(db + "virus_vault/main.cvd"));
    }
};

QTEST_GUILESS_MAIN(TestDatabaseSource)
#include "test_databasesource.moc"
