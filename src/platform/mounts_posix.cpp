#include "platform/mounts.h"

#include <algorithm>
#include <optional>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

namespace platform {

namespace {

// Mount points write blanks, tabs, line feeds and backslashes as octal escapes ("\040").
QByteArray unescape(const QByteArray &field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\\' && i + 3 < field.size()) {
            const QByteArray digits = field.mid(i + 1, 3);
            bool ok = false;
            const int value = digits.toInt(&ok, 8);
            if (ok && digits.size() == 3 && value < 256) {
                out.append(static_cast<char>(value));
                i += 3;
                continue;
            }
        }
        out.append(c);
    }
    return out;
}

bool isDiskFileSystem(const QByteArray &type) {
    static const QList<QByteArray> types = {"ext2",    "ext3",   "ext4",     "xfs",     "btrfs",
                                            "f2fs",    "jfs",    "reiserfs", "reiser4", "vfat",
                                            "msdos",   "exfat",  "ntfs",     "ntfs3",   "fuseblk",
                                            "hfsplus", "nilfs2", "bcachefs", "zfs"};
    return types.contains(type);
}

// What an image-based or live system runs from: its root only.
bool isImageRoot(const QByteArray &type) {
    return type == "overlay" || type == "composefs" || type == "erofs" || type == "squashfs";
}

// Kernel interfaces: nothing of the user's lies there.
bool isPseudo(const QByteArray &type) {
    static const QList<QByteArray> types = {
        "proc",    "sysfs",    "devtmpfs",    "devpts",  "cgroup",     "cgroup2",   "securityfs",
        "debugfs", "tracefs",  "configfs",    "fusectl", "mqueue",     "hugetlbfs", "bpf",
        "pstore",  "efivarfs", "binfmt_misc", "autofs",  "rpc_pipefs", "nsfs",      "selinuxfs"};
    return types.contains(type);
}

// A source that is a disk: not a loop image, an optical drive or memory.
bool isDiskSource(const MountEntry &m) {
    if (m.type == "zfs")
        return !m.source.contains('@');  // a snapshot
    const QByteArray &s = m.source;
    return s.startsWith("/dev/") && !s.startsWith("/dev/loop") && !s.startsWith("/dev/sr") &&
           !s.startsWith("/dev/zram") && !s.startsWith("/dev/ram");
}

QByteArray withSlash(QByteArray path) {
    if (!path.endsWith('/'))
        path += '/';
    return path;
}

// True when folder (ending in "/") lies in or below parent (ending in "/").
bool isUnder(const QByteArray &folder, const QByteArray &parent) {
    return folder.startsWith(parent);
}

// Files of one file system tree: the same device and btrfs subvolume.
bool sameTree(const MountEntry &a, const MountEntry &b) {
    return a.device == b.device && a.subvolume == b.subvolume;
}

QByteArray readLine(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readLine(64).trimmed();
}

BlockDevice probeSysfs(const QByteArray &majorMinor, const QString &sysRoot, int depth) {
    BlockDevice device;
    const QString dir =
        QFileInfo(sysRoot + QStringLiteral("/dev/block/") + QString::fromLatin1(majorMinor))
            .canonicalFilePath();
    if (dir.isEmpty() || depth > 8)
        return device;
    // A mapped or RAID volume (LVM, dm-crypt, md) is what lies under it.
    const QStringList slaves =
        QDir(dir + QStringLiteral("/slaves")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    if (!slaves.isEmpty()) {
        for (const QString &slave : slaves) {
            const BlockDevice below = probeSysfs(
                readLine(dir + QStringLiteral("/slaves/") + slave + QStringLiteral("/dev")),
                sysRoot, depth + 1);
            device.removable = device.removable || below.removable;
            device.disks += below.disks;
        }
        return device;
    }
    const QString disk =
        QFile::exists(dir + QStringLiteral("/partition")) ? QFileInfo(dir).path() : dir;
    const QString name = QFileInfo(disk).fileName();
    device.disks << QFile::encodeName(name);
    device.removable =
        readLine(disk + QStringLiteral("/removable")) == "1" ||
        disk.contains(QStringLiteral("/usb")) || name.startsWith(u"sr") ||
        (name.startsWith(u"mmcblk") && readLine(disk + QStringLiteral("/device/type")) == "SD");
    return device;
}

std::optional<dev_t> deviceOf(const QByteArray &path) {
    struct stat st {};
    if (::stat(path.constData(), &st) != 0)
        return std::nullopt;
    return st.st_dev;
}

// False only for a mount point that exists and is not a folder: a file bound over a file
// (a container's /etc/hosts) is covered where it lies, never a target of its own.
bool mayBeFolder(const QByteArray &point) {
    struct stat st {};
    return ::stat(point.constData(), &st) != 0 || S_ISDIR(st.st_mode);
}

// The mount a folder (ending in "/") lies on: the longest mount point above it, the latest
// of several on the same point.
const MountEntry *mountOf(const QList<MountEntry> &mounts, const QByteArray &folder) {
    const MountEntry *found = nullptr;
    for (const MountEntry &m : mounts) {
        if (!isUnder(folder, withSlash(m.point)))
            continue;
        if (!found || m.point.size() >= found->point.size())
            found = &m;
    }
    return found;
}

// The folder's place inside its file system.
QByteArray treePath(const MountEntry &m, const QByteArray &folder) {
    return withSlash(m.root) + folder.mid(withSlash(m.point).size());
}

// The targets without those whose files another target reaches without leaving its file system,
// so that no file is scanned (and listed) twice; of two targets that reach each other's files
// (the same folder twice, bind mounts of one folder) the first is kept. Each target looks up only
// the folders above it, so that thousands of chosen entries are sorted out in linear time.
QList<QByteArray> withoutCovered(const QList<QByteArray> &wanted, const QList<MountEntry> &mounts) {
    struct Target {
        std::optional<dev_t> device;
        const MountEntry *mount;
        QByteArray tree;  // the path within its file system's tree; the path itself without mount
    };
    QList<Target> targets;
    targets.reserve(wanted.size());
    // Targets by their path, and those on a mount also by tree and file system: whatever covers
    // a target is found under one of the folders above it in one of the two.
    QHash<QByteArray, QList<qsizetype>> byTree, byPath;
    for (qsizetype i = 0; i < wanted.size(); ++i) {
        const MountEntry *m = mountOf(mounts, wanted[i]);
        targets.push_back({deviceOf(wanted[i]), m, m ? treePath(*m, wanted[i]) : wanted[i]});
        if (m)
            byTree[m->device + ' ' + m->subvolume + ' ' + targets[i].tree] << i;
        byPath[wanted[i]] << i;
    }
    const auto covers = [&](qsizetype outer, qsizetype inner) {
        const Target &o = targets[outer], &in = targets[inner];
        if (o.device && in.device && *o.device != *in.device)
            return false;
        if (o.mount && in.mount)
            return sameTree(*o.mount, *in.mount) && isUnder(in.tree, o.tree);
        return isUnder(wanted[inner], wanted[outer]);
    };
    const auto coveredBy = [&](qsizetype i, const QList<qsizetype> &candidates) {
        for (const qsizetype j : candidates)
            if (j != i && covers(j, i) && (!covers(i, j) || j < i))
                return true;
        return false;
    };
    // Every folder above a path (each prefix ending in "/"), the path itself included.
    const auto eachFolderOf = [](const QByteArray &path, const auto &visit) {
        for (qsizetype at = path.indexOf('/'); at >= 0; at = path.indexOf('/', at + 1))
            if (visit(path.left(at + 1)))
                return true;
        return false;
    };
    QList<QByteArray> kept;
    for (qsizetype i = 0; i < wanted.size(); ++i) {
        const Target &t = targets[i];
        bool covered = false;
        if (t.mount) {
            const QByteArray tree = t.mount->device + ' ' + t.mount->subvolume + ' ';
            covered = eachFolderOf(t.tree, [&](const QByteArray &folder) {
                return coveredBy(i, byTree.value(tree + folder));
            });
        }
        if (!covered)
            covered = eachFolderOf(wanted[i], [&](const QByteArray &folder) {
                return coveredBy(i, byPath.value(folder));
            });
        if (!covered)
            kept << wanted[i];
    }
    return kept;
}

}  // namespace

QList<MountEntry> parseMountInfo(const QByteArray &text) {
    QList<MountEntry> mounts;
    for (const QByteArray &line : text.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        const qsizetype dash = fields.indexOf(QByteArray("-"));
        if (dash < 6 || dash + 2 >= fields.size())
            continue;
        MountEntry m;
        m.device = fields[2];
        m.root = unescape(fields[3]);
        m.point = unescape(fields[4]);
        m.readOnly = fields[5].split(',').contains("ro");
        m.type = fields[dash + 1];
        m.source = unescape(fields[dash + 2]);
        if (m.type == "btrfs" && dash + 3 < fields.size()) {
            for (const QByteArray &option : fields[dash + 3].split(',')) {
                if (option.startsWith("subvolid="))
                    m.subvolume = option.mid(9);
                else if (option.startsWith("subvol=") && m.subvolume.isEmpty())
                    m.subvolume = option.mid(7);
            }
        }
        mounts << m;
    }
    return mounts;
}

BlockDevice probeBlockDevice(const MountEntry &mount, const QString &sysRoot) {
    // A btrfs mount line names an anonymous device; the source names the disk.
    QByteArray majorMinor = mount.device;
    struct stat st {};
    if (mount.source.startsWith("/dev/") && ::stat(mount.source.constData(), &st) == 0 &&
        S_ISBLK(st.st_mode))
        majorMinor =
            QByteArray::number(major(st.st_rdev)) + ':' + QByteArray::number(minor(st.st_rdev));
    return probeSysfs(majorMinor, sysRoot, 0);
}

QList<QByteArray> fixedMountPoints(const QByteArray &mountinfo, const BlockDeviceProbe &probe) {
    const QList<MountEntry> mounts = parseMountInfo(mountinfo);

    // The disks the system runs from are fixed, even an SD card or a USB disk.
    QList<QByteArray> systemDisks;
    for (const MountEntry &m : mounts)
        if (m.point == "/" && isDiskSource(m))
            systemDisks = probe(m).disks;

    // One mount of each tree: writable before read-only, then the shortest path.
    QList<MountEntry> trees;
    for (const MountEntry &m : mounts) {
        const bool root = m.point == "/" && (isDiskFileSystem(m.type) || isImageRoot(m.type));
        if (!root && !(isDiskFileSystem(m.type) && isDiskSource(m) && mayBeFolder(m.point)))
            continue;
        if (!root && m.type != "zfs") {
            const BlockDevice device = probe(m);
            const bool onSystemDisk = std::any_of(
                device.disks.begin(), device.disks.end(),
                [&systemDisks](const QByteArray &disk) { return systemDisks.contains(disk); });
            if (device.removable && !onSystemDisk)
                continue;
        }
        auto same = std::find_if(trees.begin(), trees.end(), [&m](const MountEntry &t) {
            return sameTree(t, m) && t.root == m.root;
        });
        if (same == trees.end()) {
            trees << m;
            continue;
        }
        const auto rank = [](const MountEntry &e) {
            return std::make_tuple(e.readOnly, e.point.size(), e.point);
        };
        if (rank(m) < rank(*same))
            *same = m;
    }

    // A tree mounted inside another mounted tree of the same file system is covered by it;
    // but a read-only mount whose parts are mounted writable elsewhere (the system root of an
    // image-based system) gives way to those parts, which can be cleaned.
    const auto inside = [](const MountEntry &inner, const MountEntry &outer) {
        return &inner != &outer && sameTree(inner, outer) &&
               isUnder(withSlash(inner.root), withSlash(outer.root)) && inner.root != outer.root;
    };
    QList<bool> dropped(trees.size(), false);
    for (qsizetype a = 0; a < trees.size(); ++a)
        for (qsizetype b = 0; b < trees.size(); ++b)
            if (trees[a].readOnly && !trees[b].readOnly && inside(trees[b], trees[a]))
                dropped[a] = true;
    QList<QByteArray> points;
    for (qsizetype b = 0; b < trees.size(); ++b) {
        if (dropped[b])
            continue;
        bool covered = false;
        for (qsizetype a = 0; a < trees.size() && !covered; ++a)
            covered = !dropped[a] && inside(trees[b], trees[a]);
        if (!covered)
            points << withSlash(trees[b].point);
    }
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    return points;
}

QList<QByteArray> fixedMountPoints(const QByteArray &mountinfo) {
    return fixedMountPoints(mountinfo, [](const MountEntry &m) { return probeBlockDevice(m); });
}

QList<QByteArray> scanTargets(const QList<QByteArray> &chosen, const QByteArray &mountinfo,
                              const BlockDeviceProbe &probe) {
    const QList<MountEntry> mounts = parseMountInfo(mountinfo);
    const QList<QByteArray> fixed = fixedMountPoints(mountinfo, probe);

    // Each chosen folder, then the fixed disks mounted below it, each once.
    QList<QByteArray> wanted;
    QSet<QByteArray> seen;
    const auto want = [&](const QByteArray &folder) {
        if (!seen.contains(folder)) {
            seen.insert(folder);
            wanted << folder;
        }
    };
    for (const QByteArray &entry : chosen) {
        const QByteArray folder = withSlash(entry);
        want(folder);
        for (const QByteArray &point : fixed)
            if (point != folder && isUnder(point, folder))
                want(point);
    }
    // Nothing to scan on kernel interfaces.
    wanted.removeIf([&mounts](const QByteArray &folder) {
        const MountEntry *m = mountOf(mounts, folder);
        return m && isPseudo(m->type);
    });
    return withoutCovered(wanted, mounts);
}

QList<QByteArray> scanTargets(const QList<QByteArray> &chosen, const QByteArray &mountinfo) {
    return scanTargets(chosen, mountinfo, [](const MountEntry &m) { return probeBlockDevice(m); });
}

QByteArray readMountInfo() {
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

}  // namespace platform
