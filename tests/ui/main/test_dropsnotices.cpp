// Files dropped onto the main window, and the desktop notifications that tell how a scan, a
// removal run or an update ended while the window was out of sight, on a private session bus
// with a notification service that records what it is asked to show.
#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDropEvent>
#include <QMimeData>
#include <QProcess>
#include <QTest>
#include <QUrl>

#include "../../update/httpserver.h"
#include "app/programdata.h"
#include "scan/scanengine.h"
#include "state/registry.h"
#include "support/programrun.h"
#include "ui/application.h"
#include "ui/scanwindows.h"
#include "ui/tform1.h"
#include "ui/updatewindows.h"
#include "update/databasedownload.h"
#include "vault/removalrun.h"

namespace {

const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

// The desktop's notification service, reduced to keeping what it was asked to show.
class Recorder : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList summaries;
    QStringList appNames;
    QStringList actions;
    uint lastId = 0;

public slots:
    uint Notify(const QString &appName, uint replacesId, const QString &, const QString &summary,
                const QString &, const QStringList &actionList, const QVariantMap &, int) {
        summaries << summary;
        appNames << appName;
        actions = actionList;
        lastId = replacesId != 0 ? replacesId : lastId + 1;
        return lastId;
    }
    QStringList GetCapabilities() { return {QStringLiteral("actions")}; }
};

// The program in a private world with the fake scanner finding one infection per scan.
struct Run : ProgramRun {
    Run() {
        env.installFakeScanner();
        env.copySkin();
        const QString target = env.root() + "target/";
        TestEnv::writeFile(target + "bad.com", "x");
        const QString out = env.root() + "scanner-output.txt";
        TestEnv::writeFile(out, (target + "bad.com: Eicar-Test-Signature FOUND\n").toLocal8Bit());
        qputenv("FAKE_CLAMSCAN_OUTPUT", out.toLocal8Bit());
        qputenv("FAKE_CLAMSCAN_ARGS", (env.root() + "args.txt").toLocal8Bit());
        start(true);
        app->scanWindows().removal().setTickInterval(10);
        app->show();
        QCoreApplication::processEvents();
        failures.clear();
    }
    ~Run() {
        qunsetenv("FAKE_CLAMSCAN_OUTPUT");
        qunsetenv("FAKE_CLAMSCAN_ARGS");
        qunsetenv("FAKE_CLAMSCAN_HANG");
    }
    QString target() const { return env.root() + "target/"; }
    bool idle() { return app->data().session.isIdle(); }
    // A drop of these local files onto the main window, as the window system delivers it.
    bool drop(const QStringList &paths) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const QString &p : paths)
            urls << (p.startsWith("http") ? QUrl(p) : QUrl::fromLocalFile(p));
        mime.setUrls(urls);
        const QPoint at(400, 200);
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(&form(), &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(&form(), &drop);
        return drop.isAccepted();
    }
};

}  // namespace

class TestDropsNotices : public QObject {
    Q_OBJECT
private slots:
    void droppedFilesAreScannedWhenIdle() {
        Run run;
        QStringList folders = {run.target(), run.env.root() + "other dir"};
        QDir().mkpath(folders[1]);
        QVERIFY(!run.drop({"https://example.org/a.zip"}));  // nothing local: not taken
        QVERIFY(run.drop(folders));
        QVERIFY(!run.idle());
        QCOMPARE(run.form().currentPage(), 1);
        QCOMPARE(run.form().scanView(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(run.idle(), 10000);
        const QByteArray args = TestEnv::readFile(run.env.root() + "args.txt");
        QVERIFY2(args.contains(("\n" + run.target() + "\n").toLocal8Bit()) &&
                     args.contains(("\n" + folders[1] + "/\n").toLocal8Bit()),
                 args.constData());
        QVERIFY(run.failures.isEmpty());

        // A drop during a scan starts nothing and says why.
        qputenv("FAKE_CLAMSCAN_HANG", "1");
        run.app->scanWindows().form11()->close();
        QVERIFY(run.drop({run.target()}));
        QVERIFY(!run.idle());
        QVERIFY(run.drop({folders[1]}));
        QCOMPARE(run.failures, QStringList{ScanWindows::scanRunningText()});
        QCOMPARE(run.app->engine().scanList().at(0), QFile::encodeName(run.target()));
        run.app->engine().stopRoutine();
    }

    void outcomesAreToldWhileTheWindowIsOutOfSight() {
        Run run;
        TForm1 &form = run.form();
        // No notification service on the bus yet: a scan ends out of sight, and nothing breaks.
        form.hide();
        QVERIFY(run.app->scanEntries({run.target()}).isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(run.idle(), 10000);
        run.app->scanWindows().form11()->close();

        QDBusConnection service =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, "recorder");
        Recorder recorder;
        QVERIFY(service.registerObject(kPath, &recorder, QDBusConnection::ExportAllSlots));
        QVERIFY(service.registerService(kInterface));

        // In sight, nothing is told.
        form.show();
        QVERIFY(run.app->scanEntries({run.target()}).isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(run.idle(), 10000);
        run.app->scanWindows().form11()->close();
        QTest::qWait(300);
        QCOMPARE(recorder.summaries, QStringList());

        // Out of sight: the scan, then the removal of what it found.
        form.hide();
        QVERIFY(run.app->scanEntries({run.target()}).isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(recorder.summaries, QStringList{"1 infection found"}, 10000);
        QCOMPARE(recorder.appNames, QStringList{"Vizavuz AntiVirus"});
        QVERIFY(recorder.actions.contains("default"));
        run.app->scanWindows().form11()->close();
        run.app->scanWindows().removal().start();
        QTRY_COMPARE_WITH_TIMEOUT(recorder.summaries.size(), 2, 10000);
        QCOMPARE(recorder.summaries.last(), "1 infected file was quarantined");

        // An update that fails (the server has no databases).
        TestHttpServer server;
        QVERIFY(server.listen());
        (void)run.app->data().registry().writeText(regkey::dbServer(), server.host());
        run.app->updates().download().setStartDelay(10);
        run.app->updates().showDownload();
        QTRY_COMPARE_WITH_TIMEOUT(recorder.summaries.size(), 3, 20000);
        QVERIFY2(recorder.summaries.last().startsWith("The update failed: "),
                 qPrintable(recorder.summaries.last()));

        // Clicking the notification brings the window back.
        QDBusMessage clicked = QDBusMessage::createSignal(kPath, kInterface, "ActionInvoked");
        clicked << recorder.lastId << QString("default");
        QVERIFY(service.send(clicked));
        QTRY_VERIFY_WITH_TIMEOUT(form.isVisible() && !form.isMinimized(), 5000);
        service.unregisterService(kInterface);
    }
};

int main(int argc, char **argv) {
    // A session bus of the test's own, never the desktop's.
    QProcess bus;
    bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    if (!bus.waitForReadyRead(10000))
        qFatal("dbus-daemon did not start");
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.readLine().trimmed());
    int result;
    {
        QApplication app(argc, argv);
        TestDropsNotices test;
        result = QTest::qExec(&test, argc, argv);
    }
    bus.kill();
    bus.waitForFinished();
    return result;
}

#include "test_dropsnotices.moc"
