// Updates from the official server, which serves ClamAV's own updater only: the real freshclam
// against a server on 127.0.0.1 for the ways it fails, and a stand-in freshclam (see the script)
// for a successful run, which needs databases signed by ClamAV.
#include <atomic>
#include <chrono>
#include <thread>

#include <signal.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include "app/programdata.h"
#include "httpserver.h"
#include "platform/scannerprocess.h"
#include "state/daycount.h"
#include "testenv.h"
#include "update/databasedownload.h"
#include "update/freshclamrun.h"
#include "update/updatetexts.h"
#include "update/updatewait.h"

namespace {
const QDate kToday(2026, 12, 8);

QByteArray standIn() {
    return QByteArrayLiteral(VZ_TESTS_SOURCE_DIR "/update/standin-freshclam");
}

// The first 512 bytes of a database file, as freshclam asks for them to learn its version.
QByteArray databaseHeader() {
    QByteArray header =
        "ClamAV-VDB:08 Dec 2026 10-15 +0000:27000:1:216:"
        "8988c0e95d3dd8709cac7180e8b7d6c4:X:someone:1796724926";
    header.append(512 - header.size(), ' ');
    return header;
}

// No "dbserver" key: the official server, so the run is freshclam's; here pointed at `mirror`.
struct World {
    TestEnv env;
    FixedClock clock{kToday};
    ProgramData data{clock, platform::KeyStore(env.registryRoot())};
    TestHttpServer server;
    DatabaseDownload dl{data};

    World(const QByteArray &freshclam, bool serverUp = true) {
        data.folders.data = env.dataFolder();
        data.folders.database = env.dataFolder() + "db/";
        data.folders.program = env.programFolder();
        QDir().mkpath(data.folders.database);
        data.settings.lastUpdate = daycount::fromDate(kToday.addDays(-1));
        data.settings.updateCount = 7;
        data.settings.updateSize = 1234;
        server.listen();
        const quint16 port = server.port();
        if (!serverUp)
            server.close();
        dl.setFreshclam(freshclam, "http://127.0.0.1:" + QString::number(port));
        dl.setStartDelay(10);
    }
    QString db(const QString &name) const { return data.folders.database + name; }
    QString config() const { return data.folders.data + "freshclam.conf"; }
};
}  // namespace

class TestFreshclam : public QObject {
    Q_OBJECT
private slots:
    void realFreshclamFailuresAreReported_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("serverUp");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<qint64>("waitSeconds");  // -1: no wait
        QTest::newRow("403") << 403 << true << "The server refused the download (HTTP 403)"
                             << qint64(24 * 3600);
        // freshclam itself ends this run with success; it is none.
        QTest::newRow("429") << 429 << true << "The server is busy and asked to wait (HTTP 429)"
                             << qint64(120);
        QTest::newRow("server down")
            << 0 << false << "The server could not be reached (connection refused)" << qint64(-1);
    }
    void realFreshclamFailuresAreReported() {
        QFETCH(int, status);
        QFETCH(bool, serverUp);
        QFETCH(QString, reason);
        QFETCH(qint64, waitSeconds);
        const QByteArray freshclam = platform::findOnPath("freshclam");
        QVERIFY2(!freshclam.isEmpty(), "ClamAV's freshclam (clamav-freshclam) is needed");
        World w(freshclam, serverUp);
        TestEnv::writeFile(w.db("daily.cvd"), "old daily");
        w.server.rangeRoute("/daily.cvd", {206, databaseHeader(), false, {}});
        w.server.route("/daily.cvd", {status, "no", false, {}});
        w.server.extraHeaders("/daily.cvd", "Retry-After: 120\r\n");
        QSignalSpy failed(&w.dl, &DatabaseDownload::failed);
        QSignalSpy ok(&w.dl, &DatabaseDownload::succeeded);
        const QDateTime before = QDateTime::currentDateTimeUtc();
        w.dl.start();
        QTRY_COMPARE_WITH_TIMEOUT(failed.count() + ok.count(), 1, 60000);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(0).toString(), reason);
        if (serverUp)  // freshclam, not this program, spoke to the server
            QVERIFY(w.server.requests.at(0).contains("User-Agent: ClamAV/"));
        const QDateTime until = updatewait::until(w.data.registry());
        if (waitSeconds < 0)
            QVERIFY(!until.isValid());
        else
            QVERIFY2(qAbs(before.secsTo(until) - waitSeconds) <= 5,
                     qPrintable(until.toString(Qt::ISODate)));
        QCOMPARE(w.data.settings.updateCount, 7);
        QCOMPARE(TestEnv::readFile(w.db("daily.cvd")), QByteArray("old daily"));
        QVERIFY(w.env.registryValue("sysdata").isEmpty());
    }

    // The server refuses already the request for a database's header. The real freshclam then
    // prints no status line and ends with "HTTP GET failed", but keeps a cool-down of its own in
    // freshclam.dat: the refusal is still the reason, and the program waits as well.
    void refusalOfTheHeaderRequestIsReportedAndWaitedFor_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("reason");
        QTest::newRow("403") << 403 << "The server refused the download (HTTP 403)";
        QTest::newRow("429") << 429 << "The server is busy and asked to wait (HTTP 429)";
    }
    void refusalOfTheHeaderRequestIsReportedAndWaitedFor() {
        QFETCH(int, status);
        QFETCH(QString, reason);
        const QByteArray freshclam = platform::findOnPath("freshclam");
        QVERIFY2(!freshclam.isEmpty(), "ClamAV's freshclam (clamav-freshclam) is needed");
        World w(freshclam);
        TestEnv::writeFile(w.db("daily.cvd"), "old daily");
        for (const QByteArray path : {"/daily.cvd", "/daily.cld"}) {
            w.server.route(path, {status, "no", false, {}});
            w.server.extraHeaders(path, "Retry-After: 120\r\n");
        }
        QSignalSpy failed(&w.dl, &DatabaseDownload::failed);
        QSignalSpy ok(&w.dl, &DatabaseDownload::succeeded);
        w.dl.start();
        QTRY_COMPARE_WITH_TIMEOUT(failed.count() + ok.count(), 1, 60000);
        QCOMPARE(ok.count(), 0);
        QCOMPARE(w.data.settings.updateCount, 7);
        QCOMPARE(TestEnv::readFile(w.db("daily.cvd")), QByteArray("old daily"));
        QCOMPARE(failed.at(0).at(0).toString(), reason);
        QVERIFY(updatewait::active(w.data.registry()));

        // Asked again (this program's own wait gone), freshclam only tells of its cool-down,
        // "previously received error code 429 or 403": that names no status of its own.
        updatewait::store(w.data.registry(), QDateTime::currentDateTimeUtc().addSecs(-1));
        w.dl.start();
        QTRY_COMPARE_WITH_TIMEOUT(failed.count() + ok.count(), 2, 60000);
        QCOMPARE(ok.count(), 0);
        QVERIFY2(failed.at(1).at(0).toString().startsWith("The update server asked to wait"),
                 qPrintable(failed.at(1).at(0).toString()));
        QVERIFY(updatewait::active(w.data.registry()));
        QCOMPARE(w.data.settings.updateCount, 7);
    }

    void successfulRunIsRecordedAndDrivesTheGauge() {
        World w(standIn());
        QList<QPair<int, int>> gauge;
        connect(&w.dl, &DatabaseDownload::gaugeProgressChanged, this,
                [&](int p) { gauge << qMakePair(w.dl.gaugeMaximum(), p); });
        QSignalSpy ok(&w.dl, &DatabaseDownload::succeeded);
        w.dl.start();
        QTRY_COMPARE_WITH_TIMEOUT(ok.count(), 1, 20000);
        QCOMPARE(w.data.settings.updateCount, 8);
        QCOMPARE(w.data.settings.updateSize, 3000 + 2000);  // daily.cld and main.cvd it replaced
        QCOMPARE(w.data.settings.lastUpdate, daycount::fromDate(kToday));
        QCOMPARE(storedCount(w), 8);
        QVERIFY(gauge.contains(qMakePair(2 * 1024 * 1024, 1024 * 1024)));
        QVERIFY(gauge.contains(qMakePair(500 * 1024, 500 * 1024)));
        QVERIFY(w.dl.successVisible());

        // The configuration it was given: this folder, this user, no daemon or log file, and
        // only its owner may read it (it can hold the proxy password).
        const QByteArray config = TestEnv::readFile(w.config());
        QVERIFY(config.contains("\nDatabaseDirectory " + QFile::encodeName(w.env.dataFolder()) +
                                "db\n"));
        QVERIFY(config.contains("\nDatabaseOwner "));
        for (const char *absent : {"UpdateLogFile", "LogFile", "Daemon", "Checks", "NotifyClamd"})
            QVERIFY2(!config.contains(absent), absent);
        const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                                QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                                QFileDevice::WriteOther | QFileDevice::ExeOther;
        QCOMPARE(QFileInfo(w.config()).permissions() & others, QFileDevice::Permissions());
    }

    // A run that printed an error failed, whatever freshclam's exit code says.
    void errorLinesAreAFailureDespiteExitCodeZero() {
        World w(standIn());
        qputenv("STANDIN_FRESHCLAM_ERROR", "Can't create temporary directory /x/tmp");
        QSignalSpy ok(&w.dl, &DatabaseDownload::succeeded);
        QSignalSpy failed(&w.dl, &DatabaseDownload::failed);
        w.dl.start();
        QTRY_COMPARE_WITH_TIMEOUT(ok.count() + failed.count(), 1, 20000);
        qunsetenv("STANDIN_FRESHCLAM_ERROR");
        QCOMPARE(ok.count(), 0);
        QCOMPARE(failed.at(0).at(0).toString(),
                 QStringLiteral("freshclam could not update the databases (Can't create "
                                "temporary directory /x/tmp)"));
        QCOMPARE(w.data.settings.updateCount, 7);
        QCOMPARE(w.data.settings.lastUpdate, daycount::fromDate(kToday.addDays(-1)));
    }

    void proxyReachesFreshclamAndAValueThatWouldBreakItsConfigurationIsRefused_data() {
        QTest::addColumn<QByteArray>("server");
        QTest::addColumn<QByteArray>("user");
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QByteArrayList>("lines");  // empty: refused
        QTest::addColumn<QString>("refusal");
        QTest::newRow("plain") << QByteArray("proxy.example") << QByteArray("bob")
                               << QByteArray("s3cret word")
                               << QByteArrayList{"HTTPProxyServer proxy.example",
                                                 "HTTPProxyPort 3128", "HTTPProxyUsername \"bob\"",
                                                 "HTTPProxyPassword \"s3cret word\""}
                               << QString();
        QTest::newRow("a user without a password")
            << QByteArray("proxy.example") << QByteArray("bob") << QByteArray()
            << QByteArrayList{"HTTPProxyServer proxy.example", "HTTPProxyUsername \"bob\""}
            << QString();
        QTest::newRow("a line of its own")
            << QByteArray("proxy.example") << QByteArray("bob")
            << QByteArray("x\nOnUpdateExecute touch /tmp/owned") << QByteArrayList()
            << "The setting HTTPProxyPassword cannot be given to freshclam";
        QTest::newRow("no server")
            << QByteArray() << QByteArray() << QByteArray() << QByteArrayList()
            << "The proxy server is not set in the update settings";
    }
    void proxyReachesFreshclamAndAValueThatWouldBreakItsConfigurationIsRefused() {
        QFETCH(QByteArray, server);
        QFETCH(QByteArray, user);
        QFETCH(QByteArray, password);
        QFETCH(QByteArrayList, lines);
        QFETCH(QString, refusal);
        World w(standIn());
        w.data.settings.useProxy = 1;
        w.data.settings.proxyServer.assign(server);
        w.data.settings.proxyPort.assign("3128");
        w.data.settings.proxyUser.assign(user);
        w.data.settings.proxyPassword.assign(password);
        QSignalSpy ok(&w.dl, &DatabaseDownload::succeeded);
        QSignalSpy failed(&w.dl, &DatabaseDownload::failed);
        w.dl.start();
        QTRY_COMPARE_WITH_TIMEOUT(ok.count() + failed.count(), 1, 20000);
        QCOMPARE(ok.count(), refusal.isEmpty() ? 1 : 0);
        if (refusal.isEmpty()) {
            const QByteArray config = TestEnv::readFile(w.config());
            for (const QByteArray &line : lines)
                QVERIFY2(config.contains("\n" + line + "\n"), line.constData());
            if (password.isEmpty())
                QVERIFY(!config.contains("HTTPProxyPassword"));
        } else {
            QCOMPARE(failed.at(0).at(0).toString(), refusal);
            QVERIFY(!QFileInfo::exists(w.db("daily.cld")));
            QCOMPARE(w.data.settings.updateCount, 7);
        }
    }

    void cancelEndsFreshclam() {
        World w(standIn());
        const QString pidFile = w.env.root() + "standin.pid";
        qputenv("STANDIN_FRESHCLAM_SLEEP", "30");
        qputenv("STANDIN_FRESHCLAM_PID", pidFile.toLocal8Bit());
        QSignalSpy ok(&w.dl, &DatabaseDownload::succeeded);
        QSignalSpy failed(&w.dl, &DatabaseDownload::failed);
        w.dl.start();
        QTRY_VERIFY(!TestEnv::readFile(pidFile).trimmed().isEmpty());
        qunsetenv("STANDIN_FRESHCLAM_SLEEP");
        qunsetenv("STANDIN_FRESHCLAM_PID");
        const QByteArray pid = TestEnv::readFile(pidFile).trimmed();
        QVERIFY(QFileInfo::exists("/proc/" + pid));
        w.dl.cancel();
        QVERIFY(!QFileInfo::exists("/proc/" + pid));
        QTest::qWait(200);
        QCOMPARE(ok.count() + failed.count(), 0);
        QCOMPARE(w.data.settings.updateCount, 7);
        QVERIFY(!QFileInfo::exists(w.db("daily.cld")));
    }

    // A process freshclam started that left its group and writes without end holds neither a
    // cancel nor the end of a run that is over; a freshclam that moved itself into the
    // program's group is ended by a cancel all the same. Nothing of the run goes on.
    void aProcessThatLeftTheGroupHoldsNothingUp_data() {
        QTest::addColumn<QByteArray>("variable");
        QTest::addColumn<bool>("cancel");
        QTest::newRow("cancel while freshclam runs")
            << QByteArray("STANDIN_FRESHCLAM_ESCAPE") << true;
        QTest::newRow("freshclam has ended") << QByteArray("STANDIN_FRESHCLAM_ESCAPE") << false;
        QTest::newRow("freshclam itself left its group, cancel")
            << QByteArray("STANDIN_FRESHCLAM_LEAVE") << true;
    }
    void aProcessThatLeftTheGroupHoldsNothingUp() {
        QFETCH(QByteArray, variable);
        QFETCH(bool, cancel);
        // As in the program once its network layer has run (Qt ignores SIGPIPE then).
        ::signal(SIGPIPE, SIG_IGN);
        World w(standIn());
        const QString escaped = w.env.root() + "escaped.pid";
        qputenv(variable, escaped.toLocal8Bit());
        if (cancel)
            qputenv("STANDIN_FRESHCLAM_SLEEP", "30");
        QSignalSpy ok(&w.dl, &DatabaseDownload::succeeded);
        QSignalSpy failed(&w.dl, &DatabaseDownload::failed);
        w.dl.start();
        QTRY_VERIFY(!TestEnv::readFile(escaped).trimmed().isEmpty());
        qunsetenv(variable);
        qunsetenv("STANDIN_FRESHCLAM_SLEEP");
        const int writer = TestEnv::readFile(escaped).trimmed().toInt();
        QVERIFY(writer > 0);
        // Should the reader hang, the writer is ended after 5 s so that the test ends.
        std::atomic_bool done{false};
        std::thread watchdog([&] {
            for (int i = 0; i < 50 && !done; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            ::kill(writer, SIGKILL);
        });
        const auto stopWatchdog = qScopeGuard([&] {
            done = true;
            watchdog.join();
        });
        QElapsedTimer took;
        took.start();
        if (cancel) {
            QTest::qWait(300);
            took.restart();
            w.dl.cancel();
            QVERIFY2(took.elapsed() < 1000, qPrintable(QString::number(took.elapsed())));
            QCOMPARE(ok.count() + failed.count(), 0);
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(ok.count() + failed.count(), 1, 10000);
            QVERIFY2(took.elapsed() < 3000, qPrintable(QString::number(took.elapsed())));
            QCOMPARE(ok.count(), 1);
        }
        const QByteArray proc = "/proc/" + QByteArray::number(writer);
        QTRY_VERIFY_WITH_TIMEOUT(
            !QFileInfo::exists(proc) || TestEnv::readFile(proc + "/stat").contains(") Z "), 1000);
    }

    // A freshclam that prints without end, text or progress, is ended with the reason. (Text
    // from a process it started, after it has ended, holds nothing up: see above.)
    void freshclamThatPrintsWithoutEndIsEnded_data() {
        QTest::addColumn<QByteArray>("flood");
        QTest::addColumn<QString>("reason");
        QTest::newRow("lines") << QByteArray("lines")
                               << updatetexts::freshclamFailed(
                                      QStringLiteral("it had not finished after 2 seconds"));
        QTest::newRow("progress") << QByteArray("progress")
                                  << updatetexts::tooLarge(FreshclamRun::mostTransferred);
    }
    void freshclamThatPrintsWithoutEndIsEnded() {
        QFETCH(QByteArray, flood);
        QFETCH(QString, reason);
        World w(standIn());
        w.dl.setFreshclamTimeLimit(2000);
        qputenv("STANDIN_FRESHCLAM_FLOOD", flood);
        const auto unset = qScopeGuard([] { qunsetenv("STANDIN_FRESHCLAM_FLOOD"); });
        QSignalSpy failed(&w.dl, &DatabaseDownload::failed);
        QSignalSpy ok(&w.dl, &DatabaseDownload::succeeded);
        w.dl.start();
        QTRY_COMPARE_WITH_TIMEOUT(failed.count() + ok.count(), 1, 20000);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(0).toString(), reason);
        QCOMPARE(w.data.settings.updateCount, 7);
    }

    // A server that trickles: the real freshclam keeps the transfer open, the run is ended.
    void tricklingServerEndsTheRunAsTooSlow() {
        const QByteArray freshclam = platform::findOnPath("freshclam");
        QVERIFY2(!freshclam.isEmpty(), "ClamAV's freshclam (clamav-freshclam) is needed");
        World w(freshclam);
        w.dl.setSlowRule({2000, 4096});
        TestEnv::writeFile(w.db("daily.cvd"), "old daily");
        w.server.rangeRoute("/daily.cvd", {206, databaseHeader(), false, {}});
        TestHttpServer::Route trickle{200, databaseHeader(), false, {}};
        trickle.announced = 1000000;
        trickle.trickleMs = 50;
        w.server.route("/daily.cvd", trickle);
        QSignalSpy failed(&w.dl, &DatabaseDownload::failed);
        QSignalSpy ok(&w.dl, &DatabaseDownload::succeeded);
        w.dl.start();
        QTRY_COMPARE_WITH_TIMEOUT(failed.count() + ok.count(), 1, 30000);
        QCOMPARE(failed.at(0).at(0).toString(), updatetexts::tooSlow(4096, 2000));
        QCOMPARE(w.data.settings.updateCount, 7);
        QCOMPARE(TestEnv::readFile(w.db("daily.cvd")), QByteArray("old daily"));
    }

    // User names and passwords with blanks or quotes at their ends reach the proxy as typed,
    // through the real freshclam and through the direct download alike.
    void proxyCredentialsReachTheProxyAsTypedByBothTransports_data() {
        QTest::addColumn<QByteArray>("user");
        QTest::addColumn<QByteArray>("password");
        QTest::newRow("blanks at the ends") << QByteArray(" bob ") << QByteArray("  pass word ");
        QTest::newRow("quotes") << QByteArray("\"bob\"") << QByteArray("'pw'");
        QTest::newRow("a quote at one end") << QByteArray("\"x") << QByteArray("y\"");
        QTest::newRow("a hash and a semicolon") << QByteArray("b#ob") << QByteArray("p;w #x");
        QTest::newRow("letters beyond ASCII")
            << QByteArray("j\xc3\xbcrgen") << QByteArray("p\xc3\xa4ss\xe2\x82\xac");
    }
    void proxyCredentialsReachTheProxyAsTypedByBothTransports() {
        QFETCH(QByteArray, user);
        QFETCH(QByteArray, password);
        const QByteArray freshclam = platform::findOnPath("freshclam");
        QVERIFY2(!freshclam.isEmpty(), "ClamAV's freshclam (clamav-freshclam) is needed");
        World w(freshclam);
        // The test's server is the proxy too; it asks for credentials.
        w.server.route("/daily.cvd", {407, "", false, {}});
        w.server.extraHeaders("/daily.cvd", "Proxy-Authenticate: Basic realm=\"p\"\r\n");
        w.server.rangeRoute("/daily.cvd", {407, "", false, {}});
        w.data.settings.useProxy = 1;
        w.data.settings.proxyServer.assign("127.0.0.1");
        w.data.settings.proxyPort.assign(QByteArray::number(w.server.port()));
        w.data.settings.proxyUser.assign(user);
        w.data.settings.proxyPassword.assign(password);
        const QByteArray expected = "Basic " + (user + ':' + password).toBase64();
        auto sent = [&w] {
            QByteArrayList found;
            for (const QByteArray &request : std::as_const(w.server.requests))
                for (const QByteArray &line : request.split('\n'))
                    if (line.toLower().startsWith("proxy-authorization:"))
                        found << line.mid(line.indexOf(':') + 1).trimmed();
            return found;
        };
        QSignalSpy failed(&w.dl, &DatabaseDownload::failed);
        w.dl.start();
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 60000);
        QVERIFY2(!sent().isEmpty(), "freshclam sent no credentials");
        for (const QByteArray &header : sent())
            QCOMPARE(header, expected);

        w.server.requests.clear();
        (void)w.data.registry().writeText(regkey::dbServer(), "mirror.example");
        DatabaseDownload direct(w.data);
        direct.setStartDelay(10);
        QSignalSpy directFailed(&direct, &DatabaseDownload::failed);
        direct.start();
        QTRY_COMPARE_WITH_TIMEOUT(directFailed.count(), 1, 20000);
        QVERIFY2(!sent().isEmpty(), "the direct download sent no credentials");
        for (const QByteArray &header : sent())
            QCOMPARE(header, expected);
    }

private:
    static int storedCount(const World &w) {
        SettingsRecord r;
        (void)w.data.registry().readRecord(regkey::settings(), r);
        return r.updateCount;
    }
};

QTEST_GUILESS_MAIN(TestFreshclam)
#include "test_freshclam.moc"
