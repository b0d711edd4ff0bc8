#include "xsession.h"

#include <QApplication>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTest>
#include <QWidget>

namespace xsession {

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

bool placed(const QWidget *widget) {
    const QWidget *window = widget->window();
    return window->isVisible() && window->mapToGlobal(QPoint(0, 0)) == window->geometry().topLeft();
}

namespace {

void moveTo(QPoint global) {
    xdotool(
        {QStringLiteral("mousemove"), QString::number(global.x()), QString::number(global.y())});
}

}  // namespace

void clickAt(QPoint global, int button, int repeat) {
    // A press soon after the last one at the same spot would be taken as a double click.
    QTest::qWait(QApplication::doubleClickInterval() + 100);
    moveTo(QPoint(5, 500));
    QTest::qWait(50);
    moveTo(global);
    QTest::qWait(100);
    xdotool({QStringLiteral("click"), QStringLiteral("--repeat"), QString::number(repeat),
             QStringLiteral("--delay"), QStringLiteral("80"), QString::number(button)});
}

void click(QWidget *widget, QPoint at) {
    QVERIFY(widget);
    QVERIFY(widget->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(placed(widget), 5000);
    moveTo(widget->mapToGlobal(at.x() < 0 ? widget->rect().center() : at));
    QTest::qWait(100);
    xdotool({QStringLiteral("click"), QStringLiteral("1")});
    QTest::qWait(150);
}

void startTrayHost(QProcess &trayer) {
    trayer.start(QStringLiteral("trayer"),
                 {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                  QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("pixel"),
                  QStringLiteral("--width"), QStringLiteral("120"), QStringLiteral("--height"),
                  QStringLiteral("32"), QStringLiteral("--SetDockType"), QStringLiteral("true")});
    QVERIFY(trayer.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);
}

QList<quint64> clientList() {
    const QString out =
        run(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST")});
    QList<quint64> ids;
    const qsizetype hash = out.indexOf(QLatin1Char('#'));
    if (hash < 0)
        return ids;
    for (const QString &part : out.mid(hash + 1).split(QLatin1Char(','), Qt::SkipEmptyParts))
        ids.append(part.trimmed().toULongLong(nullptr, 16));
    return ids;
}

bool listed(const QWidget &window) {
    return clientList().contains(quint64(window.winId()));
}

QString wmState(const QWidget &window) {
    const QString out =
        run(QStringLiteral("xprop"),
            {QStringLiteral("-id"), QString::number(window.winId()), QStringLiteral("WM_STATE")});
    return out.section(QStringLiteral("window state: "), 1, 1)
        .section(QLatin1Char('\n'), 0, 0)
        .trimmed();
}

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

}  // namespace xsession
