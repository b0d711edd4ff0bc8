#include <algorithm>
#include <memory>

#include <QDir>
#include <QDirIterator>
#include <QtEndian>
#include <QProcess>
#include <QTest>

#include "platform/fileops.h"
#include "vaultrig.h"

namespace {

QByteArray enc(const QString &s) {
    return QFile::encodeName(s);
}

// The records as stored: vault path and file path of records 1 to the stored count.
struct StoredRecord {
    QByteArray vaultPath, filePath;
};

QList<StoredRecord> storedRecords(const TestEnv &env, const QString &recordsFile) {
    const QByteArray sysdata = env.registryValue(QStringLiteral("sysdata"));
    const QByteArray gav = TestEnv::readFile(recordsFile);
    QList<StoredRecord> records;
    if (sysdata.size() < 788)
        return records;
    const int count = qFromLittleEndian<qint32>(sysdata.constData() + 784);
    for (int k = 0; k < count && (k + 1) * 563 <= gav.size(); ++k) {
        const char *r = gav.constData() + k * 563;
        records.append({QByteArray(r + 1, quint8(r[0])), QByteArray(r + 257, quint8(r[256]))});
    }
    return records;
}

QStringList hiddenTemporaries(const QString &folder) {
    QStringList found;
    QDirIterator it(folder, {QStringLiteral(".vz-*")}, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    return found;
}

// A file system of its own mounted on a folder for the guard's life: ramfs keeps no user
// extended attributes, as FAT or some network file systems do not.
struct Mounted {
    QString folder;
    bool ok = false;
    Mounted(const QString &type, QString at) : folder(std::move(at)) {
        ok = !type.isEmpty() &&
             sh(QStringLiteral("mount -t %1 -o mode=0700 %1 '%2' 2>/dev/null").arg(type, folder)) ==
                 0;
    }
    ~Mounted() {
        if (ok)
            sh(QStringLiteral("umount -l '%1'").arg(folder));
    }
};

const QString crashChild() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/crashchild");
}

// Two infected files (a/x.bin, b/x.bin) listed in a private world whose vault may lie on a file
// system of its own; the program is run on them in a process that can be killed.
struct CrashWorld {
    TestEnv env;
    FixedClock clock{QDate(2026, 12, 8)};
    QString vaultFolder;
    QStringList files;
    QByteArrayList bodies;
    std::unique_ptr<Mounted> mounted;

    explicit CrashWorld(const QString &vaultFileSystem) {
        ProgramData data(clock, platform::KeyStore(env.registryRoot()));
        Startup::Options options;
        options.programFolder = env.programFolder();
        (void)Startup::run(data, options);
        vaultFolder = data.folders.vault();
        for (const char *sub : {"a", "b"}) {
            const QString folder = env.root() + QLatin1String(sub);
            QDir().mkpath(folder);
            files << folder + QStringLiteral("/x.bin");
            bodies << QByteArray("infected body in ") + sub;
            TestEnv::writeFile(files.constLast(), bodies.constLast());
            VaultRig::detect(data, enc(files.constLast()));
        }
        VaultRig::addDatabase(data);
        mounted = std::make_unique<Mounted>(vaultFileSystem, vaultFolder);
    }
    // A removal run of both files and a restore of the first, killed before the program's
    // point-th name change; true when it ran to its end (succeeding) instead.
    bool runKilledAt(int point) {
        QProcess run;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("VZ_TEST_KILL_AT_FILE_CHANGE"), QString::number(point));
        run.setProcessEnvironment(environment);
        run.start(crashChild(), QStringList{env.programFolder(), QStringLiteral("remove")} + files);
        [&] { QVERIFY(run.waitForFinished(60000)); }();
        if (run.exitStatus() != QProcess::NormalExit)
            return false;
        [&] { QVERIFY2(run.exitCode() == 0, run.readAllStandardError().constData()); }();
        return true;
    }
    // Start-up alone; returns what it told the user.
    QString start() {
        QProcess again;
        again.start(crashChild(), {env.programFolder(), QStringLiteral("start")});
        [&] {
            QVERIFY(again.waitForFinished(60000));
            QCOMPARE(again.exitStatus(), QProcess::NormalExit);
        }();
        return QString::fromLocal8Bit(again.readAllStandardError());
    }
};

}  // namespace

// The program killed at each rename, link and unlink of a removal run and a restore, then
// started again: no file is lost, and every file in the vault folder is named by a record.
class TestVaultCrash : public QObject {
    Q_OBJECT
private slots:
    void everyKillPointLeavesTheVaultInOrder_data() {
        QTest::addColumn<QString>("vaultFileSystem");
        QTest::newRow("the data folder's own") << QString();
        QTest::newRow("without extended attributes") << QStringLiteral("ramfs");
    }
    void everyKillPointLeavesTheVaultInOrder() {
        QFETCH(QString, vaultFileSystem);
        int completedAt = 0;
        for (int point = 1; point < 200 && completedAt == 0; ++point) {
            CrashWorld world(vaultFileSystem);
            if (!vaultFileSystem.isEmpty() && !world.mounted->ok)
                QSKIP("mounting a file system needs root");
            const TestEnv &env = world.env;
            const QString &vaultFolder = world.vaultFolder;
            const QStringList &files = world.files;
            const QByteArrayList &bodies = world.bodies;
            if (world.runKilledAt(point)) {
                completedAt = point;
            } else {
                // Started again: start-up puts things in order.
                world.start();
            }
            if (QTest::currentTestFailed())
                return;

            const QList<StoredRecord> records = storedRecords(env, vaultFolder + "records.gav");
            const QString where = QStringLiteral("killed at change %1").arg(point);
            // Every file in the vault folder is named by a record.
            for (const QByteArray &name : platform::fileNames(enc(vaultFolder))) {
                if (name == "records.gav")
                    continue;
                const bool named = std::any_of(records.begin(), records.end(), [&](auto &r) {
                    return r.vaultPath == enc(vaultFolder) + name;
                });
                QVERIFY2(named, qPrintable(where + QStringLiteral(": unnamed ") + name));
            }
            // No file is lost: each is in its place or its copy is named by a record.
            for (int i = 0; i < files.size(); ++i) {
                if (QFile::exists(files.at(i))) {
                    QCOMPARE(TestEnv::readFile(files.at(i)), bodies.at(i));
                    continue;
                }
                const bool kept = std::any_of(records.begin(), records.end(), [&](auto &r) {
                    return r.filePath == enc(files.at(i)) &&
                           TestEnv::readFile(QFile::decodeName(r.vaultPath)) == bodies.at(i);
                });
                QVERIFY2(kept, qPrintable(where + QStringLiteral(": lost ") + files.at(i)));
            }
            // Nothing half-written is left beside the user's files or in the key store.
            const QStringList left = hiddenTemporaries(env.root() + QStringLiteral("a")) +
                                     hiddenTemporaries(env.root() + QStringLiteral("b"));
            QVERIFY2(left.isEmpty(), qPrintable(where + QLatin1Char(' ') + left.join(u' ')));
            QVERIFY2(hiddenTemporaries(env.registryRoot()).isEmpty(), qPrintable(where));
        }
        // The run had that many name changes to be killed at.
        QVERIFY2(completedAt > 15, qPrintable(QString::number(completedAt)));
    }

    // Killed while a file lay under its hidden name to be checked, and the file changed there
    // (a process still writing to it): start-up gives it back its name, or, when another file
    // has taken that meanwhile, a visible name beside it, and says where.
    void aChangedFileLeftAsideComesBack_data() {
        QTest::addColumn<QString>("vaultFileSystem");
        QTest::addColumn<bool>("nameTaken");
        QTest::newRow("name free") << QString() << false;
        QTest::newRow("name taken") << QString() << true;
        QTest::newRow("name free, no extended attributes") << QStringLiteral("ramfs") << false;
        QTest::newRow("name taken, no extended attributes") << QStringLiteral("ramfs") << true;
    }
    void aChangedFileLeftAsideComesBack() {
        QFETCH(QString, vaultFileSystem);
        QFETCH(bool, nameTaken);
        bool found = false;
        for (int point = 1; point < 60 && !found; ++point) {
            CrashWorld world(vaultFileSystem);
            if (!vaultFileSystem.isEmpty() && !world.mounted->ok)
                QSKIP("mounting a file system needs root");
            if (world.runKilledAt(point) || QTest::currentTestFailed())
                break;
            // The file taken first is b/x.bin (the list is walked from its end).
            const QString folder = world.env.root() + QStringLiteral("b");
            const QStringList aside = hiddenTemporaries(folder);
            if (aside.isEmpty() || QFile::exists(world.files.at(1)))
                continue;
            found = true;
            QFile moved(aside.at(0));
            QVERIFY(moved.open(QIODevice::Append));
            moved.write(" and a later write");
            moved.close();
            const QByteArray changed = world.bodies.at(1) + " and a later write";
            if (nameTaken)
                TestEnv::writeFile(world.files.at(1), "a new file of that name");
            const QString told = world.start();

            QCOMPARE(hiddenTemporaries(folder), QStringList());
            if (nameTaken) {
                const QString kept = folder + QStringLiteral("/kept.x.bin");
                QCOMPARE(TestEnv::readFile(world.files.at(1)), "a new file of that name");
                QCOMPARE(TestEnv::readFile(kept), changed);
                QVERIFY2(told.contains(kept), qPrintable(told));
            } else {
                QCOMPARE(TestEnv::readFile(world.files.at(1)), changed);
                QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"x.bin"});
            }
        }
        QVERIFY2(found, "no kill point left the file under its hidden name");
    }
};

QTEST_GUILESS_MAIN(TestVaultCrash)
#include "test_vaultcrash.moc"
