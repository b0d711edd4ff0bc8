#include <cstdio>

#include <QApplication>
#include <QDir>

#include "app/skippedrun.h"
#include "state/clock.h"
#include "state/registry.h"
#include "platform/commands.h"
#include "platform/keystore.h"
#include "platform/localpeer.h"
#include "platform/system.h"
#include "ui/application.h"
#include "ui/shell/commandline.h"
#include "ui/shell/singleinstance.h"

int main(int argc, char *argv[]) {
    // The command line is the program's own: read before anything starts, so that help,
    // version and wrong arguments need no display and start nothing.
    QByteArrayList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QByteArray(argv[i]);
    QString folderProblem;
    const QString folder = platform::currentFolder(&folderProblem);
    const CommandLine command = CommandLine::parse(arguments, folder, folderProblem);
    switch (command.action) {
        case CommandLine::Action::Help:
            std::fputs(qPrintable(CommandLine::helpText()), stdout);
            return 0;
        case CommandLine::Action::Version:
            std::fputs(qPrintable(CommandLine::versionText()), stdout);
            return 0;
        case CommandLine::Action::Fail:
            std::fputs(command.message.toLocal8Bit().constData(), stderr);
            return CommandLine::usageError;
        case CommandLine::Action::Run:
            break;
    }
    // The schedule's job is done once the program runs: the program goes on by itself, so that
    // the job is never found still running when it is next due.
    platform::DetachedStart detached;
    if (command.scheduled)
        detached = platform::DetachedStart::begin();
    // `also`: a further line for standard error (why the skip could not be logged).
    const auto skipped = [&detached](const QString &reason, const QString &also = {}) {
        QByteArray message =
            "vizavuz-antivirus: the scheduled scan was skipped: " + reason.toLocal8Bit() + '\n';
        if (!also.isEmpty())
            message += "vizavuz-antivirus: " + also.toLocal8Bit() + '\n';
        detached.report(1, message);
        return 1;
    };
    const auto failed = [&detached](const QString &reason) {
        detached.report(
            1, "vizavuz-antivirus: the scheduled scan failed: " + reason.toLocal8Bit() + '\n');
        return 1;
    };

    const QString registryRoot = platform::KeyStore::defaultRoot();
    const QString instanceFolder = QDir(registryRoot + QStringLiteral("..")).absolutePath();
    // A scheduled job that only hands the run to the running program shows nothing, and its
    // environment may not reach the desktop (a user manager without DISPLAY, a crontab line
    // with a stale one): it needs no display at all.
    const bool handOverOnly = command.scheduled && SingleInstance::heldByAnother(instanceFolder);
    if (handOverOnly)
        qputenv("QT_QPA_PLATFORM", "offscreen");

    // The toolkit sees no arguments: a path such as "-reverse" is a file to scan, not one of
    // its switches.
    int toolkitArgc = 1;
    QApplication app(toolkitArgc, argv);
    QApplication::setApplicationName(QStringLiteral("Vizavuz AntiVirus"));
    QApplication::setApplicationDisplayName(QStringLiteral("Vizavuz AntiVirus"));

    // One program per user: a second start brings the running one to the front, or has it scan
    // the given paths, and ends.
    SingleInstance instance(instanceFolder);
    const auto say = [](const QString &text) {
        std::fprintf(stderr, "vizavuz-antivirus: %s\n",
                     CommandLine::printable(text, 1000).toLocal8Bit().constData());
    };
    if (!instance.claim()) {
        if (command.scheduled) {
            QString refusal;
            switch (instance.requestScheduledScan(&refusal)) {
                case SingleInstance::ScanAnswer::Scanning:
                    detached.report(0, {});
                    return 0;
                // The running program logged either; the reason comes from the other end of a
                // socket: printed tamed.
                case SingleInstance::ScanAnswer::Refused:
                    return skipped(CommandLine::printable(refusal));
                case SingleInstance::ScanAnswer::Failed:
                    return failed(CommandLine::printable(refusal));
                case SingleInstance::ScanAnswer::TooLarge:
                case SingleInstance::ScanAnswer::Unreachable: {
                    // The running program cannot log what it never heard: this start does,
                    // into the same log, without starting the program's windows.
                    QString reason = QStringLiteral("the running program did not answer (%1)")
                                         .arg(instance.lockFile());
                    if (!instance.problem().isEmpty())
                        reason += QStringLiteral(": ") + instance.problem();
                    const QString notLogged =
                        SkippedRun::log(Registry(platform::KeyStore(registryRoot)),
                                        platform::roamingDataFolder(), reason);
                    return skipped(reason, notLogged);
                }
            }
        } else if (command.paths.isEmpty()) {
            if (instance.activateRunning())
                return 0;
        } else {
            QString refusal;
            switch (instance.requestScan(command.paths, &refusal)) {
                case SingleInstance::ScanAnswer::Scanning:
                    return 0;
                case SingleInstance::ScanAnswer::Refused:
                    // The reason comes from the other end of a socket: printed tamed.
                    std::fprintf(stderr, "vizavuz-antivirus: nothing was scanned: %s\n",
                                 CommandLine::printable(refusal).toLocal8Bit().constData());
                    return 1;
                case SingleInstance::ScanAnswer::TooLarge:
                    say(QStringLiteral("nothing was scanned: ") + instance.problem());
                    return 1;
                case SingleInstance::ScanAnswer::Unreachable:
                case SingleInstance::ScanAnswer::Failed:  // never the answer to a scan request
                    break;
            }
        }
        if (instance.problem().isEmpty())
            say(QStringLiteral("already running, but it did not answer (%1)")
                    .arg(instance.lockFile()));
        else
            say(QStringLiteral("already running, but it cannot be reached: ") + instance.problem());
        return 1;
    }

    if (handOverOnly) {
        // The running program ended meanwhile; this start cannot show a window to run in.
        const QString reason =
            QStringLiteral("the running program ended while the run was handed to it");
        return skipped(reason, SkippedRun::log(Registry(platform::KeyStore(registryRoot)),
                                               platform::roamingDataFolder(), reason));
    }
    SystemClock clock;
    Application program(clock, platform::KeyStore(registryRoot), {});
    QObject::connect(&instance, &SingleInstance::activationRequested, &instance,
                     [&program] { program.bringToFront(); });
    // Without its socket the program runs, but later starts cannot reach it: the user is told.
    if (!instance.problem().isEmpty()) {
        const QString text =
            QStringLiteral("Other starts of Vizavuz AntiVirus cannot reach this one: ") +
            instance.problem();
        say(text);
        program.reportProblem(text);
    }
    // A scheduled run starts in the tray and scans there; it says how it ended in a notification.
    program.show(command.scheduled);
    if (command.scheduled) {
        // Skipped (on battery, say) or failed: nothing was going on before, so nothing stays.
        bool didFail = false;
        const QString reason = program.runScheduledScan(&didFail);
        if (!reason.isEmpty()) {
            program.shutdown();
            return didFail ? failed(reason) : skipped(reason);
        }
    }
    detached.goOn();
    if (!command.paths.isEmpty())
        program.scanEntries(command.paths);
    // Later starts that asked while this one was starting are answered now.
    instance.setScanHandler([&program](const QStringList &paths) {
        program.bringToFront();
        return program.scanEntries(paths);
    });
    // A scheduled run while the program runs scans in the background, or is skipped when busy.
    instance.setScheduledHandler(
        [&program](bool *didFail) { return program.runScheduledScan(didFail); });
    const int result = QApplication::exec();
    program.shutdown();
    return result;
}
