#pragma once

#include <QByteArray>
#include <QString>

// File operations on raw path bytes (Linux names are bytes) that Qt does not offer: checks that
// never follow a symbolic link, a streamed copy that never writes through one, and the pieces
// of neutralising a file that cannot be deleted.
namespace platform {

// True when something (of any type, a dangling link included) is at the path.
bool pathExists(const QByteArray &path);

// True when the path names a regular file itself, not a link to one.
bool isRegularFile(const QByteArray &path);

// What a copy does when something is at its destination already.
enum class IfExists { Replace, Keep };

// Copies the regular file at source to destination, streamed in blocks. The copy is written to
// a new file beside the destination with the given mode and then renamed into place, and the
// folder is synced before this returns, so that the copy is on disk under its name before the
// caller deletes anything. With Replace an existing file is replaced whole and a symbolic link
// planted at the destination is replaced rather than written through; with Keep nothing at the
// destination is ever replaced: the copy fails and existed (when given) is set. A failure
// leaves the destination as it was. A source that is a link is refused. When sourceMode is
// given it receives the source's permission bits (0777). Returns an empty text on success,
// otherwise the cause.
QString copyFile(const QByteArray &source, const QByteArray &destination, unsigned mode = 0600,
                 unsigned *sourceMode = nullptr, IfExists ifExists = IfExists::Replace,
                 bool *existed = nullptr);

// Flushes a folder's entries (names made or renamed in it) to disk; false on failure.
bool syncFolder(const QByteArray &folder);

// The canonical absolute path (links and "." / ".." resolved); empty when it does not exist.
QByteArray canonicalPath(const QByteArray &path);

// The file name a quarantined file had, kept with its vault copy in an extended attribute (the
// copy's own name may carry a number or be shortened). Empty when none is kept.
bool keepOriginalName(const QByteArray &copy, const QByteArray &name);
QByteArray keptOriginalName(const QByteArray &copy);

// The permission bits (0777) a file had before it was quarantined, kept with its vault copy in
// an extended attribute so that a restore can give them back while the copy itself stays 0600.
// Keeping fails quietly where the file system has no extended attributes; -1 when none is kept.
bool keepOriginalMode(const QByteArray &copy, unsigned mode);
int keptOriginalMode(const QByteArray &copy);

// Deletes the file (never a folder); false when it could not be deleted.
bool removeFile(const QByteArray &path);

// Opens the regular file for writing, truncates it and writes the one byte; false on failure.
bool truncateToOneByte(const QByteArray &path, char byte);

// Renames within the file system, replacing a file at the new name in one step: there is no
// moment at which neither file is in place. Returns an empty text on success, otherwise the
// cause (both files then stay as they were).
QString replaceFile(const QByteArray &from, const QByteArray &to);

// Renames within the file system without replacing anything at the new name.
bool renameNoReplace(const QByteArray &from, const QByteArray &to);

// The (device, inode) identity of the file at the path, following links; false when missing.
bool fileIdentity(const QByteArray &path, quint64 *device, quint64 *inode);

// What tells one state of a file from another: its identity and its change time (which any
// write, rename over it or attribute change moves on, and which no program can set back).
struct FileStamp {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 changeSeconds = 0;
    qint64 changeNanoseconds = 0;
    bool operator==(const FileStamp &) const = default;
};
// The stamp of the file itself (not a link's target); false when nothing is there.
bool fileStamp(const QByteArray &path, FileStamp *stamp);

// Sets a folder (not a link to one) to mode 0700; false when it is not a folder or cannot be set.
bool restrictFolderToOwner(const QByteArray &path);

}  // namespace platform
