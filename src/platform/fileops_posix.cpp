#include "platform/fileops.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <climits>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <vector>

#include <QCryptographicHash>
#include <QRandomGenerator>

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

QByteArray namePart(const QByteArray &path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

// The name-changing calls, each announced to the crash-test hook first.
int renameAt(int fromDir, const char *from, int toDir, const char *to, unsigned flags) {
    beforeNameChange();
    return ::renameat2(fromDir, from, toDir, to, flags);
}

int linkAt(int fromDir, const char *from, int toDir, const char *to, int flags = 0) {
    beforeNameChange();
    return ::linkat(fromDir, from, toDir, to, flags);
}

// A new file without a name in the folder: a crash before it is named leaves nothing behind.
// -1 where the file system cannot make one.
int createUnnamed(int dir) {
    return ::openat(dir, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
}

// Gives an unnamed file its first name, never replacing anything there.
int nameUnnamed(int fd, int dir, const char *name) {
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    return linkAt(AT_FDCWD, self.constData(), dir, name, AT_SYMLINK_FOLLOW);
}

int unlinkAt(int dir, const char *name) {
    beforeNameChange();
    return ::unlinkat(dir, name, 0);
}

// Renames without replacing anything at the new name. File systems without that kind of
// rename get a hard link, which never replaces either, and the old name is then dropped.
int renameKeeping(int dir, const char *from, const char *to) {
    if (renameAt(dir, from, dir, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
    if (linkAt(dir, from, dir, to) != 0)
        return -1;
    unlinkAt(dir, from);
    return 0;
}

// Makes a new file of the program's own under a temporary name in the folder.
int createTemporary(int dir, QByteArray *name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        *name = QByteArray(temporaryPrefix) +
                QByteArray::number(QRandomGenerator::system()->generate64(), 36);
        const int fd = ::openat(dir, name->constData(),
                                O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

bool syncDescriptor(int dir) {
    return ::fsync(dir) == 0;
}

void describe(const struct stat &st, FileContent *content) {
    content->device = static_cast<quint64>(st.st_dev);
    content->inode = static_cast<quint64>(st.st_ino);
    content->size = static_cast<qint64>(st.st_size);
    content->modifiedSeconds = static_cast<qint64>(st.st_mtim.tv_sec);
    content->modifiedNanoseconds = static_cast<qint64>(st.st_mtim.tv_nsec);
}

bool sameState(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

constexpr ssize_t blockSize = 1 << 16;

// Streams the whole of in (from its first byte) to out when out is not -1, hashing what is read;
// an empty text when it went well.
QString stream(int in, int out, QByteArray *digest) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    std::vector<char> block(blockSize);
    off_t offset = 0;
    for (;;) {
        const ssize_t n = ::pread(in, block.data(), blockSize, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return lastError("Cannot read the source");
        if (n == 0)
            break;
        offset += n;
        hash.addData(QByteArrayView(block.data(), n));
        if (out >= 0 && !writeAll(out, block.data(), n))
            return lastError("Cannot write the destination");
    }
    if (digest)
        *digest = hash.result();
    return {};
}

// The digest of what the descriptor holds now, with its state before and after the read; empty
// when it could not be read or changed meanwhile.
QByteArray digestOf(int fd, struct stat *state) {
    struct stat after {};
    QByteArray digest;
    if (::fstat(fd, state) != 0 || !S_ISREG(state->st_mode) || !stream(fd, -1, &digest).isEmpty() ||
        ::fstat(fd, &after) != 0 || !sameState(*state, after))
        return {};
    return digest;
}

bool matches(const struct stat &st, const QByteArray &digest, const FileContent &copied) {
    FileContent now;
    describe(st, &now);
    return !digest.isEmpty() && now.sameFileAs(copied) && now.size == copied.size &&
           now.modifiedSeconds == copied.modifiedSeconds &&
           now.modifiedNanoseconds == copied.modifiedNanoseconds && digest == copied.digest;
}

bool unableToCreate(int error) {
    return error == EACCES || error == EPERM || error == EROFS;
}

// Writes the whole of in over the regular file name of dir, truncating it: for a folder that
// lets no new file be made.
QString overwriteInPlace(int in, int dir, const QByteArray &name, unsigned mode) {
    const int out = ::openat(dir, name.constData(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (out < 0)
        return lastError("Cannot create the destination");
    struct stat st {};
    QString error;
    if (::fstat(out, &st) != 0 || !S_ISREG(st.st_mode))
        error = QStringLiteral("The destination is not a regular file");
    else if (::ftruncate(out, 0) != 0)
        error = lastError("Cannot write the destination");
    if (error.isEmpty())
        error = stream(in, out, nullptr);
    // The mode can be given back only by the file's owner; the content is what matters.
    if (error.isEmpty())
        (void)::fchmod(out, static_cast<mode_t>(mode));
    if (error.isEmpty() && ::fsync(out) != 0)
        error = lastError("Cannot write the destination");
    if (::close(out) != 0 && error.isEmpty())
        error = lastError("Cannot write the destination");
    return error;
}

// The copy itself: in (a regular file) to the entry name of dir.
QString copyDescriptor(int in, int dir, const QByteArray &name, unsigned mode, IfExists ifExists,
                       bool *existed, const Attributes &attributes, FileContent *content,
                       unsigned *sourceMode) {
    if (existed)
        *existed = false;
    struct stat before {};
    if (::fstat(in, &before) != 0 || !S_ISREG(before.st_mode))
        return QStringLiteral("The source is not a regular file");
    if (sourceMode)
        *sourceMode = before.st_mode & 0777;

    // The new file lies in the destination's folder (a rename stays on one file system) under a
    // short name of its own, so that a destination name near the limit still fits.
    QByteArray temp;
    int out = createUnnamed(dir);
    const bool unnamed = out >= 0;
    if (!unnamed)
        out = createTemporary(dir, &temp);
    if (out < 0) {
        const int cause = errno;
        struct stat there {};
        if (ifExists == IfExists::Replace && unableToCreate(cause) &&
            ::fstatat(dir, name.constData(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(there.st_mode)) {
            const QString error = overwriteInPlace(in, dir, name, mode);
            return error.isEmpty() && !syncDescriptor(dir)
                       ? lastError("Cannot write the destination's folder")
                       : error;
        }
        errno = cause;
        return lastError("Cannot create the destination");
    }
    QString error;
    if (::fchmod(out, static_cast<mode_t>(mode)) != 0)
        error = lastError("Cannot set the mode");
    QByteArray digest;
    if (error.isEmpty())
        error = stream(in, out, &digest);
    struct stat after {};
    if (error.isEmpty() && (::fstat(in, &after) != 0 || !sameState(before, after)))
        error = QStringLiteral("The file changed while it was copied");
    // A file system without user attributes, or without room for one this long (a path of
    // thousands of bytes on ext4), keeps the copy without it: what start-up needs is in the
    // step's note, and a restore then asks for a folder or uses the recorded path.
    for (const auto &[attribute, value] : attributes) {
        if (error.isEmpty() &&
            ::fsetxattr(out, attribute.constData(), value.constData(),
                        static_cast<size_t>(value.size()), 0) != 0 &&
            errno != ENOTSUP && errno != E2BIG && errno != ENOSPC && errno != ERANGE)
            error = lastError("Cannot keep the file's details");
    }
    if (error.isEmpty() && ::fsync(out) != 0)
        error = lastError("Cannot write the destination");
    // Kept, the unnamed file takes its name directly (a link never replaces anything); to
    // replace, it is named beside the destination and renamed over it.
    bool placed = false;
    if (error.isEmpty() && unnamed) {
        if (ifExists == IfExists::Keep) {
            placed = nameUnnamed(out, dir, name.constData()) == 0;
            if (!placed && errno == EEXIST && existed)
                *existed = true;
            if (!placed)
                error = errno == EEXIST ? QStringLiteral("The destination exists already")
                                        : lastError("Cannot create the destination");
        } else {
            for (int attempt = 0; attempt < 100 && temp.isEmpty(); ++attempt) {
                temp = QByteArray(temporaryPrefix) +
                       QByteArray::number(QRandomGenerator::system()->generate64(), 36);
                if (nameUnnamed(out, dir, temp.constData()) != 0) {
                    if (errno != EEXIST) {
                        error = lastError("Cannot create the destination");
                        attempt = 100;
                    }
                    temp.clear();
                }
            }
            if (temp.isEmpty() && error.isEmpty())
                error = QStringLiteral("Cannot create the destination");
        }
    }
    if (::close(out) != 0 && error.isEmpty())
        error = lastError("Cannot write the destination");
    if (error.isEmpty() && !placed) {
        if (ifExists == IfExists::Replace) {
            if (renameAt(dir, temp.constData(), dir, name.constData(), 0) != 0) {
                // Another user's file in a shared (sticky) folder cannot be renamed over, though
                // new files can be made there: it is written over in place, as in a folder that
                // lets no new file be made.
                const int cause = errno;
                struct stat there {};
                if (unableToCreate(cause) &&
                    ::fstatat(dir, name.constData(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
                    S_ISREG(there.st_mode)) {
                    unlinkAt(dir, temp.constData());
                    temp.clear();
                    error = overwriteInPlace(in, dir, name, mode);
                } else {
                    errno = cause;
                    error = lastError("Cannot replace the destination");
                }
            }
        } else if (renameKeeping(dir, temp.constData(), name.constData()) != 0) {
            if (errno == EEXIST && existed)
                *existed = true;
            error = errno == EEXIST ? QStringLiteral("The destination exists already")
                                    : lastError("Cannot create the destination");
        }
    }
    if (!error.isEmpty()) {
        if (placed)
            unlinkAt(dir, name.constData());
        else if (!temp.isEmpty())
            unlinkAt(dir, temp.constData());
        return error;
    }
    if (!syncDescriptor(dir))
        return lastError("Cannot write the destination's folder");
    if (content) {
        describe(before, content);
        content->digest = digest;
    }
    return {};
}

}  // namespace

void beforeNameChange() {
    static const long killAt = [] {
        const char *text = std::getenv("VZ_TEST_KILL_AT_FILE_CHANGE");
        return text ? std::strtol(text, nullptr, 10) : 0L;
    }();
    static std::atomic<long> changes{0};
    if (killAt > 0 && ++changes == killAt)
        ::raise(SIGKILL);
}

HeldFile::~HeldFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool HeldFile::open(const QByteArray &path) {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = path.isEmpty() ? -1 : ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (m_fd >= 0 && (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(m_fd);
        m_fd = -1;
    }
    return m_fd >= 0;
}

unsigned HeldFile::permissions() const {
    struct stat st {};
    return m_fd >= 0 && ::fstat(m_fd, &st) == 0 ? st.st_mode & 0777 : 0600;
}

bool HeldFile::holdsOnly(char byte) const {
    struct stat st {};
    char first = 0;
    return m_fd >= 0 && ::fstat(m_fd, &st) == 0 && st.st_size == 1 &&
           ::pread(m_fd, &first, 1, 0) == 1 && first == byte;
}

HeldFolder::~HeldFolder() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool HeldFolder::open(const QByteArray &path) {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = path.isEmpty() ? -1 : ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return m_fd >= 0;
}

QByteArray HeldFolder::realPath() const {
    if (m_fd < 0)
        return {};
    char target[4096];
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(m_fd);
    const ssize_t n = ::readlink(link.constData(), target, sizeof target);
    if (n <= 0 || n >= ssize_t(sizeof target) || target[0] != '/')
        return {};
    return QByteArray(target, n);
}

bool HeldFolder::has(const QByteArray &name) const {
    struct stat st {};
    return m_fd >= 0 && !name.isEmpty() &&
           ::fstatat(m_fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

QString copyFile(const QByteArray &source, const QByteArray &destination, unsigned mode,
                 unsigned *sourceMode, IfExists ifExists, bool *existed,
                 const Attributes &attributes) {
    if (existed)
        *existed = false;
    HeldFile in;
    if (!in.open(source))
        return pathExists(source) ? QStringLiteral("The source is not a regular file")
                                  : lastError("Cannot open the source");
    HeldFolder folder;
    if (!folder.open(folderOf(destination)))
        return lastError("Cannot open the destination's folder");
    return copyDescriptor(in.descriptor(), folder.descriptor(), namePart(destination), mode,
                          ifExists, existed, attributes, nullptr, sourceMode);
}

QString copyFileInto(const QByteArray &source, const HeldFolder &folder, const QByteArray &name,
                     unsigned mode, IfExists ifExists, bool *existed) {
    if (existed)
        *existed = false;
    HeldFile in;
    if (!in.open(source))
        return lastError("Cannot open the source");
    if (!folder.isOpen() || name.isEmpty() || name.contains('/'))
        return QStringLiteral("No folder to write to");
    return copyDescriptor(in.descriptor(), folder.descriptor(), name, mode, ifExists, existed, {},
                          nullptr, nullptr);
}

QString copyHeldFile(const HeldFile &source, const QByteArray &destination, unsigned mode,
                     const Attributes &attributes, bool *existed, FileContent *content) {
    if (existed)
        *existed = false;
    HeldFolder folder;
    if (!source.isOpen() || !folder.open(folderOf(destination)))
        return lastError("Cannot open the destination's folder");
    return copyDescriptor(source.descriptor(), folder.descriptor(), namePart(destination), mode,
                          IfExists::Keep, existed, attributes, content, nullptr);
}

TakeOutcome deleteIfUnchanged(const QByteArray &path, const QByteArray &asideName,
                              const FileContent &copied, const std::function<void()> &afterMove) {
    HeldFolder folder;
    if (!folder.open(folderOf(path)))
        return TakeOutcome::Changed;
    const int dir = folder.descriptor();
    const QByteArray name = namePart(path);
    // One step: whatever stands at the name now is what gets checked and deleted.
    if (renameAt(dir, name.constData(), dir, asideName.constData(), RENAME_NOREPLACE) != 0) {
        if (errno == ENOENT)
            return TakeOutcome::Changed;
        if (errno != EINVAL && errno != ENOSYS)
            return TakeOutcome::CannotMove;
        // No such rename here: a second name, then the first dropped while both are the file.
        if (linkAt(dir, name.constData(), dir, asideName.constData()) != 0)
            return errno == ENOENT ? TakeOutcome::Changed : TakeOutcome::CannotMove;
        struct stat atName {
        }, atAside{};
        if (::fstatat(dir, name.constData(), &atName, AT_SYMLINK_NOFOLLOW) != 0 ||
            ::fstatat(dir, asideName.constData(), &atAside, AT_SYMLINK_NOFOLLOW) != 0 ||
            atName.st_ino != atAside.st_ino || atName.st_dev != atAside.st_dev ||
            unlinkAt(dir, name.constData()) != 0) {
            unlinkAt(dir, asideName.constData());
            return TakeOutcome::Changed;
        }
    }
    if (afterMove)
        afterMove();
    bool unchanged = false;
    const int fd = ::openat(dir, asideName.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        struct stat st {};
        const QByteArray digest = digestOf(fd, &st);
        unchanged = matches(st, digest, copied);
        ::close(fd);
    }
    if (unchanged && unlinkAt(dir, asideName.constData()) == 0) {
        syncDescriptor(dir);
        return TakeOutcome::Deleted;
    }
    // Back under its own name, unless something has taken that meanwhile.
    if (renameKeeping(dir, asideName.constData(), name.constData()) != 0)
        return TakeOutcome::LeftAside;
    syncDescriptor(dir);
    return TakeOutcome::Changed;
}

QByteArray putBackAside(const QByteArray &folder, const QByteArray &asideName,
                        const QByteArray &name) {
    HeldFolder held;
    if (name.isEmpty() || name.contains('/') || asideName.contains('/') || !held.open(folder))
        return {};
    const QByteArray base = folder.endsWith('/') ? folder : folder + '/';
    const int dir = held.descriptor();
    for (int attempt = 0; attempt < 100; ++attempt) {
        QByteArray candidate = name;
        if (attempt > 0) {
            // The name's end (its extension) is kept when the whole would not fit.
            const QByteArray prefix =
                "kept" + (attempt > 1 ? QByteArray::number(attempt) : QByteArray()) + '.';
            candidate = prefix + name.right(NAME_MAX - prefix.size());
        }
        if (renameKeeping(dir, asideName.constData(), candidate.constData()) == 0) {
            syncDescriptor(dir);
            return base + candidate;
        }
        if (errno != EEXIST)
            return {};
    }
    return {};
}

bool neutraliseIfUnchanged(const QByteArray &path, const FileContent &copied, char byte) {
    const int fd = ::open(path.constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    const QByteArray digest = digestOf(fd, &st);
    bool ok = matches(st, digest, copied) && ::ftruncate(fd, 0) == 0 && writeAll(fd, &byte, 1) &&
              ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    return ok;
}

QString writeFileAtomically(const QByteArray &path, const QByteArray &bytes, unsigned mode) {
    HeldFolder folder;
    if (!folder.open(folderOf(path)))
        return lastError("Cannot open the folder");
    const int dir = folder.descriptor();
    QByteArray temp;
    const int out = createTemporary(dir, &temp);
    if (out < 0)
        return lastError("Cannot create the file");
    QString error;
    if (::fchmod(out, static_cast<mode_t>(mode)) != 0)
        error = lastError("Cannot set the mode");
    if (error.isEmpty() && (!writeAll(out, bytes.constData(), bytes.size()) || ::fsync(out) != 0))
        error = lastError("Cannot write the file");
    if (::close(out) != 0 && error.isEmpty())
        error = lastError("Cannot write the file");
    if (error.isEmpty() && renameAt(dir, temp.constData(), dir, namePart(path).constData(), 0) != 0)
        error = lastError("Cannot replace the file");
    if (!error.isEmpty()) {
        unlinkAt(dir, temp.constData());
        return error;
    }
    // The rename itself reaches the disk before anything that relies on it is done.
    if (!syncDescriptor(dir))
        return lastError("Cannot sync the folder");
    return {};
}

QList<QByteArray> fileNames(const QByteArray &folder) {
    QList<QByteArray> names;
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return names;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        struct stat st {};
        if (name == "." || name == ".." ||
            ::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            S_ISDIR(st.st_mode))
            continue;
        names << name;
    }
    ::closedir(dir);
    return names;
}

QByteArray extendedAttribute(const QByteArray &path, const char *name) {
    // A whole path can run to 4 KiB; no value the program keeps is longer than that.
    QByteArray value(PATH_MAX + 1, Qt::Uninitialized);
    const ssize_t n = ::lgetxattr(path.constData(), name, value.data(), size_t(value.size()));
    return n > 0 ? value.left(n) : QByteArray();
}

bool setExtendedAttribute(const QByteArray &path, const char *name, const QByteArray &value) {
    return ::lsetxattr(path.constData(), name, value.constData(), static_cast<size_t>(value.size()),
                       0) == 0;
}

bool removeExtendedAttribute(const QByteArray &path, const char *name) {
    return ::lremovexattr(path.constData(), name) == 0;
}

bool sameContent(const QByteArray &a, const QByteArray &b) {
    HeldFile first, second;
    if (!first.open(a) || !second.open(b))
        return false;
    struct stat sa {
    }, sb{};
    const QByteArray da = digestOf(first.descriptor(), &sa);
    const QByteArray db = digestOf(second.descriptor(), &sb);
    return !da.isEmpty() && sa.st_size == sb.st_size && da == db;
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
constexpr const char *originalNameAttribute = attribute::name;
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
constexpr const char *originalModeAttribute = attribute::mode;
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
    return !path.isEmpty() && unlinkAt(AT_FDCWD, path.constData()) == 0;
}

QString replaceFile(const QByteArray &from, const QByteArray &to) {
    if (renameAt(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), 0) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    return {};
}

bool renameNoReplace(const QByteArray &from, const QByteArray &to) {
    return renameAt(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0;
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

bool fileStamp(const HeldFile &file, FileStamp *stamp) {
    struct stat st {};
    if (!file.isOpen() || ::fstat(file.descriptor(), &st) != 0)
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
