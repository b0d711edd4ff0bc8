#pragma once

#include <memory>

#include <QDir>
#include <QFile>
#include <QSignalSpy>

#include "app/clock.h"
#include "app/programdata.h"
#include "app/startup.h"
#include "scan/scanengine.h"
#include "testenv.h"

// A program run in a private world, with its scan engine and spies on what the engine opens.
struct EngineRig {
    TestEnv env;
    FixedClock clock{QDate(2026, 12, 8)};
    std::unique_ptr<ProgramData> data;
    std::unique_ptr<ScanEngine> engine;
    std::unique_ptr<QSignalSpy> foundWindow, cleanWindow, failed, incomplete, closed, writeFailed;

    EngineRig() {
        data = std::make_unique<ProgramData>(clock, platform::KeyStore(env.registryRoot()));
        Startup::Options options;
        options.programFolder = env.programFolder();
        (void)Startup::run(*data, options);
        engine = std::make_unique<ScanEngine>(*data);
        engine->setSystemDatabaseFolder(env.root() + QStringLiteral("no-system-db/"));
        engine->setMountInfoSource([] { return QByteArray(); });
        foundWindow =
            std::make_unique<QSignalSpy>(engine.get(), &ScanEngine::infectionsFoundWindowRequested);
        cleanWindow =
            std::make_unique<QSignalSpy>(engine.get(), &ScanEngine::noInfectionsWindowRequested);
        failed = std::make_unique<QSignalSpy>(engine.get(), &ScanEngine::scanFailed);
        incomplete = std::make_unique<QSignalSpy>(engine.get(), &ScanEngine::scanIncomplete);
        closed = std::make_unique<QSignalSpy>(engine.get(), &ScanEngine::scanClosed);
        writeFailed = std::make_unique<QSignalSpy>(engine.get(), &ScanEngine::recordWriteFailed);
    }
    ~EngineRig() {
        engine.reset();
        for (const char *name :
             {"FAKE_CLAMSCAN_ARGS", "FAKE_CLAMSCAN_PIDFILE", "FAKE_CLAMSCAN_CWD",
              "FAKE_CLAMSCAN_DELAY", "FAKE_CLAMSCAN_OUTPUT", "FAKE_CLAMSCAN_STDERR",
              "FAKE_CLAMSCAN_FLOOD", "FAKE_CLAMSCAN_HANG", "FAKE_CLAMSCAN_EXIT"})
            qunsetenv(name);
    }

    ScanSession &session() { return data->session; }
    QString db() const { return data->folders.database; }

    // The fake scanner as the program folder's clamscan, and an (empty) main database.
    void useFakeScanner() {
        QFile::link(QStringLiteral(VZ_TESTS_SOURCE_DIR "/support/fake-clamscan"),
                    env.programFolder() + QStringLiteral("clamscan"));
        TestEnv::writeFile(db() + QStringLiteral("main.cvd"), "db");
    }
    // The fake scanner prints these bytes.
    void fakeOutput(const QByteArray &bytes, int exitCode = 0) {
        const QString file = env.root() + QStringLiteral("fake-output.txt");
        TestEnv::writeFile(file, bytes);
        qputenv("FAKE_CLAMSCAN_OUTPUT", QFile::encodeName(file));
        qputenv("FAKE_CLAMSCAN_EXIT", QByteArray::number(exitCode));
    }
    QString target() {
        const QString t = env.root() + QStringLiteral("target/");
        QDir().mkpath(t);
        return t;
    }
    int windows() const { return int(foundWindow->count() + cleanWindow->count()); }
    QByteArray storedLastScan() const { return env.registryValue(QStringLiteral("lsd")); }
};
