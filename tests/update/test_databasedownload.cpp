#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QScopeGuard>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "state/daycount.h"
#include "app/programdata.h"
#include "httpserver.h"
#include "testenv.h"
#include "platform/scannerprocess.h"
#include "update/connectivitycheck.h"
#include "update/databasedownload.h"
#include "update/updatetexts.h"
#include "update/updatewait.h"

namespace {
const QDate kToday(2026, 12, 8);

struct World {
    TestEnv env;
    FixedClock clock{kToday};
    ProgramData data{clock, platform::KeyStore(env.registryRoot())};
    TestHttpServer server;

    World() {
        data.folders.data = env.dataFolder();
        data.folders.database = env.dataFolder() + "db/";
        QDir().mkpath(data.folders.database);
        server.listen();
        (void)data.registry().writeText(regkey::dbServer(), server.host());
        (void)data.registry().writeText(regkey::website(), server.host());
        // A run two or more days away ends with the daily database.
        server.route("/daily.cvd", {200, dailyBody(), false, {}});
    }
    static QByteArray dailyBody() { return QByteArray(DatabaseDownload::signature) + "daily"; }
    QString db(const QString &name) const { return data.folders.database + name; }
    void lastUpdateDaysAgo(int days) {
        data.settings.lastUpdate = daycount::fromDate(kToday.addDays(-days));
    }
};

QByteArray payload(int size) {
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char('a' + i % 26);
    return b;
}

// A database file as the server holds it: the ClamAV signature, then the rest.
QByteArray cvd(const QByteArray &rest) {
    return QByteArray(DatabaseDownload::signature) + rest;
}

// Accepts what begins like a database (see the script: a signed one cannot be made here).
QByteArray standInSigtool() {
    return QByteArrayLiteral(VZ_TESTS_SOURCE_DIR "/update/standin-sigtool");
}

// The settings record as stored in the key store.
SettingsRecord storedSettings(const World &w) {
    SettingsRecord r;
    const bool read = w.data.registry().readRecord(regkey::settings(), r);
    Q_ASSERT(read);
    return r;
}

// A server that sends the head and part of the body, then nothing more.
struct StallingServer {
    QTcpServer server;
    QList<QTcpSocket *> held;
    StallingServer() {
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            QTcpSocket *s = server.nextPendingConnection();
            held << s;
            QObject::connect(s, &QTcpSocket::readyRead, s, [s] {
                s->readAll();
                s->write("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n" +
                         QByteArray(DatabaseDownload::signature) + QByteArray(1000, 'p'));
            });
        });
    }
    ~StallingServer() { qDeleteAll(held); }
    QByteArray host() const { return "127.0.0.1:" + QByteArray::number(server.serverPort()); }
};

// A file that looks like a database to anything that reads only its start: a 512-byte header
// of the right form, whose checksum and signature are not ClamAV's.
QByteArray forgedDatabase(bool withBody) {
    QByteArray header =
        "ClamAV-VDB:08 Dec 2026 10-15 +0000:27000:1:216:"
        "8988c0e95d3dd8709cac7180e8b7d6c4:Xy9fakeSignature:someone:1796724926";
    header.append(512 - header.size(), ' ');
    return withBody ? header + payload(4000) : header;
}

bool chattr(const char *flag, const QString &path) {
    return QProcess::execute(QStringLiteral("chattr"), {QString::fromLatin1(flag), path}) == 0;
}

// A tinyproxy with basic authentication on a free port, started and stopped by the test.
class AuthProxy {
public:
    explicit AuthProxy(const QString &folder) {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
        probe.close();
        const QString conf = folder + "tinyproxy.conf";
        TestEnv::writeFile(conf, "User nobody\nGroup nogroup\nPort " + QByteArray::number(port) +
                                     "\nListen 127.0.0.1\nTimeout 30\nMaxClients 5\n"
                                     "Allow 127.0.0.1\nBasicAuth user pass\n");
        process.start(QStringLiteral("tinyproxy"),
                      {QStringLiteral("-d"), QStringLiteral("-c"), conf});
    }
    ~AuthProxy() {
        process.kill();
        process.waitForFinished();
    }
    bool ready() {
        for (int i = 0; i < 50; ++i) {
            QTcpSocket s;
            s.connectToHost(QHostAddress::LocalHost, port);
            if (s.waitForConnected(100))
                return true;
            QTest::qWait(100);
        }
        return false;
    }
    quint16 port = 0;
    QProcess process;
};
}  // namespace

Q_DECLARE_METATYPE(TestHttpServer::Route)

class TestDatabaseDownload : public QObject {
    Q_OBJECT
private slots:
    void aRunTwoDaysAwayFetchesMainThenDailyAndRecordsOnce() {
        World w;
        w.lastUpdateDaysAgo(100);  // the first run after installing
        const QByteArray mainBody = cvd(payload(200000));
        const QByteArray dailyBody = cvd(payload(90000));
        w.server.route("/main.cvd", {200, mainBody, false, {}});
        w.server.route("/daily.cvd", {200, dailyBody, false, {}});
        DatabaseDownload dl(w.data);
        dl.setVerifier(standInSigtool());
        dl.setStartDelay(50);
        QSignalSpy off(&dl, &DatabaseDownload::scheduledCheckOffRequested);
        QSignalSpy ok(&dl, &DatabaseDownload::succeeded);
        QList<int> progress;
        connect(&dl, &DatabaseDownload::gaugeProgressChanged, this, [&](int p) { progress << p; });
        QList<int> recordedCounts;
        connect(&dl, &DatabaseDownload::installed, this,
                [&] { recordedCounts << storedSettings(w).updateCount; });
        dl.start();
        QCOMPARE(off.count(), 1);
        QCOMPARE(dl.state(), DatabaseDownload::State::Waiting);
        QVERIFY(!dl.closeAllowed());
        QTRY_COMPARE(ok.count(), 1);
        QCOMPARE(w.server.hits("/main.cvd"), 1);
        QCOMPARE(w.server.hits("/daily.cvd"), 1);
        QCOMPARE(TestEnv::readFile(w.db("main.cvd")), mainBody);
        QCOMPARE(TestEnv::readFile(w.db("daily.cvd")), dailyBody);
        QVERIFY(!QFileInfo::exists(w.db("main2.cvd")));
        QVERIFY(!QFileInfo::exists(w.db("daily2.cvd")));
        // The gauge ran up for main, started again at 0 and ran up for daily.
        const qsizetype top = progress.indexOf(mainBody.size());
        QVERIFY2(top >= 0, "the gauge never showed main complete");
        QVERIFY(progress.indexOf(0, top) > top);
        QCOMPARE(progress.last(), dailyBody.size());
        QCOMPARE(dl.gaugeMaximum(), dailyBody.size());
        QVERIFY(dl.successVisible());
        QVERIFY(!dl.gaugeVisible());
        QVERIFY(dl.closeAllowed());
        // Recorded once, when both were in; the size is what the run brought.
        QCOMPARE(recordedCounts, (QList<int>{0, 0}));
        QCOMPARE(w.data.settings.updateCount, 1);
        QCOMPARE(w.data.settings.updateSize, mainBody.size() + dailyBody.size());
        QCOMPARE(w.data.settings.lastUpdate, 46364.0);
        const SettingsRecord stored = storedSettings(w);
        QCOMPARE(stored.updateCount, 1);
        QCOMPARE(stored.updateSize, mainBody.size() + dailyBody.size());
        QCOMPARE(stored.lastUpdate, 46364.0);
        // Our own name goes with the request, never another program's.
        QVERIFY(w.server.requests.at(0).contains("User-Agent: Vizavuz-AntiVirus/"));
    }

    void recentUpdateFetchesDailyOnly_data() {
        QTest::addColumn<int>("daysAgo");
        QTest::newRow("today") << 0;
        QTest::newRow("yesterday") << 1;
        QTest::newRow("tomorrow") << -1;
    }
    void recentUpdateFetchesDailyOnly() {
        QFETCH(int, daysAgo);
        World w;
        w.lastUpdateDaysAgo(daysAgo);
        w.data.settings.updateCount = 4;
        TestEnv::writeFile(w.db("main.cvd"), "old main");
        TestEnv::writeFile(w.db("daily.cvd"), "old daily");
        w.server.route("/daily.cvd", {200, cvd("new daily"), false, {}});
        DatabaseDownload dl(w.data);
        dl.setVerifier(standInSigtool());
        dl.setStartDelay(10);
        QSignalSpy ok(&dl, &DatabaseDownload::succeeded);
        dl.start();
        QTRY_COMPARE(ok.count(), 1);
        QCOMPARE(dl.kind(), DatabaseDownload::Kind::Daily);
        QCOMPARE(TestEnv::readFile(w.db("daily.cvd")), cvd("new daily"));
        QCOMPARE(TestEnv::readFile(w.db("main.cvd")), QByteArray("old main"));
        QVERIFY(!QFileInfo::exists(w.db("daily2.cvd")));
        QCOMPARE(w.data.settings.updateCount, 5);
        QCOMPARE(w.data.settings.updateSize, cvd("new daily").size());
    }

    void failedDownloadsRecordAndInstallNothing_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("cut");
        QTest::addColumn<bool>("serverDown");
        QTest::addColumn<bool>("redirectLoop");
        QTest::addColumn<QString>("reason");  // how the failure window's line begins
        QTest::newRow("404") << 404 << false << false << false
                             << "The server does not have the file (HTTP 404)";
        QTest::newRow("500") << 500 << false << false << false
                             << "The server could not deliver the file (HTTP 500)";
        QTest::newRow("cut short")
            << 200 << true << false << false << "The download was cut short (";
        QTest::newRow("refused") << 200 << false << true << false
                                 << "The server could not be reached (connection refused)";
        QTest::newRow("redirect loop") << 302 << false << false << true << "The download failed (";
        QTest::newRow("a page, not a database")
            << 200 << false << false << false
            << "The downloaded file is not a valid ClamAV database (";
    }
    void failedDownloadsRecordAndInstallNothing() {
        QFETCH(int, status);
        QFETCH(bool, cut);
        QFETCH(bool, serverDown);
        QFETCH(bool, redirectLoop);
        QFETCH(QString, reason);
        World w;
        w.lastUpdateDaysAgo(10);
        w.data.settings.updateCount = 3;
        w.data.settings.updateSize = 77;
        TestEnv::writeFile(w.db("main.cvd"), "old main");
        const QByteArray loop = "http://" + w.server.host() + "/main.cvd";
        w.server.route("/main.cvd",
                       {status, payload(50000), cut, redirectLoop ? loop : QByteArray()});
        if (serverDown)
            w.server.close();
        DatabaseDownload dl(w.data);
        dl.setVerifier(standInSigtool());
        dl.setStartDelay(10);
        QSignalSpy failed(&dl, &DatabaseDownload::failed);
        QSignalSpy ok(&dl, &DatabaseDownload::succeeded);
        dl.start();
        QTRY_COMPARE(failed.count(), 1);
        const QString shown = failed.at(0).at(0).toString();
        QVERIFY2(shown.startsWith(reason), qPrintable(shown));
        QCOMPARE(dl.failureReason(), shown);
        QCOMPARE(ok.count(), 0);
        QCOMPARE(dl.state(), DatabaseDownload::State::Failed);
        QVERIFY(!dl.closeAllowed());
        QCOMPARE(w.data.settings.updateCount, 3);
        QCOMPARE(w.data.settings.updateSize, 77);
        QCOMPARE(w.data.settings.lastUpdate, daycount::fromDate(kToday.addDays(-10)));
        QCOMPARE(TestEnv::readFile(w.db("main.cvd")), QByteArray("old main"));
        QVERIFY(!QFileInfo::exists(w.db("main2.cvd")));
        QVERIFY(w.env.registryValue("sysdata").isEmpty());
    }

    void redirectToAnotherHostIsFollowed() {
        World w;
        w.lastUpdateDaysAgo(10);
        TestHttpServer other;
        QVERIFY(other.listen());
        other.route("/real.cvd", {200, cvd("moved body"), false, {}});
        w.server.route(
            "/main.cvd",
            {301, "", false, "http://localhost:" + QByteArray::number(other.port()) + "/real.cvd"});
        DatabaseDownload dl(w.data);
        dl.setVerifier(standInSigtool());
        dl.setStartDelay(10);
        QSignalSpy ok(&dl, &DatabaseDownload::succeeded);
        dl.start();
        QTRY_COMPARE(ok.count(), 1);
        QCOMPARE(TestEnv::readFile(w.db("main.cvd")), cvd("moved body"));
    }

    void cancelBeforeTheStartDelayStartsNothing() {
        World w;
        w.lastUpdateDaysAgo(10);
        w.server.route("/main.cvd", {200, "body", false, {}});
        DatabaseDownload dl(w.data);
        dl.setVerifier(standInSigtool());
        dl.setStartDelay(200);
        QSignalSpy started(&dl, &DatabaseDownload::downloadStarted);
        dl.start();
        QVERIFY(dl.startTimerOn());
        dl.cancel();
        QVERIFY(!dl.startTimerOn());
        QCOMPARE(dl.state(), DatabaseDownload::State::Hidden);
        QTest::qWait(500);
        QCOMPARE(started.count(), 0);
        QCOMPARE(w.server.hits("/main.cvd"), 0);
        QCOMPARE(w.data.settings.updateCount, 0);
    }

    void cancelMidDownloadRecordsNothing() {
        World w;
        w.lastUpdateDaysAgo(10);
        // A server that sends the head and part of the body, then stalls.
        QTcpServer stall;
        QVERIFY(stall.listen(QHostAddress::LocalHost, 0));
        QList<QTcpSocket *> held;
        connect(&stall, &QTcpServer::newConnection, this, [&] {
            QTcpSocket *s = stall.nextPendingConnection();
            held << s;
            connect(s, &QTcpSocket::readyRead, s, [s] {
                s->readAll();
                s->write("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n" + payload(1000));
            });
        });
        (void)w.data.registry().writeText(regkey::dbServer(),
                                          "127.0.0.1:" + QByteArray::number(stall.serverPort()));
        DatabaseDownload dl(w.data);
        dl.setVerifier(standInSigtool());
        dl.setStartDelay(10);
        QSignalSpy ok(&dl, &DatabaseDownload::succeeded);
        QSignalSpy failed(&dl, &DatabaseDownload::failed);
        dl.start();
        QTRY_VERIFY(QFileInfo::exists(w.db("main2.cvd")));
        QTRY_VERIFY(!held.isEmpty());
        QCOMPARE(dl.state(), DatabaseDownload::State::Downloading);
        dl.cancel();
        QTRY_VERIFY(!QFileInfo::exists(w.db("main2.cvd")));
        QTest::qWait(200);
        QCOMPARE(ok.count(), 0);
        QCOMPARE(failed.count(), 0);
        QCOMPARE(w.data.settings.updateCount, 0);
        QVERIFY(!QFileInfo::exists(w.db("main.cvd")));
        qDeleteAll(held);
    }

    void stalledDownloadTimesOut() {
        World w;
        w.lastUpdateDaysAgo(10);
        QTcpServer stall;
        QVERIFY(stall.listen(QHostAddress::LocalHost, 0));
        QList<QTcpSocket *> held;
        connect(&stall, &QTcpServer::newConnection, this,
                [&] { held << stall.nextPendingConnection(); });
        (void)w.data.registry().writeText(regkey::dbServer(),
                                          "127.0.0.1:" + QByteArray::number(stall.serverPort()));
        DatabaseDownload dl(w.data);
        dl.setVerifier(standInSigtool());
        dl.setStartDelay(10);
        dl.setNoDataTimeout(500);
        QSignalSpy failed(&dl, &DatabaseDownload::failed);
        dl.start();
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 5000);
        QVERIFY(!QFileInfo::exists(w.db("main2.cvd")));
        QCOMPARE(w.data.settings.updateCount, 0);
        qDeleteAll(held);
    }

    void liveFileThatCannotBeReplacedIsRetriedOnce_data() {
        QTest::addColumn<bool>("freedBeforeTheRetry");
        QTest::newRow("freed before the retry") << true;
        QTest::newRow("still blocked at the retry") << false;
    }
    void liveFileThatCannotBeReplacedIsRetriedOnce() {
        QFETCH(bool, freedBeforeTheRetry);
        World w;
        w.lastUpdateDaysAgo(10);
        TestEnv::writeFile(w.db("main.cvd"), "old main");
        if (!chattr("+i", w.db("main.cvd")))
            QSKIP("chattr +i is not available here");
        w.server.route("/main.cvd", {200, cvd("new main"), false, {}});
        DatabaseDownload dl(w.data);
        dl.setVerifier(standInSigtool());
        dl.setStartDelay(10);
        dl.setRetryInterval(freedBeforeTheRetry ? 1500 : 200);
        QSignalSpy ok(&dl, &DatabaseDownload::succeeded);
        QSignalSpy installFailed(&dl, &DatabaseDownload::installFailed);
        dl.start();
        QTRY_COMPARE(ok.count(), 1);
        if (!freedBeforeTheRetry)
            QTRY_COMPARE(installFailed.count(), 1);
        const bool stagedKept = QFileInfo::exists(w.db("main2.cvd"));
        const QByteArray live = TestEnv::readFile(w.db("main.cvd"));
        chattr("-i", w.db("main.cvd"));
        QVERIFY(stagedKept);
        QCOMPARE(live, QByteArray("old main"));    // the working database is still there
        QCOMPARE(w.data.settings.updateCount, 1);  // counted all the same
        if (freedBeforeTheRetry) {
            QVERIFY(dl.retryTimerOn());
            QTRY_COMPARE(TestEnv::readFile(w.db("main.cvd")), cvd("new main"));
            QVERIFY(!QFileInfo::exists(w.db("main2.cvd")));
            QCOMPARE(installFailed.count(), 0);
        } else {
            QVERIFY(installFailed.at(0).at(0).toString().startsWith(
                QStringLiteral("The update was downloaded but could not be installed: ")));
            QVERIFY(QFileInfo::exists(w.db("main2.cvd")));  // until the next scan start
        }
        QVERIFY(!dl.retryTimerOn());
    }

    void settingsWriteFailureIsReported() {
        World w;
        w.lastUpdateDaysAgo(10);
        // A file where the key's folder must be makes every write fail.
        const QString key = w.env.registryRoot() + "HKEY_LOCAL_MACHINE/SOFTWARE/Vizavuz/AntiVirus/";
        QDir().mkpath(key);
        TestEnv::writeFile(key + "sysdata", "in the way");
        w.server.route("/main.cvd", {200, cvd("new main"), false, {}});
        DatabaseDownload dl(w.data);
        dl.setVerifier(standInSigtool());
        dl.setStartDelay(10);
        QSignalSpy writeFailed(&dl, &DatabaseDownload::settingsWriteFailed);
        dl.start();
        QTRY_COMPARE(writeFailed.count(), 1);
        QCOMPARE(writeFailed.at(0).at(0).toString(), QStringLiteral("Failed to set data for ''"));
        QCOMPARE(TestEnv::readFile(w.db("main.cvd")), cvd("new main"));
    }

    // A database folder on a full file system: the window says so, the old database stays.
    void fullDiskIsTheReason() {
        World w;
        w.lastUpdateDaysAgo(1);
        if (QProcess::execute(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=64k", "tmpfs",
                                                        w.data.folders.database}) != 0)
            QSKIP("a small file system cannot be mounted here");
        const auto unmount = qScopeGuard(
            [&] { QProcess::execute(QStringLiteral("umount"), {w.data.folders.database}); });
        TestEnv::writeFile(w.db("daily.cvd"), cvd("old daily"));
        w.server.route("/daily.cvd", {200, cvd(payload(1000000)), false, {}});
        DatabaseDownload dl(w.data);
        dl.setVerifier(standInSigtool());
        dl.setStartDelay(10);
        QSignalSpy failed(&dl, &DatabaseDownload::failed);
        dl.start();
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 20000);
        QCOMPARE(TestEnv::readFile(w.db("daily.cvd")), cvd("old daily"));
        QVERIFY(!QFileInfo::exists(w.db("daily2.cvd")));
        QCOMPARE(
            failed.at(0).at(0).toString(),
            QStringLiteral("The database folder could not be written (No space left on device)"));
    }

    // One program run, one download object, one run after another in every outcome: the live
    // file only ever holds the old database or a verified new one.
    void anyRunsInOneProgramRunNeverExposeAnUnverifiedFile() {
        World w;
        w.lastUpdateDaysAgo(1);  // daily only, and so it stays after each success
        const QString live = w.db("daily.cvd");
        const QString staged = w.db("daily2.cvd");
        TestEnv::writeFile(live, cvd("old daily"));
        DatabaseDownload dl(w.data);
        dl.setVerifier(standInSigtool());
        dl.setStartDelay(10);
        dl.setRetryInterval(20);
        dl.setNoDataTimeout(800);
        QSet<QByteArray> seen;
        QTimer watch;
        watch.setInterval(1);
        connect(&watch, &QTimer::timeout, this, [&] { seen.insert(TestEnv::readFile(live)); });
        watch.start();
        StallingServer stall;
        QSignalSpy ok(&dl, &DatabaseDownload::succeeded);
        QSignalSpy failed(&dl, &DatabaseDownload::failed);

        struct Step {
            const char *name;
            TestHttpServer::Route route;
            bool stalls;
            bool succeeds;
            QByteArray liveAfter;
        };
        const QList<Step> steps{
            {"first success", {200, cvd("new 1"), false, {}}, false, true, cvd("new 1")},
            {"403", {403, "refused", false, {}}, false, false, cvd("new 1")},
            {"cut body", {200, cvd(payload(40000)), true, {}}, false, false, cvd("new 1")},
            {"not a database", {200, "<html>portal</html>", false, {}}, false, false, cvd("new 1")},
            {"second success", {200, cvd("new 2"), false, {}}, false, true, cvd("new 2")},
            {"stall", {}, true, false, cvd("new 2")},
            {"404", {404, "gone", false, {}}, false, false, cvd("new 2")},
        };
        for (const Step &step : steps) {
            const int oks = ok.count();
            const int ends = ok.count() + failed.count();
            (void)w.data.registry().writeText(regkey::updateWait(), "");  // no wait between
            (void)w.data.registry().writeText(regkey::dbServer(),
                                              step.stalls ? stall.host() : w.server.host());
            w.server.route("/daily.cvd", step.route);
            dl.start();
            QTRY_COMPARE_WITH_TIMEOUT(ok.count() + failed.count(), ends + 1, 10000);
            QCOMPARE(ok.count() == oks + 1, step.succeeds);
            QTest::qWait(150);  // time for any timer that would still act
            QVERIFY2(TestEnv::readFile(live) == step.liveAfter, step.name);
            QVERIFY2(!QFileInfo::exists(staged), step.name);
        }

        // Cancelled while the finished file is being checked: it is not installed, later either.
        (void)w.data.registry().writeText(regkey::dbServer(), w.server.host());
        w.server.route("/daily.cvd", {200, cvd("new 3"), false, {}});
        qputenv("STANDIN_SIGTOOL_DELAY", "1");
        dl.start();
        QTRY_COMPARE(TestEnv::readFile(staged), cvd("new 3"));
        dl.cancel();
        QTest::qWait(1500);
        qunsetenv("STANDIN_SIGTOOL_DELAY");
        QCOMPARE(TestEnv::readFile(live), cvd("new 2"));
        QVERIFY(!QFileInfo::exists(staged));

        watch.stop();
        QCOMPARE(seen, (QSet<QByteArray>{cvd("old daily"), cvd("new 1"), cvd("new 2")}));
        QCOMPARE(w.data.settings.updateCount, 2);
    }

    // The real sigtool decides: a file that only looks like a database is refused.
    void forgedDatabasesAreRefusedBySigtool_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("header and body, not signed by ClamAV") << forgedDatabase(true);
        QTest::newRow("header only") << forgedDatabase(false);
        QTest::newRow("the magic and nothing else") << QByteArray(DatabaseDownload::signature);
    }
    void forgedDatabasesAreRefusedBySigtool() {
        QFETCH(QByteArray, body);
        World w;
        w.lastUpdateDaysAgo(1);
        TestEnv::writeFile(w.db("daily.cvd"), "old daily");
        w.server.route("/daily.cvd", {200, body, false, {}});
        const QByteArray sigtool = platform::findOnPath("sigtool");
        QVERIFY2(!sigtool.isEmpty(), "ClamAV's sigtool is needed");
        DatabaseDownload dl(w.data);
        dl.setVerifier(sigtool);
        dl.setStartDelay(10);
        QSignalSpy failed(&dl, &DatabaseDownload::failed);
        dl.start();
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 20000);
        const QString reason = failed.at(0).at(0).toString();
        QVERIFY2(reason.startsWith(
                     QStringLiteral("The downloaded file is not a valid ClamAV database (")),
                 qPrintable(reason));
        QCOMPARE(TestEnv::readFile(w.db("daily.cvd")), QByteArray("old daily"));
        QVERIFY(!QFileInfo::exists(w.db("daily2.cvd")));
        QCOMPARE(w.data.settings.updateCount, 0);
        QVERIFY(w.env.registryValue("sysdata").isEmpty());
    }

    // 403 and 429 are the server's wish to be left alone: stored, and the next run waits.
    void refusalAndRateLimitAreWaitedFor_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("headers");
        QTest::addColumn<qint64>("waitSeconds");
        QTest::addColumn<QString>("reason");
        const QString busy = QStringLiteral("The server is busy and asked to wait (HTTP 429)");
        QTest::newRow("403: a day") << 403 << QByteArray() << qint64(24 * 3600)
                                    << "The server refused the download (HTTP 403)";
        QTest::newRow("429 in seconds")
            << 429 << QByteArray("Retry-After: 120\r\n") << qint64(120) << busy;
        const QByteArray date =
            QDateTime::currentDateTimeUtc().addSecs(600).toString(Qt::RFC2822Date).toLatin1();
        QTest::newRow("429 as a date")
            << 429 << QByteArray("Retry-After: " + date + "\r\n") << qint64(600) << busy;
        // The form servers send (RFC 9110's IMF-fixdate, in GMT).
        const QByteArray httpDate = QLocale::c()
                                        .toString(QDateTime::currentDateTimeUtc().addSecs(7200),
                                                  QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"))
                                        .toLatin1();
        QTest::newRow("429 as an HTTP date")
            << 429 << QByteArray("Retry-After: " + httpDate + "\r\n") << qint64(7200) << busy;
        const QByteArray rfc850 = QLocale::c()
                                      .toString(QDateTime::currentDateTimeUtc().addSecs(5400),
                                                QStringLiteral("dddd, dd-MMM-yy HH:mm:ss 'GMT'"))
                                      .toLatin1();
        QTest::newRow("429 as an old-style HTTP date")
            << 429 << QByteArray("Retry-After: " + rfc850 + "\r\n") << qint64(5400) << busy;
        QTest::newRow("429 with two Retry-After headers")
            << 429 << QByteArray("Retry-After: 7200\r\nRetry-After: 60\r\n") << qint64(7200)
            << busy;
        QTest::newRow("429 beyond a week")
            << 429 << QByteArray("Retry-After: 999999999\r\n") << qint64(7 * 24 * 3600) << busy;
    }
    void refusalAndRateLimitAreWaitedFor() {
        QFETCH(int, status);
        QFETCH(QByteArray, headers);
        QFETCH(qint64, waitSeconds);
        QFETCH(QString, reason);
        World w;
        w.lastUpdateDaysAgo(1);
        w.server.route("/daily.cvd", {status, "no", false, {}});
        w.server.extraHeaders("/daily.cvd", headers);
        DatabaseDownload dl(w.data);
        dl.setVerifier(standInSigtool());
        dl.setStartDelay(10);
        QSignalSpy failed(&dl, &DatabaseDownload::failed);
        const QDateTime before = QDateTime::currentDateTimeUtc();
        dl.start();
        QTRY_COMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(0).toString(), reason);
        const QDateTime until = QDateTime::fromString(
            QString::fromLatin1(w.env.registryValue("updatewait")), Qt::ISODate);
        QVERIFY(until.isValid());
        QVERIFY(qAbs(before.secsTo(until) - waitSeconds) <= 5);
        QCOMPARE(updatewait::until(w.data.registry()), until);

        // The next run does not ask the server and says until when.
        w.server.route("/daily.cvd", {200, cvd("new"), false, {}});
        dl.start();
        QTRY_COMPARE(failed.count(), 2);
        QVERIFY(failed.at(1).at(0).toString().startsWith(
            QStringLiteral("The update server asked to wait; the next update can be made after ")));
        QCOMPARE(w.server.hits("/daily.cvd"), 1);
    }

    void proxyIsUsedWithItsCredentials_data() {
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<bool>("succeeds");
        QTest::newRow("right password") << QByteArray("pass") << true;
        QTest::newRow("wrong password") << QByteArray("wrong") << false;
    }
    void proxyIsUsedWithItsCredentials() {
        QFETCH(QByteArray, password);
        QFETCH(bool, succeeds);
        World w;
        AuthProxy proxy(w.env.root());
        if (!proxy.ready())
            QSKIP("tinyproxy did not start");
        w.lastUpdateDaysAgo(10);
        w.server.route("/main.cvd", {200, cvd("via proxy"), false, {}});
        w.data.settings.useProxy = 1;
        w.data.settings.proxyServer.assign("127.0.0.1");
        w.data.settings.proxyPort.assign(QByteArray::number(proxy.port));
        w.data.settings.proxyUser.assign("user");
        w.data.settings.proxyPassword.assign(password);
        DatabaseDownload dl(w.data);
        dl.setVerifier(standInSigtool());
        dl.setStartDelay(10);
        QSignalSpy ok(&dl, &DatabaseDownload::succeeded);
        QSignalSpy failed(&dl, &DatabaseDownload::failed);
        dl.start();
        QTRY_COMPARE_WITH_TIMEOUT(ok.count() + failed.count(), 1, 20000);
        QCOMPARE(ok.count(), succeeds ? 1 : 0);
        if (succeeds) {
            QCOMPARE(TestEnv::readFile(w.db("main.cvd")), cvd("via proxy"));
            QCOMPARE(w.server.requests.size(), 2);  // main, then daily
            for (const QByteArray &request : w.server.requests)
                QVERIFY(request.contains("tinyproxy"));  // its Via header
        } else {
            QCOMPARE(w.server.hits("/main.cvd"), 0);
            QVERIFY(!QFileInfo::exists(w.db("main.cvd")));
            QVERIFY(!QFileInfo::exists(w.db("main2.cvd")));
            QCOMPARE(w.data.settings.updateCount, 0);
        }
    }

    // A mirror that sends more than any database, or announces it, is stopped with the reason;
    // one that trickles is stopped as too slow. Nothing is kept, recorded or installed.
    void unboundedOrTricklingMirrorsAreStopped_data() {
        QTest::addColumn<TestHttpServer::Route>("route");
        QTest::addColumn<QString>("reason");
        const qint64 limit = 1024 * 1024;
        const QString tooLarge = updatetexts::tooLarge(limit);
        TestHttpServer::Route endless{200, cvd("x"), false, {}};
        endless.endless = true;
        // Announced too large and then sending almost nothing: refused before the body.
        TestHttpServer::Route announced{200, cvd("x"), false, {}};
        announced.announced = limit + 1;
        announced.trickleMs = 1000;
        TestHttpServer::Route trickle{200, cvd("x"), false, {}};
        trickle.announced = 1000000;
        trickle.trickleMs = 50;
        QTest::newRow("no length, sent without end") << endless << tooLarge;
        QTest::newRow("a length above the limit") << announced << tooLarge;
        QTest::newRow("a byte every 50 ms") << trickle << updatetexts::tooSlow(4096, 1000);

        // Whatever comes before or instead of a database's body is bounded too.
        auto raw = [](const QByteArray &first, const QByteArray &repeat, int everyMs = 0) {
            TestHttpServer::Route r;
            r.raw = first;
            r.repeat = repeat;
            r.trickleMs = everyMs;
            return r;
        };
        const QByteArray ok = "HTTP/1.1 200 OK\r\n";
        const QString noAnswer = updatetexts::noAnswer(1000);
        QTest::newRow("404 with a body without end")
            << raw("HTTP/1.1 404 Not Found\r\nConnection: close\r\n\r\n", "x")
            << updatetexts::httpStatus(404);
        QTest::newRow("500 with a length and a body without end")
            << raw("HTTP/1.1 500 Oops\r\nContent-Length: 99999999\r\n\r\n", "x")
            << updatetexts::httpStatus(500);
        QTest::newRow("a head line every 50 ms without end")
            << raw(ok, "X-Slow: a\r\n", 50) << noAnswer;
        QTest::newRow("a head that stops half way")
            << raw(ok + "Content-Length: 10\r\nX-", {}) << noAnswer;
        QTest::newRow("head lines without end")
            << raw(ok, "X-Big: aaaaaaaaaaaaaaaa\r\n") << noAnswer;
        QTest::newRow("one head line without end") << raw(ok + "X-Long: ", "a") << noAnswer;
        QTest::newRow("interim answers without end")
            << raw("HTTP/1.1 100 Continue\r\n\r\n", "HTTP/1.1 100 Continue\r\n\r\n") << noAnswer;
        QTest::newRow("chunks without end") << raw(ok + "Transfer-Encoding: chunked\r\n\r\n",
                                                   "100\r\n" + QByteArray(256, 'c') + "\r\n")
                                            << tooLarge;
        QTest::newRow("a chunk size without end")
            << raw(ok + "Transfer-Encoding: chunked\r\n\r\n", "f")
            << updatetexts::tooSlow(4096, 1000);
        QTest::newRow("a redirect with a body without end")
            << raw("HTTP/1.1 302 Found\r\nLocation: /gone.cvd\r\n\r\n", "r") << noAnswer;
    }
    void unboundedOrTricklingMirrorsAreStopped() {
        QFETCH(TestHttpServer::Route, route);
        QFETCH(QString, reason);
        World w;
        w.lastUpdateDaysAgo(10);
        w.server.route("/main.cvd", route);
        DatabaseDownload dl(w.data);
        dl.setVerifier(standInSigtool());
        dl.setStartDelay(10);
        dl.setSizeLimit(1024 * 1024);
        dl.setSlowRule({1000, 4096});
        QSignalSpy failed(&dl, &DatabaseDownload::failed);
        QElapsedTimer took;
        took.start();
        dl.start();
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 8000);
        QCOMPARE(failed.at(0).at(0).toString(), reason);
        QVERIFY2(took.elapsed() < 5000, qPrintable(QString::number(took.elapsed())));
        QVERIFY(!QFileInfo::exists(w.db("main2.cvd")));
        QVERIFY(!QFileInfo::exists(w.db("main.cvd")));
        QCOMPARE(w.data.settings.updateCount, 0);
    }

    // The connectivity check's page is small: a server that sends without end is stopped.
    void connectivityPageWithoutEndIsStopped() {
        World w;
        TestHttpServer::Route endless{200, payload(6000), false, {}};
        endless.endless = true;
        w.server.route("/ts.html", endless);
        ConnectivityCheck check(w.data);
        QSignalSpy passed(&check, &ConnectivityCheck::passed);
        QSignalSpy failed(&check, &ConnectivityCheck::failed);
        check.run(true);
        QTRY_COMPARE_WITH_TIMEOUT(passed.count() + failed.count(), 1, 10000);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(1).toString(), updatetexts::tooLarge(fetchlimits::largestPage));
        QVERIFY(!QFileInfo::exists(w.db("ts.html")));
    }

    void connectivityCheckNeedsMoreThan5120Bytes_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("passes");
        QTest::newRow("5120") << 5120 << false;
        QTest::newRow("5121") << 5121 << true;
    }
    void connectivityCheckNeedsMoreThan5120Bytes() {
        QFETCH(int, size);
        QFETCH(bool, passes);
        World w;
        w.server.route("/ts.html", {200, payload(size), false, {}});
        ConnectivityCheck check(w.data);
        QSignalSpy passed(&check, &ConnectivityCheck::passed);
        QSignalSpy failed(&check, &ConnectivityCheck::failed);
        check.run(true);
        QTRY_COMPARE(passed.count() + failed.count(), 1);
        QCOMPARE(passed.count(), passes ? 1 : 0);
        if (!passes)
            QCOMPARE(failed.at(0).at(0).toBool(), true);
        QCOMPARE(QFileInfo(w.db("ts.html")).size(), qint64(size));
    }

    void connectivityCheckFailsWhenThePageIsMissing() {
        World w;
        ConnectivityCheck check(w.data);
        QSignalSpy failed(&check, &ConnectivityCheck::failed);
        check.run(false);
        QTRY_COMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(0).toBool(), false);
    }
};

QTEST_GUILESS_MAIN(TestDatabaseDownload)
#include "test_databasedownload.moc"
