#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include "state/daycount.h"
#include "app/programdata.h"
#include "httpserver.h"
#include "testenv.h"
#include "update/connectivitycheck.h"
#include "update/databasedownload.h"

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
    }
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

// The settings record as stored in the key store.
SettingsRecord storedSettings(const World &w) {
    SettingsRecord r;
    const bool read = w.data.registry().readRecord(regkey::settings(), r);
    Q_ASSERT(read);
    return r;
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

class TestDatabaseDownload : public QObject {
    Q_OBJECT
private slots:
    void firstRunFetchesMainAndInstallsIt() {
        World w;
        w.lastUpdateDaysAgo(100);
        const QByteArray body = cvd(payload(200000));
        w.server.route("/main.cvd", {200, body, false, {}});
        DatabaseDownload dl(w.data);
        dl.setStartDelay(50);
        QSignalSpy off(&dl, &DatabaseDownload::scheduledCheckOffRequested);
        QSignalSpy progress(&dl, &DatabaseDownload::gaugeProgressChanged);
        QSignalSpy ok(&dl, &DatabaseDownload::succeeded);
        dl.start();
        QCOMPARE(off.count(), 1);
        QCOMPARE(dl.state(), DatabaseDownload::State::Waiting);
        QVERIFY(!dl.closeAllowed());
        QTRY_COMPARE(ok.count(), 1);
        QCOMPARE(dl.kind(), DatabaseDownload::Kind::Main);
        QVERIFY(progress.count() >= 1);
        QCOMPARE(dl.gaugeMaximum(), body.size());
        QVERIFY(dl.successVisible());
        QVERIFY(!dl.gaugeVisible());
        QVERIFY(dl.closeAllowed());
        QCOMPARE(TestEnv::readFile(w.db("main.cvd")), body);
        QVERIFY(!QFileInfo::exists(w.db("main2.cvd")));
        QVERIFY(!QFileInfo::exists(w.db("daily.cvd")));
        QCOMPARE(w.data.settings.updateCount, 1);
        QCOMPARE(w.data.settings.updateSize, body.size());
        QCOMPARE(w.data.settings.lastUpdate, 46364.0);
        const SettingsRecord stored = storedSettings(w);
        QCOMPARE(stored.updateCount, 1);
        QCOMPARE(stored.updateSize, body.size());
        QCOMPARE(stored.lastUpdate, 46364.0);
        QCOMPARE(w.server.hits("/daily.cvd"), 0);
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
        QTest::newRow("404") << 404 << false << false << false;
        QTest::newRow("500") << 500 << false << false << false;
        QTest::newRow("cut short") << 200 << true << false << false;
        QTest::newRow("refused") << 200 << false << true << false;
        QTest::newRow("redirect loop") << 302 << false << false << true;
        QTest::newRow("a page, not a database") << 200 << false << false << false;
    }
    void failedDownloadsRecordAndInstallNothing() {
        QFETCH(int, status);
        QFETCH(bool, cut);
        QFETCH(bool, serverDown);
        QFETCH(bool, redirectLoop);
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
        dl.setStartDelay(10);
        QSignalSpy failed(&dl, &DatabaseDownload::failed);
        QSignalSpy ok(&dl, &DatabaseDownload::succeeded);
        dl.start();
        QTRY_COMPARE(failed.count(), 1);
        if (status == 200 && !cut && !serverDown)
            QCOMPARE(failed.at(0).at(0).toString(), DatabaseDownload::notADatabaseText());
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
        dl.setStartDelay(10);
        QSignalSpy writeFailed(&dl, &DatabaseDownload::settingsWriteFailed);
        dl.start();
        QTRY_COMPARE(writeFailed.count(), 1);
        QCOMPARE(writeFailed.at(0).at(0).toString(), QStringLiteral("Failed to set data for ''"));
        QCOMPARE(TestEnv::readFile(w.db("main.cvd")), cvd("new main"));
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
        dl.setStartDelay(10);
        QSignalSpy ok(&dl, &DatabaseDownload::succeeded);
        QSignalSpy failed(&dl, &DatabaseDownload::failed);
        dl.start();
        QTRY_COMPARE_WITH_TIMEOUT(ok.count() + failed.count(), 1, 20000);
        QCOMPARE(ok.count(), succeeds ? 1 : 0);
        if (succeeds) {
            QCOMPARE(TestEnv::readFile(w.db("main.cvd")), cvd("via proxy"));
            QCOMPARE(w.server.requests.size(), 1);
            QVERIFY(w.server.requests[0].contains("tinyproxy"));  // its Via header
        } else {
            QCOMPARE(w.server.hits("/main.cvd"), 0);
            QVERIFY(!QFileInfo::exists(w.db("main.cvd")));
            QVERIFY(!QFileInfo::exists(w.db("main2.cvd")));
            QCOMPARE(w.data.settings.updateCount, 0);
        }
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
