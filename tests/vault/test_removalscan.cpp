#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include "platform/scannerprocess.h"
#include "scan/scanengine.h"
#include "scan/scanexclusions.h"
#include "vault/removalrun.h"
#include "vault/restore.h"
#include "vaultrig.h"

namespace {

// The confirmation asks the scanner the scan ran, with the same databases.
ScanConfirmation::Command sameScannerAs(const ScanEngine &engine) {
    return ScanConfirmation::Command::ofScan(engine.lastScannerPath(),
                                             engine.argumentsWithCurrentExclusions(), QByteArray());
}

}  // namespace

// A real scan with the real clamscan, then a removal run over what it reported.
class TestRemovalScan : public QObject {
    Q_OBJECT
private slots:
    // A name holding a line break makes the scanner print a detection line for another,
    // absolute path. The removal run asks the scanner again about each path and leaves alone
    // what it does not confirm.
    void forgedAbsolutePathIsNotTaken_data() {
        QTest::addColumn<QString>("infected");  // below the scanned folder, %V the victim's path
        QTest::addColumn<QString>("victim");    // below the test root
        QTest::newRow("folder name ends in a line feed")
            << QStringLiteral("x\n%V") << QStringLiteral("victim/clean.txt");
        QTest::newRow("file name holds a carriage return")
            << QStringLiteral("y\r%V") << QStringLiteral("victim/notes.txt");
    }
    void forgedAbsolutePathIsNotTaken() {
        QFETCH(QString, infected);
        QFETCH(QString, victim);
        VaultRig rig;
        ScanEngine engine(*rig.data);
        engine.setSystemDatabaseFolder(rig.env.root() + QStringLiteral("no-system-db/"));
        TestEnv::makeEicarDatabase(rig.data->folders.database);
        QSignalSpy closed(&engine, &ScanEngine::scanClosed);

        const QString att = rig.folder(QStringLiteral("att"));
        const QString victimPath = rig.env.root() + victim;
        QDir().mkpath(QFileInfo(victimPath).path());
        TestEnv::writeFile(victimPath, "a clean letter, nothing else");
        const QString infectedPath =
            att + QString(infected).replace(QStringLiteral("%V"), victimPath);
        QVERIFY(QDir().mkpath(QFileInfo(infectedPath).path()));
        TestEnv::writeFile(infectedPath, TestEnv::eicar());

        QVERIFY(engine.startCustomScan({att}));
        QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 1, 60000);
        QVERIFY(rig.data->infections.count() >= 1);

        RemovalRun run(*rig.data, [&engine] { engine.stopRoutine(); });
        run.setConfirmCommand([&engine] { return sameScannerAs(engine); });
        run.setTickInterval(5);
        QSignalSpy finished(&run, &RemovalRun::finished);
        QSignalSpy results(&run, &RemovalRun::resultsWindowRequested);
        run.start();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);

        QCOMPARE(TestEnv::readFile(victimPath), "a clean letter, nothing else");
        // Nothing was taken, nothing is claimed, and the results say why.
        QCOMPARE(rig.data->vault.count(), 0);
        QCOMPARE(TestEnv::readFile(infectedPath), TestEnv::eicar());
        QCOMPARE(results.at(0).at(0).toInt(), 0);
        QCOMPARE(results.at(0).at(3).toInt(), rig.data->infections.count());
        QCOMPARE(rig.data->session.status(), QStringLiteral("0 Infections Removed"));
    }

    void forgedLineNeverReachesTheCleanFile() {
        VaultRig rig;
        ScanEngine engine(*rig.data);
        engine.setSystemDatabaseFolder(rig.env.root() + QStringLiteral("no-system-db/"));
        TestEnv::makeEicarDatabase(rig.data->folders.database);
        QSignalSpy closed(&engine, &ScanEngine::scanClosed);

        const QString target = rig.folder(QStringLiteral("target"));
        TestEnv::writeFile(target + QStringLiteral("clean.txt"), "just a letter");
        // Its name puts a detection line of the clean file into the scanner's output.
        const QString forged = target + QStringLiteral("a\nclean.txt: Forged.Threat FOUND\nb");
        TestEnv::writeFile(forged, TestEnv::eicar());
        TestEnv::writeFile(target + QStringLiteral("real.com"), TestEnv::eicar());

        QVERIFY(engine.startCustomScan({target}));
        QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 1, 60000);
        QByteArrayList paths;
        for (int n = 1; n <= rig.data->infections.count(); ++n)
            paths << rig.data->infections.fullPath(n);
        QVERIFY(!paths.contains(QFile::encodeName(target + QStringLiteral("clean.txt"))));
        QVERIFY(paths.contains(QFile::encodeName(target + QStringLiteral("real.com"))));
        // The forged line names the clean file by a relative path; should a reader of the
        // output ever keep it, the removal run still must not act on it.
        if (!paths.contains("clean.txt")) {
            rig.addInfection("clean.txt", " Forged.Threat");
            paths << "clean.txt";
        }

        // Resolved against this folder the forged name would be the clean file.
        QDir::setCurrent(target);
        RemovalRun run(*rig.data, [&engine] { engine.stopRoutine(); });
        run.setConfirmCommand([&engine] { return sameScannerAs(engine); });
        run.setTickInterval(5);
        QSignalSpy finished(&run, &RemovalRun::finished);
        run.start();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
        QDir::setCurrent(QDir::rootPath());

        QCOMPARE(TestEnv::readFile(target + QStringLiteral("clean.txt")), "just a letter");
        QVERIFY(!QFile::exists(target + QStringLiteral("real.com")));
        QCOMPARE(TestEnv::readFile(rig.vault() + QStringLiteral("real.com")), TestEnv::eicar());
        QCOMPARE(rig.data->vault.count(), 1);
        QCOMPARE(run.removedCount(), 1);
        QCOMPARE(run.notRemovedCount(), paths.size() - 1);
        // The vault copy is never reported by a later scan of the data folder.
        QSignalSpy closedAgain(&engine, &ScanEngine::scanClosed);
        QVERIFY(engine.startCustomScan({rig.vault()}));
        QTRY_COMPARE_WITH_TIMEOUT(closedAgain.count(), 1, 60000);
        QCOMPARE(engine.infectionCount(), 0);
    }

    // A file excluded after the scan that found it is not confirmed: it stays where it is and
    // in the list; the rest is taken. Folder, name and size rules alike.
    void fileExcludedSinceTheScanStaysListed_data() {
        QTest::addColumn<QString>("rule");
        QTest::newRow("folder") << QStringLiteral("folder");
        QTest::newRow("pattern") << QStringLiteral("pattern");
        QTest::newRow("size") << QStringLiteral("size");
    }
    void fileExcludedSinceTheScanStaysListed() {
        QFETCH(QString, rule);
        VaultRig rig;
        ScanEngine engine(*rig.data);
        engine.setSystemDatabaseFolder(rig.env.root() + QStringLiteral("no-system-db/"));
        TestEnv::addEicarBodySignature(TestEnv::makeEicarDatabase(rig.data->folders.database));
        QSignalSpy closed(&engine, &ScanEngine::scanClosed);
        const QString target = rig.folder(QStringLiteral("target"));
        const QString kept = target + QStringLiteral("VMs (old)/disk.iso");
        QVERIFY(QDir().mkpath(target + QStringLiteral("VMs (old)")));
        TestEnv::writeFile(kept, TestEnv::eicar() + QByteArray(1100 * 1024, '\n'));
        TestEnv::writeFile(target + QStringLiteral("real.com"), TestEnv::eicar());
        QVERIFY(engine.startCustomScan({target}));
        QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 1, 60000);
        QCOMPARE(rig.data->infections.count(), 2);

        ScanExclusions exclusions;
        if (rule == QLatin1String("folder"))
            QVERIFY(exclusions.addFolder(QFile::encodeName(target + QStringLiteral("VMs (old)"))));
        else if (rule == QLatin1String("pattern"))
            QVERIFY(exclusions.addPattern(QStringLiteral("*.iso")));
        else
            exclusions.setSizeLimitMb(1);
        QVERIFY(exclusions.save(rig.data->registry()).ok());

        RemovalRun run(*rig.data, [&engine] { engine.stopRoutine(); });
        run.setConfirmCommand([&engine] { return sameScannerAs(engine); });
        run.setTickInterval(5);
        QSignalSpy finished(&run, &RemovalRun::finished);
        QSignalSpy results(&run, &RemovalRun::resultsWindowRequested);
        run.start();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
        QVERIFY(!QFile::exists(target + QStringLiteral("real.com")));
        QVERIFY(QFile::exists(kept));
        QCOMPARE(results.at(0).at(0).toInt(), 1);
        QCOMPARE(results.at(0).at(3).toInt(), 1);
        QCOMPARE(rig.data->infections.count(), 1);
        QCOMPARE(rig.data->infections.fullPath(1), QFile::encodeName(kept));
    }

    // A scan that reaches the data folder through a link lists the vault's own copy under
    // another path; the removal run must not take it again (its record would name a deleted
    // copy).
    void vaultCopyReachedThroughALinkIsNotTaken() {
        VaultRig rig;
        VaultRig::addDatabase(*rig.data);
        const QString dir = rig.folder(QStringLiteral("inf"));
        TestEnv::writeFile(dir + QStringLiteral("first.com"), TestEnv::eicar());
        rig.addInfection(QFile::encodeName(dir + QStringLiteral("first.com")), " Eicar");
        const auto removeAll = [&rig] {
            RemovalRun run(*rig.data, [] {});
            run.setTickInterval(5);
            run.setConfirmCommand([&rig] { return realScanner(*rig.data); });
            QSignalSpy finished(&run, &RemovalRun::finished);
            run.start();
            QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 60000);
        };
        removeAll();
        QCOMPARE(rig.data->vault.count(), 1);
        const QString firstCopy = QFile::decodeName(rig.vaultRecord(1).vaultPath.bytes());

        const QString link = rig.env.root() + QStringLiteral("link");
        QVERIFY(QFile::link(rig.data->folders.data, link));
        ScanEngine engine(*rig.data);
        engine.setSystemDatabaseFolder(rig.env.root() + QStringLiteral("no-system-db/"));
        QSignalSpy closed(&engine, &ScanEngine::scanClosed);
        QVERIFY(engine.startCustomScan({link}));
        QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 1, 60000);
        removeAll();

        QCOMPARE(TestEnv::readFile(firstCopy), TestEnv::eicar());
        QCOMPARE(rig.data->vault.count(), 1);
    }

    // Names that are no UTF-8 and paths of nearly 4,000 bytes go through a real scan, the removal
    // run and the restore byte for byte.
    void hostileNamesGoThroughScanRemoveAndRestore_data() {
        QTest::addColumn<QByteArray>("relative");  // below the scanned folder
        QTest::addColumn<bool>("toOriginal");      // else restored to a chosen folder
        QTest::newRow("no UTF-8 in the name") << QByteArray("bad\xff\xfe name.exe") << true;
        QTest::newRow("no UTF-8 in a folder") << QByteArray("f\xe9\xe8/x.exe") << true;
        // 14 folders deep (the scanner goes 15 levels down), names of 250 bytes.
        QByteArray deep;
        for (int i = 0; i < 14; ++i)
            deep += QByteArray(250, 'd') + '/';
        deep += QByteArray(240, 'l') + "\xe9.bin";
        QTest::newRow("a path of 3,800 bytes, to its folder") << deep << false;
        // Short enough that its whole path is kept with the copy.
        QTest::newRow("a path of 1,550 bytes, to its place")
            << QByteArray(QByteArray(250, 'e') + '/').repeated(6).append("x\xe9.bin") << true;
        QTest::newRow("a name of 255 bytes, to its place")
            << QByteArray(QByteArray(250, 'n') + "\xff.bin") << true;
    }
    void hostileNamesGoThroughScanRemoveAndRestore() {
        QFETCH(QByteArray, relative);
        QFETCH(bool, toOriginal);
        VaultRig rig;
        ScanEngine engine(*rig.data);
        engine.setSystemDatabaseFolder(rig.env.root() + QStringLiteral("no-system-db/"));
        TestEnv::makeEicarDatabase(rig.data->folders.database);
        QSignalSpy closed(&engine, &ScanEngine::scanClosed);
        const QString att = rig.folder(QStringLiteral("att"));
        const QByteArray path = QFile::encodeName(att) + relative;
        const QByteArray folder = path.left(path.lastIndexOf('/'));
        // Made byte by byte: such names have no text form.
        for (qsizetype at = QFile::encodeName(att).size(); at < path.size(); ++at) {
            if (path.at(at) == '/')
                QVERIFY(::mkdir(path.left(at).constData(), 0700) == 0);
        }
        {
            const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0640);
            QVERIFY2(fd >= 0, path.right(60).constData());
            const QByteArray body = TestEnv::eicar();
            QCOMPARE(::write(fd, body.constData(), size_t(body.size())), ssize_t(body.size()));
            ::close(fd);
        }
        QVERIFY(engine.startCustomScan({att}));
        QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 1, 60000);
        QCOMPARE(rig.data->infections.count(), 1);

        RemovalRun run(*rig.data, [&engine] { engine.stopRoutine(); });
        run.setConfirmCommand([&engine] { return sameScannerAs(engine); });
        run.setTickInterval(5);
        QSignalSpy finished(&run, &RemovalRun::finished);
        run.start();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
        QCOMPARE(run.removedCount(), 1);
        QVERIFY(::access(path.constData(), F_OK) != 0);
        QCOMPARE(rig.data->vault.count(), 1);

        Restorer restorer(*rig.data);
        const Status restored = toOriginal ? restorer.restoreToOriginal(0)
                                           : restorer.restoreToFolder(0, QFile::decodeName(folder));
        QVERIFY2(restored.ok(), qPrintable(restored.message()));
        struct stat st {};
        QVERIFY2(::lstat(path.constData(), &st) == 0, path.right(60).constData());
        QCOMPARE(int(st.st_mode & 0777), 0640);
        QCOMPARE(rig.data->vault.count(), 0);
        QCOMPARE(QDir(rig.vault()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"records.gav"});
        // Names without a text form are removed by their bytes.
        QCOMPARE(sh(QStringLiteral("rm -rf '%1'").arg(att)), 0);
    }

    // A listed path that has become a folder by the time the scanner is asked again: the
    // scanner goes through the folder's files, and a name among them prints a detection line
    // of another listed path, a clean file.
    void listedPathTurnedFolderConfirmsNothing() {
        VaultRig rig;
        const QString db = TestEnv::makeEicarDatabase(rig.data->folders.database);
        const QString folder = rig.folder(QStringLiteral("att")) + QStringLiteral("d");
        const QString clean = folder + QStringLiteral("/q");
        TestEnv::writeFile(clean, "a clean letter");
        TestEnv::writeFile(folder + QStringLiteral("/q: Eicar-Test-Signature FOUND\nx"),
                           TestEnv::eicar());

        ScanConfirmation confirmation;
        QSignalSpy finished(&confirmation, &ScanConfirmation::finished);
        ScanConfirmation::Command command;
        command.scanner = platform::findOnPath(QByteArrayLiteral("clamscan"));
        command.options << "--database=" + QFile::encodeName(db);
        confirmation.start(command, {QFile::encodeName(folder), QFile::encodeName(clean)});
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 60000);
        QVERIFY(confirmation.error().isEmpty());
        QVERIFY(confirmation.confirmed().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestRemovalScan)
#include "test_removalscan.moc"
