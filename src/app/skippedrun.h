#pragma once

#include <QString>

class Registry;

// A scheduled run skipped by a start that is not the running program (that program did not
// answer it): written into the scan log of the program's data folder, without the program's
// start-up and without setting aside a log the running program may hold open.
class SkippedRun {
public:
    // Empty when the run was logged, else why not (for standard error).
    static QString log(const Registry &registry, const QString &roaming, const QString &reason);
};
