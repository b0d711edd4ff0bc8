#include <QTest>

#include "platform/mounts.h"

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
};

QTEST_GUILESS_MAIN(TestMounts)
#include "test_mounts.moc"
