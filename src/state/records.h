#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include <QByteArray>

// The byte-exact records that the program stores in its files and in the key store.
// Each is a plain memory image: little-endian integers, length-prefixed strings, dates as
// day counts (see daycount.h). Bytes after a string's meaningful characters are left as
// they are by every writer.

// One length byte (0 to N) followed by N character bytes, of which "length" are meaningful.
template <std::size_t N>
struct PString {
    static_assert(N <= 255);
    static constexpr std::size_t capacity = N;

    std::uint8_t length = 0;
    char chars[N] = {};

    // Stores the text cut to the field's room; the bytes after it stay as they are.
    void assign(const QByteArray &text) {
        const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(text.size()), N);
        std::memcpy(chars, text.constData(), n);
        length = static_cast<std::uint8_t>(n);
    }

    // The meaningful characters; a length byte beyond the room counts as the room.
    QByteArray bytes() const {
        return QByteArray(chars, static_cast<qsizetype>(std::min<std::size_t>(length, N)));
    }

    // Exact comparison: same length, same bytes.
    bool equals(const PString &other) const { return bytes() == other.bytes(); }
};
static_assert(sizeof(PString<255>) == 256);
static_assert(sizeof(PString<50>) == 51);
static_assert(sizeof(PString<20>) == 21);
static_assert(sizeof(PString<10>) == 11);

// Infection record: the unit of the infection list, list.gav and the quarantine vault.
struct InfectionRecord {
    PString<255> vaultPath;  // where the copy lies in the vault; empty until removal
    PString<255> filePath;   // the infected file as the scanner printed it
    PString<50> threatName;  // the scanner's name, with the blank that preceded "FOUND"
};
static_assert(sizeof(InfectionRecord) == 563);
static_assert(offsetof(InfectionRecord, vaultPath) == 0);
static_assert(offsetof(InfectionRecord, filePath) == 256);
static_assert(offsetof(InfectionRecord, threatName) == 512);

// Last-scan record, the key store value "lsd".
struct LastScanRecord {
    std::int32_t scanDone = 0;      // 1 once a scan has been recorded
    std::int32_t totalScanned = 0;  // all scans
    std::int32_t totalRemoved = 0;  // all removal runs
    std::int32_t scanCount = 0;     // number of scans recorded
    std::int32_t totalFound = 0;    // all scans
    std::int32_t reserved20 = 0;    // always 0
    std::int32_t lastScanned = 0;   // last scan: items scanned
    std::int32_t lastRemoved = 0;   // last scan: infections removed
    PString<20> lastDate;           // last scan date text; "none" before the first scan
    std::uint8_t padding53[3] = {};
    std::int32_t reserved56 = 0;  // set to 0 at start-up
    std::int32_t lastFound = 0;   // last scan: infections found
};
static_assert(sizeof(LastScanRecord) == 64);
static_assert(offsetof(LastScanRecord, scanDone) == 0);
static_assert(offsetof(LastScanRecord, totalScanned) == 4);
static_assert(offsetof(LastScanRecord, totalRemoved) == 8);
static_assert(offsetof(LastScanRecord, scanCount) == 12);
static_assert(offsetof(LastScanRecord, totalFound) == 16);
static_assert(offsetof(LastScanRecord, reserved20) == 20);
static_assert(offsetof(LastScanRecord, lastScanned) == 24);
static_assert(offsetof(LastScanRecord, lastRemoved) == 28);
static_assert(offsetof(LastScanRecord, lastDate) == 32);
static_assert(offsetof(LastScanRecord, reserved56) == 56);
static_assert(offsetof(LastScanRecord, lastFound) == 60);

// Adds to a stored total; the sum stops at the limits of its 32 bits instead of overflowing.
inline std::int32_t saturatingAdd(std::int32_t total, std::int64_t amount) {
    const std::int64_t sum = std::int64_t(total) + amount;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(sum, INT32_MIN, INT32_MAX));
}

// Settings record, the key store value "sysdata".
struct SettingsRecord {
    PString<255> proxyUser;
    PString<255> proxyPassword;  // plain text, as the user typed it
    PString<255> proxyServer;
    PString<10> proxyPort;
    std::uint8_t useProxy = 0;        // 0 or 1
    std::uint8_t intervalDays = 0;    // 0 to 100
    std::uint8_t checkFrequency = 0;  // 0 daily, 1 weekly, 2 monthly, 3 interval, 4 never
    std::uint8_t whenFound = 0;       // 0 ask, 1 download automatically
    std::uint8_t padding783 = 0;
    std::int32_t vaultCount = 0;   // records in the quarantine vault
    std::int32_t updateCount = 0;  // database updates installed
    double lastUpdate = 0;         // day count of the last completed download, whole days
    std::int32_t updateSize = 0;   // bytes of the last downloaded database
    std::uint8_t padding804[4] = {};
};
static_assert(sizeof(SettingsRecord) == 808);
static_assert(offsetof(SettingsRecord, proxyUser) == 0);
static_assert(offsetof(SettingsRecord, proxyPassword) == 256);
static_assert(offsetof(SettingsRecord, proxyServer) == 512);
static_assert(offsetof(SettingsRecord, proxyPort) == 768);
static_assert(offsetof(SettingsRecord, useProxy) == 779);
static_assert(offsetof(SettingsRecord, intervalDays) == 780);
static_assert(offsetof(SettingsRecord, checkFrequency) == 781);
static_assert(offsetof(SettingsRecord, whenFound) == 782);
static_assert(offsetof(SettingsRecord, vaultCount) == 784);
static_assert(offsetof(SettingsRecord, updateCount) == 788);
static_assert(offsetof(SettingsRecord, lastUpdate) == 792);
static_assert(offsetof(SettingsRecord, updateSize) == 800);

static_assert(std::endian::native == std::endian::little, "records are little-endian images");

// The raw bytes of a record, for files and the key store.
template <typename Record>
QByteArray recordBytes(const Record &record) {
    return QByteArray(reinterpret_cast<const char *>(&record), sizeof(Record));
}

// Copies at most sizeof(Record) bytes to the front of the record; the rest stays.
template <typename Record>
void copyToFront(Record &record, const QByteArray &bytes) {
    std::memcpy(&record, bytes.constData(),
                std::min<std::size_t>(static_cast<std::size_t>(bytes.size()), sizeof(Record)));
}
