#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QTemporaryDir>

// A private world for one test: its own HOME, XDG_DATA_HOME, XDG_CONFIG_HOME and program
// folder inside a temporary folder, so that no test touches the real user's files.
class TestEnv {
public:
    TestEnv();
    ~TestEnv();

    QString root() const { return m_dir.path() + QStringLiteral("/"); }
    QString home() const { return root() + QStringLiteral("home/"); }
    QString dataHome() const { return root() + QStringLiteral("home/.local/share/"); }
    QString configHome() const { return root() + QStringLiteral("home/.config/"); }
    QString programFolder() const { return root() + QStringLiteral("program/"); }
    // The key store root below XDG_CONFIG_HOME.
    QString registryRoot() const { return configHome() + QStringLiteral("Vizavuz/registry/"); }
    // The computed data folder: XDG_DATA_HOME + "/Vizavuz/".
    QString dataFolder() const { return dataHome() + QStringLiteral("Vizavuz/"); }
    // The system's freshclam configuration ($VZ_FRESHCLAM_CONF) and the database folder it
    // names, which holds nothing unless a test puts databases there.
    QString freshclamConf() const { return root() + QStringLiteral("etc/freshclam.conf"); }
    // The system's clamd configuration ($VZ_CLAMD_CONF); missing until a test writes it.
    QString clamdConf() const { return root() + QStringLiteral("etc/clamd.conf"); }
    QString systemDatabase() const { return root() + QStringLiteral("system-db/"); }

    // Writes a key store value file by hand: "TYPE\n" + bytes.
    void writeRegistryValue(const QString &subkey, const QByteArray &type,
                            const QByteArray &bytes) const;
    // The bytes of a stored value file after its type line; empty when missing.
    QByteArray registryValue(const QString &subkey, QByteArray *type = nullptr) const;

    // The fake scanner of tests/support as the program folder's clamscan, and the EICAR
    // database fixture in the data folder's db/ (makeEicarDatabase).
    void installFakeScanner() const;

    // The built skin files copied into the program folder, so that windows look as they do for
    // the user.
    void copySkin() const;

    static void writeFile(const QString &path, const QByteArray &bytes);
    static QByteArray readFile(const QString &path);

    // The EICAR test string, made at run time so that no file of the project carries it.
    static QByteArray eicar();
    // A database file as sigtool writes it: the 512-byte header for `built` and `version`,
    // then `bodySize` bytes.
    static QByteArray cvdDatabase(const QDateTime &built, int version, int bodySize);

    // The database fixture for the real clamscan: a folder named "main.cvd" inside dbFolder,
    // holding a hash signature (.hdb) of the EICAR file. clamscan reports matches as
    // "Eicar-Test-Signature.UNOFFICIAL". Returns the folder's path.
    static QString makeEicarDatabase(const QString &dbFolder);
    // A body signature of the EICAR string beside it (in the folder makeEicarDatabase returned),
    // which also finds the string at the start of a larger file, as "Eicar-Body.UNOFFICIAL".
    static void addEicarBodySignature(const QString &databaseFolder);
    static QByteArray eicarThreatName() {
        return QByteArrayLiteral("Eicar-Test-Signature.UNOFFICIAL");
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_oldHome, m_oldData, m_oldConfig, m_oldFreshclamConf, m_oldClamdConf;
};
