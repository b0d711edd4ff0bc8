#pragma once

#include <functional>
#include <vector>

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include "platform/processes.h"

class ProgramData;

// The removal run: takes every infection of the list into the vault, one per timer tick from
// the last found to the first, and holds the texts of the removal window while it runs. A file
// is deleted only once its vault copy exists and its record is stored; what could not be
// quarantined stays in the infection list and is reported.
class RemovalRun : public QObject {
    Q_OBJECT
public:
    RemovalRun(ProgramData &data, std::function<void()> stopRoutine, QObject *parent = nullptr);

    void setTickInterval(int ms);

    // The main window's "Remove Found Infections" button.
    void removeFoundInfections();
    void start();
    bool isRunning() const { return m_running; }

    QString doneText() const { return m_doneText; }
    QString threatText() const { return m_threatText; }
    int removedCount() const { return m_removed; }
    int notRemovedCount() const { return m_notRemoved; }
    bool vaultWasFull() const { return m_vaultFull; }

    // The byte written into a file that can be neither deleted nor renamed away.
    static constexpr char neutralByte = '\0';

signals:
    void confirmStopRequested();
    void removalWindowOpened();
    void progressChanged();
    void removalWindowClosed();
    void resultsWindowRequested(int removed, int notRemoved, bool vaultFull);
    void saveFailed(const QString &message);
    void finished();

private:
    void tick();
    // Processes infection record n; true when it is now in the vault and gone from its place.
    bool removeOne(int n);
    void endProcessesOf(const QByteArray &path);
    // Saves the vault and the settings record (its count); false, reported once, on failure.
    bool storeVault();
    void finish();

    ProgramData &m_data;
    std::function<void()> m_stopRoutine;
    QTimer m_timer;
    std::vector<platform::ProcessEntry> m_snapshot;
    std::vector<bool> m_removedFlags;  // by record number - 1
    int m_total = 0;
    int m_index = 0;
    int m_removed = 0;
    int m_notRemoved = 0;
    bool m_vaultFull = false;
    bool m_storeFailureReported = false;
    bool m_running = false;
    QString m_doneText = QStringLiteral("0");
    QString m_threatText;
};
