#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include "vault/removalrun.h"
#include "vault/restore.h"
#include "vaultrig.h"

namespace {

QByteArray enc(const QString &s) {
    return QFile::encodeName(s);
}

// Drives one removal run to its end and keeps what it showed.
struct Run {
    RemovalRun run;
    int stops = 0;
    QStringList doneTexts, threatTexts;
    QSignalSpy opened, closed, results, failed, finished;

    explicit Run(ProgramData &data)
        : run(data, [this] { ++stops; }),
          opened(&run, &RemovalRun::removalWindowOpened),
          closed(&run, &RemovalRun::removalWindowClosed),
          results(&run, &RemovalRun::resultsWindowRequested),
          failed(&run, &RemovalRun::saveFailed),
          finished(&run, &RemovalRun::finished) {
        run.setTickInterval(5);
        run.setConfirmCommand([&data] { return realScanner(data); });
        QObject::connect(&run, &RemovalRun::progressChanged, &run, [this] {
            doneTexts << run.doneText();
            threatTexts << run.threatText();
        });
    }
    void go() {
        run.start();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
    }
};

// Takes away, from this thread, the administrator's right to read and write any file and to
// act on files of others: the tests run as root, and a file of mode 0200 is then unreadable for
// its owner as for a user, and another user's file in a shared (sticky) folder cannot be moved.
struct WithoutFileOverride {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved[2]{};
    WithoutFileOverride() {
        ::syscall(SYS_capget, &header, saved);
        __user_cap_data_struct reduced[2] = {saved[0], saved[1]};
        reduced[0].effective &=
            ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
        ::syscall(SYS_capset, &header, reduced);
    }
    ~WithoutFileOverride() { ::syscall(SYS_capset, &header, saved); }
};

}  // namespace

class TestRemovalRun : public QObject {
    Q_OBJECT
private slots:
    void threeInfectionsLastFirst() {
        VaultRig rig;
        const QString dir = rig.folder(QStringLiteral("infected"));
        for (int i = 1; i <= 3; ++i) {
            TestEnv::writeFile(dir + QStringLiteral("f%1.exe").arg(i),
                               "file body " + QByteArray::number(i));
            rig.addInfection(enc(dir + QStringLiteral("f%1.exe").arg(i)),
                             " Threat-" + QByteArray::number(i) + "-with-a-very-long-name-here");
        }
        rig.data->lastScan.totalRemoved = 10;
        QFile::setPermissions(rig.vault(), QFileDevice::Permissions(0x7755));
        Run r(*rig.data);
        r.go();
        struct stat vaultStat {};
        QCOMPARE(::stat(enc(rig.vault()).constData(), &vaultStat), 0);
        QCOMPARE(vaultStat.st_mode & 07777, 0700u);

        QCOMPARE(r.stops, 1);
        QCOMPARE(r.opened.count(), 1);
        // Opening shows "0", then each tick: 0, 1, 2 while removing, 3 on the closing tick.
        QCOMPARE(r.doneTexts, (QStringList{"0", "0", "1", "2", "3"}));
        QCOMPARE(r.threatTexts.at(0), QStringLiteral(" Threat-3-with-a-very-long-nam"));
        QCOMPARE(r.threatTexts.at(3), QStringLiteral(" Threat-1-with-a-very-long-nam"));
        // Records were processed 3, 2, 1: the vault holds them in that order.
        QCOMPARE(rig.data->vault.count(), 3);
        for (int k = 1; k <= 3; ++k) {
            const QString name = QStringLiteral("f%1.exe").arg(4 - k);
            QCOMPARE(rig.vaultRecord(k).filePath.bytes(), enc(dir + name));
            QCOMPARE(rig.vaultRecord(k).vaultPath.bytes(), enc(rig.vault() + name));
            QVERIFY(!QFile::exists(dir + name));
            QCOMPARE(TestEnv::readFile(rig.vault() + name),
                     "file body " + QByteArray::number(4 - k));
            struct stat st {};
            QCOMPARE(::stat(enc(rig.vault() + name).constData(), &st), 0);
            QCOMPARE(st.st_mode & 07777, 0600u);
        }
        QCOMPARE(r.results.count(), 1);
        QCOMPARE(r.results.at(0).at(0).toInt(), 3);
        QCOMPARE(r.results.at(0).at(1).toInt(), 0);
        QCOMPARE(r.results.at(0).at(2).toBool(), false);
        QCOMPARE(r.failed.count(), 0);
        QCOMPARE(rig.data->session.status(), QStringLiteral("3 Infections Removed"));
        QCOMPARE(rig.data->session.foundText(), QStringLiteral("Infections Found: 0"));
        QCOMPARE(rig.data->session.scannedText(), QStringLiteral("Items Scanned: 0"));
        QCOMPARE(rig.data->session.percentText(), QStringLiteral("0%"));
        QCOMPARE(rig.data->session.infectionRows(), 0);
        QCOMPARE(rig.data->infections.count(), 0);
        QCOMPARE(rig.data->session.removedCount(), 3);

        // Stored: the vault file, the count in sysdata, the removed figures in lsd.
        const QByteArray gav = TestEnv::readFile(rig.data->folders.recordsFile());
        QCOMPARE(gav.size(), 563000);
        QCOMPARE(gav.mid(256, 1), QByteArray(1, char(enc(dir + "f3.exe").size())));
        const QByteArray sysdata = rig.env.registryValue(QStringLiteral("sysdata"));
        QCOMPARE(sysdata.mid(784, 4), QByteArray("\x03\x00\x00\x00", 4));
        const QByteArray lsd = rig.env.registryValue(QStringLiteral("lsd"));
        QCOMPARE(lsd.mid(8, 4), QByteArray("\x0d\x00\x00\x00", 4));
        QCOMPARE(lsd.mid(28, 4), QByteArray("\x03\x00\x00\x00", 4));
    }

    // A second run for what the first left: the last scan's removed figure counts both runs,
    // as the total does.
    void removedFiguresCountEveryRunAfterTheScan() {
        VaultRig rig;
        const QString dir = rig.folder(QStringLiteral("d"));
        for (const char *name : {"a.exe", "b.exe"}) {
            TestEnv::writeFile(dir + QLatin1String(name), QByteArray("body of ") + name);
            rig.addInfection(enc(dir + QLatin1String(name)), " T");
        }
        // Not detected by the first run's scanner: it stays listed.
        rig.addInfection(enc(dir + QStringLiteral("later.exe")), " T");
        TestEnv::writeFile(dir + QStringLiteral("later.exe"), "detected only later");
        rig.data->lastScan.totalRemoved = 7;
        {
            Run r(*rig.data);
            r.go();
            QCOMPARE(r.run.removedCount(), 2);
        }
        QCOMPARE(rig.data->infections.count(), 1);
        rig.detect(enc(dir + QStringLiteral("later.exe")));
        {
            Run r(*rig.data);
            r.go();
            QCOMPARE(r.run.removedCount(), 1);
        }
        QCOMPARE(rig.data->infections.count(), 0);
        QCOMPARE(rig.data->session.removedCount(), 3);
        const QByteArray lsd = rig.env.registryValue(QStringLiteral("lsd"));
        QCOMPARE(lsd.mid(8, 4), QByteArray("\x0a\x00\x00\x00", 4));
        QCOMPARE(lsd.mid(28, 4), QByteArray("\x03\x00\x00\x00", 4));

        // The program closed (the tray's Exit, SIGTERM) in the middle of a run: what was removed
        // by then is counted and the rest stays listed; no results window comes.
        for (const char *name : {"c.exe", "d.exe", "e.exe"}) {
            TestEnv::writeFile(dir + QLatin1String(name), QByteArray("body of ") + name);
            rig.addInfection(enc(dir + QLatin1String(name)), " T");
        }
        {
            Run r(*rig.data);
            // After its first step the run waits: the program is closed then.
            r.run.setTestHooks({[&](const QByteArray &) { r.run.setTickInterval(3600000); }, {}});
            r.run.start();
            QTRY_COMPARE_WITH_TIMEOUT(r.run.removedCount(), 1, 20000);
            Startup::shutdown(*rig.data);
            QVERIFY(!r.run.isRunning());
            QCOMPARE(r.results.count(), 0);
            QCOMPARE(r.finished.count(), 1);
        }
        QCOMPARE(rig.data->infections.count(), 2);
        QCOMPARE(rig.env.registryValue(QStringLiteral("lsd")).mid(28, 4),
                 QByteArray("\x04\x00\x00\x00", 4));
        Startup::shutdown(*rig.data);  // a run that has gone leaves nothing to call
    }

    void permissionsComeBackWithTheRestore() {
        VaultRig rig;
        const QString dir = rig.folder(QStringLiteral("tools"));
        const QString script = dir + QStringLiteral("build.sh");
        TestEnv::writeFile(script, "#!/bin/sh\necho hi\n");
        QVERIFY(::chmod(enc(script).constData(), 04755) == 0);  // setuid is not brought back
        rig.addInfection(enc(script), " Heuristic.Script");
        Run r(*rig.data);
        r.go();
        QVERIFY(!QFile::exists(script));
        struct stat st {};
        QCOMPARE(::stat(enc(rig.vault() + "build.sh").constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, 0600u);  // the copy itself stays private

        Restorer restorer(*rig.data);
        const Status restored = restorer.restoreToOriginal(0);
        QVERIFY2(restored.ok(), qPrintable(restored.message()));
        QCOMPARE(TestEnv::readFile(script), QByteArray("#!/bin/sh\necho hi\n"));
        QCOMPARE(::stat(enc(script).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, 0755u);
    }

    void eachQuarantinedFileIsStoredBeforeItGoes() {
        VaultRig rig;
        const QString dir = rig.folder(QStringLiteral("infected"));
        for (const char *name : {"a", "b", "c"}) {
            TestEnv::writeFile(dir + QLatin1String(name), QByteArray("content of ") + name);
            rig.addInfection(enc(dir + QLatin1String(name)), " T");
        }
        Run r(*rig.data);
        r.run.setTickInterval(300);
        r.run.start();
        // The first file (the last found) has left its place: the program could end now.
        QTRY_VERIFY(!QFile::exists(dir + QStringLiteral("c")));
        QVERIFY(QFile::exists(dir + QStringLiteral("a")));
        ProgramData reloaded(rig.clock, platform::KeyStore(rig.env.registryRoot()));
        Startup::Options options;
        options.programFolder = rig.env.programFolder();
        (void)Startup::run(reloaded, options);
        QCOMPARE(reloaded.vault.count(), 1);
        QCOMPARE(reloaded.vault.slot(1).filePath.bytes(), enc(dir + "c"));
        QCOMPARE(TestEnv::readFile(QFile::decodeName(reloaded.vault.slot(1).vaultPath.bytes())),
                 QByteArray("content of c"));
        QTRY_COMPARE_WITH_TIMEOUT(r.finished.count(), 1, 5000);
        QCOMPARE(r.failed.count(), 0);
    }

    void sameNameInTwoFoldersGetsANumber() {
        VaultRig rig;
        const QString a = rig.folder(QStringLiteral("a")), b = rig.folder(QStringLiteral("b"));
        TestEnv::writeFile(a + QStringLiteral("setup.exe"), "setup A");
        TestEnv::writeFile(b + QStringLiteral("setup.exe"), "setup B");
        rig.addInfection(enc(a + QStringLiteral("setup.exe")), " X");
        rig.addInfection(enc(b + QStringLiteral("setup.exe")), " Y");
        Run r(*rig.data);
        r.go();
        QCOMPARE(rig.data->vault.count(), 2);
        // b is processed first and takes the plain name; a finds it taken.
        QCOMPARE(rig.vaultRecord(1).vaultPath.bytes(), enc(rig.vault() + "setup.exe"));
        const QByteArray second = rig.vaultRecord(2).vaultPath.bytes();
        QVERIFY(second.startsWith(enc(rig.vault())));
        const QString secondName = QString::fromLocal8Bit(second.mid(enc(rig.vault()).size()));
        QVERIFY2(QRegularExpression(QStringLiteral("^[0-9]{1,4}setup\\.exe$"))
                     .match(secondName)
                     .hasMatch(),
                 qPrintable(secondName));
        QCOMPARE(TestEnv::readFile(rig.vault() + QStringLiteral("setup.exe")), "setup B");
        QCOMPARE(TestEnv::readFile(QString::fromLocal8Bit(second)), "setup A");
    }

    // Files quarantined over several program runs: each run starts the program again on the
    // same data. Every file that left its place must have a record of its own and a copy with
    // its content, whatever names and paths they share.
    void everyTakenFileKeepsItsOwnCopy_data() {
        QTest::addColumn<QStringList>("runs");  // per run, its files separated by "|"
        QTest::newRow("the same name in three runs")
            << QStringList{"a/setup.exe", "b/setup.exe", "c/setup.exe"};
        QTest::newRow("a path quarantined before")
            << QStringList{"a/tool.exe", "a/tool.exe", "a/tool.exe"};
        QTest::newRow("long paths alike in their first 255 bytes")
            << QStringList{"%L/first-of-two.exe|%L/second-of-two.exe"};
        QTest::newRow("named like the records file") << QStringList{"d/records.gav"};
    }
    void everyTakenFileKeepsItsOwnCopy() {
        QFETCH(QStringList, runs);
        TestEnv env;
        FixedClock clock{QDate(2026, 12, 8)};
        QString longFolder = QStringLiteral("deep");
        while (env.root().size() + longFolder.size() < 260)
            longFolder += QStringLiteral("/long-folder-name");
        Startup::Options options;
        options.programFolder = env.programFolder();
        QByteArrayList written;
        for (int run = 0; run < runs.size(); ++run) {
            ProgramData data(clock, platform::KeyStore(env.registryRoot()));
            (void)Startup::run(data, options);
            VaultRig::addDatabase(data);
            for (QString file : runs.at(run).split(u'|')) {
                file = env.root() + file.replace(QStringLiteral("%L"), longFolder);
                QDir().mkpath(QFileInfo(file).path());
                const QByteArray body = "run " + QByteArray::number(run) + " wrote " + enc(file);
                TestEnv::writeFile(file, body);
                written << body;
                InfectionRecord r;
                r.filePath.assign(enc(file));
                r.threatName.assign(" T");
                QVERIFY(data.infections.append(r, enc(file)));
                VaultRig::detect(data, enc(file));
            }
            Run r(data);
            r.go();
            QCOMPARE(r.run.removedCount(), runs.at(run).split(u'|').size());
        }
        ProgramData after(clock, platform::KeyStore(env.registryRoot()));
        (void)Startup::run(after, options);
        QCOMPARE(after.vault.count(), written.size());
        QByteArrayList copies, vaultPaths;
        for (int k = 1; k <= after.vault.count(); ++k) {
            vaultPaths << after.vault.slot(k).vaultPath.bytes();
            copies << TestEnv::readFile(QFile::decodeName(vaultPaths.constLast()));
        }
        std::sort(copies.begin(), copies.end());
        std::sort(written.begin(), written.end());
        QCOMPARE(copies, written);
        QCOMPARE(TestEnv::readFile(after.folders.recordsFile()).size(), 563000);
    }

    void eachProgramRunDrawsOtherNumbers() {
        TestEnv env;
        FixedClock clock{QDate(2026, 12, 8)};
        ProgramData first(clock, platform::KeyStore(env.registryRoot()));
        ProgramData second(clock, platform::KeyStore(env.registryRoot()));
        QVERIFY(first.random.generate64() != second.random.generate64());
    }

    // A file changed or replaced after the scanner confirmed it is not what it confirmed.
    void aFileChangedAfterItsConfirmationStays_data() {
        QTest::addColumn<bool>("replace");
        QTest::newRow("written over") << false;
        QTest::newRow("replaced by another file") << true;
    }
    void aFileChangedAfterItsConfirmationStays() {
        QFETCH(bool, replace);
        VaultRig rig;
        const QString dir = rig.folder(QStringLiteral("d"));
        const QString file = dir + QStringLiteral("report.doc");
        TestEnv::writeFile(file, "infected content here");
        rig.addInfection(enc(file), " T");
        Run r(*rig.data);
        r.run.setTickInterval(1000);
        r.run.start();
        QTRY_VERIFY_WITH_TIMEOUT(!r.run.isConfirming(), 20000);
        if (replace) {
            TestEnv::writeFile(dir + QStringLiteral("other"), "a clean letter");
            QVERIFY(::rename(enc(dir + "other").constData(), enc(file).constData()) == 0);
        } else {
            TestEnv::writeFile(file, "a clean letter");
        }
        QTRY_COMPARE_WITH_TIMEOUT(r.finished.count(), 1, 20000);
        QCOMPARE(TestEnv::readFile(file), "a clean letter");
        QCOMPARE(rig.data->vault.count(), 0);
        QCOMPARE(r.run.unconfirmedCount(), 1);
    }

    void samePathTwiceMakesOneRecord() {
        VaultRig rig;
        const QString dir = rig.folder(QStringLiteral("d"));
        TestEnv::writeFile(dir + QStringLiteral("twice.bin"), "payload");
        rig.addInfection(enc(dir + QStringLiteral("twice.bin")), " T");
        rig.addInfection(enc(dir + QStringLiteral("twice.bin")), " T");
        Run r(*rig.data);
        r.go();
        QCOMPARE(rig.data->vault.count(), 1);
        QVERIFY(!QFile::exists(dir + QStringLiteral("twice.bin")));
        QCOMPARE(TestEnv::readFile(rig.vault() + QStringLiteral("twice.bin")), "payload");
        // No second copy and nothing neutralised.
        QCOMPARE(QDir(rig.vault()).entryList(QDir::Files).size(), 2);  // the copy + records.gav
        QCOMPARE(QDir(dir).entryList(QDir::Files).size(), 0);
        QCOMPARE(r.run.removedCount(), 2);
    }

    // The infected program ends before its step, and another program gets its process number:
    // that one must not be killed.
    void aProcessNumberTakenOverIsSpared() {
        VaultRig rig;
        const QString bad = rig.folder(QStringLiteral("bad")),
                      other = rig.folder(QStringLiteral("other"));
        for (const QString &dir : {bad, other}) {
            QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), dir + QStringLiteral("worker")));
            QFile::setPermissions(dir + QStringLiteral("worker"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        QProcess infected;
        infected.start(bad + QStringLiteral("worker"), {QStringLiteral("60")});
        QVERIFY(infected.waitForStarted());
        const qint64 pid = infected.processId();
        rig.addInfection(enc(bad + QStringLiteral("worker")), " Proc");
        Run r(*rig.data);
        r.run.setTickInterval(1500);
        r.run.start();
        infected.kill();
        QVERIFY(infected.waitForFinished());

        // The next process made gets the ended one's number (the kernel's last-number file).
        QProcess innocent;
        for (int attempt = 0; attempt < 20 && innocent.processId() != pid; ++attempt) {
            if (innocent.state() != QProcess::NotRunning) {
                innocent.kill();
                innocent.waitForFinished();
            }
            QFile last(QStringLiteral("/proc/sys/kernel/ns_last_pid"));
            if (!last.open(QIODevice::WriteOnly))
                QSKIP("The process number of a new process cannot be chosen here");
            last.write(QByteArray::number(pid - 1));
            last.close();
            innocent.start(other + QStringLiteral("worker"), {QStringLiteral("60")});
            QVERIFY(innocent.waitForStarted());
        }
        if (innocent.processId() != pid)
            QSKIP("Another process took the number first");
        QTRY_COMPARE_WITH_TIMEOUT(r.finished.count(), 1, 20000);
        QCOMPARE(innocent.state(), QProcess::Running);
        QVERIFY(!QFile::exists(bad + QStringLiteral("worker")));
        innocent.kill();
        innocent.waitForFinished();
    }

    // A records file that cannot be read at start-up (mode 0200, read as its owner without the
    // administrator's override) is reported, and nothing writes over its records until it
    // could be read.
    void unreadableRecordsFileIsNeverOverwritten() {
        TestEnv env;
        FixedClock clock{QDate(2026, 12, 8)};
        Startup::Options options;
        options.programFolder = env.programFolder();
        const QString records = env.dataFolder() + QStringLiteral("virus_vault/records.gav");
        QByteArray image(563000, '\0');
        const QByteArray vaultPath = enc(env.dataFolder() + QStringLiteral("virus_vault/old.exe"));
        image[0] = char(vaultPath.size());
        image.replace(1, vaultPath.size(), vaultPath);
        image.replace(256, 9, QByteArray("\x08/old.exe", 9));
        image.replace(512, 5, QByteArray("\x04 Old", 5));
        TestEnv::writeFile(records, image);
        TestEnv::writeFile(QFile::decodeName(vaultPath), "the old quarantined file");
        QByteArray sys(808, '\0');
        sys[784] = 1;
        env.writeRegistryValue(QStringLiteral("sysdata"), "REG_BINARY", sys);
        QVERIFY(::chmod(enc(records).constData(), 0200) == 0);
        const QString dir = env.root() + QStringLiteral("d/");
        QDir().mkpath(dir);
        TestEnv::writeFile(dir + QStringLiteral("new.exe"), "newly infected file");

        {
            WithoutFileOverride asOwner;
            ProgramData data(clock, platform::KeyStore(env.registryRoot()));
            const Startup::Report report = Startup::run(data, options);
            QVERIFY2(report.problems.join(u'\n').contains(records),
                     qPrintable(report.problems.join(u'\n')));
            InfectionRecord r;
            r.filePath.assign(enc(dir + QStringLiteral("new.exe")));
            r.threatName.assign(" New");
            QVERIFY(data.infections.append(r, r.filePath.bytes()));
            VaultRig::detect(data, r.filePath.bytes());
            Run run(data);
            run.go();
            QCOMPARE(run.run.removedCount(), 0);
            Restorer restorer(data);
            QVERIFY(!restorer.restoreToOriginal(0).ok());
        }
        QVERIFY(::chmod(enc(records).constData(), 0600) == 0);
        QCOMPARE(TestEnv::readFile(records), image);
        QCOMPARE(TestEnv::readFile(dir + QStringLiteral("new.exe")), "newly infected file");
        QCOMPARE(TestEnv::readFile(QFile::decodeName(vaultPath)), "the old quarantined file");
    }

    void endsOnlyProcessesOfTheInfectedFile() {
        VaultRig rig;
        const QString bad = rig.folder(QStringLiteral("bad")),
                      other = rig.folder(QStringLiteral("other"));
        for (const QString &dir : {bad, other}) {
            QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), dir + QStringLiteral("worker")));
            QFile::setPermissions(dir + QStringLiteral("worker"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        QProcess infected, innocent;
        infected.start(bad + QStringLiteral("worker"), {QStringLiteral("60")});
        innocent.start(other + QStringLiteral("worker"), {QStringLiteral("60")});
        QVERIFY(infected.waitForStarted());
        QVERIFY(innocent.waitForStarted());
        rig.addInfection(enc(bad + QStringLiteral("worker")), " Proc");
        Run r(*rig.data);
        r.go();
        QTRY_COMPARE(infected.state(), QProcess::NotRunning);
        QCOMPARE(infected.exitStatus(), QProcess::CrashExit);
        QCOMPARE(innocent.state(), QProcess::Running);
        QVERIFY(!QFile::exists(bad + QStringLiteral("worker")));
        QCOMPARE(rig.data->vault.count(), 1);
        innocent.kill();
        innocent.waitForFinished();
    }

    void unwritableVaultDeletesNothing_data() {
        QTest::addColumn<QString>("unwritable");
        QTest::newRow("the vault folder") << "vault";
        // The copies can be made, but records.gav cannot be written.
        QTest::newRow("the records file") << "records";
        // records.gav is written, but the count in the key store is not.
        QTest::newRow("the key store's count") << "count";
        // Room for the records file, none for a copy: the user is told why.
        QTest::newRow("a full file system") << "full";
    }
    void unwritableVaultDeletesNothing() {
        QFETCH(QString, unwritable);
        VaultRig rig;
        const QString dir = rig.folder(QStringLiteral("d"));
        const QByteArray padding(unwritable == QStringLiteral("full") ? 700 << 10 : 0, 'p');
        const QByteArray one = "infected one" + padding, two = "infected two" + padding;
        TestEnv::writeFile(dir + QStringLiteral("one"), one);
        TestEnv::writeFile(dir + QStringLiteral("two"), two);
        rig.addInfection(enc(dir + QStringLiteral("one")), " A");
        rig.addInfection(enc(dir + QStringLiteral("two")), " B");
        Run r(*rig.data);
        const QString countFile = rig.env.registryRoot() +
                                  "HKEY_LOCAL_MACHINE/SOFTWARE/Vizavuz/AntiVirus/sysdata/(default)";
        const QByteArray settings = TestEnv::readFile(countFile);
        QVERIFY(settings.size() > 788);
        if (unwritable == QStringLiteral("records")) {
            QVERIFY(QDir().mkpath(rig.data->folders.recordsFile()));
            r.go();
        } else if (unwritable == QStringLiteral("count")) {
            QVERIFY(QFile::remove(countFile));
            QVERIFY(QDir().mkpath(countFile + QStringLiteral("/in the way")));
            r.go();
        } else if (unwritable == QStringLiteral("full")) {
            if (sh(QStringLiteral("mount -t tmpfs -o size=1200k tmpfs '%1'").arg(rig.vault())) != 0)
                QSKIP("mounting a file system needs root");
            TestEnv::writeFile(rig.data->folders.recordsFile(), QByteArray(563000, '\0'));
            r.go();
            QStringList copies = QDir(rig.vault()).entryList(QDir::Files | QDir::Hidden);
            sh(QStringLiteral("umount -l '%1'").arg(rig.vault()));
            QCOMPARE(copies, QStringList{"records.gav"});
            QVERIFY2(r.failed.count() == 1 && r.failed.at(0).at(0).toString().contains(
                                                  QStringLiteral("No space left on device")),
                     qPrintable(r.failed.value(0).value(0).toString()));
        } else {
            Immutable lock(rig.vault());
            r.go();
        }
        QStringList copies = QDir(rig.vault()).entryList(QDir::Files);
        copies.removeAll(QStringLiteral("records.gav"));
        QCOMPARE(copies, QStringList());  // no copy left behind
        QVERIFY(TestEnv::readFile(dir + QStringLiteral("one")) == one);
        QVERIFY(TestEnv::readFile(dir + QStringLiteral("two")) == two);
        QCOMPARE(rig.data->vault.count(), 0);
        QCOMPARE(r.results.at(0).at(0).toInt(), 0);
        QCOMPARE(r.results.at(0).at(1).toInt(), 2);
        // Both were confirmed: they stay because nothing could be stored.
        QCOMPARE(r.run.unconfirmedCount(), 0);
        QVERIFY(r.failed.count() >= 1);  // records.gav could not be written either
        QCOMPARE(rig.data->session.status(), QStringLiteral("0 Infections Removed"));
        // Both stay listed, in their order, for another try.
        QCOMPARE(rig.data->infections.count(), 2);
        QCOMPARE(rig.data->session.infectionRows(), 2);
        QCOMPARE(rig.data->infections.record(1).filePath.bytes(), enc(dir + "one"));
        QCOMPARE(rig.data->infections.fullPath(2), enc(dir + "two"));
        QCOMPARE(rig.data->session.foundText(), QStringLiteral("Infections Found: 2"));
        QCOMPARE(rig.env.registryValue(QStringLiteral("lsd")).mid(28, 4), QByteArray(4, '\0'));
        if (unwritable != QStringLiteral("count"))
            return;
        // A count that reached the disk after all (a write reported failed once it had renamed
        // its file) brings back no record of a copy that is gone.
        QVERIFY(QDir(countFile).removeRecursively());
        QByteArray landed = settings;
        landed[settings.indexOf('\n') + 1 + 784] = 1;
        TestEnv::writeFile(countFile, landed);
        ProgramData again(rig.clock, platform::KeyStore(rig.env.registryRoot()));
        Startup::Options options;
        options.programFolder = rig.env.programFolder();
        (void)Startup::run(again, options);
        QCOMPARE(again.vault.count(), 0);
    }

    void fullVaultLeavesTheFile() {
        VaultRig rig;
        rig.data->settings.vaultCount = 1000;
        const QString dir = rig.folder(QStringLiteral("d"));
        TestEnv::writeFile(dir + QStringLiteral("f"), "content x");
        rig.addInfection(enc(dir + QStringLiteral("f")), " F");
        Run r(*rig.data);
        r.go();
        QCOMPARE(TestEnv::readFile(dir + QStringLiteral("f")), "content x");
        QVERIFY(!QFile::exists(rig.vault() + QStringLiteral("f")));
        QCOMPARE(rig.data->vault.count(), 1000);
        QCOMPARE(r.results.at(0).at(1).toInt(), 1);
        QCOMPARE(r.results.at(0).at(2).toBool(), true);
    }

    void leavesAloneWhatIsNotAnAbsoluteRegularFile() {
        VaultRig rig;
        const QString dir = rig.folder(QStringLiteral("d"));
        TestEnv::writeFile(dir + QStringLiteral("target"), "keep");
        QVERIFY(QFile::link(dir + QStringLiteral("target"), dir + QStringLiteral("link")));
        QDir().mkpath(dir + QStringLiteral("folder"));
        rig.addInfection(enc(dir + QStringLiteral("link")), " L");
        rig.addInfection(enc(dir + QStringLiteral("folder")), " D");
        rig.addInfection("/dev/null", " N");
        // A relative name, resolved against the working folder, must not be touched either.
        QDir::setCurrent(dir);
        rig.addInfection("target", " R");
        Run r(*rig.data);
        r.go();
        QCOMPARE(TestEnv::readFile(dir + QStringLiteral("target")), "keep");
        QVERIFY(QFileInfo(dir + QStringLiteral("link")).isSymLink());
        QVERIFY(QFileInfo(dir + QStringLiteral("folder")).isDir());
        QVERIFY(QFileInfo::exists(QStringLiteral("/dev/null")));
        QCOMPARE(rig.data->vault.count(), 0);
        QCOMPARE(r.run.notRemovedCount(), 4);
        QCOMPARE(rig.data->infections.count(), 4);
        QDir::setCurrent(QDir::rootPath());
    }

    void cutPathsAreNeverActedOn() {
        VaultRig rig;
        // A path longer than the record's room, reached through the whole printed path.
        QString deep = rig.env.root();
        while (deep.size() < 300)
            deep += QStringLiteral("longfoldername/");
        QDir().mkpath(deep);
        TestEnv::writeFile(deep + QStringLiteral("deep.exe"), "deep file");
        rig.addInfection(enc(deep + QStringLiteral("deep.exe")), " Deep");
        // A record from list.gav with a full 255-byte path (no printed path kept): the file at
        // the cut path is someone else's.
        const QByteArray cut = enc(deep).left(255);
        const QString cutFolder = QString::fromLocal8Bit(cut.left(cut.lastIndexOf('/') + 1));
        TestEnv::writeFile(QString::fromLocal8Bit(cut), "innocent");
        InfectionRecord loaded;
        loaded.filePath.assign(cut + "tail-that-was-cut");
        loaded.threatName.assign(" Cut");
        QVERIFY(rig.data->infections.append(loaded, QByteArray()));
        Q_UNUSED(cutFolder);
        Run r(*rig.data);
        r.go();
        QCOMPARE(TestEnv::readFile(QString::fromLocal8Bit(cut)), "innocent");
        QVERIFY(!QFile::exists(deep + QStringLiteral("deep.exe")));
        QCOMPARE(TestEnv::readFile(rig.vault() + QStringLiteral("deep.exe")), "deep file");
        QCOMPARE(r.run.removedCount(), 1);
        QCOMPARE(r.run.notRemovedCount(), 1);
    }

    // A file whose folder lets it be neither deleted nor renamed is cut to one byte where it is:
    // made harmless, not removed; a restore writes its content back into it.
    void undeletableFileIsMadeHarmlessInPlace_data() {
        QTest::addColumn<QString>("lock");
        QTest::newRow("immutable folder") << "immutable";
        QTest::newRow("read-only folder") << "read-only";
        // A writable file of another user in a shared folder (sticky, like /tmp): a new file
        // can be made there, but the other user's file cannot be renamed over or deleted.
        QTest::newRow("another user's file in a shared folder") << "shared";
    }
    void undeletableFileIsMadeHarmlessInPlace() {
        QFETCH(QString, lock);
        constexpr uid_t otherUser = 65534;
        VaultRig rig;
        const QString dir = rig.folder(QStringLiteral("locked"));
        const QString file = dir + QStringLiteral("stuck.exe");
        TestEnv::writeFile(file, "infected content");
        QVERIFY(::chmod(enc(file).constData(), lock == QStringLiteral("shared") ? 0666 : 0640) ==
                0);
        if (lock == QStringLiteral("shared"))
            QVERIFY(::chown(enc(file).constData(), otherUser, otherUser) == 0 &&
                    ::chown(enc(dir).constData(), otherUser, otherUser) == 0);
        rig.addInfection(enc(file), " S");
        Run r(*rig.data);
        Restorer restorer(*rig.data);
        restorer.confirmReplace = [](const QString &) { return true; };
        Status restored = Status::success();
        {
            // The folder cannot change: no delete, no rename; the file itself stays writable.
            std::unique_ptr<Immutable> locked;
            std::unique_ptr<WithoutFileOverride> asUser;
            if (lock == QStringLiteral("immutable")) {
                locked = std::make_unique<Immutable>(dir);
            } else {
                QVERIFY(::chmod(enc(dir).constData(),
                                lock == QStringLiteral("shared") ? 01777 : 0555) == 0);
                asUser = std::make_unique<WithoutFileOverride>();
            }
            r.go();
            QCOMPARE(TestEnv::readFile(rig.vault() + QStringLiteral("stuck.exe")),
                     "infected content");
            QCOMPARE(TestEnv::readFile(file), QByteArray(1, '\0'));
            QCOMPARE(rig.data->vault.count(), 1);
            QCOMPARE(r.run.removedCount(), 0);
            QCOMPARE(r.run.neutralisedCount(), 1);
            QCOMPARE(r.run.notRemovedCount(), 0);
            QCOMPARE(r.results.at(0).at(0).toInt(), 0);
            QCOMPARE(rig.data->infections.count(), 0);
            restored = restorer.restoreToOriginal(0);
        }
        ::chmod(enc(dir).constData(), 0755);
        QVERIFY2(restored.ok(), qPrintable(restored.message()));
        QCOMPARE(TestEnv::readFile(file), "infected content");
        QCOMPARE(rig.data->vault.count(), 0);
        QVERIFY(!QFile::exists(rig.vault() + QStringLiteral("stuck.exe")));
        // Written back into the file itself: nothing else is left in its folder.
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList{"stuck.exe"});
    }

    // What is deleted is exactly what the vault holds: a file replaced or written to after its
    // copy was made stays where it is, and the copy and record are taken back.
    void aFileChangedDuringItsStepIsNotDeleted_data() {
        QTest::addColumn<QString>("change");
        QTest::newRow("a clean file renamed over it") << "replace";
        QTest::newRow("appended to") << "append";
        QTest::newRow("written over, same size") << "rewrite";
        // Appended to, and a new file takes the name while the file lies under its hidden name
        // to be checked: it cannot be put back and is kept under a visible name.
        QTest::newRow("appended, its name taken meanwhile") << "taken";
    }
    void aFileChangedDuringItsStepIsNotDeleted() {
        QFETCH(QString, change);
        VaultRig rig;
        const QString dir = rig.folder(QStringLiteral("d"));
        const QString file = dir + QStringLiteral("report.doc");
        TestEnv::writeFile(file, "infected content here");
        rig.addInfection(enc(file), " T");
        Run r(*rig.data);
        QSignalSpy notices(&r.run, &RemovalRun::noticeRaised);
        QByteArray expected;
        r.run.setTestHooks(
            {[&](const QByteArray &path) {
                 QCOMPARE(path, enc(file));
                 if (change == QStringLiteral("replace")) {
                     expected = "a clean letter";
                     TestEnv::writeFile(dir + QStringLiteral("other"), expected);
                     QVERIFY(::rename(enc(dir + "other").constData(), enc(file).constData()) == 0);
                 } else if (change == QStringLiteral("taken")) {
                     QFile f(file);
                     QVERIFY(f.open(QIODevice::Append));
                     f.write(" and more");
                     f.close();
                     expected = TestEnv::readFile(file);
                 } else {
                     QFile f(file);
                     QVERIFY(f.open(change == QStringLiteral("append") ? QIODevice::Append
                                                                       : QIODevice::ReadWrite));
                     f.write(change == QStringLiteral("append") ? " and more" : "INFECTED");
                     f.close();
                     expected = TestEnv::readFile(file);
                 }
             },
             // Another program makes a file of that name while it lies aside.
             [&](const QByteArray &) {
                 if (change == QStringLiteral("taken"))
                     TestEnv::writeFile(file, "a new report");
             }});
        r.go();
        QCOMPARE(rig.data->vault.count(), 0);
        QCOMPARE(QDir(rig.vault()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"records.gav"});
        if (change == QStringLiteral("taken")) {
            const QString kept = dir + QStringLiteral("kept.report.doc");
            QCOMPARE(TestEnv::readFile(file), "a new report");
            QVERIFY(TestEnv::readFile(kept) == expected);
            QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden),
                     (QStringList{"kept.report.doc", "report.doc"}));
            QCOMPARE(notices.count(), 1);
            QVERIFY(notices.at(0).at(0).toString().contains(kept));
        } else {
            QCOMPARE(TestEnv::readFile(file), expected);
            QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList{"report.doc"});
            QCOMPARE(notices.count(), 0);
        }
        QCOMPARE(r.run.removedCount(), 0);
        QCOMPARE(r.run.unconfirmedCount(), 1);
        QCOMPARE(rig.data->infections.count(), 1);
    }

    // Two names of one infected file: taking the first moves the other's change time (its link
    // count falls), yet it is still the confirmed file and is taken too.
    // The names are taken last first: "two", then "one". A name in a read-only folder is cut
    // to one byte in place, which the other name shows too.
    void everyNameOfAHardLinkedFileIsTaken_data() {
        QTest::addColumn<QString>("lockedName");  // the name whose folder is read-only, if any
        QTest::addColumn<int>("removed");
        QTest::addColumn<int>("neutralised");
        QTest::addColumn<int>("copies");
        QTest::newRow("both names in one folder") << "" << 2 << 0 << 2;
        QTest::newRow("the name taken second cannot be deleted") << "one" << 1 << 1 << 2;
        QTest::newRow("the name taken first cannot be deleted") << "two" << 0 << 2 << 1;
    }
    void everyNameOfAHardLinkedFileIsTaken() {
        QFETCH(QString, lockedName);
        QFETCH(int, removed);
        QFETCH(int, neutralised);
        QFETCH(int, copies);
        VaultRig rig;
        const QString open = rig.folder(QStringLiteral("d"));
        const QString locked = rig.folder(QStringLiteral("locked"));
        auto at = [&](const QString &name) { return (name == lockedName ? locked : open) + name; };
        TestEnv::writeFile(at(QStringLiteral("one")), "linked payload");
        QVERIFY(::link(enc(at("one")).constData(), enc(at("two")).constData()) == 0);
        rig.addInfection(enc(at(QStringLiteral("one"))), " T");
        rig.addInfection(enc(at(QStringLiteral("two"))), " T");
        Run r(*rig.data);
        {
            QVERIFY(::chmod(enc(locked).constData(), 0555) == 0);
            WithoutFileOverride asUser;
            r.go();
        }
        ::chmod(enc(locked).constData(), 0755);
        QCOMPARE(r.run.removedCount(), removed);
        QCOMPARE(r.run.neutralisedCount(), neutralised);
        QCOMPARE(r.run.unconfirmedCount(), 0);
        QCOMPARE(r.run.notRemovedCount(), 0);
        QCOMPARE(rig.data->infections.count(), 0);
        // Every name still there is the file made harmless; the open folder holds nothing else.
        for (const QString &name : {QStringLiteral("one"), QStringLiteral("two")}) {
            if (QFileInfo::exists(at(name)))
                QCOMPARE(TestEnv::readFile(at(name)), QByteArray(1, '\0'));
        }
        QCOMPARE(QDir(open).entryList(QDir::Files | QDir::Hidden).size(), neutralised == 2);
        QCOMPARE(rig.data->vault.count(), copies);
        for (int k = 1; k <= copies; ++k)
            QCOMPARE(TestEnv::readFile(QFile::decodeName(rig.vaultRecord(k).vaultPath.bytes())),
                     "linked payload");
    }

    void immutableFileStaysAndIsReported() {
        VaultRig rig;
        const QString dir = rig.folder(QStringLiteral("d"));
        TestEnv::writeFile(dir + QStringLiteral("hard"), "content");
        rig.addInfection(enc(dir + QStringLiteral("hard")), " H");
        Run r(*rig.data);
        {
            Immutable lock(dir + QStringLiteral("hard"));
            r.go();
        }
        QCOMPARE(TestEnv::readFile(dir + QStringLiteral("hard")), "content");
        QCOMPARE(r.run.notRemovedCount(), 1);
        QCOMPARE(rig.data->vault.count(), 0);
        QVERIFY(!QFile::exists(rig.vault() + QStringLiteral("hard")));
        QCOMPARE(rig.data->infections.count(), 1);
    }

    void theButtonChecksFirst() {
        VaultRig rig;
        RemovalRun run(*rig.data, [] {});
        QSignalSpy opened(&run, &RemovalRun::removalWindowOpened);
        QSignalSpy confirm(&run, &RemovalRun::confirmStopRequested);
        run.removeFoundInfections();
        QCOMPARE(rig.data->session.status(), QStringLiteral("No Infections Found"));
        QCOMPARE(opened.count(), 0);

        rig.addInfection("/nowhere/x", " X");
        rig.data->session.setState(ScanSession::scanning());
        run.removeFoundInfections();
        QCOMPARE(confirm.count(), 1);
        QCOMPARE(opened.count(), 0);

        // A paused scan is stopped first too: its later output would refill the list.
        rig.data->session.setState(ScanSession::paused());
        run.removeFoundInfections();
        run.start();
        QCOMPARE(confirm.count(), 3);
        QCOMPARE(opened.count(), 0);
        QVERIFY(!run.isRunning());
    }
};

QTEST_GUILESS_MAIN(TestRemovalRun)
#include "test_removalrun.moc"
