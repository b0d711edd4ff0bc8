#include "scan/scheduledscans.h"

#include <QLocale>

#include "state/registry.h"

ScheduledScans::ScheduledScans(const Registry &registry, QByteArray programPath)
    : m_registry(registry), m_installer(std::move(programPath)) {
    // A cron job starts with a bare environment: it is given the way to this desktop.
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "XDG_RUNTIME_DIR",
                             "DBUS_SESSION_BUS_ADDRESS"}) {
        const QString value = qEnvironmentVariable(name);
        if (!value.isEmpty())
            m_installer.cronEnvironment << QLatin1StringView(name) + QLatin1Char('=') + value;
    }
}

Status ScheduledScans::change(const ScanSchedule &schedule) {
    // A job that cannot be written changes nothing, not even the stored schedule.
    const ScheduleInstaller::Backend backend = m_installer.backend();
    if (schedule.frequency != ScanSchedule::Frequency::Off)
        if (const QString refused = m_installer.refusal(backend); !refused.isEmpty())
            return Status::failure(refused);
    if (Status stored = schedule.save(m_registry); !stored)
        return stored;
    // Whatever the other way wrote before goes too, so that no second job runs.
    const ScheduleInstaller::Backend other = backend == ScheduleInstaller::Backend::Systemd
                                                 ? ScheduleInstaller::Backend::Cron
                                                 : ScheduleInstaller::Backend::Systemd;
    // That removal failing is told, but never keeps this way's job from being written.
    const Status removed = m_installer.apply(ScanSchedule(), other);
    if (Status applied = m_installer.apply(schedule, backend); !applied)
        return applied;
    return removed;
}

QString ScheduledScans::nextRunText() const {
    const ScanSchedule s = schedule();
    if (s.frequency == ScanSchedule::Frequency::Off)
        return {};
    if (m_installer.backend() == ScheduleInstaller::Backend::Systemd)
        return m_installer.systemdNextRun();
    return QLocale::system().toString(s.nextRun(QDateTime::currentDateTime()),
                                      QLocale::ShortFormat);
}
