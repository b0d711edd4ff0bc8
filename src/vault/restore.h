#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include "state/status.h"

class ProgramData;

// The two restore commands of the vault list: copy a quarantined file back to where it was
// found or into a chosen folder, then drop its copy and record and save the vault. A row stands
// for the highest-numbered record carrying the row's threat name.
class Restorer : public QObject {
    Q_OBJECT
public:
    explicit Restorer(ProgramData &data, QObject *parent = nullptr);

    // The item texts of the vault list: the threat names of records 1 to count.
    QStringList vaultRows() const;

    // row counts from 0; a negative row (no selection) does nothing.
    Status restoreToOriginal(int row);
    // An empty folder (the chooser was cancelled) does nothing.
    Status restoreToFolder(int row, const QString &folder);

signals:
    void vaultRowsChanged();

private:
    int recordOfRow(int row) const;
    Status restore(int record, const QByteArray &destination);

    ProgramData &m_data;
};
