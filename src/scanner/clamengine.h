#pragma once

#include <clamav.h>

#include <string>
#include <vector>

namespace scanner {

// One compiled libclamav engine with clamscan's default scan options and limits, shared by
// every worker thread (a compiled engine is read-only while files are scanned).
class ClamEngine {
public:
    ClamEngine() = default;
    ~ClamEngine();
    ClamEngine(const ClamEngine &) = delete;
    ClamEngine &operator=(const ClamEngine &) = delete;

    // Initialises the library, loads every database (a file or a folder) and compiles the
    // engine. On failure sets error to the text of the error line.
    // Non-zero limits replace the library's defaults (clamscan's --max-filesize/--max-scansize).
    bool load(const std::vector<std::string> &databases, std::string *error,
              unsigned long long maxFileSize = 0, unsigned long long maxScanSize = 0);

    unsigned signatures() const { return m_signatures; }
    const cl_engine *engine() const { return m_engine; }
    // The scan options clamscan uses when no option changes them.
    static cl_scan_options defaultOptions();

private:
    cl_engine *m_engine = nullptr;
    unsigned m_signatures = 0;
};

}  // namespace scanner
