#pragma once

#include <QDate>

// Where "today" comes from; tests set it.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDate today() const = 0;
};

class SystemClock final : public Clock {
public:
    QDate today() const override { return QDate::currentDate(); }
};

class FixedClock final : public Clock {
public:
    explicit FixedClock(QDate day) : m_day(day) {}
    QDate today() const override { return m_day; }
    void set(QDate day) { m_day = day; }

private:
    QDate m_day;
};
