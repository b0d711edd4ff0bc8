#include "scan/scannerchoice.h"

#include <QCoreApplication>
#include <QFile>

#include "platform/clamdclient.h"
#include "platform/scannerprocess.h"
#include "state/registry.h"

namespace scannerchoice {

Engine fromText(QByteArrayView text) {
    if (text == QByteArrayView("own"))
        return Engine::Own;
    if (text == QByteArrayView("clamscan"))
        return Engine::Clamscan;
    return Engine::Automatic;
}

QByteArray text(Engine engine) {
    switch (engine) {
        case Engine::Own:
            return QByteArrayLiteral("own");
        case Engine::Clamscan:
            return QByteArrayLiteral("clamscan");
        case Engine::Automatic:
            break;
    }
    return QByteArrayLiteral("auto");
}

Engine stored(const Registry &registry) {
    QByteArray value;
    if (!registry.readText(regkey::scanEngine(), value))
        return Engine::Automatic;
    return fromText(value);
}

Status store(const Registry &registry, Engine engine) {
    return registry.writeText(regkey::scanEngine(), text(engine));
}

QByteArray locate(Engine engine, const QByteArray &programFolder,
                  const QByteArray &executableFolder) {
    QList<QByteArray> candidates;
    const QByteArray own = ownScannerName;
    const QByteArray clamscan = clamscanName;
    switch (engine) {
        case Engine::Automatic:
            candidates = {programFolder + own, programFolder + clamscan, executableFolder + own};
            break;
        case Engine::Own:
            candidates = {programFolder + own, executableFolder + own, programFolder + clamscan};
            break;
        case Engine::Clamscan:
            candidates = {programFolder + clamscan};
            break;
    }
    for (const QByteArray &candidate : candidates) {
        // An unknown folder leaves a bare name, which must never be taken relative to the
        // working folder.
        if (candidate.startsWith('/') && platform::isExecutable(candidate))
            return candidate;
    }
    return platform::findOnPath(clamscan);
}

QByteArray executableFolder() {
    if (!QCoreApplication::instance())
        return {};
    return QFile::encodeName(QCoreApplication::applicationDirPath()) + '/';
}

}  // namespace scannerchoice

namespace scannerchoice {

QByteArray storedClamdAddress(const Registry &registry) {
    QByteArray value;
    if (!registry.readText(regkey::clamdAddress(), value))
        return {};
    return value;
}

Status storeClamdAddress(const Registry &registry, const QByteArray &address) {
    return registry.writeText(regkey::clamdAddress(), address);
}

QString clamdAddressProblem(const QString &text) {
    if (text.isEmpty())
        return {};
    const QString form = QStringLiteral(
        "Enter clamd's local socket, a path beginning with \"/\" (such as "
        "/run/clamav/clamd.ctl), or host:port (such as 192.168.1.5:3310).");
    for (const QChar c : text) {
        if (c.isSpace() || c.category() == QChar::Other_Control)
            return QStringLiteral("A clamd address holds no spaces. ") + form;
    }
    if (text.startsWith(u'/')) {
        // The longest path a local socket address holds (sockaddr_un).
        if (QFile::encodeName(text).size() > 107)
            return QStringLiteral("The socket path is longer than 107 bytes. ") + form;
        return {};
    }
    const qsizetype colon = text.lastIndexOf(u':');
    QString host = colon > 0 ? text.left(colon) : QString();
    bool numeric = false;
    const int port = colon > 0 ? text.mid(colon + 1).toInt(&numeric) : 0;
    const bool bracketed = host.startsWith(u'[') && host.endsWith(u']');
    if (bracketed)
        host = host.mid(1, host.size() - 2);
    if (host.isEmpty() || host.contains(u'/') || (!bracketed && host.contains(u':')))
        return form;
    if (!numeric || port < 1 || port > 65535 || !text.mid(colon + 1).front().isDigit())
        return QStringLiteral("The port must be a number from 1 to 65535. ") + form;
    return {};
}

QString clamdConfigFile() {
    const QString configured = qEnvironmentVariable("VZ_CLAMD_CONF");
    return configured.isEmpty() ? QStringLiteral("/etc/clamav/clamd.conf") : configured;
}

QByteArray systemClamdSocket(const QString &configFile) {
    QFile config(configFile);
    if (!config.open(QIODevice::ReadOnly))
        return {};
    QByteArray socket;
    // The last LocalSocket line counts, as in clamd; comments and the option's case as there.
    for (const QByteArray &raw : config.read(1 << 20).split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('#'))
            continue;
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() >= 2 && words.front().compare("LocalSocket", Qt::CaseInsensitive) == 0)
            socket = line.mid(line.indexOf(words[1]));
    }
    return socket.startsWith('/') ? socket : QByteArray();
}

bool clamdAnswers(const QByteArray &address) {
    QByteArray reply;
    return platform::clamdRequest(address, "PING", pingTimeoutMs, &reply) && reply == "PONG";
}

Choice resolve(const Registry &registry, const QByteArray &programFolder,
               const QByteArray &executableFolder) {
    const Engine engine = stored(registry);
    Choice choice;
    choice.scanner = locate(engine, programFolder, executableFolder);
    // clamd takes files from the own scanner only.
    if (engine != Engine::Automatic ||
        !choice.scanner.endsWith(QByteArray("/").append(ownScannerName)))
        return choice;
    const QByteArray set = storedClamdAddress(registry);
    QList<QByteArray> candidates;
    if (!set.isEmpty() && clamdAddressProblem(QFile::decodeName(set)).isEmpty())
        candidates << set;
    if (const QByteArray system = systemClamdSocket(); !system.isEmpty() && system != set)
        candidates << system;
    for (const QByteArray &candidate : std::as_const(candidates)) {
        if (clamdAnswers(candidate)) {
            choice.clamd = candidate;
            break;
        }
    }
    return choice;
}

QString engineName(const Choice &choice) {
    if (!choice.clamd.isEmpty())
        return QStringLiteral("clamd at ") + QFile::decodeName(choice.clamd);
    const QByteArray name = choice.scanner.mid(choice.scanner.lastIndexOf('/') + 1);
    if (name == ownScannerName)
        return QStringLiteral("own engine");
    return QFile::decodeName(name);
}

}  // namespace scannerchoice
