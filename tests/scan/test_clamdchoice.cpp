// Which engine the program's scans use when a clamd answers, is silent, talks nonsense or is
// missing, at the address set and at the system's socket; and a clamd that dies mid-scan.
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include "clamdprocess.h"
#include "enginerig.h"
#include "scan/scannerchoice.h"

using scannerchoice::Engine;

namespace {

// clamd's database names the test file otherwise than the program's, so a verdict tells
// which engine gave it.
constexpr char kClamdName[] = "Clamd-Eicar";
constexpr char kOwnName[] = "Eicar-Test-Signature";

}  // namespace

class TestClamdChoice : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QByteArray m_root;
    std::unique_ptr<ClamdProcess> m_clamd;
    std::unique_ptr<FakeClamd> m_silent, m_garbage, m_foreign;

    // A place name of a row to the address it stands for.
    QByteArray address(const QString &place) const {
        if (place == u"clamd")
            return QFile::encodeName(m_clamd->localAddress());
        if (place == u"clamd-tcp")
            return m_clamd->tcpAddress().toLatin1();
        if (place == u"silent")
            return m_root + "silent.sock";
        if (place == u"garbage")
            return m_root + "garbage.sock";
        if (place == u"foreign")
            return m_root + "foreign.sock";
        if (place == u"nothing")
            return m_root + "nothing.sock";
        if (place == u"closed-port")
            return "127.0.0.1:" + QByteArray::number(ClamdProcess::freeTcpPort());
        return place.toUtf8();  // as typed ("" for none, or something invalid)
    }

private slots:
    void initTestCase() {
        if (!ClamdProcess::installed())
            QFAIL("clamd is not installed (Debian package clamav-daemon)");
        QVERIFY(m_dir.isValid());
        m_root = QFile::encodeName(m_dir.path()) + '/';
        const QByteArray db = m_root + "clamd-db";
        QVERIFY(QDir().mkpath(QFile::decodeName(db)));
        const QByteArray md5 =
            QCryptographicHash::hash(TestEnv::eicar(), QCryptographicHash::Md5).toHex();
        TestEnv::writeFile(QFile::decodeName(db + "/test.hdb"),
                           md5 + ":68:" + QByteArray(kClamdName) + '\n');
        m_clamd = std::make_unique<ClamdProcess>(m_root + "clamd", db);
        m_silent = std::make_unique<FakeClamd>(m_root + "silent.sock", QByteArray());
        m_garbage = std::make_unique<FakeClamd>(m_root + "garbage.sock", QByteArray("PANG", 5));
        // Another user's server: answers PING, but what it is sent it could read or lie about.
        m_foreign =
            std::make_unique<FakeClamd>(m_root + "foreign.sock", QByteArray("PONG", 5), 0, 4242);
        QVERIFY(m_clamd->waitReady());
    }

    void scansUseTheResolvedEngine_data() {
        QTest::addColumn<int>("engine");
        QTest::addColumn<QString>("set");      // the address set in the settings
        QTest::addColumn<QString>("system");   // the system clamd.conf's LocalSocket; "" none
        QTest::addColumn<QString>("used");     // the clamd the scan must use; "" none
        QTest::addColumn<QString>("scanner");  // the scanner's file name
        const int automatic = int(Engine::Automatic);
        const QString own = QStringLiteral("vizavuz-scan");
        auto row = [&](const char *name, int engine, const char *set, const char *system,
                       const char *used, const QString &scanner) {
            QTest::newRow(name) << engine << QString::fromLatin1(set) << QString::fromLatin1(system)
                                << QString::fromLatin1(used) << scanner;
        };
        row("auto: clamd at the address set", automatic, "clamd", "", "clamd", own);
        row("auto: clamd over TCP at the address set", automatic, "clamd-tcp", "", "clamd-tcp",
            own);
        row("auto: the address set before the system's", automatic, "clamd-tcp", "clamd",
            "clamd-tcp", own);
        row("auto: silent at the address set, the system's answers", automatic, "silent", "clamd",
            "clamd", own);
        row("auto: garbage at the address set, the system's answers", automatic, "garbage", "clamd",
            "clamd", own);
        row("auto: nothing set, the system's answers", automatic, "", "clamd", "clamd", own);
        row("auto: an invalid address set is not tried", automatic, "clamd.sock", "", "", own);
        row("auto: garbage at the system's socket", automatic, "", "garbage", "", own);
        row("auto: silent everywhere", automatic, "silent", "silent", "", own);
        row("auto: nothing listening", automatic, "closed-port", "nothing", "", own);
        row("auto: another user's at the address set", automatic, "foreign", "", "", own);
        row("auto: another user's at the address set, the system's answers", automatic, "foreign",
            "clamd", "clamd", own);
        row("own engine: never clamd", int(Engine::Own), "clamd", "clamd", "", own);
        row("clamscan: never clamd", int(Engine::Clamscan), "clamd", "clamd", "",
            QStringLiteral("clamscan"));
    }

    void scansUseTheResolvedEngine() {
        QFETCH(int, engine);
        QFETCH(QString, set);
        QFETCH(QString, system);
        QFETCH(QString, used);
        QFETCH(QString, scanner);
        EngineRig rig;
        TestEnv::makeEicarDatabase(rig.db());
        rig.engine->setExecutableFolder(VZ_PROGRAM_DIR "/");
        if (!system.isEmpty())
            TestEnv::writeFile(rig.env.clamdConf(),
                               "# the system's clamd\nLocalSocket " + address(system) + "\n");
        QVERIFY(scannerchoice::store(rig.data->registry(), Engine(engine)).ok());
        QVERIFY(scannerchoice::storeClamdAddress(rig.data->registry(), address(set)).ok());
        const QByteArray t = QFile::encodeName(rig.target());
        TestEnv::writeFile(QFile::decodeName(t + "eicar.com"), TestEnv::eicar());
        TestEnv::writeFile(QFile::decodeName(t + "a.txt"), "clean\n");
        TestEnv::writeFile(QFile::decodeName(t + "b.txt"), "clean too\n");

        QElapsedTimer blocked;
        blocked.start();
        QVERIFY(rig.engine->startCustomScan({QFile::decodeName(t)}));
        // Two silent servers cost two short PING time-outs on the window thread, no more.
        QVERIFY2(blocked.elapsed() < 3 * scannerchoice::pingTimeoutMs,
                 QByteArray::number(blocked.elapsed()).constData());
        QTRY_COMPARE_WITH_TIMEOUT(rig.closed->count(), 1, 60000);
        QCOMPARE(rig.failed->count(), 0);
        QVERIFY(rig.engine->lastScannerPath().endsWith('/' + QFile::encodeName(scanner)));
        const QByteArray clamd = used.isEmpty() ? QByteArray() : address(used);
        QCOMPARE(rig.engine->lastClamdAddress(), clamd);
        const QList<QByteArray> args = rig.engine->lastArguments();
        QCOMPARE(args.contains("--clamd=" + clamd), !clamd.isEmpty());
        QCOMPARE(std::count_if(args.begin(), args.end(),
                               [](const QByteArray &a) { return a.startsWith("--clamd="); }),
                 clamd.isEmpty() ? 0 : 1);
        // Every file with its verdict, from the engine chosen.
        QCOMPARE(rig.engine->itemsScanned(), 2);
        QCOMPARE(rig.data->infections.count(), 1);
        const QByteArray name = rig.data->infections.record(1).threatName.bytes().trimmed();
        QVERIFY2(name.startsWith(clamd.isEmpty() ? kOwnName : kClamdName), name.constData());
        QCOMPARE(scannerchoice::engineName({rig.engine->lastScannerPath(), clamd}),
                 clamd.isEmpty() ? (scanner == u"clamscan" ? QStringLiteral("clamscan")
                                                           : QStringLiteral("own engine"))
                                 : QStringLiteral("clamd at ") + QFile::decodeName(clamd));
    }

    // The program's scan over clamd that dies part-way: the own engine takes over with the
    // program's databases and the scan completes with every file counted once.
    void clamdDyingMidScanLosesNoFile() {
        QTemporaryDir folder;
        const QByteArray dying = QFile::encodeName(folder.path());
        const QByteArray db = m_root + "clamd-db";
        ClamdProcess clamd(dying + "/clamd", db);
        QVERIFY(clamd.waitReady());
        EngineRig rig;
        TestEnv::makeEicarDatabase(rig.db());
        rig.engine->setExecutableFolder(VZ_PROGRAM_DIR "/");
        QVERIFY(scannerchoice::storeClamdAddress(rig.data->registry(),
                                                 QFile::encodeName(clamd.localAddress()))
                    .ok());
        const QByteArray t = QFile::encodeName(rig.target());
        constexpr int files = 3000;
        for (int n = 0; n < files; ++n)
            TestEnv::writeFile(QFile::decodeName(t + QByteArray::number(n)),
                               n % 100 ? "clean " + QByteArray::number(n) : TestEnv::eicar());
        QVERIFY(rig.engine->startCustomScan({QFile::decodeName(t)}));
        QCOMPARE(rig.engine->lastClamdAddress(), QFile::encodeName(clamd.localAddress()));
        QTRY_VERIFY_WITH_TIMEOUT(rig.engine->itemsScanned() > 0, 30000);
        clamd.kill();
        QTRY_COMPARE_WITH_TIMEOUT(rig.closed->count(), 1, 120000);
        QCOMPARE(rig.failed->count(), 0);
        QVERIFY(rig.engine->failureReason().isEmpty());
        QCOMPARE(rig.engine->itemsScanned() + rig.engine->infectionCount(), files);
        QCOMPARE(rig.engine->infectionCount(), files / 100);
        QCOMPARE(rig.engine->unreadableFiles(), 0);
    }
};

QTEST_GUILESS_MAIN(TestClamdChoice)
#include "test_clamdchoice.moc"
