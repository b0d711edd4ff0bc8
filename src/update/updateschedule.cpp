#include "update/updateschedule.h"

#include <cmath>

#include <QLocale>

#include "state/daycount.h"
#include "app/programdata.h"
#include "update/updatewait.h"

namespace {
constexpr int kNeverCheck = 4;
constexpr int kDownloadAutomatically = 1;
}  // namespace

UpdateSchedule::UpdateSchedule(ProgramData &data, QObject *parent)
    : QObject(parent), m_data(data) {}

int UpdateSchedule::intervalForFrequency(int frequency, int intervalDays) {
    switch (frequency) {
        case 0:
            return 1;
        case 1:
            return 7;
        case 2:
            return 30;
        case 3:
            return intervalDays;
        default:
            // 4 is "Never Check"; an unknown stored index offers nothing either.
            return -1;
    }
}

int UpdateSchedule::daysSinceUpdate() const {
    const double diff = m_data.todayCount() - std::floor(m_data.settings.lastUpdate);
    // A far-off or damaged date still compares sensibly.
    if (!std::isfinite(diff))
        return diff < 0 ? -1000000 : 1000000;
    return static_cast<int>(std::clamp(diff, -1000000.0, 1000000.0));
}

UpdateSchedule::Tick UpdateSchedule::scheduledCheck(bool promptShowing) const {
    if (!m_timerOn)
        return Tick::Skip;
    if (m_data.settings.checkFrequency == kNeverCheck)
        return Tick::Skip;
    if (!m_data.session.isIdle())
        return Tick::Skip;
    if (promptShowing)
        return Tick::Skip;
    // The server asked to wait: nothing is due until then.
    if (updatewait::active(m_data.registry()))
        return Tick::Done;
    const int interval =
        intervalForFrequency(m_data.settings.checkFrequency, m_data.settings.intervalDays);
    const int days = daysSinceUpdate();
    // A clock put back behind the last update gives a negative difference: never due.
    if (interval >= 0 && days >= 0 && interval <= days)
        return downloadsAutomatically() ? Tick::Download : Tick::Prompt;
    return Tick::Done;
}

bool UpdateSchedule::preScanOfferDue() const {
    return std::abs(daysSinceUpdate()) > 1 && !updatewait::active(m_data.registry());
}

QString UpdateSchedule::sizeText() const {
    return QString::number(m_data.settings.updateSize) + QStringLiteral(" bytes");
}

QString UpdateSchedule::updateText() const {
    return QLocale::system().toString(daycount::toDate(m_data.settings.lastUpdate),
                                      QLocale::ShortFormat);
}

QString UpdateSchedule::updatesText() const {
    return QString::number(m_data.settings.updateCount);
}

void UpdateSchedule::setPendingScanAction(int action) {
    if (action == m_pendingScanAction)
        return;
    m_pendingScanAction = action;
    emit pendingScanActionChanged(action);
}

void UpdateSchedule::switchTimerOff() {
    if (!m_timerOn)
        return;
    m_timerOn = false;
    emit timerOnChanged(false);
}

UpdateSchedule::Offer UpdateSchedule::preScanOffer() const {
    if (!preScanOfferDue())
        return Offer::None;
    return downloadsAutomatically() ? Offer::Download : Offer::Prompt;
}

bool UpdateSchedule::downloadsAutomatically() const {
    return m_data.settings.whenFound == kDownloadAutomatically;
}
