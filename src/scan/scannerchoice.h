#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include "state/status.h"

class Registry;

// Which scanner program runs the scans, and where it is found.
namespace scannerchoice {

enum class Engine {
    Automatic,  // the own scanner when it is there (with clamd when one answers), else clamscan
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

// The clamd address set by the user (empty when none, or unreadable).
QByteArray storedClamdAddress(const Registry &registry);
Status storeClamdAddress(const Registry &registry, const QByteArray &address);

// Why text is no clamd address (a socket path beginning with "/", or host:port with a port
// from 1 to 65535); empty when it is one, or when it is empty (no address).
QString clamdAddressProblem(const QString &text);

// The clamd configuration read for the system's clamd: $VZ_CLAMD_CONF, else
// /etc/clamav/clamd.conf.
QString clamdConfigFile();
// Its LocalSocket; empty when it names none or cannot be read.
QByteArray systemClamdSocket(const QString &configFile = clamdConfigFile());

// How long one clamd may take to answer PING before it counts as not there.
inline constexpr int pingTimeoutMs = 400;
// True when a clamd answers PING with PONG at address within pingTimeoutMs.
bool clamdAnswers(const QByteArray &address);

// What a scan runs: the scanner, and the clamd it hands the files to (empty: none).
struct Choice {
    QByteArray scanner;
    QByteArray clamd;
};

// Resolves the stored choice. Automatically, the own scanner uses the clamd at the address set
// when it answers PING, else the system's (its LocalSocket), else its own engine. The pings are
// bounded by pingTimeoutMs each.
Choice resolve(const Registry &registry, const QByteArray &programFolder,
               const QByteArray &executableFolder);

// The engine a choice uses, as the About window names it: "own engine", "clamd at ADDR",
// "clamscan" (or the scanner's file name when it is another program).
QString engineName(const Choice &choice);

}  // namespace scannerchoice
