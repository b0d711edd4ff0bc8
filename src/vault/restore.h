#pragma once

#include <functional>

#include <QObject>
#include <QString>
#include <QStringList>

#include "state/status.h"

class ProgramData;

// The two restore commands of the vault list: copy a quarantined file back to where it was
// found or into a chosen folder, then drop its record, save the vault and delete its copy. Row
// i of the vault list stands for record i + 1. A file standing at
// the destination is replaced only when the user says so; otherwise nothing changes.
class Restorer : public QObject {
    Q_OBJECT
public:
    explicit Restorer(ProgramData &data, QObject *parent = nullptr);

    // Asked before a file that stands at the destination is replaced (the destination's path);
    // true replaces it. Unset, nothing is ever replaced.
    std::function<bool(const QString &destination)> confirmReplace;

    static QString replaceQuestion(const QString &destination);
    static QString insideVaultText();
    static QString insideDataFolderText(const QString &folder);
    static QString movedFolderText(const QString &folder, const QString &real);

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
    // A records file that could not be read is read again; until it can be, nothing is restored.
    Status vaultReady();
    // toOriginal: the destination is where the file was found, reached only through the folders
    // it was found in.
    Status restore(int record, const QByteArray &destination, bool toOriginal);

    ProgramData &m_data;
};
