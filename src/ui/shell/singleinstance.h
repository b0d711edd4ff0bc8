#pragma once

#include <memory>

#include <QObject>
#include <QString>

class QLocalServer;
class QLockFile;

// One running program per user. Two programs would each hold the vault table and the settings
// record in memory and overwrite each other's files, losing vault records. The first start
// holds a lock file and listens on a local socket; a later start asks it to come to the front
// and ends. A lock left by a program that crashed is taken over.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // The lock file lies in `folder` (made when missing).
    explicit SingleInstance(const QString &folder, QObject *parent = nullptr);
    ~SingleInstance() override;

    // True for the first start: the lock is held and later starts are listened for.
    bool claim();
    // For a later start: asks the running program to come to the front, trying for up to
    // `timeoutMs` while it may still be starting; false when it could not be reached.
    bool activateRunning(int timeoutMs = 3000);

    QString lockFile() const { return m_lockPath; }

signals:
    // A later start asked for the program to come to the front.
    void activationRequested();

private:
    QString m_lockPath;
    QString m_serverName;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
};
