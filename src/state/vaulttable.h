#pragma once

#include <array>
#include <cstdint>

#include <QByteArray>
#include <QString>

#include "state/records.h"
#include "state/status.h"

// The quarantine vault's table: 1,000 slots numbered from 1, saved whole as records.gav.
// Records 1 to count are the vault's contents, oldest first; the count itself is a field of the
// settings record, which the table refers to.
class VaultTable {
public:
    static constexpr int capacity = 1000;
    static constexpr qint64 imageSize = capacity * qint64(sizeof(InfectionRecord));

    explicit VaultTable(std::int32_t &count) : m_count(count) {}

    // The stored count, kept within 0 to 1,000 so that no access leaves the table.
    int count() const;
    bool isFull() const { return count() >= capacity; }

    InfectionRecord &slot(int number) { return m_slots[number - 1]; }
    const InfectionRecord &slot(int number) const { return m_slots[number - 1]; }

    // True when a record 1..count has the same file path (same length, same bytes).
    bool isQuarantined(const InfectionRecord &record) const;

    // True when a record 1..count names this vault path as its copy.
    bool usesVaultPath(const QByteArray &vaultPath) const;

    // Drops records 1..count that name no vault copy (empty vault path), as a count stored
    // larger than the records file holds leaves them; returns how many were dropped.
    int dropEmptyRecords();

    // Copies the record into slot count + 1 and raises the count; false when the vault is full.
    bool append(const InfectionRecord &record);
    // Lowers the count by one; the slot keeps its bytes.
    void withdrawLast();
    // Moves records k+1..count down one slot and lowers the count; the top slot keeps its bytes.
    void remove(int number);

    QByteArray image() const;
    // Copies the bytes to the front of the table; the rest is kept.
    void loadImage(const QByteArray &bytes);

    // Refused while the records file could not be read: the table would overwrite the records.
    Status save(const QString &path) const;

    // Whether the records file was read (or was not there to read). Until it was, the table is
    // never saved.
    bool isLoaded() const { return m_loaded; }
    void setLoaded(bool loaded) { m_loaded = loaded; }

private:
    std::array<InfectionRecord, capacity> m_slots{};
    std::int32_t &m_count;
    bool m_loaded = true;
};
