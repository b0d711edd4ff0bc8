// The real main window to the tray and back under Xvfb with a tray host (trayer), every step a
// real click from xdotool: Options, "Minimize to System Tray", then a left press on the icon.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTest>

#include "app/clock.h"
#include "platform/keystore.h"
#include "support/testenv.h"
#include "ui/application.h"
#include "ui/shell/trayminimizer.h"
#include "ui/tform1.h"

namespace {

QString run(const QString &program, const QStringList &arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000))
        return {};
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

void xdotool(const QStringList &arguments) {
    QCOMPARE(QProcess::execute(QStringLiteral("xdotool"), arguments), 0);
}

void clickAt(const QPoint &point, int button) {
    QTest::qWait(QApplication::doubleClickInterval() + 100);
    xdotool({QStringLiteral("mousemove"), QStringLiteral("5"), QStringLiteral("500")});
    QTest::qWait(50);
    xdotool({QStringLiteral("mousemove"), QString::number(point.x()), QString::number(point.y())});
    QTest::qWait(100);
    xdotool({QStringLiteral("click"), QString::number(button)});
}

// The client windows the window manager lists, i.e. those a taskbar shows.
bool listed(const QWidget &window) {
    const QString out =
        run(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST")});
    const qsizetype hash = out.indexOf(QLatin1Char('#'));
    if (hash < 0)
        return false;
    for (const QString &part : out.mid(hash + 1).split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (part.trimmed().toULongLong(nullptr, 16) == quint64(window.winId()))
            return true;
    return false;
}

// The icon's X window in root coordinates once the tray host has embedded and mapped it.
QRect embeddedIconGeometry() {
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() != QLatin1String("QSystemTrayIconSys") || !widget->isVisible())
            continue;
        const QString info = run(QStringLiteral("xwininfo"),
                                 {QStringLiteral("-id"), QString::number(widget->winId())});
        auto field = [&info](const char *name) {
            const qsizetype at = info.indexOf(QLatin1String(name));
            if (at < 0)
                return -1;
            return info.mid(at + qstrlen(name)).section(QLatin1Char('\n'), 0, 0).trimmed().toInt();
        };
        const QRect rect(field("Absolute upper-left X:"), field("Absolute upper-left Y:"),
                         field("Width:"), field("Height:"));
        if (rect.x() > 0 && rect.width() > 1 && info.contains(QStringLiteral("IsViewable")))
            return rect;
    }
    return {};
}

}  // namespace

class TestShellWiringX : public QObject {
    Q_OBJECT
    TestEnv env;
    FixedClock clock{QDate(2026, 3, 10)};
    std::unique_ptr<Application> app;
    QProcess trayer;

private slots:
    void initTestCase() {
        QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "runs under Xvfb");
        QApplication::setApplicationDisplayName(QStringLiteral("Vizavuz AntiVirus"));
        trayer.start(
            QStringLiteral("trayer"),
            {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
             QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("pixel"),
             QStringLiteral("--width"), QStringLiteral("120"), QStringLiteral("--height"),
             QStringLiteral("32"), QStringLiteral("--SetDockType"), QStringLiteral("true")});
        QVERIFY(trayer.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);

        QDir().mkpath(env.programFolder());
        Application::Options options;
        options.startup.programFolder = env.programFolder();
        options.splash = false;
        app = std::make_unique<Application>(clock, platform::KeyStore(env.registryRoot()), options);
        app->showFailure = [](QWidget *, const QString &) {};
        app->mainWindow().timer2().stop();  // no scheduled update prompt in this test
        app->show();
        QVERIFY(QTest::qWaitForWindowExposed(&app->mainWindow()));
        QTRY_VERIFY(listed(app->mainWindow()));
    }

    void cleanupTestCase() {
        if (app)
            app->shutdown();
        app.reset();
        if (trayer.state() != QProcess::NotRunning) {
            trayer.terminate();
            trayer.waitForFinished(3000);
        }
    }

    void toTrayFromTheMenuAndBackWithALeftPress() {
        TForm1 &form = app->mainWindow();
        QWidget *options = form.findChild<QWidget *>(QStringLiteral("Image8"));
        QVERIFY(options);
        // Until the window manager has placed the window, the toolkit maps from 0, 0.
        // Until the window manager has placed the window, the toolkit maps from 0, 0.
        QTRY_COMPARE(form.mapToGlobal(QPoint(0, 0)), form.geometry().topLeft());
        clickAt(options->mapToGlobal(QPoint(5, 5)), 1);
        QMenu *menu = form.popupMenu();
        QTRY_VERIFY(menu->isVisible());

        QAction *item = menu->findChild<QAction *>(QStringLiteral("MinimizetoSystemTray1"));
        QVERIFY(item);
        QCOMPARE(item->text(), QStringLiteral("Minimize to System Tray"));
        const QPoint at = menu->mapToGlobal(menu->actionGeometry(item).center());
        xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y())});
        QTest::qWait(200);
        xdotool({QStringLiteral("click"), QStringLiteral("1")});

        QTRY_VERIFY(!menu->isVisible());
        QTRY_VERIFY(!form.isVisible());
        QTRY_VERIFY(!listed(form));  // no taskbar entry while in the tray
        QRect icon;
        QTRY_VERIFY_WITH_TIMEOUT((icon = embeddedIconGeometry()).isValid(), 10000);

        clickAt(icon.center(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(form.isVisible(), 5000);
        QTRY_VERIFY(!form.isMinimized());
        QTRY_VERIFY(listed(form));
        // The icon is gone again.
        QTRY_VERIFY(!embeddedIconGeometry().isValid());
    }
};

QTEST_MAIN(TestShellWiringX)
#include "tst_shellwiring_x.moc"
