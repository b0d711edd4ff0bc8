// The databases the scanner is given: what an update left in the database folder, whether the
// program downloaded it (main.cvd, daily.cvd) or freshclam maintains it (.cvd or .cld forms,
// bytecode too).
#include <QDateTime>
#include <QRegularExpression>
#include <QTest>

#include "enginerig.h"

using namespace scantest;

class TestScanDatabases : public QObject {
    Q_OBJECT
private slots:
    void scannerUsesEveryInstalledDatabase_data() {
        QTest::addColumn<QStringList>("files");  // "name" or "name@seconds ago"
        QTest::addColumn<QStringList>("given");
        QTest::newRow("downloaded")
            << QStringList{"main.cvd", "daily.cvd"} << QStringList{"main.cvd", "daily.cvd"};
        QTest::newRow("kept by freshclam") << QStringList{"main.cvd", "daily.cld", "bytecode.cvd"}
                                           << QStringList{"main.cvd", "daily.cld", "bytecode.cvd"};
        QTest::newRow("main as .cld only")
            << QStringList{"main.cld", "daily.cld"} << QStringList{"main.cld", "daily.cld"};
        QTest::newRow("both forms: the newer")
            << QStringList{"main.cvd", "daily.cvd@600", "daily.cld"}
            << QStringList{"main.cvd", "daily.cld"};
        QTest::newRow("both forms: the newer, other way")
            << QStringList{"main.cvd", "daily.cvd", "daily.cld@600"}
            << QStringList{"main.cvd", "daily.cvd"};
    }
    void scannerUsesEveryInstalledDatabase() {
        QFETCH(QStringList, files);
        QFETCH(QStringList, given);
        EngineRig rig;
        rig.useFakeScanner();
        QFile::remove(rig.db() + "main.cvd");
        for (const QString &entry : files) {
            const QString name = entry.section(u'@', 0, 0);
            TestEnv::writeFile(rig.db() + name, "db");
            QFile file(rig.db() + name);
            QVERIFY(file.open(QIODevice::ReadWrite));
            const int age = entry.section(u'@', 1).toInt();
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-age),
                                     QFileDevice::FileModificationTime));
        }
        const QString args = rig.env.root() + "args.txt";
        qputenv("FAKE_CLAMSCAN_ARGS", QFile::encodeName(args));
        QVERIFY(rig.engine->startCustomScan({rig.target()}));
        QTRY_COMPARE(rig.closed->count(), 1);
        QStringList expected;
        for (const QString &name : given)
            expected << "--database=" + rig.db() + name;
        const QStringList lines = QString::fromLocal8Bit(TestEnv::readFile(args)).split(u'\n');
        QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^--database="))), expected);
    }
};

QTEST_GUILESS_MAIN(TestScanDatabases)
#include "test_scandatabases.moc"
