#pragma once

#include "scanner/lineout.h"
#include "scanner/pathfilter.h"
#include "scanner/scanstats.h"

#include <sys/types.h>

#include <functional>
#include <string>

namespace scanner {

// Walks the command-line targets with clamscan's rules and hands every regular file to be
// scanned to fileFound. Prints the lines of what it does not hand over: excluded paths,
// symbolic links met inside a folder, folders that cannot be opened, targets that are
// missing or of an unsupported type.
class TreeWalker {
public:
    struct Rules {
        bool recursive = true;
        bool crossFs = true;
    };

    TreeWalker(Rules rules, const PathFilter &excludes, const PathFilter &excludeDirs, LineOut &out,
               ScanStats &stats, std::function<void(std::string)> fileFound)
        : m_rules(rules),
          m_excludes(excludes),
          m_excludeDirs(excludeDirs),
          m_out(out),
          m_stats(stats),
          m_fileFound(std::move(fileFound)) {}

    void walkTarget(const std::string &target);

    // clamscan's limit on folder depth below a target (folders deeper are passed over).
    static constexpr unsigned kMaxDepth = 15;

private:
    void walkFolder(const std::string &folder, unsigned depth, dev_t device);
    void file(const std::string &path);

    const Rules m_rules;
    const PathFilter &m_excludes;
    const PathFilter &m_excludeDirs;
    LineOut &m_out;
    ScanStats &m_stats;
    std::function<void(std::string)> m_fileFound;
};

}  // namespace scanner
