#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QTimer>

#include "scan/scannerchoice.h"

// Asks the scanner for its version once ("clamscan --version") without blocking the caller; the
// answer, or a clear text when there is no scanner, arrives through textChanged.
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

    QString text() const { return m_text; }
    bool finished() const { return m_finished; }

    static QString pendingText() { return QStringLiteral("Scanner: checking..."); }
    static QString missingText() { return QStringLiteral("Scanner: ClamAV (clamscan) not found"); }

signals:
    void textChanged(const QString &text);

private:
    void finish(const QString &text);

    QProcess m_process;
    QTimer m_deadline;
    QString m_text = pendingText();
    bool m_finished = false;
};
