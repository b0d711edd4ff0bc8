#pragma once

#include <QObject>
#include <QString>

#include "state/status.h"

class ProgramData;

// "Delete from Vault": drops one vault record for good, with its quarantined copy. A record
// whose copy is already gone (deleted by hand) is cleared the same way, so that its slot is
// free again. Row i of the vault list stands for record i + 1.
class VaultDeletion : public QObject {
    Q_OBJECT
public:
    explicit VaultDeletion(ProgramData &data, QObject *parent = nullptr);

    // The question asked before a row is deleted; empty for a row that names no record.
    QString question(int row) const;

    // A negative row (no selection) does nothing. The records are written before the copy is
    // deleted: a failure to write them changes nothing.
    Status deleteRow(int row);

signals:
    void vaultRowsChanged();

private:
    ProgramData &m_data;
};
