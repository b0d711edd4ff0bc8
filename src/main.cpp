#include <QApplication>

#include "app/clock.h"
#include "platform/keystore.h"
#include "ui/application.h"

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vizavuz AntiVirus"));
    QApplication::setApplicationDisplayName(QStringLiteral("Vizavuz AntiVirus"));

    SystemClock clock;
    Application program(clock, platform::KeyStore(platform::KeyStore::defaultRoot()), {});
    program.show();
    const int result = QApplication::exec();
    program.shutdown();
    return result;
}
