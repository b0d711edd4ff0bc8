// Throughput of the scan engine: the parser in process, the engine behind a flooding scanner
// against a plain pipe, and the engine over the real clamscan against clamscan alone.
#include <cstdio>
#include <memory>

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

    // (a) splitter and line handler in process.
    const QByteArray output = syntheticOutput();
    std::printf("parse_lines_per_s = %.0f\n", parseLinesPerSecond(output));
    std::fflush(stdout);

    // (b) the fake scanner floods the same lines: the engine reading them against cat
    // draining them through a pipe, alternating, best of three each.
    {
        Run run(true);
        qputenv("FAKE_CLAMSCAN_FLOOD", QByteArray::number(lineCount));
        const QString target = run.dir.path() + QStringLiteral("/target");
        QDir().mkpath(target);
        double raw = 1e9, engine = 1e9;
        for (int round = 0; round < 3; ++round) {
            raw = std::min(raw, timeShell(quoted(QStringLiteral(VZ_FAKE_SCANNER)) +
                                          QStringLiteral(" | cat > /dev/null")));
            engine = std::min(engine, run.scan(target));
            if (run.engine->itemsScanned() != lineCount)
                std::fprintf(stderr, "engine counted %d lines\n", run.engine->itemsScanned());
        }
        std::fprintf(stderr, "pipe: engine %.3f s, cat %.3f s\n", engine, raw);
        std::printf("pipe_ratio = %.2f\n", engine / raw);
        std::fflush(stdout);
        qunsetenv("FAKE_CLAMSCAN_FLOOD");
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

    double alone = 1e9, viaEngine = 1e9;
    for (int round = 0; round < 3; ++round) {
        alone = std::min(alone,
                         timeShell(quoted(clamscan) + QStringLiteral(" --recursive --database=") +
                                   quoted(db.chopped(1)) + QLatin1Char(' ') + quoted(tree) +
                                   QStringLiteral(" > /dev/null 2>&1")));
        viaEngine = std::min(viaEngine, run.scan(tree));
    }
    if (run.engine->itemsScanned() != 20000)
        std::fprintf(stderr, "engine counted %d files\n", run.engine->itemsScanned());
    std::fprintf(stderr, "clamscan: engine %.3f s, alone %.3f s\n", viaEngine, alone);
    std::printf("clamscan_ratio = %.3f\n", viaEngine / alone);
    return 0;
}
