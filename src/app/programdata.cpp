#include "app/programdata.h"

#include "state/datafile.h"
#include "state/daycount.h"

// The generator is seeded once per run from the system's entropy: names drawn from it differ
// from one run to the next.
ProgramData::ProgramData(const Clock &clock, platform::KeyStore store)
    : random(QRandomGenerator::system()->generate()),
      m_clock(clock),
      m_registry(std::move(store)) {}

Status ProgramData::loadVault() {
    const QString path = folders.recordsFile();
    bool exists = false, failed = false;
    const QByteArray bytes = datafile::readFront(path, VaultTable::imageSize, &exists, &failed);
    if (failed) {
        vault.setLoaded(false);
        return Status::failure(
            QStringLiteral("The quarantine records file %1 cannot be read. The quarantined files "
                           "are kept, but none is quarantined or restored until it can be read.")
                .arg(path));
    }
    if (exists)
        vault.loadImage(bytes);
    vault.setLoaded(true);
    vault.dropEmptyRecords();
    return Status::success();
}

double ProgramData::todayCount() const {
    return daycount::fromDate(m_clock.today());
}
