#include "scan/scannerchoice.h"

#include <QCoreApplication>
#include <QFile>

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
