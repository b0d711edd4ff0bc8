#pragma once

#include <QString>
#include <QtGlobal>

// What the About window tells about the machine: the kernel's name and release, and the
// amount of physical memory.
namespace platform {

struct KernelIdentity {
    QString name;     // "Linux"
    QString release;  // "6.1.0-18-amd64"
};

// From uname(2); empty texts when the call fails.
KernelIdentity kernelIdentity();

// Total physical memory in bytes (sysconf pages × page size); 0 when unknown.
quint64 physicalMemoryBytes();

}  // namespace platform
