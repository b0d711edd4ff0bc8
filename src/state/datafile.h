#pragma once

#include <QByteArray>
#include <QString>

#include "state/status.h"

// The program's data files: whole-image writes that are atomic (write elsewhere, then rename),
// and reads that take what is there.
namespace datafile {

// Writes the bytes to a temporary file beside the path and renames it over the path, then syncs
// the folder, so that a crash leaves the previous complete file or the new one, and the new one
// is on disk when this returns. The error text names the file and the cause.
Status saveAtomically(const QString &path, const QByteArray &bytes);

// Reads at most maxBytes from the front of the file. A missing, short or unreadable file gives
// what could be read (possibly nothing); exists tells whether the file was there, and failed
// whether it was there but could not be opened or read.
QByteArray readFront(const QString &path, qint64 maxBytes, bool *exists = nullptr,
                     bool *failed = nullptr);

}  // namespace datafile
