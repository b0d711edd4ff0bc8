#include "ui/shell/desktopnotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kDefaultAction = QStringLiteral("default");

}  // namespace

DesktopNotifier::DesktopNotifier(QObject *parent) : QObject(parent) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected())
        bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                    SLOT(onActionInvoked(uint, QString)));
}

void DesktopNotifier::notify(const QString &text) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    const QVariantMap hints{
        {QStringLiteral("desktop-entry"), QStringLiteral("net.vizavuz.antivirus")}};
    call << QStringLiteral("Vizavuz AntiVirus") << m_lastId << QStringLiteral("vizavuz-antivirus")
         << text << QString()
         << QStringList{kDefaultAction, QStringLiteral("Show Vizavuz AntiVirus")} << hints
         << qint32(-1);
    // Never waited for: a slow or missing service must not hold the program up.
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        const QDBusPendingReply<uint> reply = *w;
        if (!reply.isError())
            m_lastId = reply.value();
        w->deleteLater();
    });
}

void DesktopNotifier::onActionInvoked(uint id, const QString &action) {
    if (id != 0 && id == m_lastId && action == kDefaultAction)
        emit activated();
}
