#include "update/databasedownload.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include <QFile>
#include <QFileInfo>

#include "app/programdata.h"
#include "platform/fileops.h"

namespace {
int toGauge(qint64 value) {
    return static_cast<int>(std::clamp<qint64>(value, 0, INT_MAX));
}

bool startsWithSignature(const QString &path) {
    QFile file(path);
    const QByteArray expected(DatabaseDownload::signature);
    return file.open(QIODevice::ReadOnly) && file.read(expected.size()) == expected;
}

// The staged file over the live one in one step; empty on success, otherwise the cause.
QString replace(const QString &staged, const QString &live) {
    return platform::replaceFile(QFile::encodeName(staged), QFile::encodeName(live));
}
}  // namespace

DatabaseDownload::DatabaseDownload(ProgramData &data, QObject *parent)
    : QObject(parent), m_data(data) {
    m_startTimer.setInterval(2000);
    m_startTimer.setSingleShot(true);
    m_retryTimer.setInterval(500);
    connect(&m_startTimer, &QTimer::timeout, this, &DatabaseDownload::beginDownload);
    connect(&m_retryTimer, &QTimer::timeout, this, &DatabaseDownload::retryInstall);
    connect(&m_fetch, &FetchThread::progress, this, &DatabaseDownload::onProgress);
    connect(&m_fetch, &FetchThread::finished, this, &DatabaseDownload::onFinished);
}

DatabaseDownload::~DatabaseDownload() {
    if (m_activeId)
        m_fetch.abort(m_activeId);
}

QString DatabaseDownload::liveName(Kind kind) {
    return kind == Kind::Main ? QStringLiteral("main.cvd") : QStringLiteral("daily.cvd");
}

QString DatabaseDownload::stagingName(Kind kind) {
    return kind == Kind::Main ? QStringLiteral("main2.cvd") : QStringLiteral("daily2.cvd");
}

DatabaseDownload::Kind DatabaseDownload::kindForLastUpdate() const {
    const double diff = m_data.todayCount() - std::floor(m_data.settings.lastUpdate);
    return std::fabs(diff) > 1 ? Kind::Main : Kind::Daily;
}

void DatabaseDownload::start() {
    if (m_activeId)
        cancel();
    emit scheduledCheckOffRequested();
    setSuccessVisible(false);
    setGaugeVisible(true);
    m_startTimer.start();
    setGauge(m_gaugeMaximum, 0);
    setState(State::Waiting);
}

void DatabaseDownload::beginDownload() {
    setGaugeVisible(true);
    m_startTimer.stop();
    setSuccessVisible(false);

    m_kind = kindForLastUpdate();
    m_targetFile = m_data.folders.database + stagingName(m_kind);
    const QString host = updatehosts::databaseServer(m_data.registry());
    const QUrl url = updatehosts::url(host, QStringLiteral("/") + liveName(m_kind));
    setGauge(m_gaugeMaximum, 0);
    m_activeId = m_fetch.start(url, m_targetFile, ProxySettings::fromRecord(m_data.settings),
                               m_noDataTimeoutMs);
    setState(State::Downloading);
    emit downloadStarted(m_kind, url);
}

void DatabaseDownload::cancel() {
    m_startTimer.stop();
    if (m_activeId) {
        m_fetch.abort(m_activeId);
        m_activeId = 0;
    }
    setState(State::Hidden);
}

void DatabaseDownload::onProgress(quint64 id, qint64 received, qint64 total) {
    if (id != m_activeId)
        return;
    // An unknown total (-1) shows as a gauge of maximum 0.
    setGauge(toGauge(total), toGauge(received));
}

void DatabaseDownload::onFinished(quint64 id, bool ok, const QString &error) {
    if (id != m_activeId)
        return;  // a cancelled download reports nothing
    m_activeId = 0;
    QString reason = error;
    if (ok && !startsWithSignature(m_targetFile)) {
        // Not installed and not recorded: the live database stays as it was.
        QFile::remove(m_targetFile);
        ok = false;
        reason = notADatabaseText();
    }
    if (!ok) {
        setState(State::Failed);
        emit failed(reason);
        return;
    }
    complete();
}

void DatabaseDownload::complete() {
    SettingsRecord &s = m_data.settings;
    const QFileInfo target(m_targetFile);
    if (target.exists())
        s.updateSize = static_cast<std::int32_t>(std::min<qint64>(target.size(), INT_MAX));
    s.updateCount += 1;
    s.lastUpdate = m_data.todayCount();
    setGaugeVisible(false);
    setSuccessVisible(true);
    setState(State::Completed);
    const Status written = m_data.saveSettings();
    if (!written.ok())
        emit settingsWriteFailed(written.message());
    install();
    m_retryTimer.start();
    emit succeeded();
}

void DatabaseDownload::install() {
    const QString live = m_data.folders.database + liveName(m_kind);
    const QString staged = m_data.folders.database + stagingName(m_kind);
    if (QFileInfo::exists(staged) && replace(staged, live).isEmpty())
        emit installed(m_kind);
}

void DatabaseDownload::retryInstall() {
    const QString live = m_data.folders.database + liveName(m_kind);
    const QString staged = m_data.folders.database + stagingName(m_kind);
    if (!QFileInfo::exists(staged))
        return;
    // The live file that blocked the install may be free now. This is the last try: the user
    // was told of success, so a failure here is told too.
    const QString error = replace(staged, live);
    m_retryTimer.stop();
    if (error.isEmpty())
        emit installed(m_kind);
    else
        emit installFailed(installFailedText(live, error));
}

void DatabaseDownload::setState(State state) {
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void DatabaseDownload::setGauge(int maximum, int progress) {
    if (maximum != m_gaugeMaximum) {
        m_gaugeMaximum = maximum;
        emit gaugeMaximumChanged(maximum);
    }
    if (progress != m_gaugeProgress) {
        m_gaugeProgress = progress;
        emit gaugeProgressChanged(progress);
    }
}

void DatabaseDownload::setGaugeVisible(bool visible) {
    if (visible == m_gaugeVisible)
        return;
    m_gaugeVisible = visible;
    emit gaugeVisibleChanged(visible);
}

void DatabaseDownload::setSuccessVisible(bool visible) {
    if (visible == m_successVisible)
        return;
    m_successVisible = visible;
    emit successVisibleChanged(visible);
}
