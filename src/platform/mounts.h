#pragma once

#include <functional>

#include <QByteArray>
#include <QList>
#include <QString>

namespace platform {

// One line of a mountinfo text (the format of /proc/self/mountinfo).
struct MountEntry {
    QByteArray device;     // "major:minor" as the line gives it
    QByteArray root;       // the folder of the file system that is mounted
    QByteArray point;      // the mount point, unescaped
    QByteArray type;       // file system type
    QByteArray source;     // mount source, unescaped ("/dev/sda1", "rpool/ROOT/ubuntu")
    QByteArray subvolume;  // btrfs subvolume id; empty for other file systems
    bool readOnly = false;
};

QList<MountEntry> parseMountInfo(const QByteArray &text);

// What the kernel says about the block device under a mount.
struct BlockDevice {
    bool removable = false;   // removable flag, USB, SD card or optical drive
    QList<QByteArray> disks;  // the whole disks it lies on ("sda", "nvme0n1", "mmcblk0")
};
using BlockDeviceProbe = std::function<BlockDevice(const MountEntry &)>;

// Reads what sysfs (below sysRoot) says about the device of a mount.
BlockDevice probeBlockDevice(const MountEntry &mount,
                             const QString &sysRoot = QStringLiteral("/sys"));

// The mount points of the local fixed disks, sorted by path, each ending in "/": every local
// disk file system (btrfs subvolumes, ZFS datasets, LVM and dm-crypt volumes, ext4, xfs, f2fs,
// ...) once however often it is mounted, and the root of an image-based system. Removable
// media (except the disk the system runs from), optical discs, network, pseudo and loop-image
// file systems are left out.
QList<QByteArray> fixedMountPoints(const QByteArray &mountinfo, const BlockDeviceProbe &probe);
QList<QByteArray> fixedMountPoints(const QByteArray &mountinfo);

// The targets of a scan of the chosen folders (absolute, each ending in "/"), for a scanner
// that stays on each target's file system: each chosen folder and the fixed disks mounted
// below it, leaving out folders on pseudo file systems and any target whose files another
// target already covers. The order of the chosen folders is kept.
QList<QByteArray> scanTargets(const QList<QByteArray> &chosen, const QByteArray &mountinfo,
                              const BlockDeviceProbe &probe);
QList<QByteArray> scanTargets(const QList<QByteArray> &chosen, const QByteArray &mountinfo);

// The text of /proc/self/mountinfo.
QByteArray readMountInfo();

}  // namespace platform
