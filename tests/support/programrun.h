#pragma once

#include <memory>

#include <QDate>
#include <QStringList>

#include "state/clock.h"
#include "testenv.h"
#include "ui/application.h"

class TForm1;

// The program as main() starts it, in a private world of its own: no splash, and the failures
// the user would be shown are recorded in `failures`. Set the world up through `env` first.
struct ProgramRun {
    TestEnv env;
    FixedClock clock;
    std::unique_ptr<Application> app;
    QStringList failures;
    // The questions the program put, each answered with `answer`.
    QStringList questions;
    bool answer = false;

    explicit ProgramRun(QDate today = QDate(2026, 3, 10));
    ~ProgramRun();  // the program's shutdown

    // Creates the program (start-up runs) without showing it. Quiet: no update prompt comes
    // unasked, neither the scheduled one nor the one before a scan.
    Application &start(bool quiet = false);
    TForm1 &form();
};
