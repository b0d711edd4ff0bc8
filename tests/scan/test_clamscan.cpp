#include <cstdio>

#include <QSet>
#include <QStandardPaths>
#include <QTest>

#include "enginerig.h"

using namespace scantest;

namespace {

// Writes a file under a raw byte name, which need not be valid UTF-8.
void writeRaw(const QByteArray &path, const QByteArray &bytes) {
    FILE *f = std::fopen(path.constData(), "wb");
    QVERIFY(f);
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), f);
    std::fclose(f);
}

}  // namespace

// The engine over the system's real clamscan and the EICAR hash database.
class TestClamscan : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        if (QStandardPaths::findExecutable(QStringLiteral("clamscan")).isEmpty())
            QFAIL("clamscan is not installed (Debian package clamav)");
    }

    void fixtureTreeGivesTheExactFigures() {
        EngineRig rig;
        TestEnv::makeEicarDatabase(rig.db());
        const QByteArray t = QFile::encodeName(rig.target());
        QDir().mkpath(QFile::decodeName(t + "sub/deep"));
        QDir().mkpath(QFile::decodeName(t + "with blank"));
        QDir().mkpath(QFile::decodeName(t + "FOUND.000"));
        const QByteArray eicar = TestEnv::eicar();
        writeRaw(t + "a.txt", "hello\n");
        writeRaw(t + "FOUND.000/file.chk", "recovered fragment\n");
        writeRaw(t + "sub/deep/eicar.com", eicar);
        writeRaw(t + "with blank/e i.com", eicar);
        writeRaw(t + "caf\xe9\xff.com", eicar);
        writeRaw(t + "empty", "");
        QVERIFY(QFile::link(QFile::decodeName(t + "a.txt"), QFile::decodeName(t + "link")));

        QVERIFY(rig.engine->startCustomScan({QFile::decodeName(t)}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.closed->count(), 1, 60000);
        QCOMPARE(rig.failed->count(), 0);
        QCOMPARE(rig.foundWindow->count(), 1);
        QCOMPARE(rig.foundWindow->at(0).at(0).toInt(), 3);
        QCOMPARE(rig.engine->itemsScanned(), 2);
        QCOMPARE(rig.session().status(), QStringLiteral("Scanning Complete"));
        QCOMPARE(rig.session().scannedText(), QStringLiteral("Items Scanned: 2"));
        QCOMPARE(rig.session().foundText(), QStringLiteral("Infections Found: 3"));

        const InfectionList &list = rig.data->infections;
        QCOMPARE(list.count(), 3);
        QSet<QByteArray> paths;
        for (int n = 1; n <= 3; ++n) {
            paths << list.record(n).filePath.bytes();
            QCOMPARE(list.fullPath(n), list.record(n).filePath.bytes());
            QCOMPARE(list.record(n).threatName.bytes(),
                     QByteArray("Eicar-Test-Signature.UNOFFICIAL "));
        }
        QCOMPARE(paths, (QSet<QByteArray>{t + "sub/deep/eicar.com", t + "with blank/e i.com",
                                          t + "caf\xe9\xff.com"}));

        // list.gav holds the three records in list order, then zero records.
        QByteArray expected;
        for (int n = 1; n <= 3; ++n)
            expected +=
                recordImage(list.record(n).filePath.bytes(), "Eicar-Test-Signature.UNOFFICIAL ");
        expected += QByteArray(497 * 563, '\0');
        QCOMPARE(TestEnv::readFile(rig.data->folders.listFile()), expected);
        QCOMPARE(rig.storedLastScan(), lastScanImage(1, 2, 0, 1, 3, 2, 0, today(), 3));
    }

    void emptyDatabaseFolderFailsWithTheScannersError() {
        EngineRig rig;
        QDir().mkpath(rig.db() + "main.cvd");  // a database folder with nothing in it
        TestEnv::writeFile(rig.target() + "a.txt", "hello\n");
        QVERIFY(rig.engine->startCustomScan({rig.target()}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.closed->count(), 1, 60000);
        QCOMPARE(rig.failed->count(), 1);
        QVERIFY2(rig.session().status().startsWith(QStringLiteral("Scanning Failed: ERROR:")),
                 qPrintable(rig.session().status()));
        QCOMPARE(rig.windows(), 0);
        QVERIFY(rig.storedLastScan().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestClamscan)
#include "test_clamscan.moc"
