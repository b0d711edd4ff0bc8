#include "state/registry.h"

namespace {
const QByteArray kText = QByteArrayLiteral("REG_SZ");
const QByteArray kBinary = QByteArrayLiteral("REG_BINARY");

// Types the key store knows that are neither binary nor unknown: text, expandable text and
// a 32-bit number. A binary record read from one of them fails.
bool isKnownNonBinary(const QByteArray &type) {
    return type == kText || type == "REG_EXPAND_SZ" || type == "REG_2" || type == "REG_DWORD" ||
           type == "REG_4";
}

bool isText(const QByteArray &type) {
    return type == kText || type == "REG_EXPAND_SZ" || type == "REG_2";
}
}  // namespace

Registry::Registry(platform::KeyStore store) : m_store(std::move(store)) {}

QString Registry::keyPath(const QString &subkey) {
    return QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vizavuz\\AntiVirus\\") + subkey;
}

Registry::Outcome Registry::readBinary(const QString &subkey, std::size_t room,
                                       QByteArray &bytes) const {
    const QString key = keyPath(subkey);
    m_store.openKey(key);
    const auto result = m_store.read(key);
    switch (result.outcome) {
        case platform::KeyStore::ReadOutcome::Missing:
            return Outcome::Missing;
        case platform::KeyStore::ReadOutcome::Failed:
            return Outcome::Failed;
        case platform::KeyStore::ReadOutcome::Read:
            break;
    }
    if (isKnownNonBinary(result.value.type) ||
        static_cast<std::size_t>(result.value.data.size()) > room)
        return Outcome::Failed;
    bytes = result.value.data;
    return Outcome::Read;
}

bool Registry::readText(const QString &subkey, QByteArray &text) const {
    const QString key = keyPath(subkey);
    m_store.openKey(key);
    const auto result = m_store.read(key);
    if (result.outcome == platform::KeyStore::ReadOutcome::Missing) {
        text.clear();
        return true;
    }
    if (result.outcome == platform::KeyStore::ReadOutcome::Failed || !isText(result.value.type))
        return false;
    text = result.value.data;
    return true;
}

Status Registry::writeText(const QString &subkey, const QByteArray &text) const {
    const QString error = m_store.write(keyPath(subkey), {}, {kText, text});
    return error.isEmpty() ? Status::success() : Status::failure(error);
}

Status Registry::writeBinary(const QString &subkey, const QByteArray &bytes) const {
    const QString error = m_store.write(keyPath(subkey), {}, {kBinary, bytes});
    return error.isEmpty() ? Status::success() : Status::failure(error);
}
