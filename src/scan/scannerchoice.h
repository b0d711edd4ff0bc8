#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include "state/status.h"

class Registry;

// Which scanner program runs the scans, and where it is found.
namespace scannerchoice {

enum class Engine {
    Automatic,  // the own scanner when it is there, else clamscan
    Own,        // vizavuz-scan; clamscan only when it is missing
    Clamscan,   // clamscan alone
};

// The stored texts: "auto", "own", "clamscan". Anything else reads as Automatic.
Engine fromText(QByteArrayView text);
QByteArray text(Engine engine);

// The choice stored in the key store (Automatic when none or unreadable).
Engine stored(const Registry &registry);
Status store(const Registry &registry, Engine engine);

inline constexpr char ownScannerName[] = "vizavuz-scan";
inline constexpr char clamscanName[] = "clamscan";

// The scanner to run, or empty when there is none. Folders end in "/". The program folder is
// looked in first, then the running executable's folder, then clamscan on PATH. Automatically,
// a scanner put into the program folder wins over one lying next to the executable.
QByteArray locate(Engine engine, const QByteArray &programFolder,
                  const QByteArray &executableFolder);

// The running executable's folder with its trailing "/".
QByteArray executableFolder();

}  // namespace scannerchoice
