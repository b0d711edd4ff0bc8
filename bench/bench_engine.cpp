// The own scanner against clamscan on a generated database and tree: wall time, peak memory,
// one against two worker threads, and the window process's CPU time while it reads a scan.
//
// With clamd (Debian's clamav-daemon) installed, a private clamd is started on the same database
// and measured too: vizavuz-scan --clamd, and clamdscan --multiscan --fdpass, the daemon's own
// fastest way.
//
// Usage: bench-engine [work folder] [rounds]. The database and the tree are made once in the
// work folder (default /tmp/vz-bench-engine) and reused by later runs.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <sys/socket.h>
#include <sys/un.h>

#include "app/programdata.h"
#include "app/startup.h"
#include "platform/clamdclient.h"
#include "scan/scanengine.h"
#include "scan/scannerchoice.h"
#include "state/clock.h"

namespace {

constexpr int kHashSignatures = 200'000;
constexpr int kBodySignatures = 20'000;
constexpr int kSmallFiles = 20'000;
constexpr int kLargeFiles = 200;
constexpr int kFolders = 100;

QByteArray eicar() {
    return QByteArrayLiteral("X5O!P%@AP[4\\PZX54(P^)7CC)7}$") +
           QByteArrayLiteral("EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*");
}

bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray randomBytes(std::mt19937_64 &random, qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(random() & 0xff);
    return bytes;
}

// A folder named main.cvd with the hash and body signatures, as the program passes it.
bool makeDatabase(const QString &folder) {
    if (QFile::exists(folder + QStringLiteral("/done")))
        return true;
    QDir().mkpath(folder);
    std::mt19937_64 random(1);
    QByteArray hashes;
    for (int i = 0; i < kHashSignatures; ++i) {
        hashes +=
            QCryptographicHash::hash(randomBytes(random, 16), QCryptographicHash::Md5).toHex();
        hashes += ':' + QByteArray::number(100 + int(random() % 5000)) + ":Bench.Hash." +
                  QByteArray::number(i) + '\n';
    }
    const QByteArray e = eicar();
    hashes += QCryptographicHash::hash(e, QCryptographicHash::Md5).toHex() + ':' +
              QByteArray::number(e.size()) + ":Eicar-Test-Signature\n";
    QByteArray bodies;
    for (int i = 0; i < kBodySignatures; ++i)
        bodies += "Bench.Body." + QByteArray::number(i) +
                  ":0:*:" + randomBytes(random, 12).toHex() + '\n';
    return writeFile(folder + QStringLiteral("/bench.hdb"), hashes) &&
           writeFile(folder + QStringLiteral("/bench.ndb"), bodies) &&
           writeFile(folder + QStringLiteral("/done"), {});
}

bool makeTree(const QString &tree) {
    if (QFile::exists(tree + QStringLiteral("/../tree.done")))
        return true;
    std::mt19937_64 random(2);
    for (int d = 0; d < kFolders; ++d)
        QDir().mkpath(tree + QStringLiteral("/d%1").arg(d));
    for (int i = 0; i < kSmallFiles; ++i) {
        QByteArray text;
        const int size = 200 + int(random() % 4000);
        while (text.size() < size)
            text += "line " + QByteArray::number(qint64(random() % 1000000)) + " of some text\n";
        if (i % 5000 == 0)
            text = eicar();
        if (!writeFile(tree + QStringLiteral("/d%1/f%2.txt").arg(i % kFolders).arg(i), text))
            return false;
    }
    for (int i = 0; i < kLargeFiles; ++i) {
        if (!writeFile(tree + QStringLiteral("/d%1/big%2.bin").arg(i % kFolders).arg(i),
                       randomBytes(random, 1024 * 1024)))
            return false;
    }
    return writeFile(tree + QStringLiteral("/../tree.done"), {});
}

struct Measure {
    double seconds = -1;
    double peakMb = -1;
    int exitCode = -1;
};

// Runs a scanner with its output thrown away; wall time and peak resident memory.
Measure runScanner(const std::vector<std::string> &argv) {
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        std::vector<char *> args;
        for (const std::string &arg : argv)
            args.push_back(const_cast<char *>(arg.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    Measure measure;
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid)
        return measure;
    measure.seconds = double(timer.nsecsElapsed()) / 1e9;
    measure.peakMb = double(usage.ru_maxrss) / 1024.0;
    measure.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return measure;
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The program's scan engine over vizavuz-scan: the CPU time of this process (parser, reader and
// wait threads; the scanner's own time is not counted), per 20,000 files.
double windowCpuPer20000(const QString &database, const QString &tree,
                         const QByteArray &scannerFolder) {
    QTemporaryDir dir;
    const QString root = dir.path() + QStringLiteral("/");
    FixedClock clock{QDate::currentDate()};
    ProgramData data(clock, platform::KeyStore(root + QStringLiteral("registry/")));
    Startup::Options options;
    options.programFolder = root + QStringLiteral("program/");
    options.roamingFolder = root + QStringLiteral("roaming");
    options.useRoamingOverride = true;
    QDir().mkpath(options.programFolder);
    (void)Startup::run(data, options);
    if (!QFile::link(database, data.folders.database + QStringLiteral("main.cvd")))
        return -1;
    (void)scannerchoice::store(data.registry(), scannerchoice::Engine::Own);
    ScanEngine engine(data);
    engine.setExecutableFolder(scannerFolder);
    engine.setSystemDatabaseFolder(root + QStringLiteral("none/"));
    QEventLoop loop;
    QObject::connect(&engine, &ScanEngine::scanClosed, &loop, &QEventLoop::quit);
    const double before = cpuSeconds();
    if (!engine.startCustomScan({tree + QStringLiteral("/")}))
        return -1;
    if (data.session.state() != ScanSession::idle())
        loop.exec();
    const double used = cpuSeconds() - before;
    const int files = engine.itemsScanned() + engine.infectionCount();
    return files > 0 ? used * 20000.0 / files : -1;
}

// A private clamd on the bench database, on a local socket in folder.
class BenchClamd {
public:
    BenchClamd(const QString &folder, const QString &database) : m_folder(folder) {
        QDir().mkpath(folder);
        m_socket = folder + QStringLiteral("/clamd.sock");
        m_config = folder + QStringLiteral("/clamd.conf");
        const QByteArray threads = QByteArray::number(std::max(2L, sysconf(_SC_NPROCESSORS_ONLN)));
        writeFile(m_config, "DatabaseDirectory " + QFile::encodeName(database) + "\nLocalSocket " +
                                QFile::encodeName(m_socket) + "\nForeground yes\nMaxThreads " +
                                threads + "\nLogFile " + QFile::encodeName(folder) +
                                "/clamd.log\n");
        m_process.start(QStringLiteral("clamd"), {QStringLiteral("--foreground"),
                                                  QStringLiteral("--config-file=") + m_config});
    }
    ~BenchClamd() {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
    // Waits for PONG: the database is loaded.
    bool ready() {
        QByteArray reply;
        for (int tries = 0; tries < 1200 && m_process.state() != QProcess::NotRunning; ++tries) {
            if (platform::clamdRequest(QFile::encodeName(m_socket), "PING", 2000, &reply) &&
                reply == "PONG")
                return true;
            QThread::msleep(250);
        }
        return false;
    }
    std::string socket() const { return m_socket.toStdString(); }
    std::string config() const { return m_config.toStdString(); }

private:
    QString m_folder, m_socket, m_config;
    QProcess m_process;
};

struct Stats {
    double median, min, max;
};

Stats stats(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {median, values.front(), values.back()};
}

void print(const char *name, const std::vector<double> &values) {
    if (values.empty())
        return;
    const Stats s = stats(values);
    std::printf("%s = %.3f\n%s_min = %.3f\n%s_max = %.3f\n", name, s.median, name, s.min, name,
                s.max);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QString work =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/vz-bench-engine");
    const int rounds = argc > 2 ? std::max(1, atoi(argv[2])) : 5;
    const QString database = work + QStringLiteral("/db/main.cvd");
    const QString tree = work + QStringLiteral("/tree");
    if (!makeDatabase(database) || !makeTree(tree)) {
        std::fprintf(stderr, "cannot make the database or the tree in %s\n", qPrintable(work));
        return 1;
    }
    const std::string db = "--database=" + database.toStdString();
    const std::string target = tree.toStdString();
    // VZ_BENCH_SCANNER: another vizavuz-scan to measure (a copy, while the build goes on).
    const QByteArray chosen = qgetenv("VZ_BENCH_SCANNER");
    const std::string own =
        chosen.isEmpty() ? std::string(VZ_PROGRAM_DIR "/vizavuz-scan") : chosen.toStdString();

    std::unique_ptr<BenchClamd> clamd;
    if (!QStandardPaths::findExecutable(QStringLiteral("clamd"), {QStringLiteral("/usr/sbin")})
             .isEmpty()) {
        clamd = std::make_unique<BenchClamd>(work + QStringLiteral("/clamd"), database);
        if (!clamd->ready()) {
            std::fprintf(stderr, "the private clamd did not start; see %s/clamd/clamd.log\n",
                         qPrintable(work));
            clamd.reset();
        }
    }
    std::vector<double> clamdRatio, multiscanRatio;

    const bool twoCores = sysconf(_SC_NPROCESSORS_ONLN) == 2;
    std::vector<double> ownRatio, threadsRatio, rssRatio, clamscanSeconds, ownSeconds, ownMb,
        clamscanMb;
    for (int round = 0; round < rounds; ++round) {
        // Alternating, so that a slow phase of the machine falls on every scanner alike.
        const Measure clamscan = runScanner({"clamscan", "--recursive", db, target});
        const Measure mine = runScanner({own, "--recursive", db, target});
        const Measure one = runScanner({own, "--recursive", "--threads=1", db, target});
        // On a 2-core machine the default run is the 2-thread run.
        const Measure two =
            twoCores ? mine : runScanner({own, "--recursive", "--threads=2", db, target});
        if (clamscan.exitCode != 1 || mine.exitCode != 1 || one.exitCode != 1 ||
            two.exitCode != 1) {
            std::fprintf(stderr, "a scanner failed: %d %d %d %d\n", clamscan.exitCode,
                         mine.exitCode, one.exitCode, two.exitCode);
            return 1;
        }
        std::fprintf(stderr, "round %d: clamscan %.2f s, own %.2f s, 1 thread %.2f s, 2: %.2f s\n",
                     round + 1, clamscan.seconds, mine.seconds, one.seconds, two.seconds);
        if (clamd) {
            // The database is already in clamd: what is left is the scanning itself.
            const Measure viaClamd =
                runScanner({own, "--recursive", "--clamd=" + clamd->socket(), target});
            const Measure multiscan = runScanner({"clamdscan", "--config-file=" + clamd->config(),
                                                  "--multiscan", "--fdpass", target});
            if (viaClamd.exitCode != 1 || multiscan.exitCode != 1) {
                std::fprintf(stderr, "a clamd scan failed: %d %d\n", viaClamd.exitCode,
                             multiscan.exitCode);
                return 1;
            }
            std::fprintf(stderr, "round %d: vizavuz-scan --clamd %.2f s, multiscan %.2f s\n",
                         round + 1, viaClamd.seconds, multiscan.seconds);
            clamdRatio.push_back(viaClamd.seconds / clamscan.seconds);
            multiscanRatio.push_back(multiscan.seconds / clamscan.seconds);
        }
        clamscanSeconds.push_back(clamscan.seconds);
        ownSeconds.push_back(mine.seconds);
        ownRatio.push_back(mine.seconds / clamscan.seconds);
        threadsRatio.push_back(one.seconds / two.seconds);
        rssRatio.push_back(mine.peakMb / clamscan.peakMb);
        ownMb.push_back(mine.peakMb);
        clamscanMb.push_back(clamscan.peakMb);
    }
    print("clamscan_seconds", clamscanSeconds);
    print("own_engine_seconds", ownSeconds);
    print("own_engine_ratio", ownRatio);
    print("clamd_ratio", clamdRatio);
    print("multiscan_ratio", multiscanRatio);
    print("threads_1_vs_2", threadsRatio);
    print("clamscan_peak_rss_mb", clamscanMb);
    print("own_engine_peak_rss_mb", ownMb);
    print("own_engine_rss_ratio", rssRatio);
    std::vector<double> windowCpu;
    for (int round = 0; round < std::min(rounds, 2); ++round)
        windowCpu.push_back(windowCpuPer20000(
            database, tree, QByteArray::fromStdString(own.substr(0, own.rfind('/') + 1))));
    print("window_cpu_seconds_per_20000_files", windowCpu);
    return 0;
}
