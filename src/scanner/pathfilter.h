#pragma once

#include <regex.h>

#include <string>
#include <vector>

namespace scanner {

// clamscan's --exclude / --exclude-dir test: a POSIX extended regular expression searched in
// the path (not anchored). A pattern that ends in "/" is matched against the path with a "/"
// appended, so "cache/" excludes a folder named cache and nothing that only begins so. A
// pattern that does not compile excludes nothing, as in clamscan.
class PathFilter {
public:
    explicit PathFilter(const std::vector<std::string> &patterns);
    ~PathFilter();
    PathFilter(const PathFilter &) = delete;
    PathFilter &operator=(const PathFilter &) = delete;

    bool matches(const std::string &path) const;

private:
    struct Pattern {
        regex_t regex;
        bool endsWithSlash;
    };
    std::vector<Pattern> m_patterns;
};

}  // namespace scanner
