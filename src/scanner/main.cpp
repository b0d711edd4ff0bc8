// vizavuz-scan: scans files with ClamAV's library on every core and prints what clamscan
// prints for them, so that the program reads its output as it reads clamscan's.

#include "scanner/arguments.h"
#include "scanner/clamdscanner.h"
#include "scanner/clamengine.h"
#include "scanner/filescanner.h"
#include "scanner/lineout.h"
#include "scanner/pathfilter.h"
#include "scanner/scanstats.h"
#include "scanner/treewalker.h"
#include "scanner/workqueue.h"

#include <chrono>
#include <ctime>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace scanner;

int main(int argc, char **argv) {
    const auto started = std::chrono::steady_clock::now();
    const long startTime = static_cast<long>(time(nullptr));
    LineOut out;

    Arguments args;
    std::string error;
    if (!parseArguments(std::vector<std::string>(argv + 1, argv + argc), &args, &error)) {
        out.err(error);
        return 2;
    }

    if (args.version) {
        out.out(std::string("vizavuz-scan " VZ_VERSION " (ClamAV ") + cl_retver() + ')');
        return 0;
    }

    ScanStats stats;
    auto summary = [&](unsigned signatures) {
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
        out.out("\n" + summaryText(stats, signatures, cl_retver(), elapsed.count(), startTime,
                                   static_cast<long>(time(nullptr))));
    };

    // With --clamd the engine is loaded only when clamd stops answering and databases were
    // named: then the files clamd left unanswered, and the rest, are scanned here.
    const bool useClamd = !args.clamd.empty();
    ClamEngine engine;
    if (!useClamd && !engine.load(args.databases, &error, args.maxFileSize, args.maxScanSize)) {
        // As clamscan: the error, then the summary of a scan of nothing.
        out.err(error);
        summary(0);
        return 2;
    }
    std::mutex fallbackMutex;
    enum class Fallback { NotTried, Ready, Failed } fallback = Fallback::NotTried;
    auto takeOverFromClamd = [&](const std::string &failure) {
        std::lock_guard lock(fallbackMutex);
        if (fallback == Fallback::NotTried) {
            fallback = Fallback::Failed;
            const std::string reason = "clamd at " + args.clamd + ' ' + failure;
            if (args.databases.empty()) {
                out.err("ERROR: " + reason);
            } else if (!engine.load(args.databases, &error, args.maxFileSize, args.maxScanSize)) {
                out.err(error);
                out.err("ERROR: " + reason);
            } else {
                out.warning(reason + "; the rest is scanned with the databases given");
                fallback = Fallback::Ready;
            }
        }
        return fallback == Fallback::Ready;
    };
    const ClamdAddress clamdAddress = ClamdAddress::parse(args.clamd);

    unsigned threads = args.threads;
    if (threads == 0) {
        const long online = sysconf(_SC_NPROCESSORS_ONLN);
        threads = online > 0 ? static_cast<unsigned>(online) : 1;
    }

    WorkQueue queue(4096);
    std::vector<std::thread> workers;
    workers.reserve(threads);
    for (unsigned n = 0; n < threads; ++n) {
        workers.emplace_back([&] {
            std::vector<std::string> unanswered;
            if (useClamd) {
                ClamdScanner clamd(clamdAddress, args.clamdTimeout, out, stats);
                if (clamd.run(queue))
                    return;
                unanswered = clamd.unanswered();
                if (!takeOverFromClamd(clamd.failure())) {
                    // The scan has failed; let the walker finish without scanning more.
                    while (queue.pop())
                        ;
                    return;
                }
            }
            FileScanner scanner(engine, out, stats);
            for (const std::string &path : unanswered)
                scanner.scan(path);
            while (std::optional<std::string> path = queue.pop())
                scanner.scan(*path);
        });
    }

    const PathFilter excludes(args.excludes);
    const PathFilter excludeDirs(args.excludeDirs);
    TreeWalker walker({args.recursive, args.crossFs}, excludes, excludeDirs, out, stats,
                      [&queue](std::string path) { queue.push(std::move(path)); });
    for (const std::string &target : args.targets)
        walker.walkTarget(target);
    queue.close();
    for (std::thread &worker : workers)
        worker.join();

    if (fallback == Fallback::Failed)
        return 2;  // never a summary of a scan with files unanswered
    summary(engine.signatures());
    return stats.exitCode();
}
