#pragma once

#include <memory>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>

#include "state/clock.h"
#include "app/programdata.h"
#include "app/startup.h"
#include "platform/scannerprocess.h"
#include "vault/scanconfirmation.h"
#include "testenv.h"

// The real clamscan with the databases of the data folder's db/main.cvd fixture.
inline ScanConfirmation::Command realScanner(const ProgramData &data) {
    ScanConfirmation::Command command;
    command.scanner = platform::findOnPath("clamscan");
    command.options << "--database=" + QFile::encodeName(data.folders.database + "main.cvd");
    return command;
}

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
    // Makes the scanner detect the file's present content (a hash signature beside the EICAR
    // fixture).
    static void detect(const ProgramData &data, const QByteArray &path) {
        const QString db = addDatabase(data);
        const QByteArray body = TestEnv::readFile(QFile::decodeName(path));
        QFile sigs(db + QStringLiteral("/bodies.hdb"));
        QVERIFY(sigs.open(QIODevice::Append));
        sigs.write(QCryptographicHash::hash(body, QCryptographicHash::Md5).toHex() + ':' +
                   QByteArray::number(body.size()) + ":Vault.Test.Body\n");
    }
    void detect(const QByteArray &path) const { detect(*data, path); }
    // The EICAR database fixture in the data folder's db/; returns its folder.
    static QString addDatabase(const ProgramData &data) {
        return TestEnv::makeEicarDatabase(data.folders.database);
    }
    // Adds an infection found by a scan: record and whole printed path. A regular file there is
    // one the scanner detects.
    void addInfection(const QByteArray &path, const QByteArray &threat) {
        if (QFileInfo(QFile::decodeName(path)).isFile() &&
            !QFileInfo(QFile::decodeName(path)).isSymLink() && path.startsWith('/'))
            detect(path);
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
