#include "scan/scheduleinstaller.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace {

QString commandError(const QString &what, const platform::CommandResult &r) {
    if (!r.started)
        return what + QStringLiteral(" could not be run");
    QString text = what + QStringLiteral(" failed");
    const QByteArray said = r.err.trimmed().isEmpty() ? r.out.trimmed() : r.err.trimmed();
    if (!said.isEmpty())
        text += QStringLiteral(": ") + QString::fromLocal8Bit(said.left(300));
    return text;
}

Status writeFile(const QString &path, const QByteArray &bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return Status::failure(
            QStringLiteral("%1 could not be written (%2)").arg(path, file.errorString()));
    return Status::success();
}

// A cron command field: single-quoted for the shell, "%" escaped for cron.
QByteArray cronQuoted(const QByteArray &argument) {
    QByteArray quoted = argument;
    quoted.replace('\'', "'\\''");
    quoted = '\'' + quoted + '\'';
    quoted.replace('%', "\\%");
    return quoted;
}

bool hasControlByte(const QByteArray &bytes) {
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return true;
    return false;
}

// Bytes for a message: control bytes and backslashes shown escaped.
QString shown(const QByteArray &bytes) {
    QByteArray out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || c == '\\')
            out += "\\x" + QByteArray::number(byte, 16).rightJustified(2, '0');
        else
            out += c;
    }
    return QString::fromLocal8Bit(out);
}

}  // namespace

ScheduleInstaller::ScheduleInstaller(QByteArray programPath, QString unitFolder)
    : m_program(std::move(programPath)), m_unitFolder(std::move(unitFolder)) {
    run = [](const QString &program, const QStringList &arguments, const QByteArray &input) {
        return platform::runCommand(program, arguments, input);
    };
}

QString ScheduleInstaller::defaultUnitFolder() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/systemd/user/");
}

platform::CommandResult ScheduleInstaller::systemctl(const QStringList &arguments) const {
    return run(QStringLiteral("systemctl"), QStringList{QStringLiteral("--user")} + arguments, {});
}

ScheduleInstaller::Backend ScheduleInstaller::backend() const {
    const platform::CommandResult r = systemctl({QStringLiteral("show-environment")});
    return r.started && r.exitCode == 0 ? Backend::Systemd : Backend::Cron;
}

QByteArray ScheduleInstaller::unitQuoted(const QByteArray &argument, bool commandPath) {
    const bool utf8 = QString::fromUtf8(argument).toUtf8() == argument;
    QByteArray out = "\"";
    for (const char c : argument) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"')
            out += '\\' + QByteArray(1, c);
        else if (c == '%')
            out += "%%";
        else if (c == '$' && !commandPath)
            out += "$$";
        else if (byte < 0x20 || byte == 0x7f || (byte >= 0x80 && !utf8))
            out += "\\x" + QByteArray::number(byte, 16).rightJustified(2, '0');
        else
            out += c;
    }
    return out + '"';
}

QByteArray ScheduleInstaller::timerUnit(const ScanSchedule &schedule) {
    QByteArray unit = "[Unit]\nDescription=Vizavuz AntiVirus scheduled scan\n\n[Timer]\n";
    for (const QString &when : schedule.onCalendar())
        unit += "OnCalendar=" + when.toLatin1() + '\n';
    // A run missed while the machine was off happens at the next start.
    unit += "Persistent=true\nRandomizedDelaySec=2min\n\n[Install]\nWantedBy=timers.target\n";
    return unit;
}

QByteArray ScheduleInstaller::serviceUnit(const QByteArray &programPath, bool mainsOnly) {
    QByteArray unit = "[Unit]\nDescription=Vizavuz AntiVirus scheduled scan\n";
    if (mainsOnly)
        unit += "ConditionACPower=true\n";
    // The program leaves the job at once and goes on by itself, so that the service is never
    // found still running when the timer next elapses.
    unit += "\n[Service]\nType=exec\nExecStart=" + unitQuoted(programPath, true) +
            " --scheduled\nKillMode=process\nNice=19\nIOSchedulingClass=idle\n";
    return unit;
}

QString ScheduleInstaller::refusal(Backend backend) const {
    const QString cannot = QStringLiteral("The scheduled scan cannot be set up: ");
    if (backend == Backend::Systemd) {
        // systemd refuses such a command path when it loads the service, and the timer would
        // then start nothing.
        if (hasControlByte(m_program) || m_program.contains('\\') || m_program.contains('"') ||
            m_program.contains('\''))
            return cannot + QStringLiteral(
                                "systemd does not run a program whose path holds a "
                                "control character, a backslash or a quote (%1).")
                                .arg(shown(m_program));
        return {};
    }
    // Cron has no way to carry a line break inside its line: the rest would be a line of
    // its own, even a job of its own.
    if (hasControlByte(m_program))
        return cannot + QStringLiteral(
                            "the program's path holds a control character (a line "
                            "break, say), which would break the crontab line (%1).")
                            .arg(shown(m_program));
    for (const QString &entry : cronEnvironment)
        if (hasControlByte(entry.toLocal8Bit()))
            return cannot + QStringLiteral(
                                "the environment value %1 holds a control character "
                                "(a line break, say), which would break the crontab "
                                "line.")
                                .arg(shown(entry.toLocal8Bit()));
    return {};
}

Status ScheduleInstaller::apply(const ScanSchedule &schedule, Backend backend) {
    if (schedule.frequency != ScanSchedule::Frequency::Off)
        if (const QString refused = refusal(backend); !refused.isEmpty())
            return Status::failure(refused);
    return backend == Backend::Systemd ? applySystemd(schedule) : applyCron(schedule);
}

Status ScheduleInstaller::applySystemd(const ScanSchedule &schedule) {
    const QString base = m_unitFolder + QLatin1StringView(unitName);
    const QString timer = base + QStringLiteral(".timer");
    const QString service = base + QStringLiteral(".service");
    const QString timerName = QLatin1StringView(unitName) + QStringLiteral(".timer");
    if (schedule.frequency == ScanSchedule::Frequency::Off) {
        if (QFile::exists(timer))
            systemctl({QStringLiteral("disable"), QStringLiteral("--now"), timerName});
        for (const QString &file : {timer, service})
            if (QFile::exists(file) && !QFile::remove(file))
                return Status::failure(file + QStringLiteral(" could not be removed"));
        systemctl({QStringLiteral("daemon-reload")});
        return Status::success();
    }
    if (!QDir().mkpath(m_unitFolder))
        return Status::failure(m_unitFolder + QStringLiteral(" could not be made"));
    if (Status s = writeFile(service, serviceUnit(m_program, schedule.mainsOnly)); !s)
        return s;
    if (Status s = writeFile(timer, timerUnit(schedule)); !s)
        return s;
    platform::CommandResult r = systemctl({QStringLiteral("daemon-reload")});
    if (!r.started || r.exitCode != 0)
        return Status::failure(commandError(QStringLiteral("systemctl --user daemon-reload"), r));
    // A timer already running keeps its old times until it is started again.
    r = systemctl({QStringLiteral("enable"), QStringLiteral("--now"), timerName});
    if (r.started && r.exitCode == 0)
        r = systemctl({QStringLiteral("restart"), timerName});
    if (!r.started || r.exitCode != 0)
        return Status::failure(commandError(QStringLiteral("systemctl --user enable"), r));
    return Status::success();
}

QString ScheduleInstaller::systemdNextRun() const {
    const platform::CommandResult r = systemctl(
        {QStringLiteral("show"), QStringLiteral("-p"), QStringLiteral("NextElapseUSecRealtime"),
         QStringLiteral("--value"), QLatin1StringView(unitName) + QStringLiteral(".timer")});
    if (!r.started || r.exitCode != 0)
        return {};
    const QString value = QString::fromLocal8Bit(r.out.trimmed());
    return value == QStringLiteral("n/a") || value == QStringLiteral("0") ? QString() : value;
}

QByteArray ScheduleInstaller::cronLine(const ScanSchedule &s) const {
    const QByteArray minuteHour =
        QByteArray::number(s.time.minute()) + ' ' + QByteArray::number(s.time.hour());
    QByteArray days = "* * *";
    QByteArray test;
    switch (s.frequency) {
        case ScanSchedule::Frequency::Off:
            return {};
        case ScanSchedule::Frequency::Daily:
            break;
        case ScanSchedule::Frequency::Weekly:
            days = "* * " + QByteArray::number(s.weekday % 7);  // cron counts Sunday as 0
            break;
        case ScanSchedule::Frequency::Monthly:
            if (s.monthDay <= 28) {
                days = QByteArray::number(s.monthDay) + " * *";
            } else {
                // Cron has no "last day": on the 28th to the 31st the job itself asks whether
                // today is the day, or the month's last day in a month that lacks it.
                days = "28-31 * *";
                const QByteArray d = QByteArray::number(s.monthDay);
                test = "[ \"$(date +\\%-d)\" -eq " + d + " ] || { [ \"$(date -d tomorrow " +
                       "+\\%-d)\" -eq 1 ] && [ \"$(date +\\%-d)\" -lt " + d + " ]; } && ";
            }
            break;
    }
    QByteArray command = "env";
    for (const QString &entry : cronEnvironment)
        command += ' ' + cronQuoted(entry.toLocal8Bit());
    command += ' ' + cronQuoted(m_program) + " --scheduled";
    return minuteHour + ' ' + days + ' ' + test + command;
}

QByteArray ScheduleInstaller::mergeCrontab(const QByteArray &crontab, const QByteArray &line) {
    QList<QByteArray> lines = crontab.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    QByteArray merged;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i] == cronMarker) {
            ++i;  // the program's own line follows its marker
            continue;
        }
        merged += lines[i] + '\n';
    }
    if (!line.isEmpty())
        merged += QByteArray(cronMarker) + '\n' + line + '\n';
    return merged;
}

QStringList ScheduleInstaller::crontabArguments(const QStringList &arguments) const {
    return crontabUser.isEmpty() ? arguments
                                 : QStringList{QStringLiteral("-u"), crontabUser} + arguments;
}

Status ScheduleInstaller::applyCron(const ScanSchedule &schedule) {
    const platform::CommandResult listed =
        run(QStringLiteral("crontab"), crontabArguments({QStringLiteral("-l")}), {});
    // Without cron there is no line of the program's to remove.
    if (!listed.started)
        return schedule.frequency == ScanSchedule::Frequency::Off
                   ? Status::success()
                   : Status::failure(commandError(QStringLiteral("crontab"), listed));
    // "no crontab for <user>" is an empty table; any other failure must not lose the user's
    // lines by writing over them.
    QByteArray current;
    if (listed.exitCode == 0)
        current = listed.out;
    else if (!listed.err.contains("no crontab"))
        return Status::failure(commandError(QStringLiteral("crontab -l"), listed));
    const QByteArray merged = mergeCrontab(current, cronLine(schedule));
    if (merged == current)
        return Status::success();
    const platform::CommandResult written =
        run(QStringLiteral("crontab"), crontabArguments({QStringLiteral("-")}), merged);
    if (!written.started || written.exitCode != 0)
        return Status::failure(commandError(QStringLiteral("crontab"), written));
    return Status::success();
}
