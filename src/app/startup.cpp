#include "app/startup.h"

#include <exception>

#include <QDir>
#include <QFile>

#include "state/daycount.h"
#include "state/datafile.h"
#include "app/datafolder.h"
#include "app/programdata.h"
#include "app/vaultrecovery.h"
#include "platform/system.h"

namespace {

QString withSlash(QString folder) {
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

// The program expects these folders; a missing vault folder would make every quarantine
// copy fail, so they are made here. The vault holds infected files: owner only.
void makeFolders(const Folders &folders, QStringList &problems) {
    const auto make = [&problems](const QString &folder) {
        if (QDir(folder).exists())
            return true;
        if (QDir().mkpath(folder))
            return true;
        problems << QStringLiteral("Cannot create the folder %1").arg(folder);
        return false;
    };
    make(folders.data);
    make(folders.database);
    const bool vaultExisted = QDir(folders.vault()).exists();
    if (make(folders.vault()) && !vaultExisted)
        QFile::setPermissions(folders.vault(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

}  // namespace

Startup::Report Startup::run(ProgramData &data, const Options &options) {
    Report report;

    // Start-up values before anything is read.
    data.lastScan.reserved56 = 0;
    data.lastScan.lastDate.assign(QByteArrayLiteral("none"));

    data.folders.program = options.programFolder.isEmpty() ? platform::programFolder()
                                                           : withSlash(options.programFolder);
    const QString roaming =
        options.useRoamingOverride ? options.roamingFolder : platform::roamingDataFolder();
    // The folder the key store names wins; otherwise the computed folder is stored.
    const DataFolder located = DataFolder::locate(data.registry(), roaming);
    data.folders.data = located.folder;
    if (located.store) {
        const Status written =
            data.registry().writeText(regkey::appDataPath(), QFile::encodeName(located.folder));
        if (!written)
            report.problems << written.message();
    }
    data.folders.database = data.folders.data + QStringLiteral("db/");

    data.registry().readRecord(regkey::lastScan(), data.lastScan);
    data.registry().readRecord(regkey::settings(), data.settings);
    // Whatever the stored bytes, the count stays within the vault's 1,000 slots: every loop
    // over the vault (its list fills the main window at once) runs to it.
    data.settings.vaultCount = data.vault.count();

    makeFolders(data.folders, report.problems);

    // A short records file gives what is there; one that cannot be read is never overwritten.
    if (const Status loaded = data.loadVault(); !loaded)
        report.problems << loaded.message();
    // A run that ended between two writes leaves nothing in the vault folder unnamed, and no
    // temporary file in the key store.
    report.problems << VaultRecovery::run(data);
    data.registry().store().removeTemporaries();

    if (data.lastScan.lastFound > data.lastScan.lastRemoved) {
        data.infections.loadImage(
            datafile::readFront(data.folders.listFile(), InfectionList::imageSize));
        data.infections.setCount(0);
    }

    // Yearly reset of the update data; a never-stored record (day 0) always takes it, and so
    // does a date that is no date at all (NaN, infinite, beyond any calendar).
    const double today = data.todayCount();
    const bool noDate = !daycount::toDate(data.settings.lastUpdate).isValid();
    if (noDate || today - data.settings.lastUpdate > resetAfterDays) {
        data.settings.checkFrequency = 0;
        data.settings.lastUpdate = today - resetBackDays;
        data.settings.updateCount = 0;
        data.settings.updateSize = 0;
        const Status written = data.saveSettings();
        if (!written)
            report.problems << written.message();
    }

    report.engineBound = data.engine.bind(data.folders.program);
    return report;
}

void Startup::shutdown(ProgramData &data) {
    for (const auto &hook : data.shutdownHooks) {
        try {
            hook();
        } catch (const std::exception &) {
            // The window closes regardless.
        }
    }
}
