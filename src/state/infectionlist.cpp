#include "state/infectionlist.h"

#include <algorithm>
#include <cstring>

#include "state/datafile.h"

bool InfectionList::append(const InfectionRecord &record, const QByteArray &fullPath) {
    if (isFull())
        return false;
    m_records[m_count] = record;
    m_fullPaths[m_count] = fullPath;
    ++m_count;
    return true;
}

void InfectionList::setCount(int count) {
    m_count = std::clamp(count, 0, capacity);
}

QByteArray InfectionList::image() const {
    return QByteArray(reinterpret_cast<const char *>(m_records.data()), imageSize);
}

void InfectionList::loadImage(const QByteArray &bytes) {
    std::memcpy(m_records.data(), bytes.constData(),
                static_cast<std::size_t>(std::min<qint64>(bytes.size(), imageSize)));
    for (QByteArray &path : m_fullPaths)
        path.clear();
}

Status InfectionList::save(const QString &path) const {
    return datafile::saveAtomically(path, image());
}
