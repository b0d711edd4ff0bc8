// Throughput and memory of the scan engine: the parser in process, the engine behind a
// flooding scanner against a plain pipe, the engine over the real clamscan against clamscan
// alone, and the program's peak memory while a scanner floods it.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "state/clock.h"
#include "app/programdata.h"
#include "app/startup.h"
#include "state/infectionlist.h"
#include "scan/linesplitter.h"
#include "scan/outputparser.h"
#include "scan/scanengine.h"
#include "state/scansession.h"

namespace {

constexpr int lineCount = 1'000'000;
constexpr int folderCount = 10'000;

QByteArray syntheticOutput() {
    QByteArray out;
    out.reserve(lineCount * 30);
    char line[64];
    for (int i = 0; i < lineCount; ++i) {
        const int n = std::snprintf(line, sizeof line, "/bench/d%04d/f%07d: OK\n",
                                    i / (lineCount / folderCount), i);
        out.append(line, n);
    }
    return out;
}

double parseLinesPerSecond(const QByteArray &output) {
    ScanSession session;
    auto infections = std::make_unique<InfectionList>();
    ScanList list;
    list.appendTarget("/bench/");
    OutputParser parser(session, *infections, list);
    LineSplitter splitter;
    QElapsedTimer timer;
    timer.start();
    for (qsizetype at = 0; at < output.size(); at += 1024) {
        splitter.feed(
            QByteArrayView(output).sliced(at, std::min<qsizetype>(1024, output.size() - at)),
            [&](QByteArrayView line) { parser.handleLine(line); });
        parser.publish();
    }
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (parser.itemsScanned() != lineCount)
        std::fprintf(stderr, "parsed %d lines, expected %d\n", parser.itemsScanned(), lineCount);
    return lineCount / seconds;
}

// A program run in a temporary world with its scan engine.
struct Run {
    QTemporaryDir dir;
    FixedClock clock{QDate::currentDate()};
    std::unique_ptr<ProgramData> data;
    std::unique_ptr<ScanEngine> engine;

    explicit Run(bool fakeScanner) {
        const QString root = dir.path() + QStringLiteral("/");
        QDir().mkpath(root + QStringLiteral("program"));
        data = std::make_unique<ProgramData>(
            clock, platform::KeyStore(root + QStringLiteral("registry/")));
        Startup::Options options;
        options.programFolder = root + QStringLiteral("program/");
        options.roamingFolder = root + QStringLiteral("roaming");
        options.useRoamingOverride = true;
        (void)Startup::run(*data, options);
        engine = std::make_unique<ScanEngine>(*data);
        engine->setSystemDatabaseFolder(root + QStringLiteral("none/"));
        if (fakeScanner) {
            QFile::link(QStringLiteral(VZ_FAKE_SCANNER),
                        options.programFolder + QStringLiteral("clamscan"));
            QFile f(data->folders.database + QStringLiteral("main.cvd"));
            (void)f.open(QIODevice::WriteOnly);
        }
    }

    // Seconds from the start to the closed scan.
    double scan(const QString &target) {
        QEventLoop loop;
        QObject::connect(engine.get(), &ScanEngine::scanClosed, &loop, &QEventLoop::quit);
        QElapsedTimer timer;
        timer.start();
        if (!engine->startCustomScan({target}))
            return -1;
        if (data->session.state() != ScanSession::idle())
            loop.exec();
        return double(timer.nsecsElapsed()) / 1e9;
    }
};

// A field of /proc/self/status in kB ("VmRSS", "VmHWM").
long statusKb(const char *field) {
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : file.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').constFirst().toLong();
    return -1;
}

// Peak resident memory above that of an engine that has run one small scan, in MB, while the
// fake scanner runs with the given setting.
double peakExtraMb(const char *variable, const QByteArray &value) {
    Run run(true);
    const QString target = run.dir.path() + QStringLiteral("/target");
    QDir().mkpath(target);
    qputenv("FAKE_CLAMSCAN_FLOOD", "1000");
    run.scan(target);  // so that what any scan allocates once is there
    qunsetenv("FAKE_CLAMSCAN_FLOOD");
    const long before = statusKb("VmRSS");
    // Resets the peak (VmHWM) to the present size.
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
    clear.close();
    qputenv(variable, value);
    run.scan(target);
    qunsetenv(variable);
    const long peak = statusKb("VmHWM");
    return double(peak - before) / 1024.0;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Min and median of the ratios of alternating rounds.
void printRatio(const char *name, const std::vector<double> &ratios) {
    std::printf("%s_min = %.3f\n%s_median = %.3f\n", name,
                *std::min_element(ratios.begin(), ratios.end()), name, median(ratios));
    std::fflush(stdout);
}

constexpr int rounds = 7;

double timeShell(const QString &command) {
    QElapsedTimer timer;
    timer.start();
    QProcess::execute(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    return double(timer.nsecsElapsed()) / 1e9;
}

QString quoted(const QString &text) {
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

}  // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);

    // (d) first, while the heap is small: memory during a 200 MB flood without a line feed
    // and during the 1,000,000-line flood.
    std::printf("flood_nolf_200mb_peak_extra_mb = %.1f\n",
                peakExtraMb("FAKE_CLAMSCAN_NOLF", "200000000"));
    std::fflush(stdout);
    std::printf("flood_lines_1m_peak_extra_mb = %.1f\n",
                peakExtraMb("FAKE_CLAMSCAN_FLOOD", QByteArray::number(lineCount)));
    std::fflush(stdout);

    // (a) splitter and line handler in process.
    const QByteArray output = syntheticOutput();
    std::vector<double> parses;
    for (int round = 0; round < 5; ++round)
        parses.push_back(parseLinesPerSecond(output));
    std::printf("parse_lines_per_s = %.0f\n", median(parses));
    std::fflush(stdout);

    // (b) the fake scanner floods the same lines: the engine reading them against cat
    // draining them through a pipe, in alternating rounds.
    {
        Run run(true);
        qputenv("FAKE_CLAMSCAN_FLOOD", QByteArray::number(lineCount));
        const QString target = run.dir.path() + QStringLiteral("/target");
        QDir().mkpath(target);
        std::vector<double> ratios;
        for (int round = 0; round < rounds; ++round) {
            const double raw = timeShell(quoted(QStringLiteral(VZ_FAKE_SCANNER)) +
                                         QStringLiteral(" | cat > /dev/null"));
            const double engine = run.scan(target);
            if (run.engine->itemsScanned() != lineCount)
                std::fprintf(stderr, "engine counted %d lines\n", run.engine->itemsScanned());
            std::fprintf(stderr, "pipe round %d: engine %.3f s, cat %.3f s\n", round, engine, raw);
            ratios.push_back(engine / raw);
        }
        printRatio("pipe_ratio", ratios);
        qunsetenv("FAKE_CLAMSCAN_FLOOD");
    }

    // (e) a custom scan of 20,000 chosen files and their 200 folders: the time until the
    // scanner is started (the targets are sorted out first).
    {
        Run run(true);
        const QString tree = run.dir.path() + QStringLiteral("/chosen/");
        QStringList entries;
        for (int d = 0; d < 200; ++d) {
            const QString folder = tree + QStringLiteral("d%1/").arg(d);
            QDir().mkpath(folder);
            entries << folder;
            for (int i = 0; i < 100; ++i) {
                QFile f(folder + QStringLiteral("f%1.txt").arg(i));
                if (!f.open(QIODevice::WriteOnly))
                    return 1;
                entries << f.fileName();
            }
        }
        std::rotate(entries.begin(), entries.begin() + entries.size() / 2, entries.end());
        QElapsedTimer timer;
        timer.start();
        const bool started = run.engine->startCustomScan(entries);
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        std::printf("custom_scan_start_20200_entries_s = %.3f%s\n", seconds,
                    started ? "" : " (not started)");
        std::fflush(stdout);
        QEventLoop loop;
        QObject::connect(run.engine.get(), &ScanEngine::scanClosed, &loop, &QEventLoop::quit);
        if (run.data->session.state() != ScanSession::idle())
            loop.exec();
    }

    // (c) the real clamscan over 20,000 small files: the engine against clamscan alone.
    const QString clamscan = QStandardPaths::findExecutable(QStringLiteral("clamscan"));
    if (clamscan.isEmpty()) {
        std::printf("clamscan_ratio = n/a (clamscan not installed)\n");
        return 0;
    }
    Run run(false);
    const QString tree = run.dir.path() + QStringLiteral("/tree/");
    for (int d = 0; d < 200; ++d) {
        const QString folder = tree + QStringLiteral("d%1/").arg(d);
        QDir().mkpath(folder);
        for (int i = 0; i < 100; ++i) {
            QFile f(folder + QStringLiteral("f%1.txt").arg(i));
            if (!f.open(QIODevice::WriteOnly))
                return 1;
            f.write(QByteArray("small file ") + QByteArray::number(d * 100 + i) + '\n');
        }
    }
    // A one-signature database folder, so that both runs load the same small engine.
    const QString db = run.data->folders.database + QStringLiteral("main.cvd/");
    QDir().mkpath(db);
    QFile sig(db + QStringLiteral("bench.hdb"));
    if (!sig.open(QIODevice::WriteOnly))
        return 1;
    sig.write("44d88612fea8a8f36de82e1278abb02f:68:Bench-Signature\n");
    sig.close();

    std::vector<double> ratios;
    for (int round = 0; round < rounds; ++round) {
        const double alone =
            timeShell(quoted(clamscan) + QStringLiteral(" --recursive --cross-fs=no --database=") +
                      quoted(db.chopped(1)) + QLatin1Char(' ') + quoted(tree) +
                      QStringLiteral(" > /dev/null 2>&1"));
        const double viaEngine = run.scan(tree);
        if (run.engine->itemsScanned() != 20000)
            std::fprintf(stderr, "engine counted %d files\n", run.engine->itemsScanned());
        std::fprintf(stderr, "clamscan round %d: engine %.3f s, alone %.3f s\n", round, viaEngine,
                     alone);
        ratios.push_back(viaEngine / alone);
    }
    printRatio("clamscan_ratio", ratios);
    return 0;
}
