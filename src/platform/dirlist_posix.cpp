#include "platform/dirlist.h"

#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace platform {

QList<QByteArray> subdirectoryNames(const QByteArray &folder) {
    QList<QByteArray> names;
    DIR *dir = opendir(folder.isEmpty() ? "." : folder.constData());
    if (!dir)
        return names;
    const int dirFd = dirfd(dir);
    while (const dirent *entry = readdir(dir)) {
        const char *name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        bool isDir = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat st;
            isDir = fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        }
        if (isDir)
            names.append(QByteArray(name));
    }
    closedir(dir);
    return names;
}

}  // namespace platform
