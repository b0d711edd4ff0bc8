#include "update/freshclamrun.h"

#include <chrono>

#include <QDeadlineTimer>
#include <QFile>
#include <QtEndian>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include "platform/scannerprocess.h"
#include "update/updatetexts.h"
#include "update/updatewait.h"

namespace {

// The longest line kept from freshclam's output; anything longer is not one of its lines.
constexpr qsizetype longestLine = 4096;
// Batches of lines that may wait for the main thread.
constexpr int mostQueued = 64;
// Database names kept from one run's "updated" lines.
constexpr qsizetype mostUpdated = 64;
// After freshclam has ended, how long what something it started still writes is read.
constexpr int drainAfterEndMs = 300;

// A value that would end its line early, or carry a line of its own, cannot be written.
bool oneLine(const QByteArray &value) {
    for (const char c : value)
        if (c == '\n' || c == '\r' || c == '\0')
            return false;
    return true;
}

qint64 bytes(const QString &number, const QString &unit) {
    double value = number.toDouble();
    const QString units = QStringLiteral("KMGT");
    const qsizetype power = unit.isEmpty() ? -1 : units.indexOf(unit.at(0));
    for (qsizetype i = 0; i <= power; ++i)
        value *= 1024;
    return static_cast<qint64>(value);
}

}  // namespace

FreshclamRun::FreshclamRun(QObject *parent) : QObject(parent) {
    qRegisterMetaType<FreshclamRun::Outcome>();
    connect(&m_slowTimer, &QTimer::timeout, this, &FreshclamRun::onSlowWindow);
    // It prints a progress line at least every second while it transfers, and tests a new
    // database within a few minutes; ten minutes of nothing is a freshclam that hangs.
    m_silence.setInterval(10 * 60 * 1000);
    m_silence.setSingleShot(true);
    connect(&m_silence, &QTimer::timeout, this, [this] {
        abandon(updatetexts::freshclamFailed(
            QStringLiteral("it printed nothing for %1 seconds").arg(m_silence.interval() / 1000)));
    });
}

FreshclamRun::~FreshclamRun() {
    cancel();
}

QByteArray FreshclamRun::configText(const Settings &settings, const QString &privateMirror,
                                    QString *refusal) {
    QString folder = settings.databaseFolder;
    if (folder.endsWith(QLatin1Char('/')) && folder.size() > 1)
        folder.chop(1);
    QList<QPair<QByteArray, QByteArray>> lines;
    auto add = [&lines](const char *name, const QByteArray &value) {
        lines.append(qMakePair(QByteArray(name), value));
    };
    add("DatabaseDirectory", QFile::encodeName(folder));
    add("DatabaseOwner", settings.owner);
    if (privateMirror.isEmpty())
        add("DatabaseMirror", QByteArrayLiteral("database.clamav.net"));
    else
        add("PrivateMirror", privateMirror.toUtf8());
    const QString proxyRefusal = settings.proxy.refusal();
    if (!proxyRefusal.isEmpty()) {
        *refusal = proxyRefusal;
        return {};
    }
    if (settings.proxy.enabled) {
        add("HTTPProxyServer", settings.proxy.host.toLocal8Bit());
        add("HTTPProxyPort", QByteArray::number(settings.proxy.port));
        // A user without a password is allowed; empty settings are left out. freshclam trims a
        // value's blanks and takes off one pair of double quotes around it, nothing else: in
        // quotes the user name and password reach it as typed (blanks, quotes and all), the
        // same bytes the direct download sends.
        auto quoted = [](const QString &value) {
            QByteArray text("\"");
            text += value.toLocal8Bit();
            text += '"';
            return text;
        };
        if (!settings.proxy.user.isEmpty())
            add("HTTPProxyUsername", quoted(settings.proxy.user));
        if (!settings.proxy.user.isEmpty() && !settings.proxy.password.isEmpty())
            add("HTTPProxyPassword", quoted(settings.proxy.password));
    }
    QByteArray text =
        "# Written by Vizavuz AntiVirus before every database update; changes are overwritten.\n"
        "# No daemon and no log file: the program runs freshclam once and reads what it prints.\n";
    for (const auto &[name, value] : lines) {
        if (value.trimmed().isEmpty() || !oneLine(value)) {
            *refusal = QStringLiteral("The setting %1 cannot be given to freshclam")
                           .arg(QString::fromLatin1(name));
            return {};
        }
        text += name + ' ' + value + '\n';
    }
    return text;
}

namespace {
// The cool-down freshclam keeps in its freshclam.dat after the server refused it (403) or asked
// it to wait (429): the magic "FreshClamData", a version 1 record and, 61 bytes into the file,
// the time it will ask again (64-bit little-endian seconds). Invalid when there is none.
QDateTime storedCoolDown(const QString &databaseFolder) {
    QFile file(databaseFolder + QStringLiteral("freshclam.dat"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.read(128);
    constexpr qsizetype versionAt = 13, timeAt = 61;
    if (data.size() < timeAt + 8 || !data.startsWith("FreshClamData") ||
        qFromLittleEndian<quint32>(data.constData() + versionAt) != 1)
        return {};
    const qint64 seconds = qFromLittleEndian<qint64>(data.constData() + timeAt);
    if (seconds <= 0)
        return {};
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
}
}  // namespace

void FreshclamRun::start(const Settings &settings) {
    cancel();
    ++m_run;
    m_settings = settings;
    m_status = 0;
    m_coolDown = {};
    m_storedCoolDown = storedCoolDown(settings.databaseFolder);
    m_updated.clear();
    m_processFailure.clear();
    m_lastError.clear();
    m_errorPrinted = false;
    m_cannotConnect = false;
    m_hostUnknown = false;

    Outcome refused;
    if (m_program.isEmpty()) {
        refused.reason = updatetexts::freshclamMissing();
        return finish(refused);
    }
    QString refusal;
    const QByteArray text = configText(settings, m_privateMirror, &refusal);
    if (text.isEmpty()) {
        refused.reason = refusal;
        return finish(refused);
    }
    // freshclam refuses a configuration holding a password that others may read.
    QSaveFile config(settings.configFile);
    if (!config.open(QIODevice::WriteOnly) ||
        !config.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        config.write(text) != text.size() || !config.commit()) {
        refused.reason = updatetexts::cannotWrite(config.errorString());
        return finish(refused);
    }

    int fd = -1;
    QString error;
    const QList<QByteArray> args{"--config-file=" + QFile::encodeName(settings.configFile),
                                 "--stdout", "--show-progress"};
    if (!platform::ChildProcess::spawn(m_program, args, QFile::encodeName(settings.databaseFolder),
                                       &m_pid, &fd, &error)) {
        m_pid = 0;
        refused.reason = updatetexts::freshclamFailed(error);
        return finish(refused);
    }

    // The reader hands whole lines to the main thread and tells it when freshclam has ended;
    // the main thread reaps it, so that a cancel never signals a process id already reused. It
    // looks at its stop flag before every read, whatever arrives, and stops reading shortly
    // after freshclam has ended even when something freshclam started still holds the pipe.
    m_stop = std::make_shared<std::atomic_bool>(false);
    m_queued = std::make_shared<std::atomic_int>(0);
    m_lastReceived = m_transferred = m_windowStart = 0;
    m_runClock.start();
    m_inTransfer = m_transferAtWindowStart = false;
    m_slowTimer.start(m_slow.windowMs);
    m_silence.start();
    m_reader = std::thread([this, fd, pid = m_pid, run = m_run, stop = m_stop, queued = m_queued] {
        QByteArray pending;
        char buffer[4096];
        bool ended = false;
        QDeadlineTimer drain;
        auto post = [&](const QList<QByteArray> &lines) {
            queued->fetch_add(1);
            QMetaObject::invokeMethod(
                this,
                [this, run, lines, queued] {
                    queued->fetch_sub(1);
                    onLines(run, lines);
                },
                Qt::QueuedConnection);
        };
        while (!stop->load()) {
            if (queued->load() >= mostQueued) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
            const long n = platform::ChildProcess::readSome(fd, buffer, sizeof buffer, 100);
            if (n == 0 || n == -1)
                break;
            if (n > 0) {
                pending.append(buffer, n);
                QList<QByteArray> lines;
                qsizetype from = 0;
                for (qsizetype i = 0; i < pending.size(); ++i) {
                    if (pending[i] == '\n' || pending[i] == '\r') {
                        if (i > from)
                            lines << pending.mid(from, i - from);
                        from = i + 1;
                    }
                }
                pending.remove(0, from);
                if (pending.size() > longestLine)
                    pending.clear();
                if (!lines.isEmpty())
                    post(lines);
            }
            if (!ended && platform::ChildProcess::hasEnded(pid)) {
                ended = true;
                drain.setRemainingTime(drainAfterEndMs);
            }
            if (ended && (n == -2 || drain.hasExpired()))
                break;
        }
        platform::ChildProcess::closeFd(fd);
        if (stop->load())
            return;
        if (!pending.isEmpty())
            post({pending});
        // Its output ended before it did.
        while (!ended && !stop->load()) {
            ended = platform::ChildProcess::hasEnded(pid);
            if (!ended)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (stop->load())
            return;
        QMetaObject::invokeMethod(
            this, [this, run] { onEnded(run, 0); }, Qt::QueuedConnection);
    });
}

void FreshclamRun::stopReader() {
    if (m_stop)
        m_stop->store(true);
    if (m_reader.joinable())
        m_reader.join();
    m_stop.reset();
}

void FreshclamRun::cancel() {
    if (m_pid <= 0)
        return;
    ++m_run;  // whatever the old run still posts is not heard
    endChild();
}

platform::ExitStatus FreshclamRun::endChild() {
    m_slowTimer.stop();
    m_silence.stop();
    // Whatever of its group is left goes too (the group id stays reserved until the reap).
    platform::ChildProcess::killGroup(m_pid);
    stopReader();
    platform::ChildProcess::waitUntilEnded(m_pid);
    const platform::ExitStatus ended = platform::ChildProcess::reap(m_pid);
    m_pid = 0;
    return ended;
}

void FreshclamRun::abandon(const QString &reason) {
    if (m_pid <= 0)
        return;
    ++m_run;
    endChild();
    Outcome outcome;
    outcome.reason = reason;
    finish(outcome);
}

void FreshclamRun::onTransfer(qint64 received, qint64 total) {
    // Each file's transfer counts from 0 again.
    m_transferred += received >= m_lastReceived ? received - m_lastReceived : received;
    m_lastReceived = received;
    m_inTransfer = received < total;
}

bool FreshclamRun::endedForTime() {
    const qint64 allowed =
        m_timeLimitMs + m_transferred / qMax<qint64>(1, m_slow.minBytes) * m_slow.windowMs;
    if (m_pid <= 0 || m_runClock.elapsed() <= allowed)
        return false;
    abandon(updatetexts::freshclamFailed(
        QStringLiteral("it had not finished after %1 seconds").arg(m_runClock.elapsed() / 1000)));
    return true;
}

void FreshclamRun::onSlowWindow() {
    if (m_pid <= 0 || endedForTime())
        return;
    // Only a window that a transfer spanned from its start is judged.
    if (m_transferAtWindowStart && m_inTransfer && m_transferred - m_windowStart < m_slow.minBytes)
        return abandon(updatetexts::tooSlow(m_slow.minBytes, m_slow.windowMs));
    m_windowStart = m_transferred;
    m_transferAtWindowStart = m_inTransfer;
}

void FreshclamRun::onLines(quint64 run, const QList<QByteArray> &lines) {
    if (run != m_run)
        return;
    m_silence.start();
    if (endedForTime())
        return;
    for (const QByteArray &line : lines) {
        handleLine(QString::fromLocal8Bit(line));
        if (run != m_run)
            return;  // the line ended the run
    }
}

void FreshclamRun::handleLine(const QString &raw) {
    static const QRegularExpression escapes(QStringLiteral("\\x1b\\[[0-9;?]*[A-Za-z]"));
    static const QRegularExpression transfer(
        QStringLiteral("(\\d+(?:\\.\\d+)?)([KMGT]i)?B/(\\d+(?:\\.\\d+)?)([KMGT]i)?B"));
    static const QRegularExpression status(QStringLiteral("received error code (\\d{3})"));
    static const QRegularExpression coolDown(
        QStringLiteral("cool-down until after: (\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d)"));
    static const QRegularExpression updated(
        QStringLiteral("^([A-Za-z0-9_-]+\\.c[lv]d) updated \\(version:"));
    QString line = raw;
    line.remove(escapes);
    line = line.trimmed();
    if (line.isEmpty())
        return;

    if (const auto m = transfer.match(line); m.hasMatch()) {
        const qint64 received = bytes(m.captured(1), m.captured(2));
        const qint64 total = bytes(m.captured(3), m.captured(4));
        onTransfer(received, total);
        if (m_transferred > mostTransferred)
            return abandon(updatetexts::tooLarge(mostTransferred));
        emit progress(received, total);
        return;
    }
    // "previously received error code 429 or 403" names no status of this run: it comes with
    // the cool-down line.
    if (const auto m = status.match(line);
        m.hasMatch() && !line.contains(QLatin1StringView("previously")))
        m_status = m.captured(1).toInt();
    if (const auto m = coolDown.match(line); m.hasMatch()) {
        const QDateTime local =
            QDateTime::fromString(m.captured(1), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (local.isValid())
            m_coolDown = local.toUTC();
    }
    if (const auto m = updated.match(line);
        m.hasMatch() && !m_updated.contains(m.captured(1)) && m_updated.size() < mostUpdated)
        m_updated << m.captured(1);
    if (line.contains(QLatin1StringView("Couldn't connect to server")))
        m_cannotConnect = true;
    if (line.contains(QLatin1StringView("Couldn't resolve host")))
        m_hostUnknown = true;
    static const QLatin1StringView error("ERROR: ");
    if (line.startsWith(error)) {
        m_errorPrinted = true;
        const QString text = line.mid(error.size()).trimmed();
        static const QLatin1StringView processFailed("Database update process failed: ");
        if (text.startsWith(processFailed))
            m_processFailure = text.mid(processFailed.size());
        else if (text != QLatin1StringView("Update failed."))
            m_lastError = text;
    }
}

void FreshclamRun::onEnded(quint64 run, int) {
    if (run != m_run)
        return;
    const platform::ExitStatus ended = endChild();
    const int code = ended.exited ? ended.code : -1;

    Outcome outcome;
    outcome.httpStatus = m_status;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (m_status == 403) {
        outcome.reason = updatetexts::httpStatus(403);
        outcome.waitUntil = now.addSecs(updatewait::afterRefusalSeconds);
    } else if (m_status == 429) {
        // freshclam ends a rate-limited run with success; it is none.
        outcome.reason = updatetexts::httpStatus(429);
        outcome.waitUntil = m_coolDown.isValid() ? m_coolDown : now.addSecs(3600);
    } else if (m_coolDown.isValid()) {
        // freshclam is still waiting after an earlier refusal and asked nothing.
        outcome.reason = updatetexts::waitUntil(m_coolDown);
        outcome.waitUntil = m_coolDown;
    } else if (code == 0 && !m_errorPrinted) {
        // freshclam has ended runs with errors with exit code 0: only a run that printed no
        // error succeeded.
        outcome.ok = true;
        outcome.updated = m_updated;
        for (const QString &name : std::as_const(m_updated))
            outcome.updatedBytes += QFileInfo(m_settings.databaseFolder + name).size();
    } else if (const QDateTime held = storedCoolDown(m_settings.databaseFolder);
               held.isValid() && held > now && held != m_storedCoolDown) {
        // The refusal came already for a database's header, and freshclam then names only
        // "HTTP GET failed"; the cool-down it stored tells which refusal it was: a day after
        // 403, the server's wait after 429.
        outcome.httpStatus = now.secsTo(held) > 12 * 3600 ? 403 : 429;
        outcome.reason = updatetexts::httpStatus(outcome.httpStatus);
        outcome.waitUntil = held;
    } else if (m_cannotConnect) {
        outcome.reason = updatetexts::refused();
    } else if (m_hostUnknown) {
        outcome.reason = updatetexts::hostNotFound(QStringLiteral("database.clamav.net"));
    } else {
        QString detail = !m_processFailure.isEmpty() ? m_processFailure : m_lastError;
        if (detail.isEmpty() && code == 0)
            detail = QStringLiteral("Update failed.");
        if (detail.isEmpty())
            detail = code < 0 ? QStringLiteral("it was stopped")
                              : QStringLiteral("exit code %1").arg(code);
        outcome.reason = updatetexts::freshclamFailed(detail.left(200));
    }
    finish(outcome);
}

void FreshclamRun::finish(Outcome outcome) {
    // Reported once the caller's start() has returned, as a run that really started is.
    const quint64 run = m_run;
    QMetaObject::invokeMethod(
        this,
        [this, run, outcome] {
            if (run == m_run)
                emit finished(outcome);
        },
        Qt::QueuedConnection);
}
