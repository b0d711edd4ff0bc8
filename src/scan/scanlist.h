#pragma once

#include <vector>

#include <QByteArray>
#include <QHash>

// The scan list: the scan targets, then the folders found below them while a scan runs. It
// keeps its order, finds an equal entry through a hash index, and grows as needed up to its
// fixed capacity; entries beyond it are dropped.
class ScanList {
public:
    static constexpr int capacity = 10'000'001;

    int size() const { return static_cast<int>(m_entries.size()); }
    int lastIndex() const { return size() - 1; }
    const QByteArray &at(int index) const { return m_entries[static_cast<std::size_t>(index)]; }
    const std::vector<QByteArray> &entries() const { return m_entries; }
    bool contains(const QByteArray &entry) const { return m_index.contains(entry); }

    void clear();
    // Adds the entry unless an equal one is present; false when nothing was added.
    bool appendUnique(const QByteArray &entry);
    // Adds the entry even when an equal one is present (the targets the user chose).
    bool appendTarget(const QByteArray &entry);

private:
    std::vector<QByteArray> m_entries;
    QHash<QByteArray, int> m_index;
};
