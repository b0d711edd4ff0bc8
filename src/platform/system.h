#pragma once

#include <QByteArray>
#include <QString>

// Operating-system services that the program needs beyond what Qt offers portably.
namespace platform {

// Folder of the running executable (from /proc/self/exe), ending in "/".
QString programFolder();

// $XDG_DATA_HOME, else $HOME/.local/share; empty when neither is set. No trailing "/".
QString roamingDataFolder();

// A dynamically loaded library (dlopen/dlsym/dlclose).
class DynamicLibrary {
public:
    static void *open(const QByteArray &fileName);
    static void *symbol(void *handle, const char *name);
    static void close(void *handle);
};

}  // namespace platform
