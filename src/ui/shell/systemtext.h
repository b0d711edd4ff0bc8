#pragma once

#include <QLocale>
#include <QString>
#include <QtGlobal>

// The texts of the About window's OS and PhysMem labels, made from given figures so that any
// machine can be described (and tested) without asking the running one.
namespace systemtext {

struct ReleaseNumbers {
    int major = 0;
    int minor = 0;
    int build = 0;
};

// The leading "major.minor.build" numbers of a kernel release text ("6.1.0-18-amd64" gives
// 6, 1, 0); missing or non-numeric parts are 0.
ReleaseNumbers parseRelease(const QString &release);

// "Linux 6.1 (Build 0: 6.1.0-18-amd64)"; without a release text "Linux 6.1 (Build 0)".
QString osText(const QString &name, int major, int minor, int build, const QString &release);

// Whole kilobytes of the byte count, grouped in threes by the locale's thousands separator,
// then " KB". Zero prints no digits: " KB".
QString memoryText(quint64 bytes, const QLocale &locale);

// Both texts for the running machine.
QString currentOsText();
QString currentMemoryText(const QLocale &locale = QLocale::system());

}  // namespace systemtext
