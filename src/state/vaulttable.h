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

    // Temporary files in the vault folder: copies and records files being written (older
    // versions named the latter records.gav.*).
    static bool isTemporaryName(const QByteArray &name) {
        return name.startsWith(".vz-") || name.startsWith("records.gav.");
    }
    // Names a copy never takes: the records file and the temporary files.
    static bool isReservedName(const QByteArray &name) {
        return name == "records.gav" || isTemporaryName(name);
    }

    // The stored count, kept within 0 to 1,000 so that no access leaves the table.
    int count() const;
    bool isFull() const { return count() >= capacity; }

    InfectionRecord &slot(int number) { return m_slots[number - 1]; }
    const InfectionRecord &slot(int number) const { return m_slots[number - 1]; }

    // True when a record 1..count has the same file path (same length, same bytes).
    bool isQuarantined(const InfectionRecord &record) const;

    // True when a record 1..count names this vault path as its copy.
    bool usesVaultPath(const QByteArray &vaultPath) const;

    // Drops every record that names the same copy as a record before it (a count stored after
    // a crash between the records file and the count can bring such a record back); returns how
    // many were dropped.
    int dropRepeatedCopies();

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
