#include "state/vaulttable.h"

#include <algorithm>
#include <cstring>

#include "state/datafile.h"

int VaultTable::count() const {
    return std::clamp<std::int32_t>(m_count, 0, capacity);
}

bool VaultTable::isQuarantined(const InfectionRecord &record) const {
    const QByteArray path = record.filePath.bytes();
    for (int k = 1; k <= count(); ++k) {
        if (slot(k).filePath.bytes() == path)
            return true;
    }
    return false;
}

bool VaultTable::usesVaultPath(const QByteArray &vaultPath) const {
    for (int k = 1; k <= count(); ++k) {
        if (slot(k).vaultPath.bytes() == vaultPath)
            return true;
    }
    return false;
}

int VaultTable::dropEmptyRecords() {
    int dropped = 0;
    for (int k = count(); k >= 1; --k) {
        if (slot(k).vaultPath.bytes().isEmpty()) {
            remove(k);
            ++dropped;
        }
    }
    return dropped;
}

int VaultTable::dropRepeatedCopies() {
    int dropped = 0;
    for (int k = count(); k >= 2; --k) {
        const QByteArray copy = slot(k).vaultPath.bytes();
        for (int earlier = 1; earlier < k; ++earlier) {
            if (slot(earlier).vaultPath.bytes() == copy) {
                remove(k);
                ++dropped;
                break;
            }
        }
    }
    return dropped;
}

bool VaultTable::append(const InfectionRecord &record) {
    if (isFull())
        return false;
    const int number = count() + 1;
    m_count = number;
    slot(number) = record;
    return true;
}

void VaultTable::withdrawLast() {
    if (count() > 0)
        m_count = count() - 1;
}

void VaultTable::remove(int number) {
    const int n = count();
    if (number < 1 || number > n)
        return;
    for (int k = number + 1; k <= n; ++k)
        slot(k - 1) = slot(k);
    m_count = n - 1;
}

QByteArray VaultTable::image() const {
    return QByteArray(reinterpret_cast<const char *>(m_slots.data()), imageSize);
}

void VaultTable::loadImage(const QByteArray &bytes) {
    std::memcpy(m_slots.data(), bytes.constData(),
                static_cast<std::size_t>(std::min<qint64>(bytes.size(), imageSize)));
}

Status VaultTable::save(const QString &path) const {
    if (!m_loaded)
        return Status::failure(
            QStringLiteral("The quarantine records file %1 could not be read, so it is not "
                           "written: no file is quarantined or restored until it can be read.")
                .arg(path));
    return datafile::saveAtomically(path, image());
}
