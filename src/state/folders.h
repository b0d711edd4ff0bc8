#pragma once

#include <QString>

// The program's folders, each ending in "/", fixed at start-up.
struct Folders {
    QString program;   // folder of the executable
    QString data;      // per-user data folder, ".../Vizavuz/" or the stored override
    QString database;  // data folder + "db/"

    QString vault() const { return data + QStringLiteral("virus_vault/"); }
    QString recordsFile() const { return vault() + QStringLiteral("records.gav"); }
    QString listFile() const { return database + QStringLiteral("list.gav"); }
    QString scanLogFile() const { return data + QStringLiteral("scanlog.sqlite"); }

    // The data folder from the roaming data folder: ".../Vizavuz/", or "/Vizavuz/" when the
    // platform has none.
    static QString computedDataFolder(const QString &roaming);

    // The marker that every data folder holds; output lines under it are never infections.
    static QString marker() { return QStringLiteral("Vizavuz/"); }
};
