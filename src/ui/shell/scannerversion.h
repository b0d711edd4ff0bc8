#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <thread>

#include "scan/scannerchoice.h"
#include "platform/scannerprocess.h"

class QSocketNotifier;

// Asks the scanner for its version once ("clamscan --version") without blocking the caller; the
// answer, or a clear text when there is no scanner, arrives through textChanged. Only its first
// line is read, up to longestLine bytes; then, or when the time limit passes, the scanner and
// its process group are ended, whatever it would print further.
class ScannerVersion : public QObject {
    Q_OBJECT
public:
    explicit ScannerVersion(QObject *parent = nullptr);
    // Stops a scanner that has not answered yet; no text is reported afterwards.
    ~ScannerVersion() override;

    // The scanner the scans run for the engine choice (the program folder first, then next to
    // the executable, clamscan on PATH last); empty when there is none.
    static QString locate(const QString &programFolder,
                          scannerchoice::Engine engine = scannerchoice::Engine::Automatic);

    // Runs "<program> --version". An empty program means no scanner was found.
    void start(const QString &program);
    // Resolves the engine choice on a thread of its own (its clamd pings never hold the
    // caller), then names the engine in use before its version: "Scanner: own engine, ...",
    // "Scanner: clamd at ADDR, <clamd's VERSION>", "Scanner: clamscan, ...".
    void startResolved(std::function<scannerchoice::Choice()> resolve);
    // How long the scanner may take to answer before it is ended.
    void setTimeLimit(int ms) { m_deadline.setInterval(ms); }

    QString text() const { return m_text; }
    bool finished() const { return m_finished; }

    static QString pendingText() { return QStringLiteral("Scanner: checking..."); }
    static QString missingText() { return QStringLiteral("Scanner: ClamAV (clamscan) not found"); }
    static constexpr qsizetype longestLine = 4096;

signals:
    void textChanged(const QString &text);

private:
    void onReadable();
    // Ends the scanner's process group, closes its output and reaps it.
    platform::ExitStatus stopChild();
    void finish(const QString &text);

    int m_pid = 0;
    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QByteArray m_output;
    QTimer m_deadline;
    QString m_text = pendingText();
    QString m_engine;  // the engine's name put before the version; empty: none
    std::thread m_resolver;
    bool m_finished = false;
};
