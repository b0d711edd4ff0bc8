#pragma once

#include <array>

#include <QByteArray>
#include <QString>

#include "state/records.h"
#include "state/status.h"

// The infections of the current scan: 500 records in the order found, whose byte image is the
// file list.gav. Beside each record the whole path as the scanner printed it is kept, so that
// a path longer than the record's room is never acted on in its cut form.
class InfectionList {
public:
    static constexpr int capacity = 500;
    static constexpr qint64 imageSize = capacity * qint64(sizeof(InfectionRecord));

    int count() const { return m_count; }
    bool isFull() const { return m_count >= capacity; }

    // Records are numbered from 1.
    InfectionRecord &record(int number) { return m_records[number - 1]; }
    const InfectionRecord &record(int number) const { return m_records[number - 1]; }

    // The whole printed path of a record added by a scan; empty for a record that came from
    // list.gav, where only the record's (possibly cut) path is known.
    QByteArray fullPath(int number) const { return m_fullPaths[number - 1]; }

    // Appends a record; false (nothing stored) when the list is full.
    bool append(const InfectionRecord &record, const QByteArray &fullPath);

    // Sets the count; the records themselves are kept.
    void setCount(int count);

    QByteArray image() const;
    // Copies the bytes to the front of the list (the rest is kept); full paths are forgotten.
    void loadImage(const QByteArray &bytes);

    Status save(const QString &path) const;

private:
    std::array<InfectionRecord, capacity> m_records{};
    std::array<QByteArray, capacity> m_fullPaths;
    int m_count = 0;
};
