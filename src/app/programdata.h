#pragma once

#include <functional>
#include <vector>

#include <QRandomGenerator>

#include "state/clock.h"
#include "app/enginebinding.h"
#include "state/folders.h"
#include "state/records.h"
#include "state/registry.h"
#include "state/infectionlist.h"
#include "state/scansession.h"
#include "state/vaulttable.h"

// The state of one run of the program that every subsystem reads and writes: folders, the two
// stored records, the infection list and the vault. It lives on the main thread.
class ProgramData {
public:
    ProgramData(const Clock &clock, platform::KeyStore store);
    ProgramData(const ProgramData &) = delete;
    ProgramData &operator=(const ProgramData &) = delete;

    const Clock &clock() const { return m_clock; }
    const Registry &registry() const { return m_registry; }

    // Write the whole record to the key store.
    Status saveLastScan() const { return m_registry.writeRecord(regkey::lastScan(), lastScan); }
    Status saveSettings() const { return m_registry.writeRecord(regkey::settings(), settings); }

    // Save the vault table to records.gav.
    Status saveVault() const { return vault.save(folders.recordsFile()); }
    // Reads records.gav into the vault table and drops records that name no copy. A file that
    // is there but cannot be read fails, and the vault then stays unsaved until a later load
    // succeeds; a missing file leaves the table as it is. Run by start-up, and again before a
    // removal or restore while the file could not be read.
    Status loadVault();

    // Today's date as a whole day count.
    double todayCount() const;

    Folders folders;
    LastScanRecord lastScan;
    SettingsRecord settings;
    InfectionList infections;
    ScanSession session;
    VaultTable vault{settings.vaultCount};
    EngineBinding engine;
    QRandomGenerator random;

    // Run by the shutdown routine, in order (a running scan is stopped here).
    std::vector<std::function<void()>> shutdownHooks;

private:
    const Clock &m_clock;
    Registry m_registry;
};
