#include "app/programdata.h"

#include "state/daycount.h"

ProgramData::ProgramData(const Clock &clock, platform::KeyStore store)
    : m_clock(clock), m_registry(std::move(store)) {}

double ProgramData::todayCount() const {
    return daycount::fromDate(m_clock.today());
}
