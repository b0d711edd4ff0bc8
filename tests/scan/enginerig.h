#pragma once

#include <memory>

#include <QDir>
#include <QFile>
#include <QSignalSpy>

#include "state/clock.h"
#include "app/programdata.h"
#include "app/startup.h"
#include "scan/scanengine.h"
#include "testenv.h"

namespace scantest {

inline QByteArray le32(qint32 v) {
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char((quint32(v) >> (8 * i)) & 0xff);
    return b;
}

// The 64-byte last-scan record, laid out by hand.
inline QByteArray lastScanImage(qint32 done, qint32 totalScanned, qint32 totalRemoved, qint32 scans,
                                qint32 totalFound, qint32 lastScanned, qint32 lastRemoved,
                                const QByteArray &date, qint32 lastFound) {
    QByteArray b = le32(done) + le32(totalScanned) + le32(totalRemoved) + le32(scans) +
                   le32(totalFound) + le32(0) + le32(lastScanned) + le32(lastRemoved);
    QByteArray chars = date;
    if (chars.size() < 4)
        chars += QByteArray("none").mid(chars.size());  // start-up's "none" stays behind
    b += char(date.size()) + chars.leftJustified(20, '\0');
    b += QByteArray(3, '\0') + le32(0) + le32(lastFound);
    return b;
}

inline QByteArray today() {
    return QLocale::system().toString(QDate(2026, 12, 8), QLocale::ShortFormat).toLatin1();
}

inline QByteArray recordImage(const QByteArray &file, const QByteArray &threat) {
    QByteArray r(563, '\0');
    r[256] = char(file.size());
    r.replace(257, file.size(), file);
    r[512] = char(threat.size());
    r.replace(513, threat.size(), threat);
    return r;
}

}  // namespace scantest

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
              "FAKE_CLAMSCAN_FLOOD", "FAKE_CLAMSCAN_HANG", "FAKE_CLAMSCAN_EXIT",
              "FAKE_CLAMSCAN_NOLF", "FAKE_CLAMSCAN_SIGNAL", "FAKE_CLAMSCAN_SUMMARY",
              "FAKE_CLAMSCAN_LATER"})
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
