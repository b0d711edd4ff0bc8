#include "platform/fileops.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace platform {

namespace {

QString lastError(const char *what) {
    return QStringLiteral("%1: %2").arg(QLatin1StringView(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

bool writeAll(int fd, const char *data, ssize_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

}  // namespace

bool pathExists(const QByteArray &path) {
    struct stat st {};
    return !path.isEmpty() && ::lstat(path.constData(), &st) == 0;
}

bool isRegularFile(const QByteArray &path) {
    struct stat st {};
    return !path.isEmpty() && ::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode);
}

namespace {

QByteArray folderOf(const QByteArray &path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

// Renames without replacing anything at the new name. File systems without that kind of
// rename get a hard link, which never replaces either, and the old name is then dropped.
int renameKeeping(const char *from, const char *to) {
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
    if (::link(from, to) != 0)
        return -1;
    ::unlink(from);
    return 0;
}

}  // namespace

QString copyFile(const QByteArray &source, const QByteArray &destination, unsigned mode,
                 unsigned *sourceMode, IfExists ifExists, bool *existed) {
    if (existed)
        *existed = false;
    const int in = ::open(source.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0)
        return lastError("Cannot open the source");
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return QStringLiteral("The source is not a regular file");
    }
    if (sourceMode)
        *sourceMode = st.st_mode & 0777;

    // The new file lies in the destination's folder (a rename stays on one file system) under a
    // short name of its own, so that a destination name near the limit still fits.
    QByteArray temp =
        destination.left(destination.lastIndexOf('/') + 1) + QByteArrayLiteral(".vz-XXXXXX");
    const int out = ::mkostemp(temp.data(), O_CLOEXEC);
    if (out < 0) {
        const QString error = lastError("Cannot create the destination");
        ::close(in);
        return error;
    }
    QString error;
    if (::fchmod(out, static_cast<mode_t>(mode)) != 0)
        error = lastError("Cannot set the mode");
    static constexpr ssize_t blockSize = 1 << 16;
    char block[blockSize];
    while (error.isEmpty()) {
        const ssize_t n = ::read(in, block, blockSize);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = lastError("Cannot read the source");
            break;
        }
        if (n == 0)
            break;
        if (!writeAll(out, block, n))
            error = lastError("Cannot write the destination");
    }
    if (error.isEmpty() && ::fsync(out) != 0)
        error = lastError("Cannot write the destination");
    if (::close(out) != 0 && error.isEmpty())
        error = lastError("Cannot write the destination");
    ::close(in);
    if (error.isEmpty()) {
        if (ifExists == IfExists::Replace) {
            if (::rename(temp.constData(), destination.constData()) != 0)
                error = lastError("Cannot replace the destination");
        } else if (renameKeeping(temp.constData(), destination.constData()) != 0) {
            if (errno == EEXIST && existed)
                *existed = true;
            error = errno == EEXIST ? QStringLiteral("The destination exists already")
                                    : lastError("Cannot create the destination");
        }
    }
    if (!error.isEmpty()) {
        ::unlink(temp.constData());
        return error;
    }
    if (!syncFolder(folderOf(destination)))
        return lastError("Cannot write the destination's folder");
    return {};
}

bool syncFolder(const QByteArray &folder) {
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

QByteArray canonicalPath(const QByteArray &path) {
    if (path.isEmpty())
        return {};
    char *resolved = ::realpath(path.constData(), nullptr);
    if (!resolved)
        return {};
    QByteArray result(resolved);
    std::free(resolved);
    return result;
}

namespace {
constexpr char originalNameAttribute[] = "user.vizavuz.name";
}

bool keepOriginalName(const QByteArray &copy, const QByteArray &name) {
    return ::lsetxattr(copy.constData(), originalNameAttribute, name.constData(),
                       static_cast<size_t>(name.size()), 0) == 0;
}

QByteArray keptOriginalName(const QByteArray &copy) {
    char name[1024];
    const ssize_t n = ::lgetxattr(copy.constData(), originalNameAttribute, name, sizeof name);
    if (n <= 0)
        return {};
    const QByteArray kept(name, n);
    // Only a plain name: never a path, never "." or "..".
    if (kept.contains('/') || kept.contains('\0') || kept == "." || kept == "..")
        return {};
    return kept;
}

namespace {
constexpr char originalModeAttribute[] = "user.vizavuz.mode";
}

bool keepOriginalMode(const QByteArray &copy, unsigned mode) {
    const QByteArray text = QByteArray::number(mode & 0777, 8);
    return ::lsetxattr(copy.constData(), originalModeAttribute, text.constData(),
                       static_cast<size_t>(text.size()), 0) == 0;
}

int keptOriginalMode(const QByteArray &copy) {
    char text[8] = {};
    const ssize_t n = ::lgetxattr(copy.constData(), originalModeAttribute, text, sizeof(text) - 1);
    if (n <= 0)
        return -1;
    bool ok = false;
    const unsigned mode = QByteArray(text, n).toUInt(&ok, 8);
    return ok && mode <= 0777 ? static_cast<int>(mode) : -1;
}

bool removeFile(const QByteArray &path) {
    return !path.isEmpty() && ::unlink(path.constData()) == 0;
}

bool truncateToOneByte(const QByteArray &path, char byte) {
    const int fd = ::open(path.constData(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && writeAll(fd, &byte, 1);
    ok = ::close(fd) == 0 && ok;
    return ok;
}

QString replaceFile(const QByteArray &from, const QByteArray &to) {
    if (::rename(from.constData(), to.constData()) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    return {};
}

bool renameNoReplace(const QByteArray &from, const QByteArray &to) {
    return ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0;
}

bool fileIdentity(const QByteArray &path, quint64 *device, quint64 *inode) {
    struct stat st {};
    if (path.isEmpty() || ::stat(path.constData(), &st) != 0)
        return false;
    *device = static_cast<quint64>(st.st_dev);
    *inode = static_cast<quint64>(st.st_ino);
    return true;
}

bool fileStamp(const QByteArray &path, FileStamp *stamp) {
    struct stat st {};
    if (path.isEmpty() || ::lstat(path.constData(), &st) != 0)
        return false;
    stamp->device = static_cast<quint64>(st.st_dev);
    stamp->inode = static_cast<quint64>(st.st_ino);
    stamp->changeSeconds = static_cast<qint64>(st.st_ctim.tv_sec);
    stamp->changeNanoseconds = static_cast<qint64>(st.st_ctim.tv_nsec);
    return true;
}

bool restrictFolderToOwner(const QByteArray &path) {
    struct stat st {};
    if (path.isEmpty() || ::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    return (st.st_mode & 07777) == 0700 || ::chmod(path.constData(), 0700) == 0;
}

}  // namespace platform
