#pragma once

#include <string>
#include <vector>

namespace scanner {

// The command line of vizavuz-scan: clamscan's options that the program passes, plus the
// number of worker threads and the clamd to scan with.
struct Arguments {
    bool version = false;  // print the program's and the library's versions, scan nothing
    bool recursive = false;
    bool crossFs = true;
    unsigned threads = 0;    // 0: one per online CPU
    std::string clamd;       // clamd's socket path or host:port; empty: the own engine
    int clamdTimeout = 120;  // seconds without a reply from clamd before it counts as gone
    std::vector<std::string> databases;
    std::vector<std::string> excludes;     // POSIX extended regular expressions on file paths
    std::vector<std::string> excludeDirs;  // the same on folder paths
    // clamscan's --max-filesize and --max-scansize in bytes; 0 keeps the library's default.
    unsigned long long maxFileSize = 0;
    unsigned long long maxScanSize = 0;
    std::vector<std::string> targets;
};

// Parses argv[1...]. On failure returns false and sets error to the text of the error line.
bool parseArguments(const std::vector<std::string> &args, Arguments *out, std::string *error);

}  // namespace scanner
