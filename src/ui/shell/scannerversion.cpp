#include "ui/shell/scannerversion.h"

#include <QFile>

ScannerVersion::ScannerVersion(QObject *parent) : QObject(parent) {
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(15000);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        m_process.kill();
        finish(missingText());
    });
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finish(missingText());
    });
    connect(&m_process, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        const QString firstLine = QString::fromLocal8Bit(m_process.readAllStandardOutput())
                                      .section(QLatin1Char('\n'), 0, 0)
                                      .trimmed();
        if (status != QProcess::NormalExit || code != 0 || firstLine.isEmpty())
            finish(missingText());
        else
            finish(QStringLiteral("Scanner: ") + firstLine);
    });
}

ScannerVersion::~ScannerVersion() {
    // The process would report its end while this object's texts are already gone.
    disconnect(&m_process, nullptr, this, nullptr);
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

QString ScannerVersion::locate(const QString &programFolder, scannerchoice::Engine engine) {
    return QFile::decodeName(scannerchoice::locate(engine, QFile::encodeName(programFolder),
                                                   scannerchoice::executableFolder()));
}

void ScannerVersion::start(const QString &program) {
    if (program.isEmpty()) {
        finish(missingText());
        return;
    }
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.setStandardInputFile(QProcess::nullDevice());
    m_deadline.start();
    m_process.start(program, {QStringLiteral("--version")});
}

void ScannerVersion::finish(const QString &text) {
    if (m_finished)
        return;
    m_finished = true;
    m_deadline.stop();
    m_text = text;
    emit textChanged(m_text);
}
