#include "ui/shell/systemtext.h"

#include <QRegularExpression>

#include "platform/sysinfo.h"

namespace systemtext {

ReleaseNumbers parseRelease(const QString &release) {
    static const QRegularExpression numbers(
        QStringLiteral("^(\\d{1,9})(?!\\d)(?:\\.(\\d{1,9})(?!\\d))?(?:\\.(\\d{1,9})(?!\\d))?"));
    const QRegularExpressionMatch match = numbers.match(release);
    ReleaseNumbers result;
    if (!match.hasMatch())
        return result;
    result.major = match.captured(1).toInt();
    result.minor = match.captured(2).toInt();  // empty capture gives 0
    result.build = match.captured(3).toInt();
    return result;
}

QString osText(const QString &name, int major, int minor, int build, const QString &release) {
    const QString head =
        QStringLiteral("%1 %2.%3 (Build %4").arg(name).arg(major).arg(minor).arg(build);
    if (release.isEmpty())
        return head + QStringLiteral(")");
    return head + QStringLiteral(": ") + release + QStringLiteral(")");
}

QString memoryText(quint64 bytes, const QLocale &locale) {
    const quint64 kilobytes = bytes >> 10;
    QString digits;
    if (kilobytes != 0) {
        const QString plain = QString::number(kilobytes);
        const QString separator = locale.groupSeparator();
        for (qsizetype i = 0; i < plain.size(); ++i) {
            if (i > 0 && (plain.size() - i) % 3 == 0)
                digits += separator;
            digits += plain.at(i);
        }
    }
    return digits + QStringLiteral(" KB");
}

QString currentOsText() {
    const platform::KernelIdentity kernel = platform::kernelIdentity();
    const ReleaseNumbers numbers = parseRelease(kernel.release);
    return osText(kernel.name, numbers.major, numbers.minor, numbers.build, kernel.release);
}

QString currentMemoryText(const QLocale &locale) {
    return memoryText(platform::physicalMemoryBytes(), locale);
}

}  // namespace systemtext
