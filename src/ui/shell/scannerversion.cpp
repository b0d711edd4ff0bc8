#include "ui/shell/scannerversion.h"

#include <QFile>
#include <QSocketNotifier>

#include "platform/clamdclient.h"
#include "platform/scannerprocess.h"

ScannerVersion::ScannerVersion(QObject *parent) : QObject(parent) {
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(15000);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        stopChild();
        finish(missingText());
    });
}

ScannerVersion::~ScannerVersion() {
    // The resolver is bounded by its PING and VERSION time-outs.
    if (m_resolver.joinable())
        m_resolver.join();
    stopChild();
}

void ScannerVersion::startResolved(std::function<scannerchoice::Choice()> resolve) {
    m_resolver = std::thread([this, resolve = std::move(resolve)] {
        const scannerchoice::Choice choice = resolve();
        QByteArray version;
        const bool answered = !choice.clamd.isEmpty() &&
                              platform::clamdRequest(choice.clamd, "VERSION", 2000, &version) &&
                              !version.trimmed().isEmpty();
        QMetaObject::invokeMethod(
            this,
            [this, choice, answered, version] {
                m_engine = scannerchoice::engineName(choice);
                if (answered)
                    finish(QStringLiteral("Scanner: ") + m_engine + QStringLiteral(", ") +
                           QString::fromLocal8Bit(version.trimmed()));
                else
                    start(QFile::decodeName(choice.scanner));
            },
            Qt::QueuedConnection);
    });
}

QString ScannerVersion::locate(const QString &programFolder, scannerchoice::Engine engine) {
    return QFile::decodeName(scannerchoice::locate(engine, QFile::encodeName(programFolder),
                                                   scannerchoice::executableFolder()));
}

void ScannerVersion::start(const QString &program) {
    QString error;
    if (program.isEmpty()) {
        finish(missingText());  // nothing to ask: known at once
        return;
    }
    if (!platform::ChildProcess::spawn(QFile::encodeName(program), {"--version"}, "/", &m_pid,
                                       &m_fd, &error)) {
        m_pid = 0;
        // Reported once the caller has connected, as an answer from a scanner would be.
        QTimer::singleShot(0, this, [this] { finish(missingText()); });
        return;
    }
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ScannerVersion::onReadable);
    m_deadline.start();
}

void ScannerVersion::onReadable() {
    char buffer[1024];
    const long n = platform::ChildProcess::readSome(m_fd, buffer, sizeof buffer, 0);
    if (n == -2)
        return;
    if (n <= 0) {
        // It ended without a line feed: what it printed counts only when it ended well.
        const platform::ExitStatus ended = stopChild();
        const QByteArray line = m_output.trimmed();
        if (ended.exited && ended.code == 0 && !line.isEmpty())
            finish(QStringLiteral("Scanner: ") + QString::fromLocal8Bit(line));
        else
            finish(missingText());
        return;
    }
    m_output.append(buffer, n);
    const qsizetype end = m_output.indexOf('\n');
    if (end >= 0 && end <= longestLine) {
        // Its first line is all that is wanted; whatever it would print next is not read.
        const QByteArray line = m_output.left(end).trimmed();
        stopChild();
        finish(line.isEmpty() ? missingText()
                              : QStringLiteral("Scanner: ") + QString::fromLocal8Bit(line));
    } else if (m_output.size() > longestLine) {
        // No version line is this long.
        stopChild();
        finish(missingText());
    }
}

platform::ExitStatus ScannerVersion::stopChild() {
    platform::ExitStatus ended;
    if (m_pid <= 0)
        return ended;
    delete m_notifier;
    m_notifier = nullptr;
    // The whole process group: anything it started with it goes too. The pipe is closed
    // without waiting for its end, which a helper that left the group could hold back.
    platform::ChildProcess::killGroup(m_pid);
    platform::ChildProcess::closeFd(m_fd);
    m_fd = -1;
    ended = platform::ChildProcess::reap(m_pid);
    m_pid = 0;
    m_deadline.stop();
    return ended;
}

void ScannerVersion::finish(const QString &text) {
    if (m_finished)
        return;
    m_finished = true;
    m_deadline.stop();
    m_text = text;
    const QString lead = QStringLiteral("Scanner: ");
    if (!m_engine.isEmpty() && text != missingText() && !text.startsWith(lead + m_engine))
        m_text = lead + m_engine + QStringLiteral(", ") + text.mid(lead.size());
    emit textChanged(m_text);
}
