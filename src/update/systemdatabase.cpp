#include "update/systemdatabase.h"

#include <QFile>
#include <QFileInfo>

#include "state/databasefiles.h"
#include "update/databaseverify.h"

QString SystemDatabase::defaultConfigFile() {
    const QString configured = qEnvironmentVariable("VZ_FRESHCLAM_CONF");
    return configured.isEmpty() ? QStringLiteral("/etc/clamav/freshclam.conf") : configured;
}

SystemDatabase::SystemDatabase(QString configFile, QByteArray sigtool)
    : m_configFile(std::move(configFile)), m_sigtool(std::move(sigtool)) {}

SystemDatabase::~SystemDatabase() {
    join();
}

QString SystemDatabase::folder() const {
    QFile config(m_configFile);
    // A configuration that cannot be read leaves freshclam's default.
    const QByteArray text = config.open(QIODevice::ReadOnly) ? config.read(1 << 20) : QByteArray();
    return databasefiles::configuredFolder(text);
}

namespace {
QStringList mainAndDaily(const QString &folder) {
    QStringList files;
    for (const char *name : {"main", "daily"})
        files << databasefiles::newestForm(folder, name);
    return files;
}
}  // namespace

SystemDatabase::Verdicts SystemDatabase::check(const QByteArray &sigtool, const QStringList &files,
                                               const Verdicts &known) {
    Verdicts verdicts;
    for (const QString &file : files) {
        if (file.isEmpty())
            continue;
        const QFileInfo info(file);
        Verdict verdict{info.size(), info.lastModified(), {}};
        const auto it = known.find(file);
        if (it != known.end() && it->second.size == verdict.size &&
            it->second.changed == verdict.changed)
            verdict.problem = it->second.problem;
        else
            verdict.problem = databaseverify::verify(sigtool, file, 120000);
        verdicts[file] = verdict;
    }
    return verdicts;
}

void SystemDatabase::join() {
    if (!m_thread.joinable())
        return;
    m_thread.join();
    for (const auto &[file, verdict] : m_background)
        m_verdicts[file] = verdict;
    m_background.clear();
}

void SystemDatabase::checkInBackground() {
    if (m_thread.joinable())
        return;
    const QStringList files = mainAndDaily(folder());
    m_thread = std::thread([this, files, known = m_verdicts, tool = m_sigtool] {
        m_background = check(tool, files, known);
    });
}

SystemDatabaseState SystemDatabase::state() {
    join();
    SystemDatabaseState state;
    state.folder = folder();
    const QStringList files = mainAndDaily(state.folder);
    if (files[0].isEmpty() || files[1].isEmpty()) {
        state.problem = QStringLiteral("%1 holds no main and daily database").arg(state.folder);
        return state;
    }
    const Verdicts verdicts = check(m_sigtool, files, m_verdicts);
    for (const auto &[file, verdict] : verdicts)
        m_verdicts[file] = verdict;
    for (const QString &file : files) {
        const QString &problem = verdicts.at(file).problem;
        if (!problem.isEmpty()) {
            state.problem = QFileInfo(file).fileName() + QStringLiteral(": ") + problem;
            return state;
        }
    }
    const databasefiles::Header daily = databasefiles::readHeader(files[1]);
    if (!daily.valid) {
        state.problem = QStringLiteral("%1: unreadable header").arg(files[1]);
        return state;
    }
    state.present = true;
    state.version = daily.version;
    state.built = daily.built;
    state.files = databasefiles::inUse(state.folder);
    for (const QString &file : std::as_const(state.files)) {
        const QDateTime changed = QFileInfo(file).lastModified().toUTC();
        if (!state.updated.isValid() || changed > state.updated)
            state.updated = changed;
    }
    return state;
}
