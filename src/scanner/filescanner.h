#pragma once

#include "scanner/clamengine.h"
#include "scanner/lineout.h"
#include "scanner/scanstats.h"

#include <string>

namespace scanner {

// Scans one regular file as clamscan does and prints its line: "<path>: OK",
// "<path>: <name> FOUND", "<path>: Empty file", "<path>: Access denied" or an error form.
// One per worker thread (each has its own scan options); the engine is shared.
class FileScanner {
public:
    FileScanner(const ClamEngine &engine, LineOut &out, ScanStats &stats)
        : m_engine(engine), m_out(out), m_stats(stats), m_options(ClamEngine::defaultOptions()) {}

    void scan(const std::string &path);

private:
    const ClamEngine &m_engine;
    LineOut &m_out;
    ScanStats &m_stats;
    cl_scan_options m_options;
};

}  // namespace scanner
