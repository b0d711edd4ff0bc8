#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace scanner {

// The counters of clamscan's summary block, updated from every thread.
struct ScanStats {
    std::atomic<unsigned> dirs{0};
    std::atomic<unsigned> files{0};
    std::atomic<unsigned> infected{0};
    std::atomic<unsigned> errors{0};
    std::atomic<uint64_t> blocksScanned{0};  // in CL_COUNT_PRECISION units, as libclamav counts
    std::atomic<uint64_t> blocksRead{0};     // the same for file sizes
    std::atomic<bool> targetFailed{false};   // a command-line target could not be scanned

    // clamscan's exit code: 1 when anything was found, else 2 after an error, else 0.
    int exitCode() const {
        if (infected > 0)
            return 1;
        return (errors > 0 || targetFailed) ? 2 : 0;
    }
};

// The summary block clamscan prints at the end, without its leading empty line.
std::string summaryText(const ScanStats &stats, unsigned signatures, const char *engineVersion,
                        double seconds, long startTime, long endTime);

}  // namespace scanner
