#include "scan/scanlist.h"

void ScanList::clear() {
    m_entries.clear();
    m_entries.shrink_to_fit();
    m_index.clear();
}

bool ScanList::appendUnique(const QByteArray &entry) {
    if (size() >= capacity || m_index.contains(entry))
        return false;
    m_index.insert(entry, size());
    m_entries.push_back(entry);
    return true;
}

bool ScanList::appendTarget(const QByteArray &entry) {
    if (size() >= capacity)
        return false;
    if (!m_index.contains(entry))
        m_index.insert(entry, size());
    m_entries.push_back(entry);
    return true;
}
