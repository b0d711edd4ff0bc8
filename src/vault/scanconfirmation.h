#pragma once

#include <atomic>
#include <mutex>
#include <thread>

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

// Asks the scanner once more about the files a removal run is to take, before any of them is
// touched. Each path is given to the scanner as its own argument, and a path counts as
// confirmed only when the scanner reports that exact path FOUND. A line of the earlier scan's
// output may have been forged by a file name holding a line break; the paths here come from
// split lines and hold none, so the answers cannot be forged the same way.
class ScanConfirmation : public QObject {
    Q_OBJECT
public:
    // The scanner and the options that select its databases and what it leaves out.
    struct Command {
        QByteArray scanner;
        QList<QByteArray> options;
        QByteArray workingFolder = QByteArrayLiteral("/");

        // The scanner of a scan's launch and the options among its arguments (databases,
        // exclusions), without the recursion.
        static Command ofScan(const QByteArray &scanner, const QList<QByteArray> &arguments,
                              const QByteArray &workingFolder);
    };

    explicit ScanConfirmation(QObject *parent = nullptr);
    // A scanner still running is ended.
    ~ScanConfirmation() override;

    // Starts the scanner on a worker thread; finished() follows on this object's thread.
    void start(const Command &command, const QList<QByteArray> &paths);
    // Ends a scanner still running; what it reported so far stands.
    void cancel();

    bool isRunning() const { return m_running; }
    bool isConfirmed(const QByteArray &path) const { return m_confirmed.contains(path); }
    QSet<QByteArray> confirmed() const { return m_confirmed; }
    // Why nothing could be asked (no scanner, no start); empty when the scanner ran.
    QString error() const { return m_error; }

    // The paths of the list that the output reports FOUND, each on a line of its own:
    // "<path>: <threat> FOUND", the path being all before the last ": ". None when the output
    // reports anything inside an asked path (it has become a folder).
    static QSet<QByteArray> confirmedPaths(const QByteArray &output,
                                           const QList<QByteArray> &paths);

signals:
    void finished();

private:
    void finish(const QByteArray &output, const QString &error);
    void join();

    std::thread m_worker;
    std::mutex m_mutex;  // guards the process id against its reuse after the reap
    int m_pid = -1;
    std::atomic<bool> m_abandoned{false};
    bool m_running = false;
    QList<QByteArray> m_paths;
    QSet<QByteArray> m_confirmed;
    QString m_error;
};
