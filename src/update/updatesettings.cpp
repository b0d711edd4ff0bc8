#include "update/updatesettings.h"

#include <algorithm>

#include "app/programdata.h"

namespace updatesettings {

namespace {
QString text(const QByteArray &bytes) {
    return QString::fromLocal8Bit(bytes);
}

// The first `room` characters, as many of them as fit whole into the field's bytes: a cut never
// leaves part of a character behind.
template <std::size_t N>
void store(PString<N> &field, const QString &value, int room) {
    QByteArray bytes;
    qsizetype characters = 0;
    for (qsizetype at = 0; at < value.size() && characters < room; ++characters) {
        const qsizetype length = value.at(at).isHighSurrogate() ? 2 : 1;
        const QByteArray character = value.mid(at, length).toLocal8Bit();
        if (bytes.size() + character.size() > qsizetype(N))
            break;
        bytes += character;
        at += length;
    }
    field.assign(bytes);
}
}  // namespace

UpdateSettingsForm load(const SettingsRecord &record) {
    UpdateSettingsForm form;
    form.checkFrequency = record.checkFrequency;
    form.whenFound = record.whenFound;
    form.intervalDays = record.intervalDays;
    form.useProxy = record.useProxy != 0;
    form.proxyServer = text(record.proxyServer.bytes());
    form.proxyPort = text(record.proxyPort.bytes());
    form.proxyUser = text(record.proxyUser.bytes());
    form.proxyPassword = text(record.proxyPassword.bytes());
    return form;
}

void apply(const UpdateSettingsForm &form, SettingsRecord &record) {
    record.checkFrequency = static_cast<std::uint8_t>(form.checkFrequency & 0xff);
    record.whenFound = static_cast<std::uint8_t>(form.whenFound & 0xff);
    record.intervalDays = static_cast<std::uint8_t>(std::clamp(form.intervalDays, 0, 100));
    record.useProxy = form.useProxy ? 1 : 0;
    store(record.proxyUser, form.proxyUser, textRoom);
    store(record.proxyPassword, form.proxyPassword, textRoom);
    store(record.proxyServer, form.proxyServer, textRoom);
    store(record.proxyPort, form.proxyPort, portRoom);
}

Status save(ProgramData &data, const UpdateSettingsForm &form) {
    apply(form, data.settings);
    return data.saveSettings();
}

}  // namespace updatesettings
