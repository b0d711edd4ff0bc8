#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

// Running a system program to its end (systemctl, crontab), the power supply, and leaving the
// process that started the program.
namespace platform {

struct CommandResult {
    bool started = false;  // false: the program could not be run at all
    int exitCode = -1;     // -1 when it did not end by itself
    QByteArray out, err;
};

// Runs `program` (searched on PATH) with `arguments`, feeding `input` to its standard input,
// and waits up to `timeoutMs` for it to end (then it is killed).
CommandResult runCommand(const QString &program, const QStringList &arguments,
                         const QByteArray &input = {}, int timeoutMs = 20000);

// False only when the machine has a mains supply and none of its mains supplies is online (it
// runs on battery); a machine without power-supply information counts as on mains.
bool onMainsPower(const QString &powerSupplyFolder = QStringLiteral("/sys/class/power_supply"));

// Lets the caller go on in a new session of its own while the process that started it sees it
// end at once (a scheduler's job is done when the program runs). False when that failed; the
// caller then simply goes on.
bool detachFromStarter();

}  // namespace platform
