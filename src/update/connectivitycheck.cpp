#include "update/connectivitycheck.h"

#include <QFileInfo>

#include "app/programdata.h"
#include "update/updatetexts.h"

ConnectivityCheck::ConnectivityCheck(ProgramData &data, QObject *parent)
    : QObject(parent), m_data(data) {
    connect(&m_fetch, &FetchThread::finished, this, &ConnectivityCheck::onFinished);
}

QString ConnectivityCheck::pageFile() const {
    return m_data.folders.database + QStringLiteral("ts.html");
}

void ConnectivityCheck::run(bool reportFailure) {
    if (m_activeId)
        m_fetch.abort(m_activeId);
    m_reportFailure = reportFailure;
    const QUrl url =
        updatehosts::url(updatehosts::website(m_data.registry()), QStringLiteral("/ts.html"));
    FetchRequest request;
    request.url = url;
    request.target = pageFile();
    request.proxy = ProxySettings::fromRecord(m_data.settings);
    request.noDataTimeoutMs = m_noDataTimeoutMs;
    request.maxBytes = fetchlimits::largestPage;
    request.slow = m_slow;
    request.userAgent = updatehosts::userAgent();
    m_activeId = m_fetch.start(request);
}

void ConnectivityCheck::onFinished(quint64 id, const FetchOutcome &outcome) {
    if (id != m_activeId)
        return;
    m_activeId = 0;
    const QFileInfo page(pageFile());
    if (outcome.ok && page.exists() && page.size() > minimumPageBytes)
        emit passed();
    else if (!outcome.ok)
        emit failed(m_reportFailure, outcome.reason);
    else
        emit failed(m_reportFailure, updatetexts::pageTooSmall(page.exists() ? page.size() : 0));
}
