#include "scan/scanschedule.h"

#include <QFile>

#include "state/registry.h"

namespace {

const char *const frequencyNames[] = {"off", "daily", "weekly", "monthly"};
const char *const dayNames[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

QString scheduleKey() {
    return QStringLiteral("schedule");
}
QString foldersKey() {
    return QStringLiteral("schedulefolders");
}

// The longest each month can be; February counts 28 here: its 29th is its last day only
// some years.
constexpr int monthLength[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

}  // namespace

QByteArray ScanSchedule::text() const {
    return QByteArray(frequencyNames[int(frequency)]) + ' ' +
           QByteArray::number(frequency == Frequency::Monthly ? monthDay : weekday) + ' ' +
           time.toString(QStringLiteral("HH:mm")).toLatin1() + ' ' +
           (customFolders ? "custom" : "full") + ' ' + (mainsOnly ? "mains" : "any");
}

ScanSchedule ScanSchedule::fromText(const QByteArray &text) {
    ScanSchedule s;
    const QList<QByteArray> parts = text.simplified().split(' ');
    if (parts.size() != 5)
        return s;
    int f = -1;
    for (int i = 0; i < 4; ++i)
        if (parts[0] == frequencyNames[i])
            f = i;
    bool ok = false;
    const int day = parts[1].toInt(&ok);
    const QTime time = QTime::fromString(QString::fromLatin1(parts[2]), QStringLiteral("HH:mm"));
    if (f < 0 || !ok || !time.isValid())
        return s;
    s.frequency = Frequency(f);
    if (s.frequency == Frequency::Monthly)
        s.monthDay = std::clamp(day, 1, 31);
    else
        s.weekday = std::clamp(day, 1, 7);
    s.time = time;
    s.customFolders = parts[3] == "custom";
    s.mainsOnly = parts[4] == "mains";
    return s;
}

ScanSchedule ScanSchedule::load(const Registry &registry) {
    QByteArray text;
    ScanSchedule s;
    if (registry.readText(scheduleKey(), text))
        s = fromText(text);
    const platform::KeyStore::ReadResult folders =
        registry.store().read(Registry::keyPath(foldersKey()));
    if (folders.outcome == platform::KeyStore::ReadOutcome::Read)
        for (const QByteArray &path : folders.value.data.split('\0'))
            if (!path.isEmpty())
                s.folders << QFile::decodeName(path);
    return s;
}

Status ScanSchedule::save(const Registry &registry) const {
    QByteArray list;
    for (const QString &folder : folders)
        list += QFile::encodeName(folder) + '\0';
    if (Status written = registry.writeBinary(foldersKey(), list); !written)
        return written;
    return registry.writeText(scheduleKey(), text());
}

bool ScanSchedule::runsOn(const QDate &day) const {
    switch (frequency) {
        case Frequency::Off:
            return false;
        case Frequency::Daily:
            return true;
        case Frequency::Weekly:
            return day.dayOfWeek() == weekday;
        case Frequency::Monthly:
            return day.day() == std::min(monthDay, day.daysInMonth());
    }
    return false;
}

QDateTime ScanSchedule::nextRun(const QDateTime &after) const {
    if (frequency == Frequency::Off)
        return {};
    for (QDate day = after.date(); day <= after.date().addDays(366); day = day.addDays(1)) {
        const QDateTime at(day, time);
        if (at > after && runsOn(day))
            return at;
    }
    return {};
}

QStringList ScanSchedule::onCalendar() const {
    const QString hm = time.toString(QStringLiteral("HH:mm")) + QStringLiteral(":00");
    switch (frequency) {
        case Frequency::Off:
            return {};
        case Frequency::Daily:
            return {QStringLiteral("*-*-* ") + hm};
        case Frequency::Weekly:
            return {QString::fromLatin1(dayNames[weekday - 1]) + QStringLiteral(" *-*-* ") + hm};
        case Frequency::Monthly:
            break;
    }
    if (monthDay <= 28)
        return {QStringLiteral("*-*-%1 ").arg(monthDay, 2, 10, QLatin1Char('0')) + hm};
    // The months that have the day run on it; the others on their last day ("~01").
    QStringList have, lack;
    for (int m = 1; m <= 12; ++m)
        (monthLength[m - 1] >= monthDay ? have : lack)
            << QStringLiteral("%1").arg(m, 2, 10, QLatin1Char('0'));
    return {
        QStringLiteral("*-%1-%2 ").arg(have.join(QLatin1Char(',')), QString::number(monthDay)) + hm,
        QStringLiteral("*-%1~01 ").arg(lack.join(QLatin1Char(','))) + hm};
}
