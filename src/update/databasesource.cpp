#include "update/databasesource.h"

#include <QFile>
#include <QFileInfo>

#include "app/programdata.h"
#include "state/databasefiles.h"
#include "update/httpfetch.h"

namespace {
constexpr char systemText[] = "system";
constexpr char ownText[] = "own";
}  // namespace

DatabaseSource::DatabaseSource(ProgramData &data, SystemDatabase &system,
                               std::function<QDateTime()> now)
    : m_data(data), m_system(system), m_now(std::move(now)) {}

std::optional<DatabaseSource::Choice> DatabaseSource::stored() const {
    QByteArray text;
    if (!m_data.registry().readText(regkey::databaseSource(), text))
        return std::nullopt;
    text = text.trimmed();
    if (text == systemText)
        return Choice::System;
    if (text == ownText)
        return Choice::Own;
    return std::nullopt;
}

Status DatabaseSource::store(Choice choice) const {
    return m_data.registry().writeText(regkey::databaseSource(),
                                       choice == Choice::System ? systemText : ownText);
}

bool DatabaseSource::mirrorSet() const {
    return !updatehosts::isOfficial(updatehosts::databaseServer(m_data.registry()));
}

bool DatabaseSource::fresh(const SystemDatabaseState &state) const {
    return state.present && state.built.secsTo(m_now()) <= freshSeconds;
}

DatabaseSource::Choice DatabaseSource::effective() {
    if (const std::optional<Choice> choice = stored())
        return *choice;
    if (mirrorSet())
        return Choice::Own;
    return fresh(m_system.state()) ? Choice::System : Choice::Own;
}

bool DatabaseSource::staleNoticeDue() {
    const std::optional<Choice> choice = stored();
    if (choice == Choice::Own || (!choice && mirrorSet()))
        return false;
    const SystemDatabaseState state = m_system.state();
    if (!state.present || fresh(state))
        return false;
    QByteArray told;
    m_data.registry().readText(regkey::staleNotice(), told);
    return told != QByteArray::number(state.built.toSecsSinceEpoch());
}

Status DatabaseSource::staleNoticeGiven() {
    const SystemDatabaseState state = m_system.state();
    return m_data.registry().writeText(regkey::staleNotice(),
                                       QByteArray::number(state.built.toSecsSinceEpoch()));
}

QStringList DatabaseSource::scanDatabases() {
    const QStringList own = databasefiles::inUse(m_data.folders.database);
    if (effective() == Choice::Own && !own.isEmpty())
        return own;
    const SystemDatabaseState state = m_system.state();
    if (state.present)
        return state.files;
    return own;
}

QStringList DatabaseSource::ownCopyFiles() const {
    QStringList files;
    for (const char *name : {"main", "daily", "bytecode"})
        for (const char *suffix : {".cvd", ".cld", ".cud"}) {
            const QString path =
                m_data.folders.database + QLatin1StringView(name) + QLatin1StringView(suffix);
            if (QFileInfo(path).isFile())
                files << path;
        }
    for (const char *staged : {"main2.cvd", "daily2.cvd"}) {
        const QString path = m_data.folders.database + QLatin1StringView(staged);
        if (QFileInfo(path).isFile())
            files << path;
    }
    return files;
}

qint64 DatabaseSource::ownCopyBytes() const {
    qint64 bytes = 0;
    for (const QString &file : ownCopyFiles())
        bytes += QFileInfo(file).size();
    return bytes;
}

Status DatabaseSource::deleteOwnCopy() const {
    for (const QString &file : ownCopyFiles()) {
        QFile f(file);
        if (!f.remove())
            return Status::failure(
                QStringLiteral("Cannot delete %1: %2").arg(file, f.errorString()));
    }
    return Status::success();
}
