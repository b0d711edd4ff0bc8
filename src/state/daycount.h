#pragma once

#include <QDate>

// Dates in the records are day counts from 30 December 1899 (day 0), as doubles: the whole
// part is the date, the fraction the time of day. This is the one conversion.
namespace daycount {

inline QDate epoch() {
    return QDate(1899, 12, 30);
}

inline double fromDate(QDate date) {
    return static_cast<double>(epoch().daysTo(date));
}

// The date part of a day count; negative counts lie before the epoch.
QDate toDate(double days);

}  // namespace daycount
