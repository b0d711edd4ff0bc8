#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// Forces the file's data to disk, so that a rename that follows never puts a file in place
// whose contents a crash could still lose. Returns an empty text on success, otherwise the cause.
QString syncFile(const QByteArray &path);

// The login name of the user the program runs as (its effective user id), or empty.
QByteArray currentUserName();

}  // namespace platform
