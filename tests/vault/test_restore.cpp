#include <sys/stat.h>

#include <QSignalSpy>
#include <QTest>

#include "platform/fileops.h"
#include "vault/restore.h"
#include "vault/vaultdeletion.h"
#include "vaultrig.h"

namespace {

QByteArray enc(const QString &s) {
    return QFile::encodeName(s);
}

}  // namespace

class TestRestore : public QObject {
    Q_OBJECT

    // Puts a quarantined file into the vault: its copy and its record.
    static void quarantine(VaultRig &rig, const QString &copyName, const QString &original,
                           const QByteArray &threat, const QByteArray &content) {
        TestEnv::writeFile(rig.vault() + copyName, content);
        InfectionRecord r;
        r.vaultPath.assign(enc(rig.vault() + copyName));
        r.filePath.assign(enc(original));
        r.threatName.assign(threat);
        QVERIFY(rig.data->vault.append(r));
    }

private slots:
    void restoreToTheOriginalPlace() {
        VaultRig rig;
        const QString dir = rig.folder(QStringLiteral("home"));
        quarantine(rig, QStringLiteral("a.doc"), dir + QStringLiteral("a.doc"), " A", "aaa");
        quarantine(rig, QStringLiteral("b.doc"), dir + QStringLiteral("b.doc"), " B", "bbb");
        TestEnv::writeFile(dir + QStringLiteral("a.doc"), "newer file in the way");
        Restorer restorer(*rig.data);
        QSignalSpy changed(&restorer, &Restorer::vaultRowsChanged);
        QCOMPARE(restorer.vaultRows(), (QStringList{" A", " B"}));
        QVERIFY(restorer.restoreToOriginal(-1).ok());
        QCOMPARE(rig.data->vault.count(), 2);

        // The file in the way is replaced once the user has said so.
        QStringList asked;
        restorer.confirmReplace = [&asked](const QString &destination) {
            asked << destination;
            return true;
        };
        const Status s = restorer.restoreToOriginal(0);
        QVERIFY2(s.ok(), qPrintable(s.message()));
        QCOMPARE(asked, QStringList{dir + QStringLiteral("a.doc")});
        QCOMPARE(TestEnv::readFile(dir + QStringLiteral("a.doc")), "aaa");
        QVERIFY(!QFile::exists(rig.vault() + QStringLiteral("a.doc")));
        QCOMPARE(restorer.vaultRows(), (QStringList{" B"}));
        QCOMPARE(changed.count(), 1);
        const QByteArray gav = TestEnv::readFile(rig.data->folders.recordsFile());
        QCOMPARE(gav.size(), 563000);
        QCOMPARE(gav.mid(0, 1 + rig.vault().size() + 5),
                 QByteArray(1, char(rig.vault().size() + 5)) + enc(rig.vault()) + "b.doc");
        QCOMPARE(rig.env.registryValue(QStringLiteral("sysdata")).mid(784, 4),
                 QByteArray("\x01\x00\x00\x00", 4));
    }

    // A restore never destroys a file: not one standing at the destination (unless the user
    // says so), not the vault copy, and not an unrelated file named by a cut path.
    void restoreLosesNothing_data() {
        QTest::addColumn<QString>("how");     // "original" or a folder below the root, %V the vault
        QTest::addColumn<QString>("before");  // a file standing at the destination, or none
        QTest::addColumn<bool>("answer");     // the user's answer to "Replace it?"
        QTest::addColumn<QString>(
            "expected");  // where the content lands; empty: stays in the vault
        QTest::newRow("an existing file, the user says no")
            << QStringLiteral("original") << QStringLiteral("the user's newer file") << false
            << QString();
        QTest::newRow("an existing file in a chosen folder, the user says no")
            << QStringLiteral("chosen") << QStringLiteral("the user's newer file") << false
            << QString();
        QTest::newRow("a folder inside the vault")
            << QStringLiteral("%V") << QString() << true << QString();
        QTest::newRow("a folder below the vault")
            << QStringLiteral("%Vsub") << QString() << true << QString();
        QTest::newRow("a chosen folder gets the kept name")
            << QStringLiteral("chosen") << QString() << true
            << QStringLiteral("chosen/real name.doc");
    }
    void restoreLosesNothing() {
        QFETCH(QString, how);
        QFETCH(QString, before);
        QFETCH(bool, answer);
        QFETCH(QString, expected);
        VaultRig rig;
        // Recorded under a path cut at its room: its last part is a fragment of a folder name.
        const QString home = rig.folder(QStringLiteral("home"));
        QString deep = home;
        while (enc(deep).size() < 300)
            deep += QStringLiteral("a-long-folder-name/");
        const QString original = how == QStringLiteral("original")
                                     ? home + QStringLiteral("real name.doc")
                                     : deep + QStringLiteral("real name.doc");
        quarantine(rig, QStringLiteral("real name.doc"), original, " R", "quarantined content");
        QVERIFY(platform::keepOriginalName(enc(rig.vault() + "real name.doc"), "real name.doc"));
        const QString chosen = rig.folder(QStringLiteral("chosen"));
        QDir().mkpath(rig.vault() + QStringLiteral("sub"));
        if (!before.isEmpty())
            TestEnv::writeFile((how == QStringLiteral("original") ? home : chosen) +
                                   QStringLiteral("real name.doc"),
                               before.toLocal8Bit());

        Restorer restorer(*rig.data);
        restorer.confirmReplace = [answer](const QString &) { return answer; };
        Status s = Status::success();
        if (how == QStringLiteral("original"))
            s = restorer.restoreToOriginal(0);
        else
            s = restorer.restoreToFolder(0, QString(how)
                                                .replace(QStringLiteral("%V"), rig.vault())
                                                .replace(QStringLiteral("chosen"), chosen));
        if (how.startsWith(QStringLiteral("%V"))) {
            QVERIFY(!s.ok());
            QCOMPARE(s.message(), Restorer::insideVaultText());
        } else {
            QVERIFY2(s.ok(), qPrintable(s.message()));
        }
        if (expected.isEmpty()) {
            // Nothing changed: the record, its copy, and what stood at the destination.
            QCOMPARE(rig.data->vault.count(), 1);
            QCOMPARE(TestEnv::readFile(rig.vault() + QStringLiteral("real name.doc")),
                     "quarantined content");
            if (!before.isEmpty())
                QCOMPARE(TestEnv::readFile((how == QStringLiteral("original") ? home : chosen) +
                                           QStringLiteral("real name.doc")),
                         before.toLocal8Bit());
        } else {
            QCOMPARE(rig.data->vault.count(), 0);
            QCOMPARE(TestEnv::readFile(rig.env.root() + expected), "quarantined content");
            QVERIFY(!QFile::exists(rig.vault() + QStringLiteral("real name.doc")));
        }
        // Nothing else appeared in the chosen folder or the vault.
        QStringList inChosen = QDir(chosen).entryList(QDir::Files | QDir::Hidden);
        QVERIFY(inChosen.size() <= 1);
        QStringList inVault = QDir(rig.vault()).entryList(QDir::Files | QDir::Hidden);
        inVault.removeAll(QStringLiteral("records.gav"));
        QCOMPARE(inVault.size(), expected.isEmpty() ? 1 : 0);
    }

    void restoredFilesGetTheirKeptPermissions() {
        VaultRig rig;
        const QString dir = rig.folder(QStringLiteral("home"));
        quarantine(rig, QStringLiteral("kept"), dir + QStringLiteral("kept"), " K", "kept");
        quarantine(rig, QStringLiteral("plain"), dir + QStringLiteral("plain"), " P", "plain");
        QVERIFY(platform::keepOriginalMode(enc(rig.vault() + "kept"), 0750));
        Restorer restorer(*rig.data);
        QVERIFY(restorer.restoreToOriginal(0).ok());  // " K"
        QVERIFY(restorer.restoreToOriginal(0).ok());  // " P", kept nothing: private
        auto mode = [&dir](const char *name) {
            struct stat st {};
            return ::stat(enc(dir + QLatin1String(name)).constData(), &st) == 0 ? st.st_mode & 07777
                                                                                : 0u;
        };
        QCOMPARE(mode("kept"), 0750u);
        QCOMPARE(mode("plain"), 0600u);
    }

    void restoreToAChosenFolder() {
        for (const bool slash : {false, true}) {
            VaultRig rig;
            const QString data = rig.folder(QStringLiteral("data"));
            // The copy's random number is not carried over to the restored name.
            quarantine(rig, QStringLiteral("4071setup.exe"), QStringLiteral("/old/place/setup.exe"),
                       " S", "setup");
            Restorer restorer(*rig.data);
            QVERIFY(restorer.restoreToFolder(0, QString()).ok());
            QCOMPARE(rig.data->vault.count(), 1);
            const QString chosen = slash ? data : data.chopped(1);
            QVERIFY(restorer.restoreToFolder(0, chosen).ok());
            QCOMPARE(TestEnv::readFile(data + QStringLiteral("setup.exe")), "setup");
            QCOMPARE(rig.data->vault.count(), 0);
        }
    }

    void failuresKeepTheRecord() {
        VaultRig rig;
        const QString dir = rig.folder(QStringLiteral("d"));
        quarantine(rig, QStringLiteral("gone.exe"), dir + QStringLiteral("gone.exe"), " G", "g");
        quarantine(rig, QStringLiteral("far.exe"), dir + QStringLiteral("missing/far.exe"), " F",
                   "f");
        QFile::remove(rig.vault() + QStringLiteral("gone.exe"));
        Restorer restorer(*rig.data);
        QSignalSpy changed(&restorer, &Restorer::vaultRowsChanged);
        QVERIFY(!restorer.restoreToOriginal(0).ok());
        QVERIFY(!restorer.restoreToOriginal(1).ok());
        QCOMPARE(rig.data->vault.count(), 2);
        QCOMPARE(changed.count(), 0);
        QVERIFY(!QFile::exists(dir + QStringLiteral("gone.exe")));
        QCOMPARE(TestEnv::readFile(rig.vault() + QStringLiteral("far.exe")), "f");
        QVERIFY(!QFile::exists(rig.data->folders.recordsFile()));

        // A path that filled its record may be cut: only a chosen folder is safe.
        const QByteArray full = QFile::encodeName(dir) + QByteArray(300, 'n');
        quarantine(rig, QStringLiteral("long"), QString::fromLocal8Bit(full), " Long", "l");
        QVERIFY(!restorer.restoreToOriginal(2).ok());
        QCOMPARE(rig.data->vault.count(), 3);
        QVERIFY(restorer.restoreToFolder(2, dir).ok());
        QCOMPARE(TestEnv::readFile(dir + QString::fromLocal8Bit(
                                             full.left(255).mid(QFile::encodeName(dir).size()))),
                 "l");

        // A destination with no room: the cause is told, the record and copy stay, and nothing
        // half-written is left there.
        const QString full2 = rig.folder(QStringLiteral("full"));
        if (sh(QStringLiteral("mount -t tmpfs -o size=64k tmpfs '%1'").arg(full2)) != 0)
            QSKIP("mounting a file system needs root");
        quarantine(rig, QStringLiteral("big"), full2 + QStringLiteral("big"), " B",
                   QByteArray(256 << 10, 'b'));
        const Status noRoom = restorer.restoreToOriginal(rig.data->vault.count() - 1);
        const QStringList left = QDir(full2).entryList(QDir::Files | QDir::Hidden);
        sh(QStringLiteral("umount -l '%1'").arg(full2));
        QVERIFY2(noRoom.message().contains(QStringLiteral("No space left on device")),
                 qPrintable(noRoom.message()));
        QCOMPARE(left, QStringList());
        QCOMPARE(rig.data->vault.count(), 3);  // "long" went back to its folder above
        QCOMPARE(TestEnv::readFile(rig.vault() + QStringLiteral("big")).size(), 256 << 10);
    }

    void neverWritesThroughAPlantedLink() {
        VaultRig rig;
        const QString dir = rig.folder(QStringLiteral("d"));
        TestEnv::writeFile(dir + QStringLiteral("precious"), "precious");
        QVERIFY(QFile::link(dir + QStringLiteral("precious"), dir + QStringLiteral("back.sh")));
        quarantine(rig, QStringLiteral("back.sh"), dir + QStringLiteral("back.sh"), " L", "copy");
        Restorer restorer(*rig.data);
        restorer.confirmReplace = [](const QString &) { return true; };
        QVERIFY(restorer.restoreToOriginal(0).ok());
        QCOMPARE(TestEnv::readFile(dir + QStringLiteral("precious")), "precious");
        QVERIFY(!QFileInfo(dir + QStringLiteral("back.sh")).isSymLink());
        QCOMPARE(TestEnv::readFile(dir + QStringLiteral("back.sh")), "copy");
    }

    // A folder on the way back replaced by a link since the file was quarantined leads
    // somewhere else: nothing is written there, the user is told, and the record stays. A link
    // that was already there when the file was found is what the user had.
    void neverRestoresThroughAReplacedFolder_data() {
        QTest::addColumn<QString>("linkTo");  // what files/sub becomes; empty: a link all along
        QTest::addColumn<bool>("restored");
        QTest::newRow("a link to another folder") << "elsewhere" << false;
        QTest::newRow("a link into the data folder") << "%D" << false;
        QTest::newRow("a link that was there before") << "" << true;
    }
    void neverRestoresThroughAReplacedFolder() {
        QFETCH(QString, linkTo);
        QFETCH(bool, restored);
        VaultRig rig;
        const QString files = rig.folder(QStringLiteral("files"));
        const QString real = rig.folder(QStringLiteral("real"));
        const QString target = linkTo == QStringLiteral("%D")
                                   ? rig.data->folders.database
                                   : rig.folder(QStringLiteral("elsewhere"));
        if (linkTo.isEmpty())
            QVERIFY(QFile::link(real, files + QStringLiteral("sub")));
        else
            QDir().mkpath(files + QStringLiteral("sub"));
        const QString original = files + QStringLiteral("sub/d.bin");
        quarantine(rig, QStringLiteral("d.bin"), original, " D", "infected");
        QVERIFY(platform::setExtendedAttribute(enc(rig.vault() + "d.bin"),
                                               platform::attribute::folder,
                                               platform::canonicalPath(enc(files + "sub"))));
        if (!linkTo.isEmpty()) {
            QVERIFY(QDir(files + QStringLiteral("sub")).removeRecursively());
            QVERIFY(QFile::link(target, files + QStringLiteral("sub")));
        }
        Restorer restorer(*rig.data);
        const Status s = restorer.restoreToOriginal(0);
        QCOMPARE(s.ok(), restored);
        if (restored) {
            QCOMPARE(TestEnv::readFile(real + QStringLiteral("d.bin")), "infected");
            return;
        }
        QVERIFY2(s.message().contains(platform::canonicalPath(enc(target)).constData()),
                 qPrintable(s.message()));
        QVERIFY(!QFile::exists(target + QStringLiteral("d.bin")));
        QCOMPARE(rig.data->vault.count(), 1);
        QCOMPARE(TestEnv::readFile(rig.vault() + QStringLiteral("d.bin")), "infected");
        // Chosen through a link, the data folder is refused too.
        if (linkTo == QStringLiteral("%D")) {
            QVERIFY(!restorer.restoreToFolder(0, files + QStringLiteral("sub")).ok());
            QVERIFY(!QFile::exists(target + QStringLiteral("d.bin")));
        }
    }

    // Records that share a threat name: every row restores its own record, to either place.
    void sameThreatNameEachRowRestoresItsOwnRecord() {
        for (const bool toFolder : {false, true}) {
            VaultRig rig;
            const QString dir = rig.folder(QStringLiteral("d"));
            const QString chosen = rig.folder(QStringLiteral("chosen"));
            for (const char *name : {"one", "two", "three"})
                quarantine(rig, QLatin1String(name), dir + QLatin1String(name), " Same", name);
            Restorer restorer(*rig.data);
            auto restoreRow = [&](int row) {
                return toFolder ? restorer.restoreToFolder(row, chosen)
                                : restorer.restoreToOriginal(row);
            };
            const QString to = toFolder ? chosen : dir;
            QVERIFY(restoreRow(0).ok());
            QCOMPARE(TestEnv::readFile(to + QStringLiteral("one")), "one");
            QVERIFY(!QFile::exists(to + QStringLiteral("three")));
            // The rows move up with the records: row 1 is now "three".
            QVERIFY(restoreRow(1).ok());
            QCOMPARE(TestEnv::readFile(to + QStringLiteral("three")), "three");
            QVERIFY(!QFile::exists(to + QStringLiteral("two")));
            QCOMPARE(rig.data->vault.count(), 1);
            QCOMPARE(rig.data->vault.slot(1).filePath.bytes(), enc(dir + QStringLiteral("two")));
            QVERIFY(!restoreRow(1).ok());  // no such row any more
            QCOMPARE(rig.data->vault.count(), 1);
        }
    }

    // "Delete from Vault" drops the row's own record and its copy, clears a record whose copy
    // is gone, never deletes a file outside the vault, and changes nothing when the records
    // cannot be written.
    void deleteFromVault() {
        VaultRig rig;
        const QString dir = rig.folder(QStringLiteral("d"));
        quarantine(rig, QStringLiteral("one"), dir + QStringLiteral("one"), " Same", "1");
        quarantine(rig, QStringLiteral("two"), dir + QStringLiteral("two"), " Same", "2");
        quarantine(rig, QStringLiteral("gone"), dir + QStringLiteral("gone"), " G", "g");
        // A record naming a file outside the vault as its copy (an edited records file).
        TestEnv::writeFile(dir + QStringLiteral("precious"), "precious");
        InfectionRecord outside;
        outside.vaultPath.assign(enc(dir + QStringLiteral("precious")));
        outside.filePath.assign(enc(dir + QStringLiteral("x")));
        outside.threatName.assign(" O");
        QVERIFY(rig.data->vault.append(outside));
        QFile::remove(rig.vault() + QStringLiteral("gone"));

        VaultDeletion deletion(*rig.data);
        QSignalSpy changed(&deletion, &VaultDeletion::vaultRowsChanged);
        QVERIFY(deletion.question(0).contains(dir + QStringLiteral("one")));
        QVERIFY(deletion.question(4).isEmpty());
        QVERIFY(deletion.deleteRow(-1).ok());
        QVERIFY(!deletion.deleteRow(4).ok());
        QCOMPARE(rig.data->vault.count(), 4);

        // Blocked records file: nothing changes, the copy stays.
        QDir().mkpath(rig.data->folders.recordsFile() + QStringLiteral("/blocker"));
        QVERIFY(!deletion.deleteRow(1).ok());
        QCOMPARE(rig.data->vault.count(), 4);
        QCOMPARE(rig.data->vault.slot(2).filePath.bytes(), enc(dir + QStringLiteral("two")));
        QVERIFY(QFile::exists(rig.vault() + QStringLiteral("two")));
        QDir(rig.data->folders.recordsFile()).removeRecursively();

        QVERIFY(deletion.deleteRow(1).ok());  // "two", not the other " Same"
        QVERIFY(!QFile::exists(rig.vault() + QStringLiteral("two")));
        QVERIFY(QFile::exists(rig.vault() + QStringLiteral("one")));
        QVERIFY(deletion.deleteRow(1).ok());  // "gone": its copy was deleted by hand
        QVERIFY(deletion.deleteRow(1).ok());  // the outside record: cleared, file kept
        QCOMPARE(TestEnv::readFile(dir + QStringLiteral("precious")), "precious");
        QCOMPARE(changed.count(), 3);
        QCOMPARE(rig.data->vault.count(), 1);
        QCOMPARE(rig.data->vault.slot(1).filePath.bytes(), enc(dir + QStringLiteral("one")));
        const QByteArray gav = TestEnv::readFile(rig.data->folders.recordsFile());
        QCOMPARE(gav.size(), 563000);
        QCOMPARE(gav.mid(256 + 1, enc(dir).size() + 3), enc(dir + QStringLiteral("one")));
        QCOMPARE(rig.env.registryValue(QStringLiteral("sysdata")).mid(784, 4),
                 QByteArray("\x01\x00\x00\x00", 4));
        QVERIFY(!QFile::exists(dir + QStringLiteral("one")));  // deleted, never restored
    }

    void unsavableVaultIsReported() {
        VaultRig rig;
        const QString dir = rig.folder(QStringLiteral("d"));
        quarantine(rig, QStringLiteral("x"), dir + QStringLiteral("x"), " X", "x");
        Restorer restorer(*rig.data);
        // A folder where records.gav should be: the copy back works, the save cannot.
        QDir().mkpath(rig.data->folders.recordsFile() + QStringLiteral("/blocker"));
        const Status s = restorer.restoreToOriginal(0);
        QVERIFY(!s.ok());
        QCOMPARE(TestEnv::readFile(dir + QStringLiteral("x")), "x");
        QCOMPARE(rig.data->vault.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestRestore)
#include "test_restore.moc"
