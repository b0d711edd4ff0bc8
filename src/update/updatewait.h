#pragma once

#include <QDateTime>

class Registry;

// A wait the database server asked for (after 403 one day, after 429 as long as its Retry-After
// says), kept in the key store value "updatewait" as an ISO 8601 UTC time, so that it holds
// across runs of the program. While it lasts no update is offered or started.
namespace updatewait {

constexpr qint64 afterRefusalSeconds = 24 * 3600;
// The longest wait honoured: a stored time further ahead means the clock was put back or the
// value was changed by hand, and is ignored.
constexpr qint64 longestSeconds = 7 * 24 * 3600;

// The time the wait ends (UTC), or an invalid time when there is none at `now`.
QDateTime until(const Registry &registry, const QDateTime &now = QDateTime::currentDateTimeUtc());
bool active(const Registry &registry, const QDateTime &now = QDateTime::currentDateTimeUtc());
// Stores the wait; a time not later than one already stored does not shorten it.
void store(const Registry &registry, const QDateTime &until);

}  // namespace updatewait
