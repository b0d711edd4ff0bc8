#pragma once

#include <memory>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>

#include "state/clock.h"
#include "app/programdata.h"
#include "app/startup.h"
#include "testenv.h"

// A program run in a private world with its folders made by start-up.
struct VaultRig {
    TestEnv env;
    FixedClock clock{QDate(2026, 12, 8)};
    std::unique_ptr<ProgramData> data;

    VaultRig() {
        data = std::make_unique<ProgramData>(clock, platform::KeyStore(env.registryRoot()));
        Startup::Options options;
        options.programFolder = env.programFolder();
        (void)Startup::run(*data, options);
    }

    QString vault() const { return data->folders.vault(); }
    // A folder for infected files below the test root.
    QString folder(const QString &name) const {
        const QString path = env.root() + name + QStringLiteral("/");
        QDir().mkpath(path);
        return path;
    }
    // Adds an infection found by a scan: record and whole printed path.
    void addInfection(const QByteArray &path, const QByteArray &threat) {
        InfectionRecord r;
        r.filePath.assign(path);
        r.threatName.assign(threat);
        QVERIFY(data->infections.append(r, path));
        data->session.appendInfectionRow();
    }
    InfectionRecord vaultRecord(int k) const { return data->vault.slot(k); }
};

// Runs a shell command; chattr and mounts need no more than that.
inline int sh(const QString &command) {
    return QProcess::execute(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
}

// Sets or clears the immutable attribute, and clears it again when the guard ends so that the
// temporary folder can be removed.
struct Immutable {
    QString path;
    explicit Immutable(QString p) : path(std::move(p)) {
        sh(QStringLiteral("chattr +i '%1'").arg(path));
    }
    ~Immutable() { sh(QStringLiteral("chattr -i '%1'").arg(path)); }
};
