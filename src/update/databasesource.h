#pragma once

#include <functional>
#include <optional>

#include <QDateTime>
#include <QString>
#include <QStringList>

#include "state/status.h"
#include "update/systemdatabase.h"

class ProgramData;

// Where the scanner's databases come from: the system's, kept by its freshclam service, or the
// program's own copy, downloaded on the program's schedule. The choice is the key-store value
// "dbsource" ("system" or "own"); unset, the system's serve when they are there and fresh and no
// mirror of the user's is set.
class DatabaseSource {
public:
    enum class Choice { System, Own };
    // Databases older than this are stale: the service that keeps them has stopped.
    static constexpr qint64 freshSeconds = 3 * 24 * 3600;

    DatabaseSource(
        ProgramData &data, SystemDatabase &system,
        std::function<QDateTime()> now = [] { return QDateTime::currentDateTimeUtc(); });

    std::optional<Choice> stored() const;
    Status store(Choice choice) const;
    Choice effective();
    SystemDatabaseState system() { return m_system.state(); }
    bool fresh(const SystemDatabaseState &state) const;

    // The system's databases are the user's choice (or would be but for their age), are
    // there, have grown stale, and the user has not been told so for this build of daily.
    bool staleNoticeDue();
    // Remembers that the user was told about the current build.
    Status staleNoticeGiven();

    // The database files a scan is given: the chosen source's, else the other's. Empty when
    // neither has a main database.
    QStringList scanDatabases();

    // The program's own copy in its database folder (never list.gav, staged names excepted).
    QStringList ownCopyFiles() const;
    qint64 ownCopyBytes() const;
    // Deletes the own copy; the first file that cannot be deleted fails it.
    Status deleteOwnCopy() const;

private:
    bool mirrorSet() const;

    ProgramData &m_data;
    SystemDatabase &m_system;
    std::function<QDateTime()> m_now;
};
