#include "ui/shell/commandline.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QLatin1String kProgram("vizavuz-antivirus");

CommandLine fail(const QString &what) {
    CommandLine result;
    result.action = CommandLine::Action::Fail;
    // A name may come from a downloaded file and hold anything, escape sequences too.
    result.message = kProgram + QStringLiteral(": ") + CommandLine::printable(what, 1000) +
                     QStringLiteral("\nTry '") + kProgram +
                     QStringLiteral(" --help' for more information.\n");
    return result;
}

// The path as the system names it: empty when nothing is there. "link/.." is the folder above
// the link's target for the system, but the folder holding the link for a cleaning of the
// text, so the part up to the last ".." is resolved by the system.
QString systemPath(const QString &absolute) {
    const QStringList parts = absolute.split(QLatin1Char('/'));
    const qsizetype last = parts.lastIndexOf(QStringLiteral(".."));
    QString path = QDir::cleanPath(absolute);
    if (last >= 0) {
        const QString head =
            QFileInfo(parts.mid(0, last + 1).join(QLatin1Char('/'))).canonicalFilePath();
        if (head.isEmpty())
            return {};
        path =
            QDir::cleanPath(head + QLatin1Char('/') + parts.mid(last + 1).join(QLatin1Char('/')));
    }
    return QFileInfo::exists(path) ? path : QString();
}

}  // namespace

CommandLine CommandLine::parse(const QByteArrayList &arguments, const QString &currentFolder,
                               const QString &currentFolderProblem) {
    CommandLine result;
    bool options = true;
    for (const QByteArray &argument : arguments) {
        if (options && argument == "--") {
            options = false;
            continue;
        }
        if (options && argument.startsWith('-') && argument.size() > 1) {
            if (argument == "-h" || argument == "--help") {
                result.action = Action::Help;
                return result;
            }
            if (argument == "-V" || argument == "--version") {
                result.action = Action::Version;
                return result;
            }
            if (argument == "--scheduled") {
                result.scheduled = true;
                continue;
            }
            return fail(
                QStringLiteral("unrecognized option '%1'").arg(QString::fromLocal8Bit(argument)));
        }
        // A name that does not survive the trip through text would be scanned under another
        // name, or not at all: refuse it rather than scan something else.
        const QString name = QFile::decodeName(argument);
        if (QFile::encodeName(name) != argument)
            return fail(QStringLiteral("cannot scan '%1': the name is not valid in the system's "
                                       "character encoding")
                            .arg(name));
        if (name.isEmpty())
            return fail(QStringLiteral("cannot scan '': no such file or folder"));
        // A relative path needs a folder to start from; without one it would be taken from
        // wherever the system starts (the root), which is not what was asked.
        const bool relative = !QDir::isAbsolutePath(name);
        if (relative && !QDir::isAbsolutePath(currentFolder))
            return fail(QStringLiteral("cannot scan '%1': %2")
                            .arg(name, currentFolderProblem.isEmpty()
                                           ? QStringLiteral("the folder the command runs in "
                                                            "cannot be named")
                                           : currentFolderProblem));
        const QString path = systemPath(relative ? currentFolder + QLatin1Char('/') + name : name);
        if (path.isEmpty())
            return fail(QStringLiteral("cannot scan '%1': no such file or folder").arg(name));
        result.paths << path;
    }
    if (result.scheduled && !result.paths.isEmpty())
        return fail(QStringLiteral("--scheduled takes no PATH: it scans what the schedule says"));
    return result;
}

QString CommandLine::printable(const QString &text, qsizetype maxChars) {
    QString shown;
    qsizetype count = 0;
    for (const char32_t c : text.toUcs4()) {
        if (count++ == maxChars)
            return shown + QChar(0x2026);
        if (c == U'\\')
            shown += QStringLiteral("\\\\");
        else if (QChar::isPrint(c))
            shown += QString::fromUcs4(&c, 1);
        else if (c < 0x100)
            shown += QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'));
        else
            shown += QStringLiteral("\\u{%1}").arg(uint(c), 4, 16, QLatin1Char('0'));
    }
    return shown;
}

QString CommandLine::helpText() {
    return QStringLiteral(
        "Usage: vizavuz-antivirus [OPTION]... [--] [PATH]...\n"
        "Scan files and folders for viruses with ClamAV.\n"
        "\n"
        "Without a PATH the program starts. With PATHs it scans those files and folders;\n"
        "when the program is already running, the running program scans them, unless a\n"
        "scan or a removal is going on there.\n"
        "\n"
        "  -h, --help     print this help and exit\n"
        "  -V, --version  print the version and exit\n"
        "  --scheduled    run the scheduled scan (as the scheduled job does); skipped, and\n"
        "                 logged as skipped, when the running program is busy or does\n"
        "                 not answer\n"
        "  --             take every following argument as a PATH\n"
        "\n"
        "Exit status: 0 when all went well; 1 when the running program did not answer,\n"
        "cannot be reached safely or scanned nothing, or the scheduled scan was skipped\n"
        "or failed; 2 for an unknown option or a PATH\n"
        "that does not exist (or, relative, from a folder that was deleted).\n");
}

QString CommandLine::versionText() {
    return kProgram + QStringLiteral(" " VZ_VERSION "\n");
}
