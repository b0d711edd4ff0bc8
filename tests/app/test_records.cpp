#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTest>

#include "state/daycount.h"
#include "state/records.h"
#include "state/registry.h"
#include "testenv.h"

namespace {
// Little-endian 32-bit bytes, written out by hand.
QByteArray le32(quint32 v) {
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char((v >> (8 * i)) & 0xff);
    return b;
}
}  // namespace

class TestRecords : public QObject {
    Q_OBJECT
private slots:
    void stringFieldsCutToTheirRoom() {
        PString<10> port;
        port.assign("123456789012");
        QCOMPARE(port.length, 10);
        QCOMPARE(port.bytes(), QByteArray("1234567890"));
        // A shorter text keeps the bytes after it as they were.
        port.assign("80");
        QCOMPARE(port.bytes(), QByteArray("80"));
        QCOMPARE(QByteArray(port.chars, 10), QByteArray("8034567890"));
        // A corrupt length byte never reads beyond the room.
        port.length = 200;
        QCOMPARE(port.bytes().size(), 10);
    }

    void lastScanImageIsByteExact() {
        LastScanRecord r;
        r.scanDone = 1;
        r.totalScanned = 0x01020304;
        r.totalRemoved = 2;
        r.scanCount = 3;
        r.totalFound = 4;
        r.lastScanned = -1;
        r.lastRemoved = 6;
        r.lastDate.assign("12/8/26");
        r.lastFound = 7;
        QByteArray expected;
        expected += le32(1) + le32(0x01020304) + le32(2) + le32(3) + le32(4) + le32(0);
        expected += le32(0xffffffff) + le32(6);
        expected += char(7);
        expected += QByteArray("12/8/26") + QByteArray(13, '\0');
        expected += QByteArray(3, '\0');
        expected += le32(0) + le32(7);
        QCOMPARE(expected.size(), 64);
        QCOMPARE(recordBytes(r), expected);
    }

    void settingsImageIsByteExact() {
        SettingsRecord s;
        s.proxyUser.assign("u");
        s.proxyPassword.assign("pw");
        s.proxyServer.assign("proxy");
        s.proxyPort.assign("3128");
        s.useProxy = 1;
        s.intervalDays = 30;
        s.checkFrequency = 3;
        s.whenFound = 1;
        s.vaultCount = 5;
        s.updateCount = 9;
        s.lastUpdate = 46000.0;  // 0x40E6760000000000
        s.updateSize = 1000;
        QByteArray expected(808, '\0');
        expected[0] = 1;
        expected[1] = 'u';
        expected[256] = 2;
        expected.replace(257, 2, "pw");
        expected[512] = 5;
        expected.replace(513, 5, "proxy");
        expected[768] = 4;
        expected.replace(769, 4, "3128");
        expected[779] = 1;
        expected[780] = 30;
        expected[781] = 3;
        expected[782] = 1;
        expected.replace(784, 4, le32(5));
        expected.replace(788, 4, le32(9));
        const char dbl[8] = {0, 0, 0, 0, 0, char(0x76), char(0xE6), char(0x40)};
        expected.replace(792, 8, QByteArray(dbl, 8));
        expected.replace(800, 4, le32(1000));
        QCOMPARE(recordBytes(s), expected);
    }

    void infectionRecordLayout() {
        InfectionRecord r;
        r.vaultPath.assign("/v/a");
        r.filePath.assign("/x/a");
        r.threatName.assign("Eicar ");
        const QByteArray image = recordBytes(r);
        QCOMPARE(image.size(), 563);
        QCOMPARE(image.mid(0, 5), QByteArray("\x04/v/a"));
        QCOMPARE(image.mid(256, 5), QByteArray("\x04/x/a"));
        QCOMPARE(image.mid(512, 7), QByteArray("\x06"
                                               "Eicar "));
    }

    void dayCounts() {
        QCOMPARE(daycount::fromDate(QDate(1899, 12, 30)), 0.0);
        QCOMPARE(daycount::fromDate(QDate(1900, 1, 1)), 2.0);
        QCOMPARE(daycount::fromDate(QDate(2026, 12, 8)), 46364.0);
        QCOMPARE(daycount::toDate(46364.75), QDate(2026, 12, 8));
        QCOMPARE(daycount::toDate(-1.0), QDate(1899, 12, 29));
        QVERIFY(!daycount::toDate(1e300).isValid());
    }

    void recordsRoundTripThroughTheStore() {
        TestEnv env;
        Registry registry{platform::KeyStore(env.registryRoot())};
        LastScanRecord lsd;
        for (int i = 0; i < 64; ++i)
            reinterpret_cast<char *>(&lsd)[i] = char(i * 7 + 1);
        SettingsRecord sys;
        for (int i = 0; i < 808; ++i)
            reinterpret_cast<char *>(&sys)[i] = char(255 - i);
        QVERIFY(registry.writeRecord(QStringLiteral("lsd"), lsd).ok());
        QVERIFY(registry.writeRecord(QStringLiteral("sysdata"), sys).ok());
        QByteArray type;
        QCOMPARE(env.registryValue(QStringLiteral("lsd"), &type), recordBytes(lsd));
        QCOMPARE(type, QByteArray("REG_BINARY"));
        QCOMPARE(env.registryValue(QStringLiteral("sysdata")), recordBytes(sys));

        LastScanRecord lsd2;
        SettingsRecord sys2;
        QVERIFY(registry.readRecord(QStringLiteral("lsd"), lsd2));
        QVERIFY(registry.readRecord(QStringLiteral("sysdata"), sys2));
        QCOMPARE(recordBytes(lsd2), recordBytes(lsd));
        QCOMPARE(recordBytes(sys2), recordBytes(sys));

        InfectionRecord rec;
        for (int i = 0; i < 563; ++i)
            reinterpret_cast<char *>(&rec)[i] = char(i);
        QVERIFY(registry.writeRecord(QStringLiteral("rec"), rec).ok());
        InfectionRecord rec2;
        QVERIFY(registry.readRecord(QStringLiteral("rec"), rec2));
        QCOMPARE(recordBytes(rec2), recordBytes(rec));
    }

    // The key store holds the proxy password: only its owner may list or read it, also when
    // a value was first written by an older, careless version.
    void keyStoreIsPrivate() {
        TestEnv env;
        const QString key = env.registryRoot() + "HKEY_LOCAL_MACHINE/SOFTWARE/Vizavuz/AntiVirus/";
        QVERIFY(QDir().mkpath(key + "sysdata"));
        TestEnv::writeFile(key + "sysdata/(default)", "REG_BINARY\nold");
        QFile::setPermissions(key + "sysdata/(default)", QFileDevice::Permissions(0x6644));
        Registry registry{platform::KeyStore(env.registryRoot())};
        QVERIFY(registry.writeRecord(QStringLiteral("sysdata"), SettingsRecord{}).ok());
        QVERIFY(registry.writeText(QStringLiteral("appdatapath"), "/data/Vizavuz/").ok());
        auto mode = [](const QString &path) {
            struct stat st {};
            return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777
                                                                         : 01000u;
        };
        for (const QString &file : {key + "sysdata/(default)", key + "appdatapath/(default)"})
            QCOMPARE(mode(file), 0600u);
        for (const QString &folder :
             {env.registryRoot(), key, key + "sysdata", key + "appdatapath"})
            QCOMPARE(mode(folder), 0700u);
    }

    void readRules() {
        TestEnv env;
        Registry registry{platform::KeyStore(env.registryRoot())};
        LastScanRecord r;
        r.lastDate.assign("none");
        const QByteArray before = recordBytes(r);

        // Missing: unchanged, and the subkey now exists.
        QVERIFY(registry.readRecord(QStringLiteral("lsd"), r));
        QCOMPARE(recordBytes(r), before);
        QVERIFY(QFileInfo::exists(env.registryRoot() +
                                  "HKEY_LOCAL_MACHINE/SOFTWARE/Vizavuz/AntiVirus/lsd"));

        // Unknown type, shorter than the record: copied to its front.
        env.writeRegistryValue(QStringLiteral("lsd"), "REG_7", QByteArray(8, char(0x11)));
        QVERIFY(registry.readRecord(QStringLiteral("lsd"), r));
        QCOMPARE(r.scanDone, 0x11111111);
        QCOMPARE(r.totalScanned, 0x11111111);
        QCOMPARE(r.lastDate.bytes(), QByteArray("none"));

        // A 32-bit number type, or one byte too large: the read fails.
        LastScanRecord fresh;
        env.writeRegistryValue(QStringLiteral("lsd"), "REG_4", QByteArray(4, char(1)));
        QVERIFY(!registry.readRecord(QStringLiteral("lsd"), fresh));
        env.writeRegistryValue(QStringLiteral("lsd"), "REG_BINARY", QByteArray(65, char(1)));
        QVERIFY(!registry.readRecord(QStringLiteral("lsd"), fresh));
        QCOMPARE(fresh.scanDone, 0);
    }

    void unwritableStoreRaisesTheRegistryError() {
        TestEnv env;
        // A plain file where the store's folder should be: nothing can be created below it.
        TestEnv::writeFile(env.root() + "blocked", "x");
        Registry registry{platform::KeyStore(env.root() + "blocked/registry")};
        const Status s = registry.writeRecord(QStringLiteral("lsd"), LastScanRecord{});
        QVERIFY(!s.ok());
        QCOMPARE(s.message(), QStringLiteral("Failed to set data for ''"));
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "test_records.moc"
