#include "scan/scanexclusions.h"

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "state/registry.h"

namespace {

const QByteArray kMultiString = QByteArrayLiteral("REG_7");
constexpr char folderTag[] = "folder:";
constexpr char patternTag[] = "pattern:";
constexpr char presetTag[] = "preset:";
constexpr char sizeTag[] = "sizelimit:";

// Paths are bytes; Latin-1 maps each byte to one character and back, so matching the decoded
// texts matches the bytes.
QString bytesAsText(const QByteArray &bytes) {
    return QString::fromLatin1(bytes);
}

// A path as the scanner matches it: no doubled "/", no trailing "/" (the root stays "/").
QByteArray cleanBytes(const QByteArray &path) {
    QByteArray clean = QDir::cleanPath(bytesAsText(path)).toLatin1();
    while (clean.size() > 1 && clean.endsWith('/'))
        clean.chop(1);
    return clean;
}

// The extended regular expressions made here, in the dialect of QRegularExpression: "$" is the
// very end of the path (a path may end in a line break).
QRegularExpression matcher(const QByteArray &regex) {
    QString pattern;
    const QString text = bytesAsText(regex);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\' && i + 1 < text.size()) {
            pattern += text[i];
            pattern += text[++i];
        } else if (text[i] == u'$') {
            pattern += QStringLiteral("\\z");
        } else {
            pattern += text[i];
        }
    }
    return QRegularExpression(pattern, QRegularExpression::DotMatchesEverythingOption);
}

bool isClassCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
}

// A class body the scanner compiles as meant and that never matches "/": each range runs
// upwards within digits, lower-case or upper-case letters; any other "-" is first or last.
bool isSoundClass(const QByteArray &body) {
    const auto group = [](char c) {
        return (c >= '0' && c <= '9')   ? 0
               : (c >= 'a' && c <= 'z') ? 1
               : (c >= 'A' && c <= 'Z') ? 2
                                        : -1;
    };
    for (qsizetype i = 0; i < body.size(); ++i) {
        if (i + 2 < body.size() && body[i + 1] == '-') {
            const char low = body[i], high = body[i + 2];
            if (group(low) < 0 || group(low) != group(high) || low > high)
                return false;
            i += 2;
        } else if (body[i] == '-' && i != 0 && i != body.size() - 1) {
            return false;
        }
    }
    return true;
}

// Regexes for one name rule: the name as any component of a folder's path; for files, either
// the file's own name or a folder above it (a file given to the scanner by itself). A regex
// never ends in "/": the scanner matches such a one against the path with a "/" appended, so
// that it would take a file of the folder's name too.
QByteArray nameAnywhere(const QByteArray &regex) {
    return "(^|/)" + regex + "(/|$)";
}
QByteArray nameAbove(const QByteArray &regex) {
    return "(^|/)" + regex + "/.";
}

}  // namespace

const QList<ScanExclusions::Preset> &ScanExclusions::presets() {
    static const QList<Preset> list = {
        {QStringLiteral("caches"),
         QStringLiteral("Caches (~/.cache)"),
         {QStringLiteral(".cache")},
         {},
         {}},
        {QStringLiteral("node_modules"),
         QStringLiteral("node_modules folders"),
         {},
         {QStringLiteral("node_modules")},
         {}},
        {QStringLiteral("git"), QStringLiteral(".git folders"), {}, {QStringLiteral(".git")}, {}},
        {QStringLiteral("build"),
         QStringLiteral("Build folders (build, target, CMakeFiles)"),
         {},
         {QStringLiteral("build"), QStringLiteral("target"), QStringLiteral("CMakeFiles")},
         {}},
        {QStringLiteral("vmimages"),
         QStringLiteral("VM images (qcow2, vdi, vmdk, iso)"),
         {},
         {},
         {QStringLiteral("*.qcow2"), QStringLiteral("*.vdi"), QStringLiteral("*.vmdk"),
          QStringLiteral("*.iso")}},
    };
    return list;
}

bool ScanExclusions::addFolder(const QByteArray &path) {
    if (!path.startsWith('/'))
        return false;
    const QByteArray clean = cleanBytes(path);
    if (clean.size() > maxFolderBytes)
        return false;
    if (!m_folders.contains(clean))
        m_folders << clean;
    return true;
}

void ScanExclusions::removeFolder(const QByteArray &path) {
    m_folders.removeAll(path);
    m_folders.removeAll(cleanBytes(path));
}

bool ScanExclusions::addPattern(const QString &pattern) {
    const QString p = pattern.trimmed();
    if (p.isEmpty() || p.contains(u'/'))
        return false;
    if (!m_patterns.contains(p))
        m_patterns << p;
    return true;
}

void ScanExclusions::removePattern(const QString &pattern) {
    m_patterns.removeAll(pattern);
}

void ScanExclusions::setPresetTicked(const QString &key, bool ticked) {
    const bool known = std::any_of(presets().begin(), presets().end(),
                                   [&key](const Preset &p) { return p.key == key; });
    if (!known)
        return;
    m_presets.removeAll(key);
    if (ticked) {
        m_presets << key;
        // Stored in the presets' own order, so that equal choices store equal values.
        QStringList ordered;
        for (const Preset &p : presets())
            if (m_presets.contains(p.key))
                ordered << p.key;
        m_presets = ordered;
    }
}

void ScanExclusions::setSizeLimitMb(int mb) {
    m_sizeLimitMb = std::clamp(mb, 0, maxSizeLimitMb);
}

QByteArray ScanExclusions::home() const {
    return cleanBytes(m_home.isEmpty() ? QFile::encodeName(QDir::homePath()) : m_home);
}

QByteArray ScanExclusions::escapeRegex(const QByteArray &text) {
    static const QByteArray special = QByteArrayLiteral(".[]()*+?{}|^$\\");
    QByteArray out;
    out.reserve(text.size() * 2);
    for (const char c : text) {
        if (special.contains(c))
            out += '\\';
        out += c;
    }
    return out;
}

QByteArray ScanExclusions::globToRegex(const QByteArray &glob) {
    QByteArray out;
    for (qsizetype i = 0; i < glob.size(); ++i) {
        const char c = glob[i];
        if (c == '*') {
            out += "[^/]*";
        } else if (c == '?') {
            out += "[^/]";
        } else if (c == '[') {
            // A class of letters, digits, "-", "_" and "."; anything else makes "[" itself.
            qsizetype j = i + 1;
            const bool negated = j < glob.size() && (glob[j] == '!' || glob[j] == '^');
            if (negated)
                ++j;
            const qsizetype first = j;
            while (j < glob.size() && isClassCharacter(glob[j]))
                ++j;
            if (j < glob.size() && glob[j] == ']' && j > first &&
                isSoundClass(glob.mid(first, j - first))) {
                out += negated ? "[^/" : "[";
                out += glob.mid(first, j - first);
                out += ']';
                i = j;
            } else {
                out += escapeRegex(QByteArray(1, c));
            }
        } else {
            out += escapeRegex(QByteArray(1, c));
        }
    }
    return out;
}

QList<ScanExclusions::Rule> ScanExclusions::rules() const {
    QList<Rule> list;
    auto addFolderRule = [&list](const QByteArray &folder, const QString &description) {
        QList<QByteArray> forms{folder};
        // The scanner prints the paths it walks, which may be the folder's real place.
        const QString real = QFileInfo(QFile::decodeName(folder)).canonicalFilePath();
        if (!real.isEmpty()) {
            const QByteArray canonical = cleanBytes(QFile::encodeName(real));
            if (canonical != folder)
                forms << canonical;
        }
        for (const QByteArray &form : forms) {
            // The root leaves out every path.
            const QByteArray base = form == "/" ? QByteArray() : escapeRegex(form);
            list << Rule{description, "^" + base + "(/|$)", "^" + base + "/."};
        }
    };
    for (const QByteArray &folder : m_folders)
        addFolderRule(folder, QStringLiteral("the folder %1").arg(QFile::decodeName(folder)));
    for (const QString &pattern : m_patterns) {
        const QByteArray regex = globToRegex(QFile::encodeName(pattern));
        list << Rule{QStringLiteral("the pattern %1").arg(pattern), nameAnywhere(regex),
                     nameAnywhere(regex)};
    }
    for (const Preset &preset : presets()) {
        if (!m_presets.contains(preset.key))
            continue;
        const QString description = QStringLiteral("the preset %1").arg(preset.label);
        for (const QString &folder : preset.homeFolders)
            addFolderRule(home() + '/' + QFile::encodeName(folder), description);
        for (const QString &name : preset.folderNames) {
            const QByteArray regex = escapeRegex(QFile::encodeName(name));
            list << Rule{description, nameAnywhere(regex), nameAbove(regex)};
        }
        for (const QString &pattern : preset.namePatterns) {
            const QByteArray regex = globToRegex(QFile::encodeName(pattern));
            list << Rule{description, nameAnywhere(regex), nameAnywhere(regex)};
        }
    }
    return list;
}

QString ScanExclusions::exclusionOf(const QByteArray &path, bool isFolder, qint64 size) const {
    const QString clean = bytesAsText(cleanBytes(path).left(matchedBytes));
    for (const Rule &rule : rules()) {
        const QByteArray &regex = isFolder ? rule.dirRegex : rule.fileRegex;
        if (matcher(regex).match(clean).hasMatch())
            return rule.description;
    }
    if (!isFolder && m_sizeLimitMb > 0 && size > qint64(m_sizeLimitMb) * 1024 * 1024)
        return QStringLiteral("the size limit (%1 MB)").arg(m_sizeLimitMb);
    return {};
}

QList<QByteArray> ScanExclusions::scannerArguments() const {
    QList<QByteArray> args;
    for (const Rule &rule : rules()) {
        args << "--exclude-dir=" + rule.dirRegex;
        args << "--exclude=" + rule.fileRegex;
    }
    if (m_sizeLimitMb > 0) {
        args << "--max-filesize=" + QByteArray::number(m_sizeLimitMb) + 'M';
        args << "--max-scansize=" + QByteArray::number(std::max(m_sizeLimitMb, defaultScanSizeMb)) +
                    'M';
    }
    return args;
}

bool ScanExclusions::isExclusionArgument(const QByteArray &argument) {
    return argument.startsWith("--exclude=") || argument.startsWith("--exclude-dir=") ||
           argument.startsWith("--max-filesize=") || argument.startsWith("--max-scansize=");
}

Status ScanExclusions::load(const Registry &registry, ScanExclusions &out) {
    const QString key = Registry::keyPath(regkey::exclusions());
    const auto result = registry.store().read(key);
    out = ScanExclusions{};
    using Outcome = platform::KeyStore::ReadOutcome;
    if (result.outcome == Outcome::Missing)
        return Status::success();
    if (result.outcome == Outcome::Failed || result.value.type != kMultiString)
        return Status::failure(
            QStringLiteral("The scan settings (exclusions) in the key store cannot be read"));
    for (const QByteArray &entry : result.value.data.split('\0')) {
        if (entry.startsWith(folderTag))
            out.addFolder(entry.mid(qsizetype(sizeof folderTag) - 1));
        else if (entry.startsWith(patternTag))
            out.addPattern(QFile::decodeName(entry.mid(qsizetype(sizeof patternTag) - 1)));
        else if (entry.startsWith(presetTag))
            out.setPresetTicked(QString::fromUtf8(entry.mid(qsizetype(sizeof presetTag) - 1)),
                                true);
        else if (entry.startsWith(sizeTag))
            out.setSizeLimitMb(entry.mid(qsizetype(sizeof sizeTag) - 1).toInt());
    }
    return Status::success();
}

Status ScanExclusions::save(const Registry &registry) const {
    // A multi-string: every entry ends in a zero byte, the list in one more.
    QByteArray data;
    auto entry = [&data](const char *tag, const QByteArray &value) {
        data += tag;
        data += value;
        data += '\0';
    };
    for (const QByteArray &folder : m_folders)
        entry(folderTag, folder);
    for (const QString &pattern : m_patterns)
        entry(patternTag, QFile::encodeName(pattern));
    for (const QString &preset : m_presets)
        entry(presetTag, preset.toUtf8());
    if (m_sizeLimitMb > 0)
        entry(sizeTag, QByteArray::number(m_sizeLimitMb));
    data += '\0';
    const QString key = Registry::keyPath(regkey::exclusions());
    registry.store().openKey(key);
    const QString error = registry.store().write(key, {}, {kMultiString, data});
    return error.isEmpty() ? Status::success() : Status::failure(error);
}
