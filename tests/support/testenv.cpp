#include "testenv.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTest>

TestEnv::TestEnv() {
    m_oldHome = qgetenv("HOME");
    m_oldData = qgetenv("XDG_DATA_HOME");
    m_oldConfig = qgetenv("XDG_CONFIG_HOME");
    m_oldFreshclamConf = qgetenv("VZ_FRESHCLAM_CONF");
    m_oldClamdConf = qgetenv("VZ_CLAMD_CONF");
    QDir().mkpath(home());
    QDir().mkpath(programFolder());
    qputenv("HOME", QFile::encodeName(m_dir.path() + QStringLiteral("/home")));
    qputenv("XDG_DATA_HOME",
            QFile::encodeName(m_dir.path() + QStringLiteral("/home/.local/share")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path() + QStringLiteral("/home/.config")));
    // The system's databases: a folder of this world, empty until a test fills it.
    writeFile(freshclamConf(), "DatabaseDirectory " + QFile::encodeName(systemDatabase()) + '\n');
    qputenv("VZ_FRESHCLAM_CONF", QFile::encodeName(freshclamConf()));
    // No system clamd unless a test writes this configuration.
    qputenv("VZ_CLAMD_CONF", QFile::encodeName(clamdConf()));
}

TestEnv::~TestEnv() {
    qputenv("HOME", m_oldHome);
    qputenv("XDG_DATA_HOME", m_oldData);
    qputenv("XDG_CONFIG_HOME", m_oldConfig);
    if (m_oldFreshclamConf.isNull())
        qunsetenv("VZ_FRESHCLAM_CONF");
    else
        qputenv("VZ_FRESHCLAM_CONF", m_oldFreshclamConf);
    if (m_oldClamdConf.isNull())
        qunsetenv("VZ_CLAMD_CONF");
    else
        qputenv("VZ_CLAMD_CONF", m_oldClamdConf);
}

static QString valuePath(const QString &registryRoot, const QString &subkey) {
    return registryRoot + QStringLiteral("HKEY_LOCAL_MACHINE/SOFTWARE/Vizavuz/AntiVirus/") +
           subkey + QStringLiteral("/(default)");
}

void TestEnv::writeRegistryValue(const QString &subkey, const QByteArray &type,
                                 const QByteArray &bytes) const {
    writeFile(valuePath(registryRoot(), subkey), type + '\n' + bytes);
}

QByteArray TestEnv::registryValue(const QString &subkey, QByteArray *type) const {
    const QByteArray all = readFile(valuePath(registryRoot(), subkey));
    const qsizetype newline = all.indexOf('\n');
    if (newline < 0)
        return {};
    if (type)
        *type = all.left(newline);
    return all.mid(newline + 1);
}

void TestEnv::writeFile(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    file.write(bytes);
}

QByteArray TestEnv::readFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QByteArray TestEnv::eicar() {
    // Assembled from two halves so that the full string appears in no source file.
    QByteArray first = QByteArrayLiteral("X5O!P%@AP[4\\PZX54(P^)7CC)7}$");
    QByteArray second = QByteArrayLiteral("EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*");
    return first + second;
}

QString TestEnv::makeEicarDatabase(const QString &dbFolder) {
    QString folder = dbFolder;
    if (!folder.endsWith(u'/'))
        folder += u'/';
    folder += QStringLiteral("main.cvd");
    const QByteArray body = eicar();
    const QByteArray md5 = QCryptographicHash::hash(body, QCryptographicHash::Md5).toHex();
    writeFile(folder + QStringLiteral("/test.hdb"),
              md5 + ':' + QByteArray::number(body.size()) + ":Eicar-Test-Signature\n");
    return folder;
}

void TestEnv::addEicarBodySignature(const QString &databaseFolder) {
    writeFile(databaseFolder + QStringLiteral("/body.ndb"),
              "Eicar-Body:0:0:" + eicar().toHex() + '\n');
}

void TestEnv::copySkin() const {
    const QString from = QStringLiteral(VZ_PROGRAM_DIR "/bin/skin/");
    const QString to = programFolder() + QStringLiteral("bin/skin/");
    QVERIFY(QDir().mkpath(to));
    const QStringList files = QDir(from).entryList({QStringLiteral("*.png")}, QDir::Files);
    QCOMPARE(files.size(), 39);
    for (const QString &name : files)
        QVERIFY(QFile::copy(from + name, to + name));
}

void TestEnv::installFakeScanner() const {
    const QString scanner = programFolder() + QStringLiteral("clamscan");
    QVERIFY(QDir().mkpath(programFolder()));
    QVERIFY(QFile::copy(QStringLiteral(VZ_TESTS_SOURCE_DIR "/support/fake-clamscan"), scanner));
    QVERIFY(QFile(scanner).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QVERIFY(QDir().mkpath(dataFolder() + QStringLiteral("db/")));
    makeEicarDatabase(dataFolder() + QStringLiteral("db/"));
}

QByteArray TestEnv::cvdDatabase(const QDateTime &built, int version, int bodySize) {
    QByteArray header =
        "ClamAV-VDB:" +
        QLocale::c().toString(built, QStringLiteral("dd MMM yyyy hh-mm")).toLatin1() +
        " +0000:" + QByteArray::number(version) +
        ":2000:90:0123456789abcdef0123456789abcdef:SIGNATURE:builder:" +
        QByteArray::number(built.toSecsSinceEpoch());
    header.append(QByteArray(512 - header.size(), ' '));
    return header + QByteArray(bodySize, 'x');
}
