#include <unistd.h>
#include <sys/stat.h>

#include <QDir>
#include <QProcess>
#include <QTest>

#include "platform/fileops.h"
#include "platform/processes.h"
#include "state/infectionlist.h"
#include "testenv.h"
#include "vault/listrows.h"
#include "state/vaulttable.h"

namespace {

QByteArray enc(const QString &s) {
    return QFile::encodeName(s);
}

InfectionRecord rec(const QByteArray &vault, const QByteArray &file, const QByteArray &threat) {
    InfectionRecord r;
    r.vaultPath.assign(vault);
    r.filePath.assign(file);
    r.threatName.assign(threat);
    return r;
}

// One 563-byte slot written out by hand: length byte, characters, zeros up to each field's end.
QByteArray slotBytes(const QByteArray &vault, const QByteArray &file, const QByteArray &threat) {
    QByteArray b(563, '\0');
    b[0] = char(vault.size());
    b.replace(1, vault.size(), vault);
    b[256] = char(file.size());
    b.replace(257, file.size(), file);
    b[512] = char(threat.size());
    b.replace(513, threat.size(), threat);
    return b;
}

}  // namespace

class TestVaultFiles : public QObject {
    Q_OBJECT
private slots:
    void recordsFileAfterAppendRemoveAndSave() {
        TestEnv env;
        std::int32_t count = 0;
        auto table = std::make_unique<VaultTable>(count);
        QVERIFY(table->append(rec("/v/a", "/f/a", " A")));
        QVERIFY(table->append(rec("/v/b", "/f/b", " B")));
        QVERIFY(table->append(rec("/v/c", "/f/c", " C")));
        table->remove(2);
        QCOMPARE(count, 2);
        const QString file = env.root() + QStringLiteral("records.gav");
        QVERIFY(table->save(file).ok());
        const QByteArray bytes = TestEnv::readFile(file);
        QCOMPARE(bytes.size(), 563000);
        // Slot 1: a; slot 2: c moved down; slot 3 keeps c's stale bytes; the rest zero.
        QCOMPARE(bytes.mid(0, 563), QByteArray("\x04/v/a", 5) + QByteArray(251, '\0') +
                                        QByteArray("\x04/f/a", 5) + QByteArray(251, '\0') +
                                        QByteArray("\x02 A", 3) + QByteArray(48, '\0'));
        QCOMPARE(bytes.mid(563, 563), slotBytes("/v/c", "/f/c", " C"));
        QCOMPARE(bytes.mid(1126, 563), slotBytes("/v/c", "/f/c", " C"));
        QCOMPARE(bytes.mid(1689), QByteArray(563000 - 1689, '\0'));
    }

    void quarantineTestAndCapacity() {
        std::int32_t count = 0;
        auto table = std::make_unique<VaultTable>(count);
        QVERIFY(table->append(rec("/v/1", "/f/One", " A")));
        QVERIFY(table->append(rec("/v/2", "/f/two", " A")));
        QVERIFY(table->isQuarantined(rec("", "/f/One", "")));
        QVERIFY(!table->isQuarantined(rec("", "/f/one", "")));
        count = 1000;
        QVERIFY(!table->append(rec("/v/x", "/f/x", " X")));
        QCOMPARE(count, 1000);
        // A stored count beyond the table is held within it.
        count = 5000;
        QCOMPARE(table->count(), 1000);
    }

    void copyReplacesWholeAndNeverFollowsLinks() {
        TestEnv env;
        const QString root = env.root();
        // More than one block, with every byte value.
        QByteArray big;
        for (int i = 0; i < 300000; ++i)
            big.append(char(i * 7 % 251));
        TestEnv::writeFile(root + QStringLiteral("src"), big);
        TestEnv::writeFile(root + QStringLiteral("dst"), "old content that is longer");
        QCOMPARE(platform::copyFile(enc(root + "src"), enc(root + "dst")), QString());
        QCOMPARE(TestEnv::readFile(root + QStringLiteral("dst")), big);
        struct stat st {};
        QCOMPARE(::stat(enc(root + "dst").constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, 0600u);

        // A link planted at the destination is replaced; its target is untouched.
        TestEnv::writeFile(root + QStringLiteral("victim"), "victim");
        QVERIFY(QFile::link(root + QStringLiteral("victim"), root + QStringLiteral("planted")));
        QCOMPARE(platform::copyFile(enc(root + "src"), enc(root + "planted")), QString());
        QCOMPARE(TestEnv::readFile(root + QStringLiteral("victim")), "victim");
        QVERIFY(!QFileInfo(root + QStringLiteral("planted")).isSymLink());

        // A link as source is refused; a missing source leaves the destination as it was.
        QVERIFY(!platform::copyFile(enc(root + "planted2"), enc(root + "dst")).isEmpty());
        QVERIFY(QFile::link(root + QStringLiteral("victim"), root + QStringLiteral("srclink")));
        QVERIFY(!platform::copyFile(enc(root + "srclink"), enc(root + "dst")).isEmpty());
        QCOMPARE(TestEnv::readFile(root + QStringLiteral("dst")), big);
        // A missing destination folder fails and leaves nothing behind.
        QVERIFY(!platform::copyFile(enc(root + "src"), enc(root + "no/such/dst")).isEmpty());
        QCOMPARE(QDir(root).entryList(QDir::Files | QDir::System).size(), 5);
    }

    void fileChecksAndNeutralising() {
        TestEnv env;
        const QString root = env.root();
        TestEnv::writeFile(root + QStringLiteral("f"), "abc");
        QVERIFY(QFile::link(root + QStringLiteral("f"), root + QStringLiteral("l")));
        QVERIFY(platform::isRegularFile(enc(root + "f")));
        QVERIFY(!platform::isRegularFile(enc(root + "l")));
        QVERIFY(!platform::isRegularFile(enc(root)));
        QVERIFY(!platform::isRegularFile("/dev/null"));
        QVERIFY(platform::pathExists(enc(root + "l")));
        QVERIFY(!platform::pathExists(enc(root + "gone")));

        // Cut to one byte only while it is the copied file, unchanged, and never through a link.
        platform::FileContent copied;
        {
            platform::HeldFile held;
            QVERIFY(held.open(enc(root + "f")));
            QVERIFY(platform::copyHeldFile(held, enc(root + "copy"), 0600, {}, nullptr, &copied)
                        .isEmpty());
        }
        QVERIFY(!platform::neutraliseIfUnchanged(enc(root + "l"), copied, 'Z'));
        QVERIFY(platform::neutraliseIfUnchanged(enc(root + "f"), copied, 'Z'));
        QCOMPARE(TestEnv::readFile(root + QStringLiteral("f")), "Z");
        QVERIFY(!platform::neutraliseIfUnchanged(enc(root + "copy"), copied, 'Z'));
        QCOMPARE(TestEnv::readFile(root + QStringLiteral("copy")), "abc");

        TestEnv::writeFile(root + QStringLiteral("taken"), "mine");
        QVERIFY(!platform::renameNoReplace(enc(root + "f"), enc(root + "taken")));
        QCOMPARE(TestEnv::readFile(root + QStringLiteral("taken")), "mine");
        QVERIFY(platform::renameNoReplace(enc(root + "f"), enc(root + "12.non")));
        QVERIFY(platform::removeFile(enc(root + "12.non")));
        QVERIFY(!platform::removeFile(enc(root + "12.non")));
    }

    void snapshotSeesOthersButNotItself() {
        QProcess child;
        child.start(QStringLiteral("/bin/sleep"), {QStringLiteral("30")});
        QVERIFY(child.waitForStarted());
        bool seen = false, self = false;
        for (const platform::ProcessEntry &e : platform::processSnapshot()) {
            seen = seen || (e.pid == child.processId() && e.executable.endsWith("sleep"));
            self = self || e.pid == ::getpid();
        }
        QVERIFY(seen);
        QVERIFY(!self);
        QVERIFY(!platform::killProcess(::getpid()));
        QVERIFY(platform::killProcess(child.processId()));
        QVERIFY(child.waitForFinished(5000));
    }

    void rowTextsAreCut() {
        InfectionList list;
        InfectionRecord r =
            rec("", QByteArray("/") + QByteArray(99, 'p'), QByteArray(" ") + QByteArray(60, 't'));
        QVERIFY(list.append(r, r.filePath.bytes()));
        const listrows::RowTexts row = listrows::infectionRow(list, 0);
        // The record's own room (50) is shorter than the row's 55.
        QCOMPARE(row.threat, QStringLiteral(" ") + QString(49, u't'));
        QCOMPARE(row.path, QStringLiteral("/") + QString(54, u'p'));
        QCOMPARE(listrows::infectionRow(list, 1).threat, QString());

        std::int32_t count = 0;
        auto vault = std::make_unique<VaultTable>(count);
        QVERIFY(vault->append(rec("/v/1", "/first", " Same")));
        QVERIFY(vault->append(r));
        QVERIFY(vault->append(rec("/v/3", QByteArray("/") + QByteArray(99, 'q'), " Same")));
        // Each row its own record, whatever name it shares; nothing outside the records.
        QCOMPARE(listrows::vaultRow(*vault, 0).path, QStringLiteral("/first"));
        QCOMPARE(listrows::vaultRow(*vault, 2).path, QStringLiteral("/") + QString(74, u'q'));
        QCOMPARE(listrows::vaultRow(*vault, 3).path, QString());
        QCOMPARE(listrows::vaultRow(*vault, -1).path, QString());
    }
};

QTEST_GUILESS_MAIN(TestVaultFiles)
#include "test_vaultfiles.moc"
