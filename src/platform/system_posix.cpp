#include "platform/system.h"

#include <dlfcn.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>

namespace platform {

QString programFolder() {
    char buffer[4096];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0)
        return QStringLiteral("/");
    const QString exe = QFile::decodeName(QByteArray(buffer, length));
    QString folder = QFileInfo(exe).absolutePath();
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

QString roamingDataFolder() {
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    if (!xdg.isEmpty())
        return xdg;
    const QString home = qEnvironmentVariable("HOME");
    if (!home.isEmpty())
        return home + QStringLiteral("/.local/share");
    return {};
}

void *DynamicLibrary::open(const QByteArray &fileName) {
    return ::dlopen(fileName.constData(), RTLD_NOW | RTLD_LOCAL);
}

void *DynamicLibrary::symbol(void *handle, const char *name) {
    return handle ? ::dlsym(handle, name) : nullptr;
}

void DynamicLibrary::close(void *handle) {
    if (handle)
        ::dlclose(handle);
}

}  // namespace platform
