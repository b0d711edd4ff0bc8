#pragma once

#include <QString>

#include "scan/scanschedule.h"
#include "scan/scheduleinstaller.h"
#include "state/status.h"

class Registry;

// The scheduled scans of this user: the stored schedule and the job that carries it out. A
// change is stored first, then the job is written (or removed) to match.
class ScheduledScans {
public:
    ScheduledScans(const Registry &registry, QByteArray programPath);

    ScanSchedule schedule() const { return ScanSchedule::load(m_registry); }
    Status change(const ScanSchedule &schedule);
    // When the next run is due, as systemd states it or as the schedule says for cron; empty
    // when none is due.
    QString nextRunText() const;
    ScheduleInstaller::Backend backend() const { return m_installer.backend(); }

    ScheduleInstaller &installer() { return m_installer; }

private:
    const Registry &m_registry;
    ScheduleInstaller m_installer;
};
