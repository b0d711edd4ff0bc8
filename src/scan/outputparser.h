#pragma once

#include <functional>

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QLocale>

#include "scan/scanlist.h"

class InfectionList;
class ScanSession;

// The line handler: turns each line of scanner output into the live counters, the infection
// list and its rows, the status line and the progress estimate. Main thread only.
class OutputParser {
public:
    // Lists the subfolder names of a folder; replaceable so tests can count listings.
    using Lister = std::function<QList<QByteArray>(const QByteArray &folder)>;

    OutputParser(ScanSession &session, InfectionList &infections, ScanList &scanList);

    void setLister(Lister lister) { m_lister = std::move(lister); }
    // The program's own data folder (each form of its path, ending in "/"): detections in it
    // are the vault's copies, never reported.
    void setOwnDataFolders(QList<QByteArray> folders) { m_ownFolders = std::move(folders); }

    // Counters and texts back to a new scan's start; the last folder is kept between scans.
    void reset();

    // A cut line (only its start was kept) is counted and otherwise ignored.
    void handleLine(QByteArrayView line, bool cut = false);
    // Writes the per-line texts ("Items Scanned: N", "Scanning: ...") for the lines so far.
    void publish();

    int itemsScanned() const { return m_itemsScanned; }
    // Infections kept in the list (at most its 500 records).
    int infectionCount() const { return m_infectionCount; }
    // Infections reported after the list was full; counted, not stored.
    int foundBeyondList() const { return m_foundBeyondList; }
    // Detections of the vault's own copies: counted by the scanner, never listed.
    int ownFolderFound() const { return m_ownFound; }
    // FOUND lines that name no absolute path: the name of the file or of a folder on its path
    // holds a line break, so the file cannot be listed.
    int unlistedFound() const { return m_unlistedFound; }
    // The folder of the path piece before the first such line (where the file lies, as far as
    // is known), empty when there was none.
    QByteArray unlistedFolder() const { return m_unlistedFolder; }
    // The summary's "Infected files: N", -1 when the output has no such summary line.
    qint64 summaryInfected() const { return m_summaryInfected; }
    int directoryChanges() const { return m_directoryChanges; }
    // Files (and folders) the scanner reported it could not read.
    int unreadableFiles() const { return m_unreadable; }
    // The scanner's first "ERROR:" line, empty when there was none.
    QByteArray firstError() const { return m_firstError; }
    // Lines too long to be scanner lines: output that was not understood.
    int cutLines() const { return m_cutLines; }
    // True when the output ends with the scanner's closing summary (no result after it).
    bool summarySeen() const { return m_summarySeen; }
    QByteArray lastDirectory() const { return m_lastDirectory; }
    // The path of the latest line as the status line shows it (cut to the record's room).
    QByteArray lastPath() const { return m_lastPath; }

    // Adds one subfolder listing and recomputes the percentage.
    void progressStep();

    // The percentage text of a ratio: 100 or more shows 73.01.
    static double progressRatio(int changes, int listSize);

private:
    void addInfection(QByteArrayView path, QByteArrayView threat);
    bool inOwnFolder(QByteArrayView path) const;

    ScanSession &m_session;
    InfectionList &m_infections;
    ScanList &m_scanList;
    Lister m_lister;
    QLocale m_locale = QLocale::system();

    int m_itemsScanned = 0;
    int m_infectionCount = 0;
    int m_foundBeyondList = 0;
    int m_ownFound = 0;
    int m_unlistedFound = 0;
    qint64 m_summaryInfected = -1;
    QByteArray m_unlistedFolder;
    // The last line that began with "/" but held no result: the first piece of a broken name.
    QByteArray m_fragment;
    int m_directoryChanges = 0;
    int m_unreadable = 0;
    int m_cutLines = 0;
    bool m_summarySeen = false;
    QList<QByteArray> m_ownFolders;
    QByteArray m_firstError;
    QByteArray m_lastDirectory;
    QByteArray m_lastPath;
};
