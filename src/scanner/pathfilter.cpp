#include "scanner/pathfilter.h"

#include <algorithm>

namespace scanner {

namespace {
// clamscan matches at most this many bytes of a path, and fewer when it appends the "/".
constexpr size_t kMatchedBytes = 512;
constexpr size_t kMatchedBytesWithSlash = 510;
}  // namespace

PathFilter::PathFilter(const std::vector<std::string> &patterns) {
    m_patterns.reserve(patterns.size());
    for (const std::string &text : patterns) {
        Pattern pattern{};
        if (text.empty() || regcomp(&pattern.regex, text.c_str(), REG_EXTENDED | REG_NOSUB) != 0)
            continue;
        pattern.endsWithSlash = text.back() == '/';
        m_patterns.push_back(pattern);
    }
}

PathFilter::~PathFilter() {
    for (Pattern &pattern : m_patterns)
        regfree(&pattern.regex);
}

bool PathFilter::matches(const std::string &path) const {
    for (const Pattern &pattern : m_patterns) {
        std::string subject = pattern.endsWithSlash ? path + '/' : path;
        subject.resize(std::min(subject.size(),
                                pattern.endsWithSlash ? kMatchedBytesWithSlash : kMatchedBytes));
        if (regexec(&pattern.regex, subject.c_str(), 0, nullptr, 0) == 0)
            return true;
    }
    return false;
}

}  // namespace scanner
