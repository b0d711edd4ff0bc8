#include "update/databasedownload.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

#include <QFile>
#include <QFileInfo>

#include "app/programdata.h"
#include "platform/fileops.h"
#include "platform/filesync.h"
#include "platform/scannerprocess.h"
#include "update/databaseverify.h"
#include "update/updatetexts.h"
#include "update/updatewait.h"

namespace {
int toGauge(qint64 value) {
    return static_cast<int>(std::clamp<qint64>(value, 0, INT_MAX));
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
    connect(&m_freshclam, &FreshclamRun::progress, this, [this](qint64 received, qint64 total) {
        if (m_state == State::Downloading)
            setGauge(toGauge(total), toGauge(received));
    });
    connect(&m_freshclam, &FreshclamRun::finished, this, &DatabaseDownload::onFreshclamFinished);
}

void DatabaseDownload::setFreshclam(const QByteArray &program, const QString &privateMirror) {
    m_freshclamProgram = program;
    m_freshclam.setPrivateMirror(privateMirror);
}

void DatabaseDownload::setSlowRule(const SlowRule &rule) {
    m_slow = rule;
    m_freshclam.setSlowRule(rule);
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

QList<DatabaseDownload::Kind> DatabaseDownload::plan() const {
    // The daily database holds the new signatures: every run ends with it.
    if (kindForLastUpdate() == Kind::Main)
        return {Kind::Main, Kind::Daily};
    return {Kind::Daily};
}

void DatabaseDownload::start() {
    if (m_activeId)
        cancel();
    // A new run: nothing of an earlier one is installed from here on.
    m_retryTimer.stop();
    m_uninstalled.clear();
    m_failureReason.clear();
    m_failedAfterDownload = false;
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
    const QDateTime wait = updatewait::until(m_data.registry());
    if (wait.isValid()) {
        fail(updatetexts::waitUntil(wait), 0, {});
        return;
    }
    m_plan = plan();
    m_step = 0;
    m_runBytes = 0;
    if (updatehosts::isOfficial(updatehosts::databaseServer(m_data.registry())))
        runFreshclam();
    else
        fetchNext();
}

void DatabaseDownload::runFreshclam() {
    if (!m_freshclamProgram) {
        const QByteArray local = QFile::encodeName(m_data.folders.program) + "freshclam";
        m_freshclamProgram = platform::isExecutable(local)
                                 ? local
                                 : platform::findOnPath(QByteArrayLiteral("freshclam"));
    }
    m_freshclam.setProgram(*m_freshclamProgram);
    FreshclamRun::Settings settings;
    settings.databaseFolder = m_data.folders.database;
    settings.configFile = m_data.folders.data + QStringLiteral("freshclam.conf");
    settings.proxy = ProxySettings::fromRecord(m_data.settings);
    settings.owner = platform::currentUserName();
    m_kind = m_plan.constLast();
    m_targetFile.clear();
    setGauge(0, 0);
    setState(State::Downloading);
    m_freshclam.start(settings);
    emit downloadStarted(m_kind, QUrl(QStringLiteral("http://database.clamav.net/")));
}

void DatabaseDownload::onFreshclamFinished(const FreshclamRun::Outcome &outcome) {
    if (m_state != State::Downloading)
        return;  // cancelled
    if (!outcome.ok) {
        fail(outcome.reason, outcome.httpStatus, outcome.waitUntil);
        return;
    }
    // freshclam replaces each file in one step itself; the size is what it brought in.
    m_runBytes = outcome.updatedBytes;
    complete();
}

void DatabaseDownload::fetchNext() {
    m_kind = m_plan.at(m_step);
    m_targetFile = m_data.folders.database + stagingName(m_kind);
    const QString host = updatehosts::databaseServer(m_data.registry());
    const QUrl url = updatehosts::url(host, QStringLiteral("/") + liveName(m_kind));
    // The gauge starts again for every file.
    setGauge(0, 0);
    if (!m_verifier)
        m_verifier = databaseverify::defaultTool(m_data.folders.program);
    FetchRequest request;
    request.url = url;
    request.target = m_targetFile;
    request.proxy = ProxySettings::fromRecord(m_data.settings);
    request.noDataTimeoutMs = m_noDataTimeoutMs;
    request.maxBytes = m_maxBytes;
    request.slow = m_slow;
    request.userAgent = updatehosts::userAgent();
    request.verify = [tool = *m_verifier](const QString &path) {
        return databaseverify::verify(tool, path);
    };
    m_activeId = m_fetch.start(request);
    setState(State::Downloading);
    emit downloadStarted(m_kind, url);
}

void DatabaseDownload::cancel() {
    m_startTimer.stop();
    m_freshclam.cancel();
    if (m_activeId) {
        // Also removes a file that had just arrived: a cancelled run installs nothing more.
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

void DatabaseDownload::onFinished(quint64 id, const FetchOutcome &outcome) {
    if (id != m_activeId)
        return;  // a cancelled download reports nothing
    m_activeId = 0;
    if (!outcome.ok) {
        m_failedAfterDownload = outcome.refusedByCheck;
        fail(outcome.reason, outcome.httpStatus, outcome.retryAfter);
        return;
    }
    // Verified and on disk: in place at once, so that a later failure cannot lose it.
    const Staged staged{m_kind, outcome.device, outcome.inode};
    if (!install(staged).isEmpty())
        m_uninstalled << staged;
    m_runBytes += outcome.bytes;
    if (++m_step < m_plan.size()) {
        fetchNext();
        return;
    }
    complete();
}

void DatabaseDownload::fail(const QString &reason, int httpStatus, const QDateTime &retryAfter) {
    // The server's wish is kept across runs: after a refusal a day, after 429 its Retry-After.
    if (httpStatus == 403)
        updatewait::store(m_data.registry(),
                          QDateTime::currentDateTimeUtc().addSecs(updatewait::afterRefusalSeconds));
    else if (httpStatus == 429 || retryAfter.isValid())
        updatewait::store(m_data.registry(), retryAfter);
    m_failureReason = reason;
    setState(State::Failed);
    emit failed(reason);
}

void DatabaseDownload::complete() {
    SettingsRecord &s = m_data.settings;
    // The size of what this run brought in (both files when it fetched two; nothing when
    // freshclam found every database current, and the last size stays).
    if (m_runBytes > 0)
        s.updateSize = static_cast<std::int32_t>(std::min<qint64>(m_runBytes, INT_MAX));
    s.updateCount += 1;
    s.lastUpdate = m_data.todayCount();
    setGaugeVisible(false);
    setSuccessVisible(true);
    setState(State::Completed);
    const Status written = m_data.saveSettings();
    if (!written.ok())
        emit settingsWriteFailed(written.message());
    if (!m_uninstalled.isEmpty())
        m_retryTimer.start();
    emit succeeded();
}

QString DatabaseDownload::install(const Staged &staged) {
    const QString live = m_data.folders.database + liveName(staged.kind);
    const QByteArray from = QFile::encodeName(m_data.folders.database + stagingName(staged.kind));
    // Only the very file that was verified is put in place.
    quint64 device = 0;
    quint64 inode = 0;
    if (!platform::fileIdentity(from, &device, &inode) || device != staged.device ||
        inode != staged.inode)
        return QStringLiteral("the downloaded file is gone");
    const QString error = platform::replaceFile(from, QFile::encodeName(live));
    if (!error.isEmpty())
        return error;
    (void)platform::syncFolder(QFile::encodeName(m_data.folders.database));
    emit installed(staged.kind);
    return {};
}

void DatabaseDownload::retryInstall() {
    // The live file that blocked the install may be free now. This is the last try: the user
    // was told of success, so a failure here is told too.
    m_retryTimer.stop();
    const QList<Staged> pending = std::exchange(m_uninstalled, {});
    for (const Staged &staged : pending) {
        const QString error = install(staged);
        if (!error.isEmpty())
            emit installFailed(
                updatetexts::cannotInstall(m_data.folders.database + liveName(staged.kind), error));
    }
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
