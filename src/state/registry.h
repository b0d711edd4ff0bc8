#pragma once

#include <cstddef>

#include <QByteArray>
#include <QString>

#include "state/records.h"
#include "state/status.h"
#include "platform/keystore.h"

// The program's key "SOFTWARE\Vizavuz\AntiVirus\" below HKEY_LOCAL_MACHINE; every item is a
// subkey whose default value holds the data.
class Registry {
public:
    explicit Registry(platform::KeyStore store);

    static QString keyPath(const QString &subkey);

    // Reads a binary record: a missing value changes nothing; a binary or unknown-typed value
    // no larger than the record is copied to its front; another type or a larger value is a
    // failed read (false), and the record is unchanged.
    template <typename Record>
    bool readRecord(const QString &subkey, Record &record) const {
        QByteArray bytes;
        const Outcome outcome = readBinary(subkey, sizeof(Record), bytes);
        if (outcome == Outcome::Read)
            copyToFront(record, bytes);
        return outcome != Outcome::Failed;
    }

    // Stores the record's whole memory image as a binary default value.
    template <typename Record>
    Status writeRecord(const QString &subkey, const Record &record) const {
        return writeBinary(subkey, recordBytes(record));
    }

    // A text (REG_SZ) default value; missing reads as empty. False when the value is of a
    // type that is not text.
    bool readText(const QString &subkey, QByteArray &text) const;
    Status writeText(const QString &subkey, const QByteArray &text) const;

    Status writeBinary(const QString &subkey, const QByteArray &bytes) const;

    const platform::KeyStore &store() const { return m_store; }

private:
    enum class Outcome { Missing, Read, Failed };
    Outcome readBinary(const QString &subkey, std::size_t room, QByteArray &bytes) const;

    platform::KeyStore m_store;
};

// Subkey names.
namespace regkey {
inline QString appDataPath() {
    return QStringLiteral("appdatapath");
}
inline QString lastScan() {
    return QStringLiteral("lsd");
}
inline QString settings() {
    return QStringLiteral("sysdata");
}
inline QString dbServer() {
    return QStringLiteral("dbserver");
}
inline QString website() {
    return QStringLiteral("website");
}
inline QString updateWait() {
    return QStringLiteral("updatewait");
}
// Which scanner runs the scans: "auto", "own" or "clamscan" (text).
inline QString scanEngine() {
    return QStringLiteral("scanengine");
}
// The clamd the scans may use: a socket path or host:port (text; empty: none set).
inline QString clamdAddress() {
    return QStringLiteral("clamdaddress");
}
inline QString databaseSource() {
    return QStringLiteral("dbsource");
}
inline QString staleNotice() {
    return QStringLiteral("dbstalenotice");
}
}  // namespace regkey
