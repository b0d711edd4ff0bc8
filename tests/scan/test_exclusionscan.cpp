#include <cstdio>

#include <QDirIterator>
#include <QSet>
#include <QStandardPaths>
#include <QTest>

#include "enginerig.h"
#include "scan/scanexclusions.h"
#include "scan/scannerchoice.h"

namespace {

void writeRaw(const QByteArray &path, const QByteArray &bytes) {
    FILE *f = std::fopen(path.constData(), "wb");
    QVERIFY(f);
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), f);
    std::fclose(f);
}

// Every file below root, as absolute paths.
QSet<QByteArray> filesBelow(const QByteArray &root) {
    QSet<QByteArray> files;
    QDirIterator it(QFile::decodeName(root), QDir::Files | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QFile::encodeName(it.next());
    return files;
}

QSet<QByteArray> listed(const InfectionList &list) {
    QSet<QByteArray> paths;
    for (int n = 1; n <= list.count(); ++n)
        paths << list.record(n).filePath.bytes();
    return paths;
}

}  // namespace

// Exclusions as the scan engine gives them to the scanner.
class TestExclusionScan : public QObject {
    Q_OBJECT
private slots:
    // A damaged value fails the scan with a reason instead of scanning what the user excluded.
    void unreadableExclusionsFailTheScan() {
        EngineRig rig;
        rig.useFakeScanner();
        rig.fakeOutput("");
        rig.env.writeRegistryValue(QStringLiteral("exclusions"), "REG_DWORD", "1234");
        QVERIFY(rig.engine->startCustomScan({rig.target()}));
        QTRY_COMPARE(rig.failed->count(), 1);
        QVERIFY(rig.failed->at(0).at(0).toString().contains(QStringLiteral("exclusions")));
    }

    // The real clamscan over a tree of awkward names: exactly the excluded files are left out,
    // and the dialog's answer for every file agrees with what the scanner did.
    void realScannerLeavesOutExactlyTheExcluded_data() {
        QTest::addColumn<bool>("own");
        QTest::newRow("clamscan") << false;
        QTest::newRow("vizavuz-scan") << true;
    }
    void realScannerLeavesOutExactlyTheExcluded() {
        QFETCH(bool, own);
        if (QStandardPaths::findExecutable(QStringLiteral("clamscan")).isEmpty())
            QFAIL("clamscan is not installed (Debian package clamav)");
        EngineRig rig;
        QVERIFY(scannerchoice::store(rig.data->registry(), own ? scannerchoice::Engine::Own
                                                               : scannerchoice::Engine::Clamscan)
                    .ok());
        rig.engine->setExecutableFolder(QByteArrayLiteral(VZ_PROGRAM_DIR "/"));
        TestEnv::addEicarBodySignature(TestEnv::makeEicarDatabase(rig.db()));
        const QByteArray t = QFile::encodeName(QDir(rig.target()).canonicalPath()) + '/';
        const QByteArray eicar = TestEnv::eicar();
        const QList<QByteArray> folders = {
            "a.b", "aXb", "C++ (old)", "C++ (old)2", "C++ (old)/sub", "[x]", "x", "p$q", "b]c",
            "bc", "k{1}", "kk", "a|b", "a\\b", "ab", "x^y", "y", "d/node_modules/z", "node_mods",
            "vm.qcow2", "home/.cache/t", "home/.cachet", "deep/a.b",
            // Beyond the scanners' 512 bytes: scanned.
            "far/" + QByteArray(250, 'f') + '/' + QByteArray(250, 'g') + "/node_modules/z"};
        for (const QByteArray &f : folders) {
            QVERIFY(QDir().mkpath(QFile::decodeName(t + f)));
            writeRaw(t + f + "/e.com", eicar);
        }
        for (const char *f :
             {"disk.iso", "disk.iso.txt", "node_modules", "v1.img", "vA.img", "big.com"})
            writeRaw(t + f, eicar);
        // Over 1 MB: found by the body signature, but skipped by the size limit; and one just
        // under it, which is scanned.
        writeRaw(t + "big.com", eicar + QByteArray(1100 * 1024, '\n'));
        writeRaw(t + "fits.com", eicar + QByteArray(1000 * 1024, '\n'));

        ScanExclusions ex;
        ex.setHome(t + "home");
        for (const char *f :
             {"a.b", "C++ (old)", "[x]", "p$q", "b]c", "k{1}", "a|b", "a\\b", "x^y"})
            QVERIFY(ex.addFolder(t + f));
        QVERIFY(ex.addPattern(QStringLiteral("*.iso")));
        QVERIFY(ex.addPattern(QStringLiteral("v[0-9].img")));
        ex.setPresetTicked(QStringLiteral("node_modules"), true);
        ex.setPresetTicked(QStringLiteral("vmimages"), true);
        ex.setPresetTicked(QStringLiteral("caches"), true);
        ex.setSizeLimitMb(1);
        QVERIFY(ex.save(rig.data->registry()).ok());
        qputenv("HOME", t + "home");  // the cache preset's "~" as the engine sees it

        QVERIFY(rig.engine->startCustomScan({QFile::decodeName(t)}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.closed->count(), 1, 60000);
        QCOMPARE(rig.failed->count(), 0);
        QVERIFY(rig.engine->lastScannerPath().endsWith(own ? "/vizavuz-scan" : "/clamscan"));

        const QSet<QByteArray> all = filesBelow(t);
        QSet<QByteArray> expected;
        for (const QByteArray &file : all)
            if (ex.exclusionOf(file, false, QFileInfo(QFile::decodeName(file)).size()).isEmpty())
                expected << file.left(255);  // as long as the infection list keeps a path
        QCOMPARE(listed(rig.data->infections), expected);
        // Stated by hand, so that an answer wrong the same way on both sides is caught too.
        for (const char *kept :
             {"aXb/e.com", "C++ (old)2/e.com", "x/e.com", "bc/e.com", "kk/e.com", "ab/e.com",
              "y/e.com", "disk.iso.txt", "node_modules", "vA.img", "home/.cachet/e.com",
              "node_mods/e.com", "deep/a.b/e.com", "fits.com"})
            QVERIFY2(expected.contains(t + kept), kept);
        QCOMPARE(expected.size(), 15);
    }
};

QTEST_GUILESS_MAIN(TestExclusionScan)
#include "test_exclusionscan.moc"
