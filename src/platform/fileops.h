#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <utility>

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

// The extended attributes a vault copy carries: what a restore needs (the file's own name and
// permission bits, the real folder it was found in) and what rebuilds its record when a crash
// came before the record was stored (the whole path and the threat), and the hidden name the
// original is moved to just before it is deleted, and while a restore replaces a file, the
// folder it writes in.
namespace attribute {
inline constexpr char name[] = "user.vizavuz.name";
inline constexpr char mode[] = "user.vizavuz.mode";
inline constexpr char path[] = "user.vizavuz.path";
inline constexpr char threat[] = "user.vizavuz.threat";
inline constexpr char folder[] = "user.vizavuz.folder";
inline constexpr char aside[] = "user.vizavuz.aside";
inline constexpr char restoring[] = "user.vizavuz.restoring";
}  // namespace attribute

// Extended attributes given to a new file before it takes its name: whoever finds it under that
// name (after a crash, say) finds them with it.
using Attributes = QList<std::pair<QByteArray, QByteArray>>;

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
                 bool *existed = nullptr, const Attributes &attributes = {});

// A regular file held open for reading, opened without following a link: what it holds and
// what becomes of it are known through the descriptor, whatever is put at its name later.
class HeldFile {
public:
    HeldFile() = default;
    HeldFile(const HeldFile &) = delete;
    HeldFile &operator=(const HeldFile &) = delete;
    ~HeldFile();

    // False when nothing is there, it is no regular file or it cannot be read.
    bool open(const QByteArray &path);
    bool isOpen() const { return m_fd >= 0; }
    int descriptor() const { return m_fd; }
    // Its permission bits (0777).
    unsigned permissions() const;
    // True when the file holds exactly the one byte given.
    bool holdsOnly(char byte) const;

private:
    int m_fd = -1;
};

// What a file's content is at one moment: its identity, size and last write, and the digest of
// the bytes read (empty until something was read).
struct FileContent {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = -1;
    qint64 modifiedSeconds = 0;
    qint64 modifiedNanoseconds = 0;
    QByteArray digest;
    bool sameFileAs(const FileContent &other) const {
        return device == other.device && inode == other.inode;
    }
};

// Copies the held file, from its first byte, to a new file at destination, as copyFile does
// with Keep (never replacing anything there). content receives what was copied; the copy fails
// when the file was written to while it was read.
QString copyHeldFile(const HeldFile &source, const QByteArray &destination, unsigned mode,
                     const Attributes &attributes, bool *existed, FileContent *content);

// How taking a file away from its place ended.
enum class TakeOutcome {
    Deleted,     // the file that was copied is gone from its place
    Changed,     // something else or something changed is at the path: left (or put back) there
    CannotMove,  // its folder does not let it be moved or deleted: it is where it was
    LeftAside,   // changed, and it could not be put back: it lies under asideName
};

// Deletes the file at path only when it is exactly the copied one. It is first moved aside
// within its folder, in one step, under asideName (a hidden name the caller chose and kept);
// the moved file must be the same file, unchanged, with the copied content; only then is it
// deleted. Otherwise it is put back, never replacing whatever took the path meanwhile.
// afterMove, when given, is called once the file lies under asideName (a point for tests).
TakeOutcome deleteIfUnchanged(const QByteArray &path, const QByteArray &asideName,
                              const FileContent &copied,
                              const std::function<void()> &afterMove = {});

// Puts a file the program moved aside in its folder (under the hidden asideName) back under its
// own name, never replacing anything; when that name is taken meanwhile, the file gets a
// visible name beside it instead ("kept.<name>", then "kept2.<name>"...). Returns the whole path
// it has now; empty when it could not be moved (it is still under asideName).
QByteArray putBackAside(const QByteArray &folder, const QByteArray &asideName,
                        const QByteArray &name);

// For a file whose folder lets nothing be moved or deleted: when the file at path is still the
// copied one, unchanged, it is cut to the one byte in place; false otherwise.
bool neutraliseIfUnchanged(const QByteArray &path, const FileContent &copied, char byte);

// Writes a new file with the bytes under a temporary name beside path, syncs it, renames it over
// path in one step and syncs the folder. Returns an empty text on success, otherwise the cause;
// on failure the file at path is as it was and no temporary is left.
QString writeFileAtomically(const QByteArray &path, const QByteArray &bytes, unsigned mode);

// The prefix of every temporary name the program's own writes use in a folder.
inline constexpr char temporaryPrefix[] = ".vz-";

// The names of the non-folder entries of a folder (links included), "." and ".." never.
QList<QByteArray> fileNames(const QByteArray &folder);

// An extended attribute of the file itself (never a link's target); empty when there is none.
QByteArray extendedAttribute(const QByteArray &path, const char *name);
bool setExtendedAttribute(const QByteArray &path, const char *name, const QByteArray &value);
bool removeExtendedAttribute(const QByteArray &path, const char *name);

// Whether the two regular files hold the same bytes (neither followed through a link).
bool sameContent(const QByteArray &a, const QByteArray &b);

// For tests of crash safety: with VZ_TEST_KILL_AT_FILE_CHANGE=N in the environment, the program
// kills itself (SIGKILL) just before its Nth rename, link or unlink. Called by every such call.
void beforeNameChange();

// A folder held open: whatever is renamed or linked at its path later, files made through it
// land in this folder.
class HeldFolder {
public:
    HeldFolder() = default;
    HeldFolder(const HeldFolder &) = delete;
    HeldFolder &operator=(const HeldFolder &) = delete;
    ~HeldFolder();

    // Opens the folder at path, following links on the way; false when it is no folder.
    bool open(const QByteArray &path);
    bool isOpen() const { return m_fd >= 0; }
    int descriptor() const { return m_fd; }
    // Where the opened folder really lies (no links, no "." or ".."); empty when unknown.
    QByteArray realPath() const;
    // True when something (of any type) has the name in this folder.
    bool has(const QByteArray &name) const;

private:
    int m_fd = -1;
};

// Copies source to the entry name of the held folder, as copyFile does; a regular file standing
// there that the folder gives no room to replace (no new file can be made in it) is written
// over in place when ifExists is Replace.
QString copyFileInto(const QByteArray &source, const HeldFolder &folder, const QByteArray &name,
                     unsigned mode, IfExists ifExists, bool *existed);

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
bool fileStamp(const HeldFile &file, FileStamp *stamp);

// Sets a folder (not a link to one) to mode 0700; false when it is not a folder or cannot be set.
bool restrictFolderToOwner(const QByteArray &path);

}  // namespace platform
