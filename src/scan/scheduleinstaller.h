#pragma once

#include <functional>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "platform/commands.h"
#include "scan/scanschedule.h"
#include "state/status.h"

// Carries a scan schedule out: a systemd user timer and its service where the user has a
// systemd manager, else a line in the user's crontab under a marker. Turning the schedule off
// removes what was written. The job runs the program with --scheduled.
class ScheduleInstaller {
public:
    enum class Backend { Systemd, Cron };
    using Runner = std::function<platform::CommandResult(
        const QString &program, const QStringList &arguments, const QByteArray &input)>;

    static constexpr char unitName[] = "vizavuz-antivirus-scan";
    static constexpr char cronMarker[] = "# vizavuz-antivirus scheduled scan (the line below)";

    // unitFolder ends in "/": ~/.config/systemd/user/ by default.
    ScheduleInstaller(QByteArray programPath, QString unitFolder = defaultUnitFolder());

    static QString defaultUnitFolder();

    // How programs are run (tests run them as another user, or record them).
    Runner run;
    // The crontab of this user (empty: the caller's own).
    QString crontabUser;
    // The environment a cron job needs to reach the user's desktop, as "NAME=value" entries.
    QStringList cronEnvironment;

    // Systemd when `systemctl --user` reaches a manager, else cron.
    Backend backend() const;

    // Writes and enables, or removes. The failure says what went wrong. A job that could not
    // be written whole (a byte that would break the crontab line, a path systemd does not run)
    // is refused before anything is written.
    Status apply(const ScanSchedule &schedule, Backend backend);
    // Why the job cannot be written for `backend`; empty when it can.
    QString refusal(Backend backend) const;
    // The next run as systemd states it; empty when it states none (or for cron).
    QString systemdNextRun() const;

    static QByteArray timerUnit(const ScanSchedule &schedule);
    static QByteArray serviceUnit(const QByteArray &programPath, bool mainsOnly);
    // One argument of a unit file's command line: quoted, with "%" doubled and backslashes,
    // quotes and bytes that are not plain text escaped. "$" is doubled too, except in the
    // command's own path, which systemd takes without expanding variables.
    static QByteArray unitQuoted(const QByteArray &argument, bool commandPath = false);
    // The crontab line (without its marker) that runs the program on the schedule's days.
    QByteArray cronLine(const ScanSchedule &schedule) const;
    // `crontab` with every line kept but the program's own marker and line, which are replaced
    // by `line` (removed when it is empty).
    static QByteArray mergeCrontab(const QByteArray &crontab, const QByteArray &line);

private:
    Status applySystemd(const ScanSchedule &schedule);
    Status applyCron(const ScanSchedule &schedule);
    platform::CommandResult systemctl(const QStringList &arguments) const;
    QStringList crontabArguments(const QStringList &arguments) const;

    QByteArray m_program;
    QString m_unitFolder;
};
