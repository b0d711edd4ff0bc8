#include "scanner/arguments.h"

#include <charconv>
#include <string_view>

namespace scanner {

namespace {

bool takeValue(std::string_view arg, std::string_view option, std::string *value) {
    if (arg.size() <= option.size() || arg.substr(0, option.size()) != option)
        return false;
    *value = std::string(arg.substr(option.size()));
    return true;
}

// A size as clamscan takes it: a number, optionally followed by K or M.
bool parseSize(const std::string &value, unsigned long long *bytes) {
    unsigned long long n = 0;
    const char *end = value.data() + value.size();
    const auto [ptr, ec] = std::from_chars(value.data(), end, n);
    if (ec != std::errc() || ptr == value.data())
        return false;
    unsigned long long unit = 1;
    if (ptr + 1 == end && (*ptr == 'M' || *ptr == 'm'))
        unit = 1024 * 1024;
    else if (ptr + 1 == end && (*ptr == 'K' || *ptr == 'k'))
        unit = 1024;
    else if (ptr != end)
        return false;
    if (n > (1ULL << 40))
        return false;
    *bytes = n * unit;
    return true;
}

}  // namespace

bool parseArguments(const std::vector<std::string> &args, Arguments *out, std::string *error) {
    Arguments parsed;
    bool optionsEnded = false;
    for (const std::string &arg : args) {
        std::string value;
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            parsed.targets.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--version") {
            parsed.version = true;
        } else if (arg == "--recursive" || arg == "--recursive=yes") {
            parsed.recursive = true;
        } else if (arg == "--recursive=no") {
            parsed.recursive = false;
        } else if (arg == "--cross-fs=no" || arg == "--cross-fs=yes" || arg == "--cross-fs") {
            parsed.crossFs = arg != "--cross-fs=no";
        } else if (takeValue(arg, "--database=", &value)) {
            parsed.databases.push_back(value);
        } else if (takeValue(arg, "--exclude=", &value)) {
            parsed.excludes.push_back(value);
        } else if (takeValue(arg, "--exclude-dir=", &value)) {
            parsed.excludeDirs.push_back(value);
        } else if (takeValue(arg, "--clamd=", &value)) {
            parsed.clamd = value;
        } else if (takeValue(arg, "--clamd-timeout=", &value)) {
            int seconds = 0;
            const char *end = value.data() + value.size();
            const auto [ptr, ec] = std::from_chars(value.data(), end, seconds);
            if (ec != std::errc() || ptr != end || seconds < 1 || seconds > 86400) {
                *error = "ERROR: --clamd-timeout needs seconds from 1 to 86400: " + value;
                return false;
            }
            parsed.clamdTimeout = seconds;
        } else if (takeValue(arg, "--max-filesize=", &value) ||
                   takeValue(arg, "--max-scansize=", &value)) {
            const bool file = arg.rfind("--max-filesize=", 0) == 0;
            if (!parseSize(value, file ? &parsed.maxFileSize : &parsed.maxScanSize)) {
                *error = "ERROR: Incorrect argument format for " + arg;
                return false;
            }
        } else if (takeValue(arg, "--threads=", &value)) {
            unsigned threads = 0;
            const char *end = value.data() + value.size();
            const auto [ptr, ec] = std::from_chars(value.data(), end, threads);
            if (ec != std::errc() || ptr != end || threads == 0 || threads > 1024) {
                *error = "ERROR: --threads needs a number from 1 to 1024: " + value;
                return false;
            }
            parsed.threads = threads;
        } else {
            *error = "ERROR: Unknown option " + arg;
            return false;
        }
    }
    *out = std::move(parsed);
    return true;
}

}  // namespace scanner
