#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "state/status.h"

class Registry;

// What every scan leaves out: folders, name patterns (globs on a path's components), ticked
// presets and a size limit. It answers whether a path would be scanned and why not, and turns
// itself into the scanner's --exclude/--exclude-dir regular expressions and size options, so
// that each scan, whoever starts it, leaves out the same things.
class ScanExclusions {
public:
    // A preset is a named set of folders below the home folder ("~/.cache") and of folder
    // names that are left out wherever they are.
    struct Preset {
        QString key;  // as stored
        QString label;
        QStringList homeFolders;
        QStringList folderNames;
        QStringList namePatterns;  // files and folders
    };
    static const QList<Preset> &presets();

    // Files larger than this cannot be scanned at all by the scanner (2 GiB - 1 bytes).
    static constexpr int maxSizeLimitMb = 2047;
    // The scanner's own default for the data it reads from one container file.
    static constexpr int defaultScanSizeMb = 400;

    QList<QByteArray> folders() const { return m_folders; }
    QStringList patterns() const { return m_patterns; }
    QStringList tickedPresets() const { return m_presets; }
    // 0: no limit of the program's (the scanner's own default applies).
    int sizeLimitMb() const { return m_sizeLimitMb; }

    // The scanners compare a rule with no more than the first 512 bytes of a path, so that a
    // folder is left out only when its path, a "/" and one more byte fit in them.
    static constexpr qsizetype matchedBytes = 512;
    static constexpr qsizetype maxFolderBytes = matchedBytes - 2;

    // Folders are kept as absolute, clean paths without a trailing "/"; false for a relative or
    // empty path, or one longer than maxFolderBytes. A folder or pattern already there is not
    // added twice.
    bool addFolder(const QByteArray &path);
    void removeFolder(const QByteArray &path);
    // False for an empty pattern, or one holding "/" (a pattern matches one name).
    bool addPattern(const QString &pattern);
    void removePattern(const QString &pattern);
    void setPresetTicked(const QString &key, bool ticked);
    bool presetTicked(const QString &key) const { return m_presets.contains(key); }
    // Brought into 0 to maxSizeLimitMb.
    void setSizeLimitMb(int mb);

    // Why a path would not be scanned, as the scanners judge it: the rule that leaves it out,
    // or empty when it would be scanned. size is the file's size in bytes, -1 when unknown (a
    // folder).
    QString exclusionOf(const QByteArray &path, bool isFolder, qint64 size = -1) const;

    // The scanner options: --exclude-dir and --exclude for every folder and pattern, and
    // --max-filesize/--max-scansize for a size limit. home is the folder "~" stands for.
    QList<QByteArray> scannerArguments() const;

    // A glob ("*", "?", "[a-z]", "[!0-9]") as an extended regular expression for one path
    // component, without anchors. Every other character stands for itself, as does a bracket
    // whose ranges do not run upwards within digits or letters of one case.
    static QByteArray globToRegex(const QByteArray &glob);
    // The text escaped so that an extended regular expression matches exactly it.
    static QByteArray escapeRegex(const QByteArray &text);

    // Whether an option of the scanner's argument list is one that this class makes.
    static bool isExclusionArgument(const QByteArray &argument);

    // The home folder for the presets' "~" (default: the user's home).
    void setHome(const QByteArray &home) { m_home = home; }

    // Stored as the default value of the subkey "exclusions": a multi-string (REG_7) whose
    // entries are "folder:<path>", "pattern:<glob>", "preset:<key>" and "sizelimit:<MB>". A
    // missing value is the empty set; a value of another type is a failed read.
    static Status load(const Registry &registry, ScanExclusions &out);
    Status save(const Registry &registry) const;

    bool operator==(const ScanExclusions &other) const = default;

private:
    struct Rule {
        QString description;
        QByteArray dirRegex;   // matched against folder paths
        QByteArray fileRegex;  // matched against file paths
    };
    QList<Rule> rules() const;
    QByteArray home() const;

    QList<QByteArray> m_folders;
    QStringList m_patterns;
    QStringList m_presets;
    int m_sizeLimitMb = 0;
    QByteArray m_home;
};

namespace regkey {
inline QString exclusions() {
    return QStringLiteral("exclusions");
}
}  // namespace regkey
