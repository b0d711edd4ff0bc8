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

// A start that leaves the process that started it (a scheduler's job): the process splits, the
// part its starter waits for stays until the program says how the start went, then ends with
// that exit code and message, while the program goes on in a session of its own. Without
// begin() (or when the split failed) report() only prints the message.
class DetachedStart {
public:
    DetachedStart() = default;
    DetachedStart(DetachedStart &&other) noexcept;
    DetachedStart &operator=(DetachedStart &&other) noexcept;
    ~DetachedStart();

    static DetachedStart begin();
    // The starter prints `message` (if any) on standard error and ends with `exitCode`.
    void report(int exitCode, const QByteArray &message);
    // The starter ends with 0; the program's standard streams leave the starter's.
    void goOn();

private:
    int m_fd = -1;
};

}  // namespace platform
