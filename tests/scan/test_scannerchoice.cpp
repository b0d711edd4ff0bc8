#include <sys/stat.h>

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "scan/scannerchoice.h"
#include "testenv.h"

using scannerchoice::Engine;

// Which scanner program each engine choice runs, given what the program folder and the
// executable's folder hold.
class TestScannerChoice : public QObject {
    Q_OBJECT
private slots:
    void locate_data() {
        QTest::addColumn<int>("engine");
        QTest::addColumn<QStringList>("present");  // "program/NAME" or "exe/NAME"
        QTest::addColumn<QString>("expected");     // same form, or "path" for clamscan on PATH
        const int automatic = int(Engine::Automatic), own = int(Engine::Own),
                  clamscan = int(Engine::Clamscan);
        const QString pOwn = QStringLiteral("program/vizavuz-scan"),
                      pClam = QStringLiteral("program/clamscan"),
                      eOwn = QStringLiteral("exe/vizavuz-scan");
        QTest::newRow("auto: own scanner in the program folder")
            << automatic << QStringList{pOwn, pClam, eOwn} << pOwn;
        QTest::newRow("auto: a clamscan put into the program folder wins")
            << automatic << QStringList{pClam, eOwn} << pClam;
        QTest::newRow("auto: beside the executable") << automatic << QStringList{eOwn} << eOwn;
        QTest::newRow("auto: nothing local")
            << automatic << QStringList{} << QStringLiteral("path");
        QTest::newRow("own: beside the executable before clamscan")
            << own << QStringList{pClam, eOwn} << eOwn;
        QTest::newRow("own: missing falls back to clamscan") << own << QStringList{pClam} << pClam;
        QTest::newRow("clamscan: never the own scanner")
            << clamscan << QStringList{pOwn, eOwn} << QStringLiteral("path");
        QTest::newRow("clamscan: the program folder's")
            << clamscan << QStringList{pOwn, pClam} << pClam;
    }

    void locate() {
        QFETCH(int, engine);
        QFETCH(QStringList, present);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString root = dir.path() + u'/';
        QVERIFY(QDir().mkpath(root + QStringLiteral("program")));
        QVERIFY(QDir().mkpath(root + QStringLiteral("exe")));
        // A file named like a scanner but not executable is never taken.
        TestEnv::writeFile(root + QStringLiteral("program/vizavuz-scan"), "#!/bin/sh\n");
        for (const QString &name : present) {
            TestEnv::writeFile(root + name, "#!/bin/sh\n");
            QVERIFY(chmod(QFile::encodeName(root + name).constData(), 0755) == 0);
        }
        const QByteArray found = scannerchoice::locate(
            Engine(engine), QFile::encodeName(root + QStringLiteral("program/")),
            QFile::encodeName(root + QStringLiteral("exe/")));
        if (expected == QStringLiteral("path"))
            QCOMPARE(found,
                     QStandardPaths::findExecutable(QStringLiteral("clamscan")).toLocal8Bit());
        else
            QCOMPARE(found, QFile::encodeName(root + expected));
    }

    void unknownStoredTextIsAutomatic() {
        QCOMPARE(scannerchoice::fromText("clamd"), Engine::Automatic);
        QCOMPARE(scannerchoice::fromText(""), Engine::Automatic);
        for (const Engine engine : {Engine::Automatic, Engine::Own, Engine::Clamscan})
            QCOMPARE(scannerchoice::fromText(scannerchoice::text(engine)), engine);
    }
};

QTEST_GUILESS_MAIN(TestScannerChoice)
#include "test_scannerchoice.moc"
