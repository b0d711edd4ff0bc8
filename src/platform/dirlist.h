#pragma once

#include <QByteArray>
#include <QList>

namespace platform {

// The names of the subdirectories of a folder (never "." or "..", never symbolic links, never
// files). A folder that cannot be read gives what was listed so far, possibly nothing.
QList<QByteArray> subdirectoryNames(const QByteArray &folder);

}  // namespace platform
