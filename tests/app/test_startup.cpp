#include <QDir>
#include <QFileInfo>
#include <QTest>

#include "state/clock.h"
#include "app/programdata.h"
#include "app/startup.h"
#include "testenv.h"

namespace {
const QDate kToday(2026, 12, 8);
const double kTodayCount = 46364.0;  // days from 30 December 1899

Startup::Options optionsFor(const TestEnv &env) {
    Startup::Options o;
    o.programFolder = env.programFolder();
    return o;
}

QByteArray le32(quint32 v) {
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char((v >> (8 * i)) & 0xff);
    return b;
}

QByteArray leDouble(double d) {
    QByteArray b(8, '\0');
    memcpy(b.data(), &d, 8);
    return b;
}

// A hand-made infection record image.
QByteArray recordImage(const QByteArray &vault, const QByteArray &file, const QByteArray &threat) {
    QByteArray r(563, '\0');
    r[0] = char(vault.size());
    r.replace(1, vault.size(), vault);
    r[256] = char(file.size());
    r.replace(257, file.size(), file);
    r[512] = char(threat.size());
    r.replace(513, threat.size(), threat);
    return r;
}
}  // namespace

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void firstRunOnAnEmptyHome() {
        TestEnv env;
        FixedClock clock(kToday);
        ProgramData data(clock, platform::KeyStore(env.registryRoot()));
        const auto report = Startup::run(data, optionsFor(env));
        QVERIFY2(report.problems.isEmpty(), qPrintable(report.problems.join(u'\n')));

        QCOMPARE(data.folders.program, env.programFolder());
        QCOMPARE(data.folders.data, env.dataFolder());
        QCOMPARE(data.folders.database, env.dataFolder() + "db/");
        QByteArray type;
        QCOMPARE(env.registryValue("appdatapath", &type), QFile::encodeName(env.dataFolder()));
        QCOMPARE(type, QByteArray("REG_SZ"));

        // The settings record, saved by the yearly reset: frequency 0, last update 100 days back.
        QByteArray expected(808, '\0');
        expected.replace(792, 8, leDouble(kTodayCount - 100));
        QCOMPARE(env.registryValue("sysdata", &type), expected);
        QCOMPARE(type, QByteArray("REG_BINARY"));
        // The last-scan record is not written at start-up.
        QVERIFY(env.registryValue("lsd").isEmpty());
        QVERIFY(QFileInfo(env.registryRoot() + "HKEY_LOCAL_MACHINE/SOFTWARE/Vizavuz/AntiVirus/lsd")
                    .isDir());

        QCOMPARE(data.lastScan.lastDate.bytes(), QByteArray("none"));
        QCOMPARE(data.lastScan.scanCount, 0);
        QCOMPARE(data.lastScan.lastFound, 0);
        QCOMPARE(data.lastScan.totalScanned, 0);
        QCOMPARE(data.vault.count(), 0);
        QCOMPARE(data.infections.count(), 0);
        QVERIFY(!report.engineBound);

        // The folders the program needs exist; the vault is the owner's alone.
        QVERIFY(QFileInfo(env.dataFolder() + "db").isDir());
        const QFileInfo vault(env.dataFolder() + "virus_vault");
        QVERIFY(vault.isDir());
        QCOMPARE(vault.permissions() & 0x7077,
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void storedDataFolderOverride_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("used");
        QTest::newRow("marker after first char") << QByteArray("/srv/Vizavuz/") << true;
        QTest::newRow("marker at the start") << QByteArray("Vizavuz/") << false;
        QTest::newRow("no marker") << QByteArray("/srv/other/") << false;
        QTest::newRow("backslash marker") << QByteArray("D:\\Vizavuz\\") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }

    void storedDataFolderOverride() {
        QFETCH(QByteArray, stored);
        QFETCH(bool, used);
        TestEnv env;
        const QByteArray folder = used ? QFile::encodeName(env.root()) + stored.mid(1) : stored;
        env.writeRegistryValue("appdatapath", "REG_SZ", folder);
        FixedClock clock(kToday);
        ProgramData data(clock, platform::KeyStore(env.registryRoot()));
        Startup::run(data, optionsFor(env));
        if (used) {
            QCOMPARE(data.folders.data, QFile::decodeName(folder));
            QCOMPARE(env.registryValue("appdatapath"), folder);
            QVERIFY(QFileInfo(QFile::decodeName(folder) + "virus_vault").isDir());
        } else {
            QCOMPARE(data.folders.data, env.dataFolder());
            QCOMPARE(env.registryValue("appdatapath"), QFile::encodeName(env.dataFolder()));
        }
    }

    void partialAndInvalidStoredRecords() {
        TestEnv env;
        // 40 bytes of lsd: fields up to offset 32 and the first 8 date bytes (length 3, "abc"..).
        QByteArray lsd = le32(1) + le32(10) + le32(2) + le32(3) + le32(4) + le32(0) + le32(5) +
                         le32(6) +
                         QByteArray(
                             "\x03"
                             "abcdefg");
        QCOMPARE(lsd.size(), 40);
        env.writeRegistryValue("lsd", "REG_BINARY", lsd);
        // 900 bytes of sysdata: not read at all.
        env.writeRegistryValue("sysdata", "REG_BINARY", QByteArray(900, char(1)));
        FixedClock clock(kToday);
        ProgramData data(clock, platform::KeyStore(env.registryRoot()));
        Startup::run(data, optionsFor(env));
        QCOMPARE(data.lastScan.totalScanned, 10);
        QCOMPARE(data.lastScan.lastRemoved, 6);
        QCOMPARE(data.lastScan.lastDate.bytes(), QByteArray("abc"));
        QCOMPARE(data.lastScan.lastFound, 0);
        QCOMPARE(data.settings.useProxy, 0);
        QCOMPARE(data.settings.lastUpdate, kTodayCount - 100);  // the reset ran on zeros

        // 32 bytes keep "none"; a text-typed lsd is not read.
        TestEnv env2;
        env2.writeRegistryValue("lsd", "REG_BINARY", QByteArray(32, char(2)));
        ProgramData data2(clock, platform::KeyStore(env2.registryRoot()));
        Startup::run(data2, optionsFor(env2));
        QCOMPARE(data2.lastScan.lastDate.bytes(), QByteArray("none"));
        QCOMPARE(data2.lastScan.lastRemoved, 0x02020202);

        TestEnv env3;
        env3.writeRegistryValue("lsd", "REG_SZ", QByteArray(16, char(2)));
        ProgramData data3(clock, platform::KeyStore(env3.registryRoot()));
        Startup::run(data3, optionsFor(env3));
        QCOMPARE(data3.lastScan.scanDone, 0);
        QCOMPARE(data3.lastScan.lastDate.bytes(), QByteArray("none"));
    }

    void yearlyReset_data() {
        QTest::addColumn<int>("daysAgo");
        QTest::addColumn<bool>("reset");
        QTest::newRow("355 days") << 355 << false;
        QTest::newRow("356 days") << 356 << true;
    }

    void yearlyReset() {
        QFETCH(int, daysAgo);
        QFETCH(bool, reset);
        TestEnv env;
        QByteArray sys(808, '\0');
        sys[781] = 2;                  // monthly
        sys[780] = 42;                 // interval, kept either way
        sys.replace(788, 4, le32(7));  // update count
        sys.replace(792, 8, leDouble(kTodayCount - daysAgo));
        sys.replace(800, 4, le32(12345));  // update size
        env.writeRegistryValue("sysdata", "REG_BINARY", sys);
        FixedClock clock(kToday);
        ProgramData data(clock, platform::KeyStore(env.registryRoot()));
        Startup::run(data, optionsFor(env));
        QCOMPARE(data.settings.intervalDays, 42);
        if (reset) {
            QCOMPARE(data.settings.checkFrequency, 0);
            QCOMPARE(data.settings.lastUpdate, kTodayCount - 100);
            QCOMPARE(data.settings.updateCount, 0);
            QCOMPARE(data.settings.updateSize, 0);
            QByteArray expected = sys;
            expected[781] = 0;
            expected.replace(788, 4, le32(0));
            expected.replace(792, 8, leDouble(kTodayCount - 100));
            expected.replace(800, 4, le32(0));
            QCOMPARE(env.registryValue("sysdata"), expected);
        } else {
            QCOMPARE(data.settings.checkFrequency, 2);
            QCOMPARE(data.settings.updateCount, 7);
            QCOMPARE(env.registryValue("sysdata"), sys);
        }
    }

    void shortRecordsFileLoadsWhatIsThere() {
        TestEnv env;
        // 1,000 bytes: one whole record and the front of a second.
        QByteArray bytes = recordImage("/v/1", "/x/a.exe", "Eicar ") +
                           recordImage("/v/2", "/x/b.exe", "Other ").left(437);
        QCOMPARE(bytes.size(), 1000);
        TestEnv::writeFile(env.dataFolder() + "virus_vault/records.gav", bytes);
        QByteArray sys(808, '\0');
        sys.replace(784, 4, le32(2));
        sys.replace(792, 8, leDouble(kTodayCount));
        env.writeRegistryValue("sysdata", "REG_BINARY", sys);

        FixedClock clock(kToday);
        ProgramData data(clock, platform::KeyStore(env.registryRoot()));
        Startup::run(data, optionsFor(env));
        QCOMPARE(data.vault.count(), 2);
        QCOMPARE(data.vault.slot(1).filePath.bytes(), QByteArray("/x/a.exe"));
        QCOMPARE(data.vault.slot(1).threatName.bytes(), QByteArray("Eicar "));
        QCOMPARE(data.vault.slot(2).vaultPath.bytes(), QByteArray("/v/2"));
        QCOMPARE(data.vault.slot(2).filePath.bytes(), QByteArray("/x/b.exe"));
        QCOMPARE(data.vault.slot(2).threatName.bytes(), QByteArray());  // past the end
        QCOMPARE(data.vault.slot(3).filePath.bytes(), QByteArray());
    }

    // A stored count larger than the records actually there (a records file lost or cut) is
    // brought down to the records that name a copy.
    void vaultCountFollowsTheRecords_data() {
        QTest::addColumn<QByteArray>("file");  // records.gav; empty: missing
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("count");
        QTest::newRow("records file missing") << QByteArray() << 3 << 0;
        QTest::newRow("one record of three")
            << recordImage("/v/1", "/x/a.exe", "A ") + QByteArray(563 * 3, '\0') << 3 << 1;
    }
    void vaultCountFollowsTheRecords() {
        QFETCH(QByteArray, file);
        QFETCH(int, stored);
        QFETCH(int, count);
        TestEnv env;
        if (!file.isEmpty())
            TestEnv::writeFile(env.dataFolder() + "virus_vault/records.gav", file);
        QByteArray sys(808, '\0');
        sys.replace(784, 4, le32(stored));
        sys.replace(792, 8, leDouble(kTodayCount));
        env.writeRegistryValue("sysdata", "REG_BINARY", sys);
        FixedClock clock(kToday);
        ProgramData data(clock, platform::KeyStore(env.registryRoot()));
        Startup::run(data, optionsFor(env));
        QCOMPARE(data.vault.count(), count);
    }

    void lastScanListLoadsOnlyWithUnremovedInfections_data() {
        QTest::addColumn<int>("found");
        QTest::addColumn<int>("removed");
        QTest::addColumn<bool>("loaded");
        QTest::newRow("found 2 removed 0") << 2 << 0 << true;
        QTest::newRow("found 2 removed 2") << 2 << 2 << false;
    }

    void lastScanListLoadsOnlyWithUnremovedInfections() {
        QFETCH(int, found);
        QFETCH(int, removed);
        QFETCH(bool, loaded);
        TestEnv env;
        QByteArray lsd(64, '\0');
        lsd.replace(28, 4, le32(removed));
        lsd.replace(60, 4, le32(found));
        env.writeRegistryValue("lsd", "REG_BINARY", lsd);
        // A short list.gav: two records and a cut third.
        TestEnv::writeFile(env.dataFolder() + "db/list.gav", recordImage({}, "/x/a", "A ") +
                                                                 recordImage({}, "/x/b", "B ") +
                                                                 QByteArray(10, char(3)));
        FixedClock clock(kToday);
        ProgramData data(clock, platform::KeyStore(env.registryRoot()));
        Startup::run(data, optionsFor(env));
        QCOMPARE(data.infections.count(), 0);
        QCOMPARE(data.infections.record(2).filePath.bytes(),
                 loaded ? QByteArray("/x/b") : QByteArray());
        QVERIFY(data.infections.fullPath(1).isEmpty());
    }

    void unwritableStoreIsReported() {
        TestEnv env;
        TestEnv::writeFile(env.root() + "blocked", "x");
        FixedClock clock(kToday);
        ProgramData data(clock, platform::KeyStore(env.root() + "blocked/registry"));
        const auto report = Startup::run(data, optionsFor(env));
        QVERIFY(report.problems.contains(QStringLiteral("Failed to set data for ''")));
        // Start-up still completed with its defaults.
        QCOMPARE(data.lastScan.lastDate.bytes(), QByteArray("none"));
        QCOMPARE(data.settings.lastUpdate, kTodayCount - 100);
    }

    void shutdownRunsEveryHook() {
        TestEnv env;
        FixedClock clock(kToday);
        ProgramData data(clock, platform::KeyStore(env.registryRoot()));
        int ran = 0;
        data.shutdownHooks.push_back([&ran] {
            ++ran;
            throw std::runtime_error("stop failed");
        });
        data.shutdownHooks.push_back([&ran] { ++ran; });
        Startup::shutdown(data);
        QCOMPARE(ran, 2);
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "test_startup.moc"
