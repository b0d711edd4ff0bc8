#pragma once

#include <QObject>

#include "update/httpfetch.h"

class ProgramData;

// The check made before the popup menu's "Virus Database Updates": the troubleshooting page
// ts.html of the maker's web site is fetched into the database folder and passes only when it
// is strictly larger than 5,120 bytes.
class ConnectivityCheck : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 minimumPageBytes = 5120;

    explicit ConnectivityCheck(ProgramData &data, QObject *parent = nullptr);

    void setNoDataTimeout(int ms) { m_noDataTimeoutMs = ms; }
    void setSlowRule(const SlowRule &rule) { m_slow = rule; }

    // Starts the check; reportFailure says whether a failure shows the failure window.
    void run(bool reportFailure);
    bool running() const { return m_activeId != 0; }
    QString pageFile() const;

signals:
    // The page arrived and is large enough: show the download window.
    void passed();
    // The check failed; showFailureWindow carries the report-failure flag, reason what happened.
    void failed(bool showFailureWindow, const QString &reason);

private:
    void onFinished(quint64 id, const FetchOutcome &outcome);

    ProgramData &m_data;
    FetchThread m_fetch;
    quint64 m_activeId = 0;
    bool m_reportFailure = true;
    int m_noDataTimeoutMs = 60000;
    SlowRule m_slow;
};
