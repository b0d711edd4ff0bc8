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

// A vault list row shows the highest-numbered record with the row's threat name; empty when
// none has it.
RowTexts vaultRow(const VaultTable &vault, const QString &itemText);

}  // namespace listrows
