#pragma once

#include <map>
#include <thread>

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

// What the system keeps in its database folder: the folder that the system's freshclam
// configuration names, and whether it holds main and daily that sigtool accepts.
struct SystemDatabaseState {
    QString folder;  // ends in "/"
    bool present = false;
    QString problem;    // why not present
    QStringList files;  // main, daily and bytecode in their newest forms, when present
    int version = 0;    // of daily
    QDateTime built;    // daily's build time, UTC
    QDateTime updated;  // when the system last wrote one of the files
};

// Finds the system's databases. sigtool's verdicts are kept per file (path, size and change
// time), so a file is checked once until the system replaces it; the first check can run in
// the background while the program starts.
class SystemDatabase {
public:
    // The freshclam configuration read: $VZ_FRESHCLAM_CONF, else /etc/clamav/freshclam.conf.
    static QString defaultConfigFile();

    SystemDatabase(QString configFile, QByteArray sigtool);
    ~SystemDatabase();
    SystemDatabase(const SystemDatabase &) = delete;
    SystemDatabase &operator=(const SystemDatabase &) = delete;

    QString folder() const;
    // Looks again; waits for a background check still running, and checks what has changed.
    SystemDatabaseState state();
    // Starts checking the files in the background, so that a later state() finds them checked.
    void checkInBackground();

private:
    struct Verdict {
        qint64 size = -1;
        QDateTime changed;
        QString problem;  // empty: accepted
    };
    using Verdicts = std::map<QString, Verdict>;
    static Verdicts check(const QByteArray &sigtool, const QStringList &files,
                          const Verdicts &known);
    void join();

    QString m_configFile;
    QByteArray m_sigtool;
    Verdicts m_verdicts;
    Verdicts m_background;
    std::thread m_thread;
};
