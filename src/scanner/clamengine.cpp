#include "scanner/clamengine.h"

namespace scanner {

ClamEngine::~ClamEngine() {
    if (m_engine)
        cl_engine_free(m_engine);
}

bool ClamEngine::load(const std::vector<std::string> &databases, std::string *error,
                      unsigned long long maxFileSize, unsigned long long maxScanSize) {
    cl_error_t ret = cl_init(CL_INIT_DEFAULT);
    if (ret != CL_SUCCESS) {
        *error = std::string("ERROR: Can't initialize libclamav: ") + cl_strerror(ret);
        return false;
    }
    m_engine = cl_engine_new();
    if (!m_engine) {
        *error = "ERROR: Can't initialize antivirus engine";
        return false;
    }
    // A file over the size limit is skipped and counted clean, as clamscan does.
    if (maxFileSize > 0)
        cl_engine_set_num(m_engine, CL_ENGINE_MAX_FILESIZE, static_cast<long long>(maxFileSize));
    if (maxScanSize > 0)
        cl_engine_set_num(m_engine, CL_ENGINE_MAX_SCANSIZE, static_cast<long long>(maxScanSize));
    std::vector<std::string> sources = databases;
    if (sources.empty())
        sources.emplace_back(cl_retdbdir());
    // clamscan's database options: phishing signatures and URLs, and signed bytecode.
    const unsigned dbOptions = CL_DB_STDOPT;
    for (const std::string &source : sources) {
        ret = cl_load(source.c_str(), m_engine, &m_signatures, dbOptions);
        if (ret != CL_SUCCESS) {
            *error = std::string("ERROR: ") + cl_strerror(ret);
            return false;
        }
    }
    ret = cl_engine_compile(m_engine);
    if (ret != CL_SUCCESS) {
        *error = std::string("ERROR: Database initialization error: ") + cl_strerror(ret);
        return false;
    }
    return true;
}

cl_scan_options ClamEngine::defaultOptions() {
    cl_scan_options options{};
    // Everything clamscan's --scan-* options enable by default; the --alert-* heuristics
    // are off by default, the heuristic alerts themselves on.
    options.parse = CL_SCAN_PARSE_ARCHIVE | CL_SCAN_PARSE_ELF | CL_SCAN_PARSE_PDF |
                    CL_SCAN_PARSE_SWF | CL_SCAN_PARSE_HWP3 | CL_SCAN_PARSE_XMLDOCS |
                    CL_SCAN_PARSE_MAIL | CL_SCAN_PARSE_OLE2 | CL_SCAN_PARSE_HTML |
                    CL_SCAN_PARSE_PE | CL_SCAN_PARSE_ONENOTE | CL_SCAN_PARSE_IMAGE |
                    CL_SCAN_PARSE_IMAGE_FUZZY_HASH;
    options.general = CL_SCAN_GENERAL_HEURISTICS;
    return options;
}

}  // namespace scanner
