#pragma once

#include <QString>

class InfectionList;
class VaultTable;

// The texts that one row of the infection list or of the vault list shows.
namespace listrows {

struct RowTexts {
    QString threat;  // first 55 characters of the threat name
    QString path;    // first 55 (infections) or 75 (vault) characters of the file path
};

// Row i (from 0) of edtInfections shows infection record i + 1; empty outside the list.
RowTexts infectionRow(const InfectionList &infections, int row);

// Row i (from 0) of the vault list shows vault record i + 1; empty outside the vault. Rows are
// tied to their records by position, never by threat name: several records may share a name.
RowTexts vaultRow(const VaultTable &vault, int row);

}  // namespace listrows
