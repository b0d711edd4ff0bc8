#include "platform/filesync.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

namespace platform {

QString syncFile(const QByteArray &path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    int rc;
    do {
        rc = ::fsync(fd);
    } while (rc != 0 && errno == EINTR);
    const int error = rc == 0 ? 0 : errno;
    ::close(fd);
    return error ? QString::fromLocal8Bit(std::strerror(error)) : QString();
}

QByteArray currentUserName() {
    const passwd *pw = ::getpwuid(::geteuid());
    return pw && pw->pw_name ? QByteArray(pw->pw_name) : QByteArray();
}

}  // namespace platform
