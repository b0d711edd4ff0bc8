#include "ui/outcomenotices.h"

#include "scan/scanengine.h"
#include "ui/shell/desktopnotifier.h"
#include "update/databasedownload.h"
#include "vault/removalrun.h"

namespace {

QString firstLine(const QString &text) {
    return text.section(QLatin1Char('\n'), 0, 0).trimmed();
}

}  // namespace

OutcomeNotices::OutcomeNotices(ScanEngine &engine, RemovalRun &removal, DatabaseDownload &download,
                               DesktopNotifier &notifier, std::function<bool()> windowOutOfSight,
                               QObject *parent)
    : QObject(parent), m_notifier(notifier), m_outOfSight(std::move(windowOutOfSight)) {
    // A scan ends with scanClosed, after scanFailed when it failed.
    connect(&engine, &ScanEngine::scanFailed, this, [this](const QString &reason) {
        m_scanFailed = true;
        m_scanFailure = reason;
    });
    connect(&engine, &ScanEngine::scanClosed, this, [this, &engine] {
        const bool failed = std::exchange(m_scanFailed, false);
        tell(failed ? scanFailedText(m_scanFailure)
                    : scanText(engine.foundTotal(), engine.unreadableFiles()));
    });
    connect(&removal, &RemovalRun::resultsWindowRequested, this,
            [this](int removed, int notRemoved, bool) { tell(removalText(removed, notRemoved)); });
    connect(&download, &DatabaseDownload::installed, this, [this] { tell(updatedText()); });
    connect(&download, &DatabaseDownload::failed, this,
            [this](const QString &reason) { tell(updateFailedText(reason)); });
    connect(&download, &DatabaseDownload::installFailed, this,
            [this](const QString &message) { tell(firstLine(message)); });
}

void OutcomeNotices::tell(const QString &text) {
    if (m_on && m_outOfSight())
        m_notifier.notify(text);
}

QString OutcomeNotices::scanText(int found, int unreadable) {
    QString text = found == 0   ? QStringLiteral("No infections found")
                   : found == 1 ? QStringLiteral("1 infection found")
                                : QStringLiteral("%1 infections found").arg(found);
    if (unreadable > 0)
        text += QStringLiteral("; %1 file(s) could not be read").arg(unreadable);
    return text;
}

QString OutcomeNotices::scanFailedText(const QString &reason) {
    return QStringLiteral("The scan failed: ") + firstLine(reason);
}

QString OutcomeNotices::removalText(int removed, int notRemoved) {
    QString text = removed == 1 ? QStringLiteral("1 infected file was quarantined")
                                : QStringLiteral("%1 infected files were quarantined").arg(removed);
    if (notRemoved > 0)
        text += QStringLiteral("; %1 could not be removed").arg(notRemoved);
    return text;
}

QString OutcomeNotices::updatedText() {
    return QStringLiteral("The virus database was updated");
}

QString OutcomeNotices::updateFailedText(const QString &reason) {
    return QStringLiteral("The update failed: ") + firstLine(reason);
}
