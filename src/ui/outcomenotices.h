#pragma once

#include <functional>

#include <QObject>
#include <QString>

class DatabaseDownload;
class DesktopNotifier;
class RemovalRun;
class ScanEngine;

// Tells the user in a desktop notification how a scan, a removal run or an update ended when
// the main window is out of sight (in the tray or minimised), in one line.
class OutcomeNotices : public QObject {
    Q_OBJECT
public:
    OutcomeNotices(ScanEngine &engine, RemovalRun &removal, DatabaseDownload &download,
                   DesktopNotifier &notifier, std::function<bool()> windowOutOfSight,
                   QObject *parent = nullptr);

    // Off for good (the program is ending: a scan stopped then is no news).
    void switchOff() { m_on = false; }

    static QString scanText(int found, int unreadable);
    static QString scanFailedText(const QString &reason);
    static QString removalText(int removed, int notRemoved);
    static QString updatedText();
    static QString updateFailedText(const QString &reason);

private:
    void tell(const QString &text);

    DesktopNotifier &m_notifier;
    std::function<bool()> m_outOfSight;
    QString m_scanFailure;
    bool m_scanFailed = false;
    bool m_on = true;
};
