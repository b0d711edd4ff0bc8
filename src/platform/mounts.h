#pragma once

#include <QByteArray>
#include <QList>

namespace platform {

// The mount points of local, non-removable, block-device file systems in a mountinfo text
// (the format of /proc/self/mountinfo), sorted by path, each ending in "/". Pseudo, network,
// loop-backed and read-only image file systems are left out.
QList<QByteArray> fixedMountPoints(const QByteArray &mountinfo);

// The text of /proc/self/mountinfo.
QByteArray readMountInfo();

}  // namespace platform
