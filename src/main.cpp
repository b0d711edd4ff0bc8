#include <cstdio>

#include <QApplication>
#include <QDir>

#include "state/clock.h"
#include "platform/keystore.h"
#include "ui/application.h"
#include "ui/shell/singleinstance.h"

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vizavuz AntiVirus"));
    QApplication::setApplicationDisplayName(QStringLiteral("Vizavuz AntiVirus"));

    // One program per user: a second start brings the running one to the front and ends.
    const QString registryRoot = platform::KeyStore::defaultRoot();
    SingleInstance instance(QDir(registryRoot + QStringLiteral("..")).absolutePath());
    if (!instance.claim()) {
        if (instance.activateRunning())
            return 0;
        std::fprintf(stderr, "vizavuz-antivirus: already running, but it did not answer (%s)\n",
                     qPrintable(instance.lockFile()));
        return 1;
    }

    SystemClock clock;
    Application program(clock, platform::KeyStore(registryRoot), {});
    QObject::connect(&instance, &SingleInstance::activationRequested, &instance,
                     [&program] { program.bringToFront(); });
    program.show();
    const int result = QApplication::exec();
    program.shutdown();
    return result;
}
