#pragma once

#include <QObject>
#include <QString>

// Shows one-line desktop notifications through the freedesktop Notifications service on the
// session bus, one at a time (a new one replaces the last), and reports when the user activates
// one. Without a session bus or without the service nothing shows and nothing fails.
class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    explicit DesktopNotifier(QObject *parent = nullptr);

    void notify(const QString &text);

signals:
    // The user clicked the notification (its default action).
    void activated();

private slots:
    // Connected by name: the bus delivers its signals only to slots.
    void onActionInvoked(uint id, const QString &action);

private:
    uint m_lastId = 0;
};
