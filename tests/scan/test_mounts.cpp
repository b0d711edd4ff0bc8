#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "platform/mounts.h"

using platform::BlockDevice;
using platform::MountEntry;

namespace {

// What each source's disk is, as "source=disk" or "source=disk,removable", ";" between.
platform::BlockDeviceProbe probeFrom(const QByteArray &devices) {
    QHash<QByteArray, BlockDevice> known;
    for (const QByteArray &item : devices.split(';')) {
        const QList<QByteArray> parts = item.trimmed().split('=');
        if (parts.size() != 2)
            continue;
        const QList<QByteArray> facts = parts[1].split(',');
        known.insert(parts[0], BlockDevice{facts.contains("removable"), {facts[0]}});
    }
    return [known](const MountEntry &m) { return known.value(m.source); };
}

const QByteArray fedoraBtrfs =
    "22 1 0:21 /root / rw,relatime shared:1 - btrfs /dev/nvme0n1p3 rw,seclabel,compress=zstd:1,"
    "ssd,discard=async,space_cache=v2,subvolid=257,subvol=/root\n"
    "23 22 0:22 / /proc rw,nosuid,nodev,noexec,relatime shared:5 - proc proc rw\n"
    "24 22 0:23 / /sys rw,nosuid,nodev,noexec,relatime shared:6 - sysfs sysfs rw,seclabel\n"
    "25 22 0:5 / /dev rw,nosuid shared:2 - devtmpfs devtmpfs rw,seclabel,size=4096k,mode=755\n"
    "27 25 0:24 / /dev/shm rw,nosuid,nodev shared:3 - tmpfs tmpfs rw,seclabel,inode64\n"
    "29 22 0:26 / /run rw,nosuid,nodev shared:24 - tmpfs tmpfs rw,seclabel,mode=755,inode64\n"
    "30 24 0:27 / /sys/fs/cgroup rw,nosuid,nodev,noexec,relatime shared:8 - cgroup2 cgroup2 rw\n"
    "45 22 0:36 / /tmp rw,nosuid,nodev shared:27 - tmpfs tmpfs rw,seclabel,inode64\n"
    "48 22 259:2 / /boot rw,relatime shared:29 - ext4 /dev/nvme0n1p2 rw,seclabel\n"
    "51 48 259:1 / /boot/efi rw,relatime shared:31 - vfat /dev/nvme0n1p1 rw,fmask=0077,"
    "dmask=0077,codepage=437,iocharset=ascii,shortname=winnt,errors=remount-ro\n"
    "54 22 0:21 /home /home rw,relatime shared:33 - btrfs /dev/nvme0n1p3 rw,seclabel,"
    "compress=zstd:1,ssd,discard=async,space_cache=v2,subvolid=256,subvol=/home\n"
    "57 29 0:47 / /run/user/1000 rw,nosuid,nodev,relatime shared:322 - tmpfs tmpfs rw,mode=700\n"
    "60 57 0:48 / /run/user/1000/gvfs rw,nosuid,nodev,relatime shared:345 - fuse.gvfsd-fuse "
    "gvfsd-fuse rw,user_id=1000,group_id=1000\n"
    "63 57 0:49 / /run/user/1000/doc rw,nosuid,nodev,relatime shared:370 - fuse.portal portal "
    "rw,user_id=1000,group_id=1000\n"
    "66 22 0:21 /home /var/home rw,relatime shared:33 - btrfs /dev/nvme0n1p3 rw,seclabel,"
    "compress=zstd:1,ssd,discard=async,space_cache=v2,subvolid=256,subvol=/home\n"
    "67 22 0:21 /home/u/src /srv/src rw,relatime shared:33 - btrfs /dev/nvme0n1p3 rw,seclabel,"
    "compress=zstd:1,ssd,discard=async,space_cache=v2,subvolid=256,subvol=/home\n"
    "70 57 8:17 / /run/media/u/STICK rw,nosuid,nodev,relatime shared:400 - vfat /dev/sda1 "
    "rw,uid=1000,gid=1000,fmask=0022,dmask=0022,codepage=437,iocharset=ascii,errors=remount-ro\n";

const QByteArray ubuntuLvmLuks =
    "24 29 0:22 / /sys rw,nosuid,nodev,noexec,relatime shared:7 - sysfs sysfs rw\n"
    "25 29 0:23 / /proc rw,nosuid,nodev,noexec,relatime shared:13 - proc proc rw\n"
    "26 29 0:5 / /dev rw,nosuid,relatime shared:2 - devtmpfs udev rw,size=8000000k,mode=755\n"
    "28 29 0:25 / /run rw,nosuid,nodev,noexec,relatime shared:5 - tmpfs tmpfs rw,mode=755\n"
    "29 1 253:1 / / rw,relatime shared:1 - ext4 /dev/mapper/vgubuntu-root rw,errors=remount-ro\n"
    "33 29 7:0 / /snap/core20/2015 ro,nodev,relatime shared:9 - squashfs /dev/loop0 ro\n"
    "34 29 7:1 / /snap/firefox/3358 ro,nodev,relatime shared:10 - squashfs /dev/loop1 ro\n"
    "40 29 259:2 / /boot rw,relatime shared:11 - ext4 /dev/nvme0n1p2 rw\n"
    "41 40 259:1 / /boot/efi rw,relatime shared:12 - vfat /dev/nvme0n1p1 rw,fmask=0077,"
    "dmask=0077,codepage=437,iocharset=iso8859-1,shortname=mixed,errors=remount-ro\n"
    "42 29 253:2 / /home rw,relatime shared:13 - ext4 /dev/mapper/vgubuntu-home rw\n"
    "45 28 0:44 / /run/user/1000 rw,nosuid,nodev,relatime shared:50 - tmpfs tmpfs rw,mode=700\n"
    "55 29 0:50 / /mnt/share rw,relatime shared:60 - cifs //nas/share rw,vers=3.1.1,cache=strict\n"
    "56 29 0:51 / /mnt/nfs rw,relatime shared:61 - nfs4 nas:/export rw,vers=4.2\n"
    "57 45 11:0 / /media/u/DVD\\040Disc ro,nosuid,nodev,relatime shared:62 - iso9660 /dev/sr0 "
    "ro,nojoliet,check=s,map=n,blocksize=2048\n"
    "58 45 253:3 / /media/u/Backup rw,nosuid,nodev,relatime shared:63 - ext4 "
    "/dev/mapper/luks-5f1e rw\n";

const QByteArray ubuntuZfs =
    "25 1 0:23 / / rw,relatime shared:1 - zfs rpool/ROOT/ubuntu_x1y2z3 rw,xattr,posixacl\n"
    "26 25 0:24 / /proc rw,nosuid,nodev,noexec,relatime shared:12 - proc proc rw\n"
    "27 25 0:5 / /dev rw,nosuid,relatime shared:2 - devtmpfs udev rw,mode=755\n"
    "40 25 0:40 / /boot rw,nodev,relatime shared:20 - zfs bpool/BOOT/ubuntu_x1y2z3 rw,xattr\n"
    "41 25 0:41 / /srv rw,relatime shared:21 - zfs rpool/ROOT/ubuntu_x1y2z3/srv rw,xattr\n"
    "42 25 0:42 / /usr/local rw,relatime shared:22 - zfs rpool/ROOT/ubuntu_x1y2z3/usr/local rw\n"
    "43 25 0:43 / /var/lib rw,relatime shared:23 - zfs rpool/ROOT/ubuntu_x1y2z3/var/lib rw\n"
    "44 43 0:44 / /var/lib/AccountsService rw,relatime shared:24 - zfs "
    "rpool/ROOT/ubuntu_x1y2z3/var/lib/AccountsService rw\n"
    "45 25 0:45 / /var/log rw,relatime shared:25 - zfs rpool/ROOT/ubuntu_x1y2z3/var/log rw\n"
    "47 25 0:47 / /root rw,relatime shared:27 - zfs rpool/USERDATA/root_ab12cd rw,xattr\n"
    "48 25 0:48 / /home/u rw,relatime shared:28 - zfs rpool/USERDATA/u_ab12cd rw,xattr\n"
    "49 40 259:1 / /boot/efi rw,relatime shared:29 - vfat /dev/nvme0n1p1 rw,fmask=0022\n"
    "50 25 259:1 /grub /boot/grub rw,relatime shared:29 - vfat /dev/nvme0n1p1 rw,fmask=0022\n"
    "51 25 7:2 / /snap/core22/864 ro,nodev,relatime shared:30 - squashfs /dev/loop2 ro\n"
    "52 48 0:60 / /home/u/.zfs/snapshot/autozsys_q1 ro,relatime shared:31 - zfs "
    "rpool/USERDATA/u_ab12cd@autozsys_q1 ro\n";

QByteArray suseLine(int id, const char *root, const char *point, int subvolid) {
    return QByteArray::number(id) + " 1 0:31 " + root + ' ' + point +
           " rw,relatime shared:1 - btrfs /dev/sda2 rw,space_cache=v2,subvolid=" +
           QByteArray::number(subvolid) + ",subvol=" + root + '\n';
}

QByteArray openSuseBtrfs() {
    QByteArray t = suseLine(60, "/@/.snapshots/1/snapshot", "/", 266);
    t += "22 60 0:22 / /proc rw,nosuid,nodev,noexec,relatime shared:5 - proc proc rw\n";
    t += suseLine(61, "/@/.snapshots", "/.snapshots", 265);
    t += suseLine(62, "/@/boot/grub2/i386-pc", "/boot/grub2/i386-pc", 264);
    t += suseLine(63, "/@/boot/grub2/x86_64-efi", "/boot/grub2/x86_64-efi", 263);
    t += suseLine(64, "/@/home", "/home", 262);
    t += suseLine(65, "/@/opt", "/opt", 261);
    t += suseLine(66, "/@/root", "/root", 260);
    t += suseLine(67, "/@/srv", "/srv", 259);
    t += suseLine(68, "/@/usr/local", "/usr/local", 258);
    t += suseLine(69, "/@/var", "/var", 257);
    t += suseLine(70, "/@/home", "/mnt/home-again", 262);
    t += suseLine(71, "/@/home", "/var/lib/box/home", 262);
    t += "72 60 8:1 / /boot/efi rw,relatime shared:40 - vfat /dev/sda1 rw,fmask=0022\n";
    return t;
}

const QByteArray raspberryPi =
    "21 1 179:2 / / rw,noatime shared:1 - ext4 /dev/mmcblk0p2 rw\n"
    "22 21 0:20 / /proc rw,relatime shared:12 - proc proc rw\n"
    "23 21 0:21 / /sys rw,nosuid,nodev,noexec,relatime shared:7 - sysfs sysfs rw\n"
    "30 21 179:1 / /boot/firmware rw,relatime shared:30 - vfat /dev/mmcblk0p1 rw,fmask=0022\n"
    "40 21 8:1 / /media/pi/KINGSTON rw,nosuid,nodev,relatime shared:40 - exfat /dev/sda1 rw\n"
    "41 21 179:33 / /media/pi/SDCARD rw,nosuid,nodev,relatime shared:41 - vfat /dev/mmcblk1p1 rw\n";

const QByteArray fedoraImageBased =
    "22 1 0:21 / / ro,relatime shared:1 - overlay composefs ro,seclabel,"
    "lowerdir+=/run/ostree/.private/cfsroot-lower,datadir+=/sysroot/ostree/repo/objects,"
    "redirect_dir=on,metacopy=on\n"
    "23 22 0:22 / /proc rw,nosuid,nodev,noexec,relatime shared:5 - proc proc rw\n"
    "45 22 0:38 /root /sysroot ro,relatime shared:4 - btrfs /dev/nvme0n1p3 rw,seclabel,"
    "compress=zstd:1,ssd,space_cache=v2,subvolid=256,subvol=/root\n"
    "46 22 0:38 /root/ostree/deploy/fedora/deploy/7a1f.0/etc /etc rw,relatime shared:5 - btrfs "
    "/dev/nvme0n1p3 rw,seclabel,compress=zstd:1,ssd,space_cache=v2,subvolid=256,subvol=/root\n"
    "48 22 0:38 /root/ostree/deploy/fedora/var /var rw,relatime shared:6 - btrfs /dev/nvme0n1p3 "
    "rw,seclabel,compress=zstd:1,ssd,space_cache=v2,subvolid=256,subvol=/root\n"
    "60 48 0:38 /home /var/home rw,relatime shared:50 - btrfs /dev/nvme0n1p3 rw,seclabel,"
    "compress=zstd:1,ssd,space_cache=v2,subvolid=257,subvol=/home\n"
    "61 22 259:2 / /boot rw,relatime shared:52 - ext4 /dev/nvme0n1p2 rw,seclabel\n"
    "62 61 259:1 / /boot/efi rw,relatime shared:54 - vfat /dev/nvme0n1p1 rw,fmask=0077\n"
    "63 22 0:40 / /tmp rw,nosuid,nodev shared:60 - tmpfs tmpfs rw,seclabel\n";

// A container: its own root, and files of the host bound over some of its files.
const QByteArray container =
    "600 500 0:52 / / rw,relatime - overlay overlay rw,lowerdir=/var/lib/docker/overlay2/l/A:"
    "/var/lib/docker/overlay2/l/B,upperdir=/var/lib/docker/overlay2/9c/diff\n"
    "601 600 0:55 / /proc rw,nosuid,nodev,noexec,relatime - proc proc rw\n"
    "610 600 8:1 /var/lib/docker/containers/9c/resolv.conf /etc/resolv.conf rw,relatime - "
    "ext4 /dev/sda1 rw\n"
    "611 600 8:1 /var/lib/docker/containers/9c/hostname /etc/hostname rw,relatime - ext4 "
    "/dev/sda1 rw\n"
    "612 600 8:1 /var/lib/docker/containers/9c/hosts /etc/hosts rw,relatime - ext4 /dev/sda1 "
    "rw\n";

// Captured on this machine.
const QByteArray thisMachine =
    "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
    "23 27 0:22 / /sys rw,relatime - sysfs sysfs rw\n"
    "24 27 0:6 / /dev rw,relatime - devtmpfs devtmpfs rw,size=12335116k,nr_inodes=3083779\n"
    "25 24 0:23 / /dev/shm rw,relatime - tmpfs tmpfs rw,size=24683772k\n"
    "26 24 0:24 / /dev/pts rw,relatime - devpts devpts rw,mode=600,ptmxmode=000\n"
    "27 1 254:0 / / rw,relatime - ext4 /dev/vda rw,discard,resv_strict,resuid=65534\n"
    "28 27 0:25 / /mnt/sandboxing/tools ro,nosuid,nodev,relatime - tmpfs tools ro,size=4k\n"
    "31 23 0:28 / /sys/fs/cgroup rw,relatime - tmpfs tmpfs rw,mode=755\n"
    "32 31 0:29 / /sys/fs/cgroup/cpu rw,relatime - cgroup cgroup rw,cpu\n"
    "41 31 0:38 / /sys/fs/cgroup/unified rw,relatime - cgroup2 cgroup2 rw\n";

const QByteArray fedoraDevices =
    "/dev/nvme0n1p3=nvme0n1;/dev/nvme0n1p2=nvme0n1;"
    "/dev/nvme0n1p1=nvme0n1;/dev/sda1=sda,removable";

// A sysfs tree: each device a folder under devices/, linked from dev/block/<major:minor>.
struct FakeSysfs {
    QTemporaryDir dir;
    QString root() const { return dir.path(); }
    void file(const QString &path, const QByteArray &text) {
        QDir().mkpath(QFileInfo(root() + '/' + path).path());
        QFile f(root() + '/' + path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    // A disk (removable flag) with one partition, both linked.
    void disk(const QString &folder, const QByteArray &removable, const QByteArray &diskNumber,
              const QByteArray &partNumber) {
        const QString name = QFileInfo(folder).fileName();
        file(folder + "/removable", removable + '\n');
        file(folder + "/dev", diskNumber + '\n');
        link(folder, diskNumber);
        if (partNumber.isEmpty())
            return;
        file(folder + '/' + name + "p1/partition", "1\n");
        file(folder + '/' + name + "p1/dev", partNumber + '\n');
        link(folder + '/' + name + "p1", partNumber);
    }
    void link(const QString &folder, const QByteArray &number) {
        QDir().mkpath(root() + "/dev/block");
        QVERIFY(QFile::link(root() + '/' + folder,
                            root() + "/dev/block/" + QString::fromLatin1(number)));
    }
    BlockDevice probe(const QByteArray &number) {
        MountEntry m;
        m.device = number;
        return platform::probeBlockDevice(m, root());
    }
};

}  // namespace

class TestMounts : public QObject {
    Q_OBJECT
private slots:
    void fixedDisksFromMountinfo() {
        const QByteArray text =
            "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
            "24 27 0:6 / /dev rw,relatime - devtmpfs devtmpfs rw\n"
            "27 1 254:0 / / rw,relatime - ext4 /dev/vda rw,discard\n"
            "28 27 0:25 / /tmp rw - tmpfs tmpfs rw\n"
            "30 27 8:17 / /mnt/My\\040Disk rw,nosuid shared:5 master:2 - xfs /dev/sdb1 rw\n"
            "31 27 8:2 / /boot/efi rw - vfat /dev/sda2 rw\n"
            "32 27 7:0 / /snap/core/1 ro - squashfs /dev/loop0 ro\n"
            "33 27 7:1 / /media/img rw - ext4 /dev/loop1 rw\n"
            "34 27 0:50 / /net rw - nfs4 server:/export rw\n"
            "35 27 254:0 /srv/data /bound rw - ext4 /dev/vda rw\n"
            "36 27 11:0 / /media/cdrom ro - iso9660 /dev/sr0 ro\n"
            "37 27 0:60 / /var/lib/docker/overlay rw - overlay overlay rw\n"
            "38 27 8:3 / /home rw - btrfs /dev/sda3 rw\n"
            "39 27 8:3 / /home rw - btrfs /dev/sda3 rw\n"
            "garbage line\n"
            "\n";
        QCOMPARE(platform::fixedMountPoints(text),
                 (QList<QByteArray>{"/", "/boot/efi/", "/home/", "/mnt/My Disk/"}));
        QVERIFY(platform::fixedMountPoints(QByteArray()).isEmpty());
    }

    void thisMachineHasAMountinfo() { QVERIFY(platform::readMountInfo().contains(" - ")); }

    void capturedSystems_data() {
        QTest::addColumn<QByteArray>("mountinfo");
        QTest::addColumn<QByteArray>("devices");
        QTest::addColumn<QList<QByteArray>>("expected");
        QTest::newRow("Fedora on btrfs")
            << fedoraBtrfs << fedoraDevices
            << QList<QByteArray>{"/", "/boot/", "/boot/efi/", "/home/"};
        QTest::newRow("Ubuntu, ext4 on LVM and LUKS")
            << ubuntuLvmLuks
            << QByteArray(
                   "/dev/mapper/vgubuntu-root=nvme0n1;/dev/mapper/vgubuntu-home=nvme0n1;"
                   "/dev/nvme0n1p2=nvme0n1;/dev/nvme0n1p1=nvme0n1;"
                   "/dev/mapper/luks-5f1e=sdb,removable")
            << QList<QByteArray>{"/", "/boot/", "/boot/efi/", "/home/"};
        QTest::newRow("Ubuntu on ZFS")
            << ubuntuZfs << QByteArray("/dev/nvme0n1p1=nvme0n1")
            << QList<QByteArray>{"/",           "/boot/",    "/boot/efi/",
                                 "/home/u/",    "/root/",    "/srv/",
                                 "/usr/local/", "/var/lib/", "/var/lib/AccountsService/",
                                 "/var/log/"};
        QTest::newRow("openSUSE, btrfs with many subvolumes")
            << openSuseBtrfs() << QByteArray("/dev/sda2=sda;/dev/sda1=sda")
            << QList<QByteArray>{"/",
                                 "/.snapshots/",
                                 "/boot/efi/",
                                 "/boot/grub2/i386-pc/",
                                 "/boot/grub2/x86_64-efi/",
                                 "/home/",
                                 "/opt/",
                                 "/root/",
                                 "/srv/",
                                 "/usr/local/",
                                 "/var/"};
        QTest::newRow("Raspberry Pi on an SD card")
            << raspberryPi
            << QByteArray(
                   "/dev/mmcblk0p2=mmcblk0,removable;/dev/mmcblk0p1=mmcblk0,removable;"
                   "/dev/sda1=sda,removable;/dev/mmcblk1p1=mmcblk1,removable")
            << QList<QByteArray>{"/", "/boot/firmware/"};
        QTest::newRow("image-based Fedora")
            << fedoraImageBased
            << QByteArray("/dev/nvme0n1p3=nvme0n1;/dev/nvme0n1p2=nvme0n1;/dev/nvme0n1p1=nvme0n1")
            << QList<QByteArray>{"/", "/boot/", "/boot/efi/", "/etc/", "/var/", "/var/home/"};
        QTest::newRow("a container with files bound from the host")
            << container << QByteArray("/dev/sda1=sda") << QList<QByteArray>{"/"};
        QTest::newRow("this machine")
            << thisMachine << QByteArray("/dev/vda=vda") << QList<QByteArray>{"/"};
    }
    void capturedSystems() {
        QFETCH(QByteArray, mountinfo);
        QFETCH(QByteArray, devices);
        QFETCH(QList<QByteArray>, expected);
        QCOMPARE(platform::fixedMountPoints(mountinfo, probeFrom(devices)), expected);
    }

    void thisMachineHasItsRootAsAFixedDisk() {
        QVERIFY(platform::fixedMountPoints(platform::readMountInfo()).contains("/"));
    }

    void removableDevicesFromSysfs() {
        FakeSysfs sys;
        const QString usb = "devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/block/";
        sys.disk(usb + "sdb", "1", "8:16", "8:17");  // a USB stick
        sys.disk(usb + "sdc", "0", "8:32", "8:33");  // a USB disk: removable by its bus
        sys.disk("devices/pci0000:00/0000:00:17.0/ata1/host0/block/sda", "0", "8:0", "8:1");
        sys.disk("devices/pci0000:00/0000:00:06.0/nvme/nvme0/nvme0n1", "0", "259:0", "259:1");
        const QString mmc = "devices/platform/fe340000.mmc/mmc_host/";
        sys.disk(mmc + "mmc1/mmc1:aaaa/block/mmcblk1", "0", "179:32", "179:33");
        sys.file(mmc + "mmc1/mmc1:aaaa/block/mmcblk1/device/type", "SD\n");
        sys.disk(mmc + "mmc0/mmc0:0001/block/mmcblk0", "0", "179:0", "179:1");
        sys.file(mmc + "mmc0/mmc0:0001/block/mmcblk0/device/type", "MMC\n");
        sys.disk("devices/pci0000:00/0000:00:17.0/ata2/host1/block/sr0", "1", "11:0", {});
        // Mapped volumes: LVM over LUKS over the NVMe partition, LUKS over the USB stick.
        sys.file("devices/virtual/block/dm-0/dev", "253:0\n");
        sys.link("devices/virtual/block/dm-0", "253:0");
        QDir().mkpath(sys.root() + "/devices/virtual/block/dm-0/slaves");
        QVERIFY(QFile::link(sys.root() + "/devices/pci0000:00/0000:00:06.0/nvme/nvme0/nvme0n1/"
                                         "nvme0n1p1",
                            sys.root() + "/devices/virtual/block/dm-0/slaves/nvme0n1p1"));
        sys.file("devices/virtual/block/dm-1/dev", "253:1\n");
        sys.link("devices/virtual/block/dm-1", "253:1");
        QDir().mkpath(sys.root() + "/devices/virtual/block/dm-1/slaves");
        QVERIFY(QFile::link(sys.root() + "/devices/virtual/block/dm-0",
                            sys.root() + "/devices/virtual/block/dm-1/slaves/dm-0"));
        sys.file("devices/virtual/block/dm-2/dev", "253:2\n");
        sys.link("devices/virtual/block/dm-2", "253:2");
        QDir().mkpath(sys.root() + "/devices/virtual/block/dm-2/slaves");
        QVERIFY(QFile::link(sys.root() + '/' + usb + "sdb/sdbp1",
                            sys.root() + "/devices/virtual/block/dm-2/slaves/sdbp1"));

        const QList<std::tuple<QByteArray, bool, QByteArray>> expected = {
            {"8:17", true, "sdb"},       {"8:33", true, "sdc"},       {"8:1", false, "sda"},
            {"259:1", false, "nvme0n1"}, {"179:33", true, "mmcblk1"}, {"179:1", false, "mmcblk0"},
            {"11:0", true, "sr0"},       {"253:1", false, "nvme0n1"}, {"253:2", true, "sdb"},
        };
        for (const auto &[number, removable, disk] : expected) {
            const BlockDevice d = sys.probe(number);
            QVERIFY2(d.removable == removable, number.constData());
            QCOMPARE(d.disks, QList<QByteArray>{disk});
        }
        QCOMPARE(sys.probe("9:9").disks, QList<QByteArray>{});  // unknown: not removable
        QVERIFY(!sys.probe("9:9").removable);
    }

    // A custom scan of chosen folders: fixed disks below a chosen folder are added, kernel
    // interfaces are left out, and no file is reached from two targets.
    void customScanTargets_data() {
        QTest::addColumn<QByteArray>("mountinfo");
        QTest::addColumn<QList<QByteArray>>("chosen");
        QTest::addColumn<QList<QByteArray>>("expected");
        QTest::newRow("the fixed-disk entries and a folder inside one")
            << fedoraBtrfs
            << QList<QByteArray>{"/", "/boot/", "/boot/efi/", "/home/", "/home/u/Documents/"}
            << QList<QByteArray>{"/", "/boot/", "/boot/efi/", "/home/"};
        QTest::newRow("the root alone reaches every fixed disk")
            << ubuntuLvmLuks << QList<QByteArray>{"/"}
            << QList<QByteArray>{"/", "/boot/", "/boot/efi/", "/home/"};
        QTest::newRow("bind mounts of one subvolume")
            << openSuseBtrfs() << QList<QByteArray>{"/mnt/home-again/", "/home/", "/home/u/"}
            << QList<QByteArray>{"/mnt/home-again/"};
        QTest::newRow("a bind of a subfolder")
            << fedoraBtrfs << QList<QByteArray>{"/srv/src/", "/home/"}
            << QList<QByteArray>{"/home/"};
        QTest::newRow("kernel interfaces")
            << fedoraBtrfs << QList<QByteArray>{"/proc/", "/sys/fs/cgroup/", "/dev/shm/"}
            << QList<QByteArray>{"/dev/shm/"};
        QTest::newRow("a network share chosen on its own")
            << ubuntuLvmLuks << QList<QByteArray>{"/mnt/nfs/", "/mnt/nfs/"}
            << QList<QByteArray>{"/mnt/nfs/"};
    }
    void customScanTargets() {
        QFETCH(QByteArray, mountinfo);
        QFETCH(QList<QByteArray>, chosen);
        QFETCH(QList<QByteArray>, expected);
        const platform::BlockDeviceProbe probe =
            probeFrom(fedoraDevices +
                      ";/dev/mapper/vgubuntu-root=nvme0n1;/dev/mapper/vgubuntu-home=nvme0n1;"
                      "/dev/mapper/luks-5f1e=sdb,removable;/dev/sda2=sda");
        QCOMPARE(platform::scanTargets(chosen, mountinfo, probe), expected);
    }
};

QTEST_GUILESS_MAIN(TestMounts)
#include "test_mounts.moc"
