#include "scanner/treewalker.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

namespace scanner {

void TreeWalker::walkTarget(const std::string &target) {
    std::string path = target;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();

    struct stat sb {};
    if (lstat(path.c_str(), &sb) != 0) {
        m_out.err(path + ": " + strerror(errno));
        m_out.warning(path + ": Can't access file");
        m_stats.targetFailed = true;
        return;
    }
    if (S_ISLNK(sb.st_mode)) {
        // A link named on the command line is followed once; a dangling one is passed over.
        if (stat(path.c_str(), &sb) != 0)
            return;
        if (S_ISREG(sb.st_mode))
            file(path);
        else if (S_ISDIR(sb.st_mode))
            walkFolder(path, 1, sb.st_dev);
        else
            m_out.out(path + ": Symbolic link");
        return;
    }
    if (S_ISREG(sb.st_mode)) {
        file(path);
    } else if (S_ISDIR(sb.st_mode)) {
        walkFolder(path, 1, sb.st_dev);
    } else {
        m_out.warning(path + ": Not supported file type");
        m_stats.targetFailed = true;
    }
}

void TreeWalker::file(const std::string &path) {
    if (m_excludes.matches(path)) {
        m_out.out(path + ": Excluded");
        return;
    }
    m_fileFound(path);
}

void TreeWalker::walkFolder(const std::string &folder, unsigned depth, dev_t device) {
    if (m_excludeDirs.matches(folder)) {
        m_out.out(folder + ": Excluded");
        return;
    }
    if (depth > kMaxDepth)
        return;
    DIR *dir = opendir(folder.c_str());
    if (!dir) {
        m_out.out(folder + ": Can't open directory.");
        ++m_stats.errors;
        return;
    }
    ++m_stats.dirs;
    const std::string prefix = folder == "/" ? folder : folder + '/';
    while (const dirent *entry = readdir(dir)) {
        if (entry->d_ino == 0 || !strcmp(entry->d_name, ".") || !strcmp(entry->d_name, ".."))
            continue;
        const std::string path = prefix + entry->d_name;
        struct stat sb {};
        if (lstat(path.c_str(), &sb) != 0) {
            // Gone since the folder was read: nothing to scan. Anything else (a path longer
            // than the system takes) leaves an entry unscanned, which the scan must report.
            if (errno != ENOENT) {
                m_out.out(path + ": " + strerror(errno) + " ERROR");
                ++m_stats.errors;
            }
            continue;
        }
        if (!m_rules.crossFs && sb.st_dev != device) {
            m_out.out(path + ": Excluded");
            continue;
        }
        if (S_ISLNK(sb.st_mode)) {
            m_out.out(path + ": Symbolic link");
        } else if (S_ISDIR(sb.st_mode)) {
            if (m_rules.recursive)
                walkFolder(path, depth + 1, device);
        } else if (S_ISREG(sb.st_mode)) {
            file(path);
        }
    }
    closedir(dir);
}

}  // namespace scanner
