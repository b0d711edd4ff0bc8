// The removal run and a restore as the program runs them, in a process of their own that a test
// can kill at any step (VZ_TEST_KILL_AT_FILE_CHANGE) and start again.
//   crashchild <program folder> start             start-up only
//   crashchild <program folder> remove <path>...   start-up, a removal run of the paths, then a
//                                                  restore of the first record to its place
#include <cstdio>

#include <QCoreApplication>
#include <QFile>
#include <QTest>

#include "state/clock.h"
#include "app/programdata.h"
#include "app/startup.h"
#include "vault/removalrun.h"
#include "vault/restore.h"
#include "vaultrig.h"

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        return 2;
    FixedClock clock{QDate(2026, 12, 8)};
    ProgramData data(clock, platform::KeyStore(platform::KeyStore::defaultRoot()));
    Startup::Options options;
    options.programFolder = args.at(1);
    const Startup::Report report = Startup::run(data, options);
    for (const QString &problem : report.problems)
        std::fprintf(stderr, "%s\n", qPrintable(problem));
    if (args.at(2) != QStringLiteral("remove"))
        return 0;

    for (int i = 3; i < args.size(); ++i) {
        const QByteArray path = QFile::encodeName(args.at(i));
        InfectionRecord r;
        r.filePath.assign(path);
        r.threatName.assign(" Crash.Test");
        data.infections.append(r, path);
    }
    RemovalRun run(data, [] {});
    run.setTickInterval(1);
    run.setConfirmCommand([&data] { return realScanner(data); });
    QObject::connect(&run, &RemovalRun::finished, &app, &QCoreApplication::quit);
    run.start();
    app.exec();
    if (run.removedCount() != args.size() - 3)
        return 3;
    Restorer restorer(data);
    return restorer.restoreToOriginal(0).ok() ? 0 : 4;
}
