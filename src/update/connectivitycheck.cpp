#include "update/connectivitycheck.h"

#include <QFileInfo>

#include "app/programdata.h"

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
    m_activeId = m_fetch.start(url, pageFile(), ProxySettings::fromRecord(m_data.settings),
                               m_noDataTimeoutMs);
}

void ConnectivityCheck::onFinished(quint64 id, bool ok, const QString &) {
    if (id != m_activeId)
        return;
    m_activeId = 0;
    const QFileInfo page(pageFile());
    if (ok && page.exists() && page.size() > minimumPageBytes)
        emit passed();
    else
        emit failed(m_reportFailure);
}
