#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// The reasons a database update can fail, as the failure window's last line shows them.
namespace updatetexts {

inline QString httpStatus(int status) {
    switch (status) {
        case 403:
            return QStringLiteral("The server refused the download (HTTP 403)");
        case 404:
            return QStringLiteral("The server does not have the file (HTTP 404)");
        case 429:
            return QStringLiteral("The server is busy and asked to wait (HTTP 429)");
        default:
            return QStringLiteral("The server could not deliver the file (HTTP %1)").arg(status);
    }
}
inline QString refused() {
    return QStringLiteral("The server could not be reached (connection refused)");
}
inline QString hostNotFound(const QString &host) {
    return QStringLiteral("The server %1 could not be found").arg(host);
}
inline QString stalled() {
    return QStringLiteral("The server stopped sending data");
}
inline QString tooLarge(qint64 limit) {
    return QStringLiteral(
               "The server sent more than %1, more than any file it should send; the "
               "download was stopped")
        .arg(QLocale::c().formattedDataSize(limit, 0, QLocale::DataSizeIecFormat));
}
inline QString tooSlow(qint64 minBytes, int windowMs) {
    return QStringLiteral("The server is too slow (less than %1 in %2 seconds)")
        .arg(QLocale::c().formattedDataSize(minBytes, 0, QLocale::DataSizeIecFormat))
        .arg(windowMs / 1000.0);
}
inline QString noAnswer(int windowMs) {
    return QStringLiteral("The server sent no complete answer within %1 seconds")
        .arg(windowMs / 1000.0);
}
inline QString cutShort(qint64 received, qint64 announced) {
    return QStringLiteral("The download was cut short (%1 of %2 bytes)")
        .arg(received)
        .arg(announced);
}
inline QString proxyFailed(const QString &detail) {
    return QStringLiteral("The proxy server could not be used (%1)").arg(detail);
}
inline QString badProxyPort(const QString &port) {
    return QStringLiteral("The proxy port \"%1\" is not a number from 1 to 65535").arg(port);
}
inline QString proxyNotSet() {
    return QStringLiteral("The proxy server is not set in the update settings");
}
inline QString networkError(const QString &detail) {
    return QStringLiteral("The download failed (%1)").arg(detail);
}
inline QString cannotWrite(const QString &detail) {
    return QStringLiteral("The database folder could not be written (%1)").arg(detail);
}
inline QString notADatabase(const QString &detail) {
    return QStringLiteral("The downloaded file is not a valid ClamAV database (%1)").arg(detail);
}
inline QString cannotVerify(const QString &detail) {
    return QStringLiteral("The download could not be verified (%1)").arg(detail);
}
inline QString cannotInstall(const QString &live, const QString &cause) {
    return QStringLiteral(
               "The update was downloaded but could not be installed: %1 could not be "
               "replaced (%2)")
        .arg(live, cause);
}
inline QString freshclamMissing() {
    return QStringLiteral("ClamAV's updater freshclam was not found (package clamav-freshclam)");
}
inline QString freshclamFailed(const QString &detail) {
    return QStringLiteral("freshclam could not update the databases (%1)").arg(detail);
}
inline QString pageTooSmall(qint64 bytes) {
    return QStringLiteral("The troubleshooting page was too small (%1 bytes)").arg(bytes);
}
inline QString waitUntil(const QDateTime &until) {
    return QStringLiteral("The update server asked to wait; the next update can be made after %1")
        .arg(QLocale::system().toString(until.toLocalTime(), QLocale::ShortFormat));
}

// Where the scanner's databases come from.
inline QString systemChoice() {
    return QStringLiteral("System (kept by the freshclam service)");
}
inline QString ownChoice() {
    return QStringLiteral("Own copy");
}
inline QString keptBySystem() {
    return QStringLiteral("Kept up to date by the system");
}
inline QString shortDate(const QDateTime &when) {
    return QLocale::system().toString(when.toLocalTime().date(), QLocale::ShortFormat);
}
inline QString systemFound(const QString &folder, const QDateTime &built) {
    return QStringLiteral("The system's databases in %1, built on %2")
        .arg(folder, shortDate(built));
}
inline QString systemVersion(int version) {
    return QStringLiteral("Version %1. ").arg(version) + keptBySystem();
}
inline QString systemMissing() {
    return QStringLiteral("The system's virus database was not found");
}
inline QString systemUpdated(const QDateTime &updated, int version, const QDateTime &built) {
    return QStringLiteral(
               "The virus database is kept up to date by the system's freshclam "
               "service, which last updated it on %1 at %2 (daily version %3, built "
               "on %4).")
        .arg(shortDate(updated),
             QLocale::system().toString(updated.toLocalTime().time(), QLocale::ShortFormat))
        .arg(version)
        .arg(shortDate(built));
}
inline QString systemNotFound(const QString &problem) {
    return QStringLiteral(
               "The system's virus database cannot be used (%1). Choose \"Own copy\" "
               "in the Virus Database Settings to download one.")
        .arg(problem);
}
inline QString systemStale(const QDateTime &built) {
    return QStringLiteral(
               "The system's virus database was built on %1, more than three days "
               "ago: the freshclam service that keeps it up to date seems to have "
               "stopped. Download an own copy instead?")
        .arg(shortDate(built));
}
inline QString deleteOwnCopy(qint64 bytes) {
    return QStringLiteral(
               "Scans now use the system's virus database. Delete the program's own "
               "copy? This frees %1.")
        .arg(QLocale::system().formattedDataSize(bytes));
}
inline QString noDatabaseOffer(const QString &reason) {
    return reason + QStringLiteral(".\n\nUpdate now?");
}

}  // namespace updatetexts
