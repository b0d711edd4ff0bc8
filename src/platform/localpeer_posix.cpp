#include "platform/localpeer.h"

#include <cerrno>
#include <cstring>
#include <limits.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

namespace platform {

namespace {

QString errorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

bool fits(const QByteArray &folder, qsizetype nameLength) {
    return folder.size() + 1 + nameLength <= maxSocketPath;
}

// Why only the user could not create files in `folder` ("" when only the user can): it must
// be a folder (not a link to one) of the user's, and `openBits` of its mode must be clear.
QString folderProblem(const QByteArray &folder, mode_t openBits) {
    struct stat info {};
    if (::lstat(folder.constData(), &info) != 0)
        return QStringLiteral("the folder %1 cannot be used: %2")
            .arg(QFile::decodeName(folder), errorText(errno));
    if (!S_ISDIR(info.st_mode))
        return QStringLiteral("%1 is not a folder").arg(QFile::decodeName(folder));
    if (info.st_uid != ::geteuid())
        return QStringLiteral("the folder %1 belongs to another user (user id %2)")
            .arg(QFile::decodeName(folder))
            .arg(info.st_uid);
    if ((info.st_mode & openBits) != 0)
        return QStringLiteral("the folder %1 is open to other users (mode %2)")
            .arg(QFile::decodeName(folder))
            .arg(info.st_mode & 07777, 4, 8, QLatin1Char('0'));
    return {};
}

}  // namespace

unsigned currentUserId() {
    return ::geteuid();
}

bool peerUserId(qintptr socket, unsigned *uid) {
    struct ucred credentials {};
    socklen_t length = sizeof credentials;
    if (socket < 0 ||
        ::getsockopt(int(socket), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 ||
        length != sizeof credentials)
        return false;
    *uid = credentials.uid;
    return true;
}

QString currentFolder(QString *reason) {
    char buffer[PATH_MAX + 1];
    // getcwd may also answer "(unreachable)/..." for a folder outside the process's root:
    // only an absolute name counts.
    if (::getcwd(buffer, sizeof buffer) == nullptr) {
        const int error = errno;
        *reason = error == ENOENT ? QStringLiteral("the folder the command runs in was deleted")
                                  : QStringLiteral(
                                        "the folder the command runs in cannot be "
                                        "named: ") +
                                        errorText(error);
        return {};
    }
    if (buffer[0] != '/') {
        *reason = QStringLiteral("the folder the command runs in cannot be named");
        return {};
    }
    return QFile::decodeName(QByteArray(buffer));
}

QString privateSocketFolder(qsizetype nameLength, QString *problem) {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.startsWith('/') && fits(runtime, nameLength) &&
        folderProblem(runtime, S_IWGRP | S_IWOTH).isEmpty())
        return QFile::decodeName(runtime);

    const QByteArray own = "/vizavuz-antivirus-" + QByteArray::number(::geteuid());
    QByteArray base = qgetenv("TMPDIR");
    while (base.size() > 1 && base.endsWith('/'))
        base.chop(1);
    struct stat info {};
    if (!base.startsWith('/') || !fits(base + own, nameLength) ||
        ::stat(base.constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        base = "/tmp";
    const QByteArray folder = base + own;
    if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST) {
        *problem = QStringLiteral("the folder %1 cannot be made: %2")
                       .arg(QFile::decodeName(folder), errorText(errno));
        return {};
    }
    *problem = folderProblem(folder, S_IRWXG | S_IRWXO);
    return problem->isEmpty() ? QFile::decodeName(folder) : QString();
}

}  // namespace platform
