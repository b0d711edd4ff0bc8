#pragma once

#include <functional>
#include <vector>

#include <QByteArray>
#include <QObject>
#include <QHash>
#include <QSet>
#include <QString>
#include <QTimer>

#include "platform/fileops.h"
#include "state/removalnote.h"
#include "vault/scanconfirmation.h"

class ProgramData;

// The removal run: takes every infection of the list into the vault, one per timer tick from
// the last found to the first, and holds the texts of the removal window while it runs. Before
// the first file is touched the scanner is asked again about every listed path, and only the
// paths it reports FOUND are taken. A file is deleted only once its vault copy exists under a
// name of its own and its record is stored; what could not be quarantined stays in the
// infection list and is reported.
class RemovalRun : public QObject {
    Q_OBJECT
public:
    using ConfirmCommand = std::function<ScanConfirmation::Command()>;

    RemovalRun(ProgramData &data, std::function<void()> stopRoutine, QObject *parent = nullptr);

    void setTickInterval(int ms);
    // The scanner and databases to ask again (those of the scan that found the infections).
    // Without one nothing is confirmed, so nothing is taken.
    void setConfirmCommand(ConfirmCommand command) { m_confirmCommand = std::move(command); }

    // The main window's "Remove Found Infections" button.
    void removeFoundInfections();
    void start();
    bool isRunning() const { return m_running; }
    // True while the scanner is being asked again; the steps wait for it.
    bool isConfirming() const { return m_confirmation.isRunning(); }

    QString doneText() const { return m_doneText; }
    QString threatText() const { return m_threatText; }
    int removedCount() const { return m_removed; }
    int notRemovedCount() const { return m_notRemoved; }
    // Of those not removed: the ones the scanner did not report again, or that changed before
    // they could be taken.
    int unconfirmedCount() const { return m_unconfirmed; }
    // Files that could not be deleted and were cut to one byte where they are (not removed, and
    // not counted as not removed): their content is in the vault.
    int neutralisedCount() const { return m_neutralised; }

    // Points at which tests act between the steps of taking a file.
    struct TestHooks {
        // After the copy and its record are stored, before the file leaves its place.
        std::function<void(const QByteArray &path)> beforeDelete;
        // Once the file lies under its hidden name, before it is checked.
        std::function<void(const QByteArray &path)> afterMovedAside;
    };
    void setTestHooks(TestHooks hooks) { m_hooks = std::move(hooks); }
    bool vaultWasFull() const { return m_vaultFull; }

    // The byte written into a file that can be neither deleted nor renamed away.
    static constexpr char neutralByte = '\0';

signals:
    void confirmStopRequested();
    void removalWindowOpened();
    void progressChanged();
    void removalWindowClosed();
    void resultsWindowRequested(int removed, int notRemoved, bool vaultFull, int unconfirmed);
    void saveFailed(const QString &message);
    // Something the user must know that is no failure of a save (where a file was kept).
    void noticeRaised(const QString &message);
    void finished();

private:
    void tick();
    enum class Outcome { Removed, Neutralised, Stays };
    // Processes infection record n: Removed when it is now in the vault and gone from its place,
    // Neutralised when its copy is in the vault and the file was made harmless where it is.
    Outcome removeOne(int n);
    // The path a step acts on: the whole printed path, or the record's path when it cannot
    // have been cut; empty when there is none to act on.
    QByteArray actionPath(int n) const;
    void endProcessesOf(const QByteArray &path);
    // Copies the file into the vault under a name no file and no record uses, the step's note
    // naming that copy written first; false when no copy could be made. vaultPath receives the
    // copy's path.
    bool copyIntoVault(const platform::HeldFile &file, const QByteArray &name,
                       const platform::Attributes &attributes, RemovalNote &note,
                       QByteArray *vaultPath, platform::FileContent *content, QString *error);
    enum class Stored { Both, Nothing, RecordsOnly };
    // Ends the run where it is: what was removed by then is recorded and the rest stays listed.
    // showResults is false when the program is closing.
    void finish(bool showResults = true);
    // Saves the vault and the settings record (its count); a failure is reported once.
    Stored storeVault();
    // Takes back the last record and its copy when the file stays in its place. The copy is
    // deleted only once no stored record can name it: the records file is written without it
    // first (a count stored after all would otherwise bring back a record without a copy).
    // Until then the step's note stays, for start-up to settle.
    void takeBack(const QByteArray &vaultPath, bool recordsNameIt);
    void endStep();

    ProgramData &m_data;
    std::function<void()> m_stopRoutine;
    QTimer m_timer;
    ConfirmCommand m_confirmCommand;
    ScanConfirmation m_confirmation;
    QHash<QByteArray, platform::FileStamp> m_asked;  // paths asked about again, as they were
    QSet<QByteArray> m_taken;                        // paths this run has taken into the vault
    // Files (device, inode) this run has taken, with the digest of what was taken.
    QHash<std::pair<quint64, quint64>, QByteArray> m_takenFiles;
    // Of those, the files cut to one byte where they are.
    QSet<std::pair<quint64, quint64>> m_neutralisedFiles;
    QByteArray m_notePath;  // the note of the step under way, empty when none is written
    TestHooks m_hooks;
    std::vector<bool> m_removedFlags;  // by record number - 1
    int m_total = 0;
    int m_index = 0;
    int m_removed = 0;
    int m_notRemoved = 0;
    int m_unconfirmed = 0;
    int m_neutralised = 0;
    bool m_vaultFull = false;
    bool m_storeFailureReported = false;
    bool m_copyFailureReported = false;
    bool m_running = false;
    QString m_doneText = QStringLiteral("0");
    QString m_threatText;
};
