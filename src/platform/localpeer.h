#pragma once

#include <QString>
#include <QtGlobal>

// What the program needs to know about the user and the other end of its local sockets.
namespace platform {

// The longest path a local socket can be bound to (sun_path less its ending zero byte).
constexpr qsizetype maxSocketPath = 107;

// The user id the program runs as.
unsigned currentUserId();

// The user id of the process at the other end of a connected local socket; false when it
// cannot be told.
bool peerUserId(qintptr socket, unsigned *uid);

// The folder the process runs in, absolute; empty with `reason` set when it cannot be named
// (it was deleted, or a folder above it may not be read).
QString currentFolder(QString *reason);

// A folder where only the user can create files, for the user's sockets: $XDG_RUNTIME_DIR when
// it is a folder of the user's that no one else may write to, else the folder
// "vizavuz-antivirus-<uid>" in $TMPDIR (or /tmp, when that is no folder or too long a
// path), made with mode 0700. A name of up to
// `nameLength` bytes must fit after it and a "/" within maxSocketPath. Empty with `problem`
// set when no such folder can be had (the folder belongs to someone else, is open to others).
QString privateSocketFolder(qsizetype nameLength, QString *problem);

}  // namespace platform
