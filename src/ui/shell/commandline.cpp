#include "ui/shell/commandline.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QLatin1String kProgram("vizavuz-antivirus");

CommandLine fail(const QString &what) {
    CommandLine result;
    result.action = CommandLine::Action::Fail;
    result.message = kProgram + QStringLiteral(": ") + what + QStringLiteral("\nTry '") + kProgram +
                     QStringLiteral(" --help' for more information.\n");
    return result;
}

}  // namespace

CommandLine CommandLine::parse(const QByteArrayList &arguments, const QString &currentFolder) {
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
        const QString path = QDir::cleanPath(QDir(currentFolder).absoluteFilePath(name));
        if (name.isEmpty() || !QFileInfo::exists(path))
            return fail(QStringLiteral("cannot scan '%1': no such file or folder").arg(name));
        result.paths << path;
    }
    return result;
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
        "  --             take every following argument as a PATH\n"
        "\n"
        "Exit status: 0 when all went well; 1 when the running program did not answer or\n"
        "scanned nothing; 2 for an unknown option or a PATH that does not exist.\n");
}

QString CommandLine::versionText() {
    return kProgram + QStringLiteral(" " VZ_VERSION "\n");
}
