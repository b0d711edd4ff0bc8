#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// A value of the file-backed key store: its type name ("REG_SZ", "REG_BINARY", "REG_<n>")
// and its exact bytes.
struct KeyValue {
    QByteArray type;
    QByteArray data;
};

// The registry of the Linux build: a key is a folder below the root, a value is a file whose
// first line is the type name, followed by the value's exact bytes.
class KeyStore {
public:
    enum class ReadOutcome { Missing, Read, Failed };
    struct ReadResult {
        ReadOutcome outcome = ReadOutcome::Missing;
        KeyValue value;
    };

    explicit KeyStore(QString root);

    // $XDG_CONFIG_HOME (else $HOME/.config) + "/Vizavuz/registry/".
    static QString defaultRoot();

    QString root() const { return m_root; }

    // Key paths use backslashes, hive first: "HKEY_LOCAL_MACHINE\\SOFTWARE\\...".
    // Opening creates the key's folders; returns false when they cannot be created.
    bool openKey(const QString &keyPath) const;

    // An empty value name is the key's default value, stored as "(default)".
    ReadResult read(const QString &keyPath, const QString &valueName = {}) const;

    // Atomic: a temporary file in the key's folder, flushed, renamed over the old value.
    // Returns an empty text on success, otherwise "Failed to set data for '<name>'".
    QString write(const QString &keyPath, const QString &valueName, const KeyValue &value) const;

    static QString writeErrorText(const QString &valueName);

    // Deletes the temporary files that writes cut short (a crash) left in the key folders.
    void removeTemporaries() const;

private:
    QString keyFolder(const QString &keyPath) const;
    QString valueFile(const QString &keyPath, const QString &valueName) const;

    QString m_root;
};

}  // namespace platform
