// The About window's OS and PhysMem texts from given figures, and the scanner version query.
#include <QLocale>
#include <QSignalSpy>
#include <QTest>

#include "testenv.h"
#include "ui/shell/scannerversion.h"
#include "ui/shell/systemtext.h"

class TestSystemText : public QObject {
    Q_OBJECT
private slots:
    void memoryGrouping_data() {
        QTest::addColumn<quint64>("bytes");
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("expected");
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        const QLocale german(QLocale::German, QLocale::Germany);
        QTest::newRow("2 GiB, comma") << (quint64(2) << 30) << us << QStringLiteral("2,097,152 KB");
        QTest::newRow("2 GiB, dot")
            << (quint64(2) << 30) << german << QStringLiteral("2.097.152 KB");
        QTest::newRow("zero prints no digits") << quint64(0) << us << QStringLiteral(" KB");
        QTest::newRow("under one KB is zero") << quint64(1023) << us << QStringLiteral(" KB");
        QTest::newRow("one KB") << quint64(1024) << us << QStringLiteral("1 KB");
        QTest::newRow("three digits, no separator")
            << quint64(999) * 1024 << us << QStringLiteral("999 KB");
        QTest::newRow("four digits") << quint64(1000) * 1024 << us << QStringLiteral("1,000 KB");
        QTest::newRow("partial KB cut off")
            << quint64(1000) * 1024 + 1023 << us << QStringLiteral("1,000 KB");
        // Beyond what 32 bits hold: 64 GiB must not wrap.
        QTest::newRow("64 GiB") << (quint64(64) << 30) << us << QStringLiteral("67,108,864 KB");
        // The C locale still groups: the pattern always groups.
        QTest::newRow("C locale") << (quint64(2) << 30) << QLocale::c()
                                  << QStringLiteral("2,097,152 KB");
    }
    void memoryGrouping() {
        QFETCH(quint64, bytes);
        QFETCH(QLocale, locale);
        QFETCH(QString, expected);
        QCOMPARE(systemtext::memoryText(bytes, locale), expected);
    }

    void osTextForms() {
        QCOMPARE(systemtext::osText(QStringLiteral("Windows NT"), 5, 1, 2600,
                                    QStringLiteral("Service Pack 3")),
                 QStringLiteral("Windows NT 5.1 (Build 2600: Service Pack 3)"));
        QCOMPARE(systemtext::osText(QStringLiteral("Linux"), 6, 1, 0, QString()),
                 QStringLiteral("Linux 6.1 (Build 0)"));
        QCOMPARE(
            systemtext::osText(QStringLiteral("Linux"), 6, 1, 0, QStringLiteral("6.1.0-18-amd64")),
            QStringLiteral("Linux 6.1 (Build 0: 6.1.0-18-amd64)"));
    }

    void releaseNumbers_data() {
        QTest::addColumn<QString>("release");
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("build");
        QTest::newRow("debian") << QStringLiteral("6.1.0-18-amd64") << 6 << 1 << 0;
        QTest::newRow("three numbers") << QStringLiteral("5.15.153-generic") << 5 << 15 << 153;
        QTest::newRow("two numbers") << QStringLiteral("6.8-rc1") << 6 << 8 << 0;
        QTest::newRow("one number") << QStringLiteral("7") << 7 << 0 << 0;
        QTest::newRow("not numeric") << QStringLiteral("unknown") << 0 << 0 << 0;
        QTest::newRow("empty") << QString() << 0 << 0 << 0;
        QTest::newRow("huge part") << QStringLiteral("99999999999.1.2") << 0 << 0 << 0;
    }
    void releaseNumbers() {
        QFETCH(QString, release);
        const systemtext::ReleaseNumbers numbers = systemtext::parseRelease(release);
        QTEST(numbers.major, "major");
        QTEST(numbers.minor, "minor");
        QTEST(numbers.build, "build");
    }

    // The running machine: the OS label names the kernel and carries its release text.
    void currentMachine() {
        const QString os = systemtext::currentOsText();
        QVERIFY2(os.startsWith(QStringLiteral("Linux ")), qPrintable(os));
        QVERIFY2(os.contains(QStringLiteral(" (Build ")) && os.endsWith(QLatin1Char(')')),
                 qPrintable(os));
        const QString memory =
            systemtext::currentMemoryText(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY2(memory.endsWith(QStringLiteral(" KB")) && memory.size() > 3, qPrintable(memory));
    }

    void scannerVersionFromRealScanner() {
        const QString program = ScannerVersion::locate(QStringLiteral("/nonexistent/"));
        QVERIFY2(!program.isEmpty(), "clamscan must be installed");
        ScannerVersion version;
        QSignalSpy spy(&version, &ScannerVersion::textChanged);
        QCOMPARE(version.text(), ScannerVersion::pendingText());
        version.start(program);
        QVERIFY(spy.wait(15000));
        QVERIFY2(version.text().startsWith(QStringLiteral("Scanner: ClamAV ")),
                 qPrintable(version.text()));
        QVERIFY(!version.text().contains(QLatin1Char('\n')));
    }

    void scannerInProgramFolderWins() {
        TestEnv env;
        const QString local = env.programFolder() + QStringLiteral("clamscan");
        TestEnv::writeFile(local, "#!/bin/sh\necho 'ClamAV 9.9.9/1/Thu Jan  1 00:00:00 2026'\n");
        QFile::setPermissions(local, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(ScannerVersion::locate(env.programFolder()), local);
        ScannerVersion version;
        QSignalSpy spy(&version, &ScannerVersion::textChanged);
        version.start(local);
        QVERIFY(spy.wait(15000));
        QCOMPARE(version.text(),
                 QStringLiteral("Scanner: ClamAV 9.9.9/1/Thu Jan  1 00:00:00 2026"));
    }

    void missingOrFailingScanner() {
        TestEnv env;
        {
            ScannerVersion version;
            QSignalSpy spy(&version, &ScannerVersion::textChanged);
            version.start(env.root() + QStringLiteral("no-such-scanner"));
            QVERIFY(spy.wait(15000));
            QCOMPARE(version.text(), ScannerVersion::missingText());
        }
        {
            ScannerVersion version;
            version.start(QString());
            QCOMPARE(version.text(), ScannerVersion::missingText());
            QVERIFY(version.finished());
        }
        {
            // A program that fails before it completes a line is no scanner either. (A first
            // line counts as soon as it is read: the child is ended then, not waited for.)
            const QString broken = env.programFolder() + QStringLiteral("clamscan");
            TestEnv::writeFile(broken, "#!/bin/sh\nprintf oops\nexit 3\n");
            QFile::setPermissions(broken, QFile::ReadOwner | QFile::ExeOwner);
            ScannerVersion version;
            QSignalSpy spy(&version, &ScannerVersion::textChanged);
            version.start(broken);
            QVERIFY(spy.wait(15000));
            QCOMPARE(version.text(), ScannerVersion::missingText());
        }
    }
};

QTEST_GUILESS_MAIN(TestSystemText)
#include "tst_systemtext.moc"
