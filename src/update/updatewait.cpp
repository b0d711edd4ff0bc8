#include "update/updatewait.h"

#include "state/registry.h"

namespace updatewait {

namespace {
QDateTime stored(const Registry &registry) {
    QByteArray text;
    if (!registry.readText(regkey::updateWait(), text) || text.isEmpty())
        return {};
    return QDateTime::fromString(QString::fromLatin1(text.trimmed()), Qt::ISODate).toUTC();
}
}  // namespace

QDateTime until(const Registry &registry, const QDateTime &now) {
    const QDateTime end = stored(registry);
    if (!end.isValid() || end <= now || now.secsTo(end) > longestSeconds)
        return {};
    return end;
}

bool active(const Registry &registry, const QDateTime &now) {
    return until(registry, now).isValid();
}

void store(const Registry &registry, const QDateTime &end) {
    if (!end.isValid())
        return;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDateTime current = until(registry, now);
    if (current.isValid() && current >= end)
        return;
    // A failed write leaves no wait; the server will say so again.
    (void)registry.writeText(regkey::updateWait(), end.toUTC().toString(Qt::ISODate).toLatin1());
}

}  // namespace updatewait
