#pragma once

#include <QString>

class Registry;

// Where the program keeps the user's data: the folder the key store names when that holds the
// marker after its first character, else the folder computed from the roaming data folder.
// Start-up and a start that only writes into the running program's files find it alike.
struct DataFolder {
    QString folder;      // ends in "/"
    bool store = false;  // the key store names no usable folder: `folder` should be stored

    static DataFolder locate(const Registry &registry, const QString &roaming);
};
