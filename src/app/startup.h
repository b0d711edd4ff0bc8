#pragma once

#include <QString>
#include <QStringList>

class ProgramData;

// The start-up routine without its windows, and the shutdown routine.
class Startup {
public:
    struct Options {
        QString programFolder;  // empty: the folder of the running executable
        QString roamingFolder;  // empty: the platform's roaming data folder
        bool useRoamingOverride = false;
    };

    struct Report {
        QStringList problems;  // what the user must be told (failed writes, folders missing)
        bool engineBound = false;
    };

    static Report run(ProgramData &data, const Options &options);
    static Report run(ProgramData &data) { return run(data, Options{}); }

    // Runs the shutdown hooks; a hook that throws does not stop the others.
    static void shutdown(ProgramData &data);

    // Days after which the yearly reset puts the update data back.
    static constexpr int resetAfterDays = 355;
    static constexpr int resetBackDays = 100;
};
