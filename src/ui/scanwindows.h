#pragma once

#include <functional>

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "ui/skin/skindialog.h"

class ProgramData;
class RemovalRun;
class Restorer;
class ScanEngine;
class VaultDeletion;
class SkinButtons;
class TForm1;
class QListWidget;
class QWidget;

// The scan and vault windows: the result windows of a scan, the confirm-stop dialog, the
// custom-directories dialog, the removal progress and results, and the two lists of the main
// window with their restore commands. Owns the removal run and the restorer and connects them
// to the scan engine and the main window.
class ScanWindows : public QObject {
    Q_OBJECT
public:
    using ShowFailure = std::function<void(QWidget *parent, const QString &text)>;

    ScanWindows(ProgramData &data, ScanEngine &engine, TForm1 &form, SkinButtons &skin,
                ShowFailure showFailure, QObject *parent = nullptr);
    ~ScanWindows() override;

    RemovalRun &removal() { return *m_removal; }
    Restorer &restorer() { return *m_restorer; }
    VaultDeletion &deletion() { return *m_deletion; }
    TForm3 *form3() const { return m_form3; }
    TForm6 *form6() const { return m_form6; }
    TForm7 *form7() const { return m_form7; }
    TForm11 *form11() const { return m_form11; }
    TForm16 *form16() const { return m_form16; }
    TForm17 *form17() const { return m_form17; }
    // True while the offer to remove what a scan found waits for the main window to be shown.
    bool offerPending() const { return m_pendingResult && m_pendingResult == m_form11; }

    // The folder chooser: returns the chosen folder, empty when cancelled. Tests replace it to
    // answer without a dialog.
    std::function<QString(QWidget *parent)> chooseFolder;
    static QString chooseFolderWithDialog(QWidget *parent);

    // Asks the user a Yes/No question in a skinned dialog; true for Yes. Tests replace it.
    std::function<bool(QWidget *parent, const QString &question)> ask;

    // The custom-directories dialog, shown modally without blocking.
    void showCustomScan();
    // which: 1 restores to the original place, 2 to a chosen folder.
    void restoreSelected(int which);
    // "Delete from Vault" for the selected row, once the user has said yes.
    void deleteSelected();
    // Fills the vault list again from the vault's threat names.
    void fillVaultList();

    static QString incompleteText(int unreadableFiles);
    // The infections-found window's note when the list could not hold them all.
    static QString beyondListText(int beyondList);
    // The note of the infections-found window after a scan that did not finish.
    static QString unfinishedText(const QString &reason);
    // The note when the scanner reported infections that could not be listed.
    static QString unlistedNote(qint64 count, const QByteArray &folder);
    static QString notRemovedText(int notRemoved);
    static QString unconfirmedText(int unconfirmed);
    static QString neutralisedText(int neutralised);
    static QString vaultFullText();
    static QString scanRunningText();
    static QString removalRunningText();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void connectScanResults();
    void connectRemoval();
    void connectCustomScan();
    void connectLists();
    void showResults(int removed, int notRemoved, bool vaultFull, int unconfirmed);
    void showResultWindow(QDialog *window);
    void addDirectory();
    void removeSelectedDirectories();
    void startCustomScan();
    QListWidget *directoryList() const;

    ProgramData &m_data;
    ScanEngine &m_engine;
    TForm1 &m_form;
    ShowFailure m_showFailure;
    RemovalRun *m_removal;
    Restorer *m_restorer;
    VaultDeletion *m_deletion;
    // The dialogs are children of the main window; the pointers clear when it destroys them.
    QPointer<TForm3> m_form3;
    QPointer<TForm6> m_form6;
    QPointer<TForm7> m_form7;
    QPointer<TForm11> m_form11;
    QPointer<TForm16> m_form16;
    QPointer<TForm17> m_form17;
    QPointer<QDialog> m_pendingResult;  // waits for the main window to be shown
};
