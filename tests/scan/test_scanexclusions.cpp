#include <QTest>

#include "scan/scanexclusions.h"
#include "state/registry.h"
#include "testenv.h"

class TestScanExclusions : public QObject {
    Q_OBJECT
private slots:
    void globsBecomeRegexesForOneName_data() {
        QTest::addColumn<QByteArray>("glob");
        QTest::addColumn<QByteArray>("regex");
        QTest::newRow("star") << QByteArray("*.iso") << QByteArray("[^/]*\\.iso");
        QTest::newRow("question") << QByteArray("a?c") << QByteArray("a[^/]c");
        QTest::newRow("class") << QByteArray("v[0-9].img") << QByteArray("v[0-9]\\.img");
        QTest::newRow("negated class") << QByteArray("[!a]x") << QByteArray("[^/a]x");
        // A bracket that is no simple class stands for itself, as do all regex characters.
        QTest::newRow("odd bracket") << QByteArray("[x") << QByteArray("\\[x");
        QTest::newRow("bracket with blank") << QByteArray("[a b]") << QByteArray("\\[a b\\]");
        // A range the scanner cannot compile would leave out nothing, and one across "/" would
        // match across folders: such a bracket stands for itself too.
        QTest::newRow("reversed range") << QByteArray("[z-a]x") << QByteArray("\\[z-a\\]x");
        QTest::newRow("range across the slash")
            << QByteArray("a[.-9]") << QByteArray("a\\[\\.-9\\]");
        QTest::newRow("letters to digits") << QByteArray("[a-9]") << QByteArray("\\[a-9\\]");
        QTest::newRow("dash at the ends") << QByteArray("[-a-c-]") << QByteArray("[-a-c-]");
        QTest::newRow("regex characters") << QByteArray("C++ (old){1}|^$\\")
                                          << QByteArray("C\\+\\+ \\(old\\)\\{1\\}\\|\\^\\$\\\\");
    }
    void globsBecomeRegexesForOneName() {
        QFETCH(QByteArray, glob);
        QFETCH(QByteArray, regex);
        QCOMPARE(ScanExclusions::globToRegex(glob), regex);
    }

    void theTestAnswerNamesTheRule_data() {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<bool>("folder");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("rule");
        const QString folderRule = QStringLiteral("the folder /data/C++ (old)");
        QTest::newRow("the folder") << QByteArray("/data/C++ (old)") << true << -1LL << folderRule;
        QTest::newRow("trailing slash")
            << QByteArray("/data/C++ (old)/") << true << -1LL << folderRule;
        QTest::newRow("inside") << QByteArray("/data/C++ (old)/x/y.c") << false << -1LL
                                << folderRule;
        QTest::newRow("sibling with a longer name")
            << QByteArray("/data/C++ (old)2/y.c") << false << -1LL << QString();
        QTest::newRow("regex dot is a dot") << QByteArray("/data/aXb") << true << -1LL << QString();
        QTest::newRow("a.b") << QByteArray("/data/a.b/f") << false << -1LL
                             << QStringLiteral("the folder /data/a.b");
        QTest::newRow("pattern on a file") << QByteArray("/home/u/disk.iso") << false << -1LL
                                           << QStringLiteral("the pattern *.iso");
        QTest::newRow("pattern on a folder above") << QByteArray("/home/u/x.iso/inner.txt") << false
                                                   << -1LL << QStringLiteral("the pattern *.iso");
        QTest::newRow("pattern only at the end of a name")
            << QByteArray("/home/u/disk.iso.txt") << false << -1LL << QString();
        QTest::newRow("preset folder name")
            << QByteArray("/src/app/node_modules/lib/x.js") << false << -1LL
            << QStringLiteral("the preset node_modules folders");
        // A preset of folder names leaves files of that name alone.
        QTest::newRow("preset name on a file")
            << QByteArray("/src/app/node_modules") << false << -1LL << QString();
        QTest::newRow("cache preset") << QByteArray("/home/u/.cache/thumbs/a.png") << false << -1LL
                                      << QStringLiteral("the preset Caches (~/.cache)");
        QTest::newRow("other user's cache")
            << QByteArray("/home/v/.cache/a.png") << false << -1LL << QString();
        QTest::newRow("over the size limit")
            << QByteArray("/home/u/big.bin") << false << 11LL * 1024 * 1024
            << QStringLiteral("the size limit (10 MB)");
        QTest::newRow("at the size limit")
            << QByteArray("/home/u/big.bin") << false << 10LL * 1024 * 1024 << QString();
    }
    void theTestAnswerNamesTheRule() {
        QFETCH(QByteArray, path);
        QFETCH(bool, folder);
        QFETCH(qint64, size);
        QFETCH(QString, rule);
        ScanExclusions ex;
        ex.setHome("/home/u");
        QVERIFY(ex.addFolder("/data/C++ (old)/"));
        QVERIFY(ex.addFolder("/data/a.b"));
        QVERIFY(ex.addPattern(QStringLiteral("*.iso")));
        ex.setPresetTicked(QStringLiteral("node_modules"), true);
        ex.setPresetTicked(QStringLiteral("caches"), true);
        ex.setSizeLimitMb(10);
        QCOMPARE(ex.exclusionOf(path, folder, size), rule);
    }

    void editsRefuseWhatCannotWork() {
        ScanExclusions ex;
        QVERIFY(!ex.addFolder("relative/path"));
        QVERIFY(!ex.addPattern(QStringLiteral("a/b")));
        QVERIFY(!ex.addPattern(QStringLiteral("  ")));
        // The scanners cannot leave out a folder whose path is longer than they compare.
        QVERIFY(!ex.addFolder('/' + QByteArray(ScanExclusions::maxFolderBytes, 'a')));
        QVERIFY(ex.addFolder('/' + QByteArray(ScanExclusions::maxFolderBytes - 1, 'a')));
        ex.removeFolder('/' + QByteArray(ScanExclusions::maxFolderBytes - 1, 'a'));
        QVERIFY(ex.addFolder("/x//y/"));
        QVERIFY(ex.addFolder("/x/y"));
        QCOMPARE(ex.folders(), QList<QByteArray>{"/x/y"});
        ex.setPresetTicked(QStringLiteral("no such preset"), true);
        QVERIFY(ex.tickedPresets().isEmpty());
        ex.setSizeLimitMb(5000);
        QCOMPARE(ex.sizeLimitMb(), ScanExclusions::maxSizeLimitMb);
        QCOMPARE(ex.scannerArguments(),
                 (QList<QByteArray>{"--exclude-dir=^/x/y(/|$)", "--exclude=^/x/y/.",
                                    "--max-filesize=2047M", "--max-scansize=2047M"}));
    }

    // The stored value is one multi-string, written in one step beside the untouched records.
    void storedAsOneMultiStringValue() {
        TestEnv env;
        Registry registry{platform::KeyStore(env.registryRoot())};
        const QByteArray sysdata(808, '\x5a');
        env.writeRegistryValue(QStringLiteral("sysdata"), "REG_BINARY", sysdata);

        ScanExclusions loaded;
        QVERIFY(ScanExclusions::load(registry, loaded).ok());  // missing: nothing left out
        QCOMPARE(loaded, ScanExclusions{});

        ScanExclusions ex;
        QVERIFY(ex.addFolder("/home/u/caf\xe9\nline"));  // raw bytes, a line break too
        QVERIFY(ex.addPattern(QStringLiteral("*.iso")));
        ex.setPresetTicked(QStringLiteral("vmimages"), true);
        ex.setPresetTicked(QStringLiteral("git"), true);
        ex.setSizeLimitMb(250);
        QVERIFY(ex.save(registry).ok());

        QByteArray type;
        const QByteArray stored = env.registryValue(QStringLiteral("exclusions"), &type);
        QCOMPARE(type, QByteArray("REG_7"));
        static const char expected[] =
            "folder:/home/u/caf\xe9\nline\0pattern:*.iso\0preset:git\0preset:vmimages\0"
            "sizelimit:250\0";
        QCOMPARE(stored, QByteArray(expected, sizeof expected));  // with the closing zero
        QVERIFY(ScanExclusions::load(registry, loaded).ok());
        QCOMPARE(loaded, ex);
        QCOMPARE(env.registryValue(QStringLiteral("sysdata")), sysdata);

        env.writeRegistryValue(QStringLiteral("exclusions"), "REG_SZ", "folder:/x");
        QVERIFY(!ScanExclusions::load(registry, loaded).ok());
    }
};

QTEST_GUILESS_MAIN(TestScanExclusions)
#include "test_scanexclusions.moc"
