#include "state/scansession.h"

#include <algorithm>

namespace {
template <typename T, typename Signal>
void assign(ScanSession *self, T &field, const T &value, Signal signal) {
    if (field == value)
        return;
    field = value;
    emit(self->*signal)(value);
}
}  // namespace

void ScanSession::setState(const QString &state) {
    assign(this, m_state, state, &ScanSession::stateChanged);
}

void ScanSession::setStatus(const QString &text) {
    assign(this, m_status, text, &ScanSession::statusChanged);
}

void ScanSession::setPercentText(const QString &text) {
    assign(this, m_percentText, text, &ScanSession::percentTextChanged);
}

void ScanSession::setFoundText(const QString &text) {
    assign(this, m_foundText, text, &ScanSession::foundTextChanged);
}

void ScanSession::setScannedText(const QString &text) {
    assign(this, m_scannedText, text, &ScanSession::scannedTextChanged);
}

void ScanSession::setPercent(int percent) {
    assign(this, m_percent, std::clamp(percent, 0, 100), &ScanSession::percentChanged);
}

void ScanSession::appendInfectionRow() {
    emit infectionRowAppended(m_rows++);
}

void ScanSession::clearInfectionRows() {
    m_rows = 0;
    emit infectionRowsCleared();
}

void ScanSession::setSelectedScanButton(int skinIndex) {
    assign(this, m_selectedScanButton, skinIndex, &ScanSession::selectedScanButtonChanged);
}

void ScanSession::setProgressTimerOn(bool on) {
    assign(this, m_timerOn, on, &ScanSession::progressTimerChanged);
}
