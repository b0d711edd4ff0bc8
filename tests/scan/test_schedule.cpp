#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "scan/scanschedule.h"
#include "scan/scheduledscans.h"
#include "scan/scheduleinstaller.h"
#include "state/registry.h"
#include "testenv.h"

namespace {

ScanSchedule monthly(int day) {
    ScanSchedule s;
    s.frequency = ScanSchedule::Frequency::Monthly;
    s.monthDay = day;
    s.time = QTime(3, 15);
    return s;
}

// A user made for one test and removed with its crontab afterwards, so that no real user's
// table is touched.
struct ThrowAwayUser {
    QString name = QStringLiteral("vzcron%1").arg(getpid());
    bool made = false;
    ThrowAwayUser() {
        made = QProcess::execute("useradd",
                                 {"--no-create-home", "--shell", "/usr/sbin/nologin", name}) == 0;
    }
    ~ThrowAwayUser() {
        if (!made)
            return;
        QProcess::execute("crontab", {"-u", name, "-r"});
        QProcess::execute("userdel", {name});
    }
};

}  // namespace

class TestSchedule : public QObject {
    Q_OBJECT
private slots:
    void storedValuesRoundTrip() {
        TestEnv env;
        Registry registry{platform::KeyStore(env.registryRoot())};
        QCOMPARE(ScanSchedule::load(registry), ScanSchedule());  // nothing stored: off
        ScanSchedule s;
        s.frequency = ScanSchedule::Frequency::Weekly;
        s.weekday = 3;
        s.time = QTime(22, 5);
        s.customFolders = true;
        s.folders = {"/home/u/a b/", QFile::decodeName("/srv/caf\xc3\xa9/")};
        s.mainsOnly = true;
        QVERIFY(s.save(registry).ok());
        QCOMPARE(env.registryValue("schedule"), QByteArray("weekly 3 22:05 custom mains"));
        QCOMPARE(env.registryValue("schedulefolders"),
                 QByteArray("/home/u/a b/\0/srv/caf\xc3\xa9/\0", 25));
        QCOMPARE(ScanSchedule::load(registry), s);
        // A value edited by hand into nonsense reads as off.
        env.writeRegistryValue("schedule", "REG_SZ", "weekly nine 22:05 full any");
        QCOMPARE(ScanSchedule::load(registry).frequency, ScanSchedule::Frequency::Off);
    }

    void nextRunFindsTheDay_data() {
        QTest::addColumn<QByteArray>("schedule");
        QTest::addColumn<QDateTime>("after");
        QTest::addColumn<QDateTime>("next");
        const QDateTime mon(QDate(2026, 12, 7), QTime(12, 0));  // a Monday
        QTest::newRow("daily later today") << QByteArray("daily 1 13:00 full any") << mon
                                           << QDateTime(QDate(2026, 12, 7), QTime(13, 0));
        QTest::newRow("daily passed") << QByteArray("daily 1 11:59 full any") << mon
                                      << QDateTime(QDate(2026, 12, 8), QTime(11, 59));
        QTest::newRow("weekly sunday") << QByteArray("weekly 7 02:00 full any") << mon
                                       << QDateTime(QDate(2026, 12, 13), QTime(2, 0));
        QTest::newRow("31st in february")
            << QByteArray("monthly 31 02:00 full any") << QDateTime(QDate(2027, 2, 1), QTime(0, 0))
            << QDateTime(QDate(2027, 2, 28), QTime(2, 0));
        QTest::newRow("29th in leap february")
            << QByteArray("monthly 29 02:00 full any") << QDateTime(QDate(2028, 2, 1), QTime(0, 0))
            << QDateTime(QDate(2028, 2, 29), QTime(2, 0));
        QTest::newRow("30th in april")
            << QByteArray("monthly 30 02:00 full any") << QDateTime(QDate(2027, 4, 1), QTime(0, 0))
            << QDateTime(QDate(2027, 4, 30), QTime(2, 0));
        QTest::newRow("off") << QByteArray("off 1 02:00 full any") << mon << QDateTime();
    }
    void nextRunFindsTheDay() {
        QFETCH(QByteArray, schedule);
        QFETCH(QDateTime, after);
        QFETCH(QDateTime, next);
        QCOMPARE(ScanSchedule::fromText(schedule).nextRun(after), next);
    }

    void unitFilesPassSystemdsOwnCheck_data() {
        QTest::addColumn<QByteArray>("schedule");
        QTest::newRow("daily") << QByteArray("daily 1 02:00 full any");
        QTest::newRow("weekly mains") << QByteArray("weekly 5 23:30 custom mains");
        QTest::newRow("monthly 15") << QByteArray("monthly 15 04:00 full any");
        QTest::newRow("monthly 31") << QByteArray("monthly 31 04:00 full mains");
    }
    void unitFilesPassSystemdsOwnCheck() {
        QFETCH(QByteArray, schedule);
        if (QStandardPaths::findExecutable("systemd-analyze").isEmpty())
            QFAIL("systemd-analyze is not installed (Debian package systemd)");
        const ScanSchedule s = ScanSchedule::fromText(schedule);
        // The program lies in a folder whose name holds a blank, a percent and a dollar sign.
        QTemporaryDir dir;
        const QString folder = dir.filePath("odd 100% $HOME");
        QVERIFY(QDir().mkpath(folder));
        const QString program = folder + "/vizavuz-antivirus";
        QVERIFY(QFile::copy("/bin/true", program));
        QFile::setPermissions(program, QFile::ExeOwner | QFile::ReadOwner);

        ScheduleInstaller installer(QFile::encodeName(program), dir.filePath("units/"));
        QStringList calls;
        installer.run = [&calls](const QString &p, const QStringList &a, const QByteArray &) {
            calls << p + ' ' + a.join(' ');
            return platform::CommandResult{true, 0, {}, {}};
        };
        QVERIFY(installer.apply(s, ScheduleInstaller::Backend::Systemd).ok());
        const QString timer = dir.filePath("units/vizavuz-antivirus-scan.timer");
        const QString service = dir.filePath("units/vizavuz-antivirus-scan.service");
        const QByteArray serviceText = TestEnv::readFile(service);
        QVERIFY(serviceText.contains("ExecStart=\"" + QFile::encodeName(dir.path()) +
                                     "/odd 100%% $HOME/vizavuz-antivirus\" --scheduled\n"));
        QVERIFY(serviceText.contains("Nice=19\n") &&
                serviceText.contains("IOSchedulingClass=idle\n"));
        QCOMPARE(serviceText.contains("ConditionACPower=true\n"), s.mainsOnly);
        const QByteArray timerText = TestEnv::readFile(timer);
        QVERIFY(timerText.contains("Persistent=true\n"));
        QVERIFY(timerText.contains("RandomizedDelaySec="));
        QCOMPARE(calls, QStringList({"systemctl --user daemon-reload",
                                     "systemctl --user enable --now vizavuz-antivirus-scan.timer",
                                     "systemctl --user restart vizavuz-antivirus-scan.timer"}));

        QProcess verify;
        verify.start("systemd-analyze", {"verify", timer, service});
        QVERIFY(verify.waitForFinished(60000));
        const QByteArray said = verify.readAllStandardError() + verify.readAllStandardOutput();
        QVERIFY2(verify.exitCode() == 0 && !said.contains(dir.path().toUtf8()), said.constData());
        // systemd reads the calendar back as the days meant.
        for (const QString &when : s.onCalendar()) {
            QProcess calendar;
            calendar.start("systemd-analyze", {"calendar", when});
            QVERIFY(calendar.waitForFinished(30000));
            QVERIFY2(calendar.exitCode() == 0, calendar.readAllStandardError().constData());
        }

        // Off removes both files.
        calls.clear();
        QVERIFY(installer.apply(ScanSchedule(), ScheduleInstaller::Backend::Systemd).ok());
        QVERIFY(!QFile::exists(timer) && !QFile::exists(service));
        QCOMPARE(calls.first(), "systemctl --user disable --now vizavuz-antivirus-scan.timer");
    }

    // Each machine has one of the two ways, often not the other: a missing `crontab` on a
    // systemd desktop, or no `systemctl` in a container, never stops the schedule or its removal.
    void theWayThisMachineLacksNeverStopsTheSchedule_data() {
        QTest::addColumn<bool>("systemd");
        QTest::newRow("systemd, no crontab") << true;
        QTest::newRow("cron, no systemctl") << false;
    }
    void theWayThisMachineLacksNeverStopsTheSchedule() {
        QFETCH(bool, systemd);
        TestEnv env;
        QTemporaryDir config;
        const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        Registry registry{platform::KeyStore(env.registryRoot())};
        ScheduledScans scheduled(registry, "/opt/vz/vizavuz-antivirus");
        QByteArray table;
        scheduled.installer().run = [&](const QString &program, const QStringList &arguments,
                                        const QByteArray &input) {
            platform::CommandResult r;
            if ((program == "systemctl") != systemd)
                return r;  // not installed
            r.started = true;
            r.exitCode = 0;
            if (program == "crontab" && arguments == QStringList{"-l"}) {
                r.out = table;
                if (table.isEmpty()) {
                    r.exitCode = 1;
                    r.err = "no crontab for u\n";
                }
            } else if (program == "crontab") {
                table = input;
            }
            return r;
        };
        const QString timer = config.filePath("systemd/user/vizavuz-antivirus-scan.timer");
        ScanSchedule daily;
        daily.frequency = ScanSchedule::Frequency::Daily;
        const Status on = scheduled.change(daily);
        QVERIFY2(on.ok(), qPrintable(on.message()));
        QCOMPARE(QFile::exists(timer), systemd);
        QCOMPARE(table.contains("/opt/vz/vizavuz-antivirus' --scheduled"), !systemd);
        const Status off = scheduled.change(ScanSchedule());
        QVERIFY2(off.ok(), qPrintable(off.message()));
        QVERIFY(!QFile::exists(timer));
        QVERIFY(!table.contains("--scheduled"));
        QCOMPARE(ScanSchedule::load(registry).frequency, ScanSchedule::Frequency::Off);
        qputenv("XDG_CONFIG_HOME", oldConfig);
    }

    void cronLineIsWrittenBesideTheUsersOwnLines() {
        if (geteuid() != 0)
            QSKIP("needs root to make a throw-away user for its crontab");
        ThrowAwayUser user;
        QVERIFY(user.made);
        const QByteArray own = "# the user's own\nMAILTO=\"\"\n*/5 * * * * echo hello\n";
        QProcess seed;
        seed.start("crontab", {"-u", user.name, "-"});
        seed.write(own);
        seed.closeWriteChannel();
        QVERIFY(seed.waitForFinished(10000) && seed.exitCode() == 0);

        ScheduleInstaller installer("/opt/odd 50%/vizavuz-antivirus", "/nonexistent/");
        installer.crontabUser = user.name;
        installer.cronEnvironment = {"DISPLAY=:0"};
        const auto listed = [&user] {
            QProcess l;
            l.start("crontab", {"-u", user.name, "-l"});
            l.waitForFinished(10000);
            return l.readAllStandardOutput();
        };
        ScanSchedule s = monthly(31);
        QVERIFY(installer.apply(s, ScheduleInstaller::Backend::Cron).ok());
        s.frequency = ScanSchedule::Frequency::Weekly;
        s.weekday = 7;
        QVERIFY(installer.apply(s, ScheduleInstaller::Backend::Cron).ok());
        QCOMPARE(listed(), own + ScheduleInstaller::cronMarker +
                               "\n15 3 * * 0 env 'DISPLAY=:0' '/opt/odd 50\\%/vizavuz-antivirus' "
                               "--scheduled\n");
        QVERIFY(installer.apply(ScanSchedule(), ScheduleInstaller::Backend::Cron).ok());
        QCOMPARE(listed(), own);
    }

    // A byte that would split the crontab line (or smuggle in a line of its own) is refused and
    // the user's table stays as it was; every other byte reaches the job as it was.
    void cronLinesCarryEveryValueOrAreRefused_data() {
        QTest::addColumn<QByteArray>("folder");  // the program's folder, below a temporary one
        QTest::addColumn<QString>("display");    // the DISPLAY value the job is given
        QTest::addColumn<bool>("written");
        QTest::newRow("line break in a value")
            << QByteArray("vz") << QStringLiteral(":0\n* * * * * touch /tmp/owned") << false;
        QTest::newRow("carriage return in a value") << QByteArray("vz") << ":0\r" << false;
        QTest::newRow("line break in the path") << QByteArray("v\nz") << ":0" << false;
        QTest::newRow("escape in the path") << QByteArray("v\x1bz") << ":0" << false;
        QTest::newRow("quotes, percent, dollar, backslash")
            << QByteArray("it's \"50%\" $HOME \\x") << QStringLiteral(":0 '%' \"$USER\" \\n")
            << true;
    }
    void cronLinesCarryEveryValueOrAreRefused() {
        QFETCH(QByteArray, folder);
        QFETCH(QString, display);
        QFETCH(bool, written);
        if (geteuid() != 0)
            QSKIP("needs root to make a throw-away user for its crontab");
        ThrowAwayUser user;
        QVERIFY(user.made);
        const QByteArray own = "# the user's own\n*/5 * * * * echo hello\n";
        QProcess seed;
        seed.start("crontab", {"-u", user.name, "-"});
        seed.write(own);
        seed.closeWriteChannel();
        QVERIFY(seed.waitForFinished(10000) && seed.exitCode() == 0);
        // The program: a script that writes what it was given.
        QTemporaryDir dir;
        const QByteArray program = QFile::encodeName(dir.path()) + '/' + folder + "/prog";
        QVERIFY(QDir().mkpath(QFile::decodeName(QFile::encodeName(dir.path()) + '/' + folder)));
        const QByteArray out = QFile::encodeName(dir.filePath("said"));
        TestEnv::writeFile(QFile::decodeName(program),
                           "#!/bin/sh\nprintf '%s|%s' \"$DISPLAY\" \"$*\" > '" + out + "'\n");
        QFile::setPermissions(QFile::decodeName(program), QFile::ExeOwner | QFile::ReadOwner);

        // The whole change as the window makes it: the schedule is stored only with its job.
        TestEnv env;
        Registry registry{platform::KeyStore(env.registryRoot())};
        ScheduledScans scheduled(registry, program);
        ScheduleInstaller &installer = scheduled.installer();
        installer.crontabUser = user.name;
        installer.cronEnvironment = {QStringLiteral("DISPLAY=") + display};
        const ScheduleInstaller::Runner real = installer.run;
        installer.run = [real](const QString &p, const QStringList &a, const QByteArray &in) {
            return p == "systemctl" ? platform::CommandResult{} : real(p, a, in);
        };
        ScanSchedule daily;
        daily.frequency = ScanSchedule::Frequency::Daily;
        daily.time = QTime(2, 0);
        const Status applied = scheduled.change(daily);
        QCOMPARE(ScanSchedule::load(registry).frequency,
                 written ? ScanSchedule::Frequency::Daily : ScanSchedule::Frequency::Off);
        QProcess l;
        l.start("crontab", {"-u", user.name, "-l"});
        QVERIFY(l.waitForFinished(10000));
        const QByteArray table = l.readAllStandardOutput();
        QCOMPARE(applied.ok(), written);
        if (!written) {
            QVERIFY(applied.message().contains("control character"));
            QCOMPARE(table, own);
            return;
        }
        QVERIFY(table.startsWith(own + ScheduleInstaller::cronMarker + '\n'));
        QByteArray line =
            table.mid(own.size() + qsizetype(strlen(ScheduleInstaller::cronMarker)) + 1);
        QVERIFY(line.endsWith('\n') && line.count('\n') == 1);
        // The command as cron hands it to the shell: "\%" becomes "%".
        QVERIFY(line.startsWith("0 2 * * * "));
        line = line.mid(10, line.size() - 11);
        line.replace("\\%", "%");
        QProcess sh;
        sh.start("/bin/sh", {"-c", QString::fromLocal8Bit(line)});
        QVERIFY(sh.waitForFinished(10000));
        QCOMPARE(QString::fromLocal8Bit(TestEnv::readFile(QFile::decodeName(out))),
                 display + QStringLiteral("|--scheduled"));
    }

    // systemd runs no program whose path holds a control character, a backslash or a quote:
    // such a service is refused before anything is written, as systemd's own check refuses it.
    void unitsForAPathSystemdWouldNotRunAreRefused_data() {
        QTest::addColumn<QByteArray>("folder");
        QTest::addColumn<bool>("written");
        QTest::newRow("line break") << QByteArray("a\nb") << false;
        QTest::newRow("tab") << QByteArray("a\tb") << false;
        QTest::newRow("backslash") << QByteArray("a\\b") << false;
        QTest::newRow("double quote") << QByteArray("a\"b") << false;
        QTest::newRow("single quote") << QByteArray("a'b") << false;
        QTest::newRow("Latin-1 byte, blank, percent, dollar")
            << QByteArray("caf\xe9 50% $x") << true;
    }
    void unitsForAPathSystemdWouldNotRunAreRefused() {
        QFETCH(QByteArray, folder);
        QFETCH(bool, written);
        QTemporaryDir dir;
        const QByteArray program = QFile::encodeName(dir.path()) + '/' + folder + "/prog";
        // Made from the bytes: a name that is no UTF-8 does not survive a QString.
        QVERIFY(::mkdir((QFile::encodeName(dir.path()) + '/' + folder).constData(), 0700) == 0);
        QVERIFY(::symlink("/bin/true", program.constData()) == 0);
        const QString units = dir.filePath("units/");
        ScheduleInstaller installer(program, units);
        QStringList calls;
        installer.run = [&calls](const QString &p, const QStringList &a, const QByteArray &) {
            calls << p + ' ' + a.join(' ');
            return platform::CommandResult{true, 0, {}, {}};
        };
        ScanSchedule daily;
        daily.frequency = ScanSchedule::Frequency::Daily;
        const Status applied = installer.apply(daily, ScheduleInstaller::Backend::Systemd);
        QCOMPARE(applied.ok(), written);
        QCOMPARE(QFile::exists(units + "vizavuz-antivirus-scan.service"), written);
        QCOMPARE(calls.isEmpty(), !written);
        // systemd's own check of the service agrees.
        QDir().mkpath(dir.filePath("check"));
        const QString service = dir.filePath("check/vizavuz-antivirus-scan.service");
        TestEnv::writeFile(service, ScheduleInstaller::serviceUnit(program, false));
        QProcess verify;
        verify.start("systemd-analyze", {"verify", service});
        QVERIFY(verify.waitForFinished(60000));
        const QByteArray said = verify.readAllStandardError() + verify.readAllStandardOutput();
        QVERIFY2((verify.exitCode() == 0) == written, said.constData());
    }

    void aMonthlyCronJobRunsOnTheDayOrTheMonthsLastDay() {
        // The shell test of the cron line, run by the shell on chosen dates (faketime-free: the
        // test replaces `date` with a script that answers for the given day).
        QTemporaryDir dir;
        const QString bin = dir.filePath("bin");
        QDir().mkpath(bin);
        ScheduleInstaller installer("/usr/bin/vizavuz-antivirus");
        const QByteArray line = installer.cronLine(monthly(30));
        QVERIFY(line.startsWith("15 3 28-31 * * "));
        QByteArray test = line.mid(QByteArray("15 3 28-31 * * ").size());
        test = test.left(test.indexOf("&& env") + 3) + "echo run";
        test.replace("\\%", "%");  // what cron hands the shell
        const struct {
            const char *today, *tomorrow;
            bool runs;
        } days[] = {{"30", "31", true},
                    {"31", "1", false},
                    {"28", "1", true},
                    {"29", "30", false},
                    {"29", "1", true}};
        for (const auto &d : days) {
            TestEnv::writeFile(bin + "/date",
                               QByteArray("#!/bin/sh\n[ \"$2\" = tomorrow ] && echo ") +
                                   d.tomorrow + " || echo " + d.today + "\n");
            QFile::setPermissions(bin + "/date", QFile::ExeOwner | QFile::ReadOwner);
            QProcess sh;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("PATH", bin + ":/usr/bin:/bin");
            sh.setProcessEnvironment(env);
            sh.start("/bin/sh", {"-c", QString::fromUtf8(test)});
            QVERIFY(sh.waitForFinished(10000));
            QCOMPARE(sh.readAllStandardOutput() == "run\n", d.runs);
        }
    }

    void mergeKeepsEveryOtherLine() {
        const QByteArray marker = ScheduleInstaller::cronMarker;
        QCOMPARE(ScheduleInstaller::mergeCrontab("a\n" + marker + "\nold\nb", "new"),
                 "a\nb\n" + marker + "\nnew\n");
        QCOMPARE(ScheduleInstaller::mergeCrontab("", ""), QByteArray());
        QCOMPARE(ScheduleInstaller::mergeCrontab("x\n", ""), QByteArray("x\n"));
    }

    void unitQuotingKeepsEveryByte() {
        QCOMPARE(ScheduleInstaller::unitQuoted("/a b/%i$x\\\"q"),
                 QByteArray("\"/a b/%%i$$x\\\\\\\"q\""));
        QCOMPARE(ScheduleInstaller::unitQuoted("/caf\xe9\n"), QByteArray("\"/caf\\xe9\\x0a\""));
        QCOMPARE(ScheduleInstaller::unitQuoted("/a$b", true), QByteArray("\"/a$b\""));
    }
};

QTEST_GUILESS_MAIN(TestSchedule)
#include "test_schedule.moc"
