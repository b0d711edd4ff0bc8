#include "scan/outputparser.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include <QFile>

#include "state/folders.h"
#include "state/records.h"
#include "platform/dirlist.h"
#include "state/infectionlist.h"
#include "state/scansession.h"

namespace {

constexpr qsizetype recordRoom = 255;
constexpr qsizetype threatRoom = 50;
constexpr qsizetype statusRoom = 64;

// Counters stop at the largest value instead of overflowing.
void increment(int &counter) {
    if (counter < std::numeric_limits<int>::max())
        ++counter;
}

}  // namespace

OutputParser::OutputParser(ScanSession &session, InfectionList &infections, ScanList &scanList)
    : m_session(session),
      m_infections(infections),
      m_scanList(scanList),
      m_lister(&platform::subdirectoryNames) {}

void OutputParser::reset() {
    m_itemsScanned = 0;
    m_infectionCount = 0;
    m_foundBeyondList = 0;
    m_ownFound = 0;
    m_unlistedFound = 0;
    m_summaryInfected = -1;
    m_unlistedFolder.clear();
    m_fragment.clear();
    m_directoryChanges = 0;
    m_unreadable = 0;
    m_cutLines = 0;
    m_summarySeen = false;
    m_firstError.clear();
    m_lastPath.clear();
}

void OutputParser::handleLine(QByteArrayView line, bool cut) {
    if (cut) {
        increment(m_cutLines);
        return;
    }
    // The verdict follows the last ": ", so a path holding ": " stays whole.
    const qsizetype sep = line.lastIndexOf(QByteArrayView(": "));
    const QByteArrayView path = sep > 0 ? line.first(sep) : QByteArrayView();
    const QByteArrayView verdict = sep >= 0 ? line.sliced(sep + 2) : line;
    const QByteArrayView shown = path.first(std::min(path.size(), recordRoom));

    // The folder of the line comes from the whole path, so that a long path is listed where
    // it really lies.
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArrayView directory = slash >= 0 ? path.first(slash + 1) : QByteArrayView();
    if (QByteArrayView(m_lastDirectory) != directory) {
        m_lastDirectory = directory.toByteArray();
        progressStep();
    }

    // The scanner prints absolute paths only; a line whose path is not absolute comes from a
    // file name holding a line break and is never a detection.
    const bool absolute = path.startsWith('/');
    bool result = true;
    const bool found = verdict.endsWith(QByteArrayView(" FOUND"));
    if (absolute && found) {
        if (!inOwnFolder(path))
            addInfection(path, verdict.chopped(5));
        else
            increment(m_ownFound);
    } else if (found) {
        // A detection that cannot be listed still makes the scan infected.
        increment(m_unlistedFound);
        if (m_unlistedFolder.isEmpty() && !m_fragment.isEmpty())
            m_unlistedFolder = m_fragment.left(m_fragment.lastIndexOf('/') + 1);
    } else if (sep > 0 && verdict == QByteArrayView("OK")) {
        increment(m_itemsScanned);
    } else if (absolute && (verdict.contains(QByteArrayView("Access denied")) ||
                            verdict.contains(QByteArrayView("Can't access file")) ||
                            verdict == QByteArrayView("Can't open directory.") ||
                            verdict.endsWith(QByteArrayView("ERROR")))) {
        increment(m_unreadable);
    } else if (line.startsWith(QByteArrayView("WARNING: ")) &&
               verdict.contains(QByteArrayView("Can't access file"))) {
        increment(m_unreadable);
    } else {
        result = false;
        if (m_firstError.isEmpty() && line.startsWith(QByteArrayView("ERROR:")))
            m_firstError = line.toByteArray();
        else if (line == QByteArrayView("----------- SCAN SUMMARY -----------"))
            m_summarySeen = true;
        else if (m_summarySeen && path == QByteArrayView("Infected files")) {
            bool ok = false;
            const qint64 n = verdict.toLongLong(&ok);
            m_summaryInfected = ok ? n : -1;
        } else if (line.startsWith('/'))
            m_fragment = line.toByteArray();
    }
    // A summary counts only as the end of the output.
    if (result) {
        m_summarySeen = false;
        m_summaryInfected = -1;
        m_fragment.clear();
    }

    // Reuses the buffer: this runs for every line.
    m_lastPath.resize(shown.size());
    if (!shown.isEmpty())
        std::memcpy(m_lastPath.data(), shown.data(), static_cast<std::size_t>(shown.size()));
}

void OutputParser::publish() {
    m_session.setScannedText(QStringLiteral("Items Scanned: ") + QString::number(m_itemsScanned));
    const QByteArray tail =
        m_lastPath.size() > statusRoom ? m_lastPath.right(statusRoom) : m_lastPath;
    m_session.setStatus(QStringLiteral("Scanning: ") + QFile::decodeName(tail));
}

bool OutputParser::inOwnFolder(QByteArrayView path) const {
    return std::any_of(m_ownFolders.begin(), m_ownFolders.end(), [path](const QByteArray &folder) {
        return !folder.isEmpty() && path.startsWith(folder);
    });
}

void OutputParser::addInfection(QByteArrayView path, QByteArrayView threat) {
    InfectionRecord record;
    record.filePath.assign(path.first(std::min(path.size(), recordRoom)).toByteArray());
    record.threatName.assign(threat.first(std::min(threat.size(), threatRoom)).toByteArray());
    // The list keeps its 500 records; later infections are counted and reported.
    if (!m_infections.append(record, path.toByteArray())) {
        increment(m_foundBeyondList);
        return;
    }
    ++m_infectionCount;
    m_session.appendInfectionRow();
    m_session.setFoundText(QStringLiteral("Infections Found: ") +
                           QString::number(m_infectionCount));
}

double OutputParser::progressRatio(int changes, int listSize) {
    // An empty list has no denominator; it shows the same figure as an overrun.
    if (listSize <= 0)
        return 73.01;
    const double r = double(changes) / double(listSize) * 100.0;
    return r >= 100.0 ? 73.01 : r;
}

void OutputParser::progressStep() {
    increment(m_directoryChanges);
    // The empty folder (summary lines) would list the working folder: skipped.
    if (!m_lastDirectory.isEmpty()) {
        for (const QByteArray &name : m_lister(m_lastDirectory))
            m_scanList.appendUnique(m_lastDirectory + name + '/');
    }
    const double r = progressRatio(m_directoryChanges, m_scanList.size());
    m_session.setPercentText(m_locale.toString(r, 'f', 2) + QLatin1Char('%'));
    // Halves go to the even neighbour in the default rounding mode.
    m_session.setPercent(static_cast<int>(std::nearbyint(r)));
}
