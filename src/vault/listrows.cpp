#include "vault/listrows.h"

#include "state/infectionlist.h"
#include "state/vaulttable.h"

namespace listrows {

namespace {

RowTexts textsOf(const InfectionRecord &record, int pathRoom) {
    return {QString::fromLocal8Bit(record.threatName.bytes()).left(55),
            QString::fromLocal8Bit(record.filePath.bytes()).left(pathRoom)};
}

}  // namespace

RowTexts infectionRow(const InfectionList &infections, int row) {
    if (row < 0 || row >= infections.count())
        return {};
    return textsOf(infections.record(row + 1), 55);
}

RowTexts vaultRow(const VaultTable &vault, int row) {
    if (row < 0 || row >= vault.count())
        return {};
    return textsOf(vault.slot(row + 1), 75);
}

}  // namespace listrows
