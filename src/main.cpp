#include <QApplication>
#include <QLabel>

#include "app/clock.h"
#include "app/programdata.h"
#include "app/startup.h"

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vizavuz AntiVirus"));

    SystemClock clock;
    ProgramData data(clock, platform::KeyStore(platform::KeyStore::defaultRoot()));
    Startup::run(data);

    // Stands in for the main window until it exists.
    QLabel window(QStringLiteral("Vizavuz AntiVirus"));
    window.resize(792, 442);
    window.show();
    const int result = QApplication::exec();
    Startup::shutdown(data);
    return result;
}
