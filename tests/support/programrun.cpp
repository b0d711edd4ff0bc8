#include "programrun.h"

#include <QDir>

#include "platform/keystore.h"
#include "ui/tform1.h"

ProgramRun::ProgramRun(QDate today) : clock(today) {}

ProgramRun::~ProgramRun() {
    if (app)
        app->shutdown();
}

Application &ProgramRun::start(bool quiet) {
    QDir().mkpath(env.programFolder());
    Application::Options options;
    options.startup.programFolder = env.programFolder();
    options.splash = false;
    app = std::make_unique<Application>(clock, platform::KeyStore(env.registryRoot()), options);
    app->showFailure = [this](QWidget *, const QString &text) { failures << text; };
    app->askQuestion = [this](QWidget *, const QString &text) {
        questions << text;
        return answer;
    };
    if (quiet) {
        app->mainWindow().timer2().stop();
        app->mainWindow().hooks.preScanOffer = {};
    }
    return *app;
}

TForm1 &ProgramRun::form() {
    return app->mainWindow();
}
