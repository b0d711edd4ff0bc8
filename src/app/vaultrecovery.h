#pragma once

#include <QStringList>

class ProgramData;

// Puts the vault folder in order at start-up after a run that ended between two of its writes
// (killed, the power gone): afterwards every file in the folder is named by a record.
// Temporary files are deleted; a finished copy whose record was never stored gets it back from
// what the copy carries, or is deleted when its file is still in its place, byte for byte; a
// file moved aside just before its deletion is deleted when the vault holds it, else put back;
// a copy a restore left beside the file it was replacing is deleted.
class VaultRecovery {
public:
    // Runs only on a records file that was read. Returns what the user must be told.
    static QStringList run(ProgramData &data);
};
