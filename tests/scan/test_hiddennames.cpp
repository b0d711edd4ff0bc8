// The real clamscan over an infected file whose name (or a folder's name) holds a line break
// followed by something other than "/": clamscan reports it FOUND and exits 1, but its line is
// split into a piece that names no absolute path. The scan is never called clean or complete,
// the user is told where the unlisted infection lies, and what was listed is still offered.
#include <QTest>

#include "enginerig.h"

class TestHiddenNames : public QObject {
    Q_OBJECT
private slots:
    void lineBreakInANameIsNeverAClean_data() {
        QTest::addColumn<QString>("file");    // below the scanned folder
        QTest::addColumn<QString>("folder");  // where the user is told it lies, below the target
        QTest::addColumn<bool>("listedToo");  // an ordinary infected file lies beside it
        QTest::newRow("file name holds a line feed")
            << QStringLiteral("dl/invoice\nreal.pdf.exe") << QStringLiteral("dl/") << false;
        QTest::newRow("folder name holds a line feed")
            << QStringLiteral("x\nhidden/evil.com") << QString() << false;
        QTest::newRow("folder name holds a carriage return")
            << QStringLiteral("x\rhidden/evil.com") << QString() << false;
        QTest::newRow("beside a listed infection")
            << QStringLiteral("dl/invoice\nreal.pdf.exe") << QStringLiteral("dl/") << true;
    }
    void lineBreakInANameIsNeverAClean() {
        QFETCH(QString, file);
        QFETCH(QString, folder);
        QFETCH(bool, listedToo);
        EngineRig rig;
        TestEnv::makeEicarDatabase(rig.db());
        const QString root = rig.target();
        QVERIFY(QDir().mkpath(QFileInfo(root + file).path()));
        TestEnv::writeFile(root + file, TestEnv::eicar());
        if (listedToo)
            TestEnv::writeFile(root + QStringLiteral("plain.com"), TestEnv::eicar());
        QVERIFY(rig.engine->startCustomScan({root}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.closed->count(), 1, 60000);

        QCOMPARE(rig.cleanWindow->count(), 0);
        QVERIFY(!rig.session().status().contains(QStringLiteral("Complete")));
        const QString reason = rig.engine->failureReason();
        QVERIFY2(reason.startsWith(ScanEngine::unlistedText(1, QFile::encodeName(root + folder))),
                 qPrintable(reason));
        QCOMPARE(rig.data->infections.count(), listedToo ? 1 : 0);
        QCOMPARE(rig.foundWindow->count(), listedToo ? 1 : 0);
        QCOMPARE(rig.failed->count(), listedToo ? 0 : 1);
    }
};

QTEST_GUILESS_MAIN(TestHiddenNames)
#include "test_hiddennames.moc"
