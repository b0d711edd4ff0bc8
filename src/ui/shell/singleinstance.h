#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class QLocalServer;
class QLocalSocket;
class QLockFile;

// One running program per user. Two programs would each hold the vault table and the settings
// record in memory and overwrite each other's files, losing vault records. The first start
// holds a lock file and listens on a local socket; a later start asks it to come to the front,
// or to scan files and folders, and ends. A lock left by a program that crashed is taken over.
// The socket lies in a folder only the user can create files in, and both ends check that the
// other runs as the same user: no other user can receive a request or answer one.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // The lock file lies in `folder` (made when missing).
    explicit SingleInstance(const QString &folder, QObject *parent = nullptr);
    ~SingleInstance() override;

    // True for the first start: the lock is held, and later starts are listened for unless
    // problem() says why they cannot be.
    bool claim();
    // True when a live program holds the lock in `folder` now; it may end at any time, so only
    // claim() decides. Needs no application object.
    static bool heldByAnother(const QString &folder);
    // For a later start: asks the running program to come to the front, trying for up to
    // `timeoutMs` while it may still be starting; false when it could not be reached.
    bool activateRunning(int timeoutMs = 3000);

    // Failed: the scheduled scan could not start (a scan request is only ever refused).
    enum class ScanAnswer { Scanning, Refused, Unreachable, TooLarge, Failed };
    // For a later start: hands `paths` to the running program and waits for its answer, for up
    // to `timeoutMs` in all. `refusal` receives why it scans nothing, as the running program
    // sent it (not fit for a terminal as it is). TooLarge: the request would be over the limit
    // and was not sent; problem() says so.
    ScanAnswer requestScan(const QStringList &paths, QString *refusal = nullptr,
                           int timeoutMs = 20000);

    // For a later start run by the schedule: asks the running program to run the scheduled
    // scan. Answered as a scan request.
    ScanAnswer requestScheduledScan(QString *refusal = nullptr, int timeoutMs = 20000);
    // Answers the scheduled-scan requests: empty when the scan started, else why not, with
    // `failed` set when it tried and could not start rather than skipped the run.
    using ScheduledHandler = std::function<QString(bool *failed)>;
    void setScheduledHandler(ScheduledHandler handler);

    // Answers the scan requests of later starts: empty when the scan started, else why not.
    // Requests that come before there is a handler wait for it.
    using ScanHandler = std::function<QString(const QStringList &paths)>;
    void setScanHandler(ScanHandler handler);

    QString lockFile() const { return m_lockPath; }
    // Where the socket is; empty when there is no safe place for it.
    QString socketPath() const { return m_socketPath; }
    // Why the socket could not be had (first start), or why the running program could not be
    // reached (later start); empty when nothing is known.
    QString problem() const { return m_problem; }

    // The longest request a later start may send.
    static constexpr qint64 maxRequest = 16 * 1024 * 1024;
    // Why a request of `bytes` bytes (0: not known, only that it is over) is not sent or taken.
    static QString requestTooLargeText(qint64 bytes = 0);

signals:
    // A later start asked for the program to come to the front.
    void activationRequested();

private:
    struct Pending {
        QPointer<QLocalSocket> socket;
        QStringList paths;
        bool scheduled = false;
    };
    void accept(QLocalSocket *socket);
    struct Received {
        QByteArray bytes;
        qsizetype searched = 0;
    };
    void receive(QLocalSocket *socket, Received &received);
    void answer(QLocalSocket *socket, const QStringList &paths);
    void answerScheduled(QLocalSocket *socket);
    static void reply(QLocalSocket *socket, QByteArray message);
    ScanAnswer request(const QByteArray &message, QString *refusal, int timeoutMs);
    bool connectToRunning(QLocalSocket &socket, int timeoutMs);

    QString m_lockPath;
    QString m_socketPath;
    QString m_problem;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
    ScanHandler m_scanHandler;
    ScheduledHandler m_scheduledHandler;
    std::vector<Pending> m_pending;
};
