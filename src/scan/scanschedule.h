#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QStringList>
#include <QTime>

#include "state/status.h"

class Registry;

// When scheduled scans run and what they cover: off, daily, weekly on a day, or monthly on a
// day of the month (a month without that day runs on its last day), at a time; a full scan or
// the scheduled folders; optionally only while the machine is on mains power.
struct ScanSchedule {
    enum class Frequency { Off, Daily, Weekly, Monthly };

    Frequency frequency = Frequency::Off;
    int weekday = 1;   // 1 Monday .. 7 Sunday
    int monthDay = 1;  // 1 .. 31
    QTime time{2, 0};
    bool customFolders = false;  // else a full scan
    QStringList folders;
    bool mainsOnly = false;

    bool operator==(const ScanSchedule &) const = default;

    // Key store values: "schedule" (REG_SZ, "weekly 3 02:30 custom mains") and
    // "schedulefolders" (REG_BINARY, each path's bytes ended by a zero byte).
    static ScanSchedule load(const Registry &registry);
    Status save(const Registry &registry) const;
    QByteArray text() const;
    static ScanSchedule fromText(const QByteArray &text);

    // The first run after `after` (local time); invalid when off.
    QDateTime nextRun(const QDateTime &after) const;
    // True when `day` is a day this schedule runs on.
    bool runsOn(const QDate &day) const;

    // systemd calendar expressions, one per OnCalendar= line.
    QStringList onCalendar() const;
};
