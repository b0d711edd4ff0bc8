#pragma once

#include <QString>
#include <QStringList>

// The database files of the program's database folder that the scanner is given.
namespace databasefiles {

// main, daily and bytecode, in that order, each as whichever of its .cvd and .cld forms is
// there (the newer when both are: freshclam keeps a .cld after applying changes, the direct
// download installs a .cvd). Empty when there is no main database.
QStringList inUse(const QString &folder);

}  // namespace databasefiles
