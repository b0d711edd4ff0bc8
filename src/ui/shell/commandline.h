#pragma once

#include <QByteArrayList>
#include <QString>
#include <QStringList>

// What one start of the program was asked to do: run (scanning the given files and folders,
// if any), print its help or its version, or nothing because its arguments were wrong.
struct CommandLine {
    enum class Action { Run, Help, Version, Fail };
    static constexpr int usageError = 2;  // the exit code of a wrong command line

    Action action = Action::Run;
    QStringList paths;  // Run: absolute, cleaned, ".." as the system takes it; in the order given
    bool scheduled = false;  // Run: the scheduled scan (--scheduled)
    QString message;         // Fail: what was wrong, for standard error

    // `arguments` are the raw arguments after the program's name; relative paths are taken
    // from `currentFolder`, an absolute path. When it is empty (the folder cannot be named),
    // `currentFolderProblem` says why, and a relative path is refused. Every path must exist.
    static CommandLine parse(const QByteArrayList &arguments, const QString &currentFolder,
                             const QString &currentFolderProblem = {});
    // `text` from elsewhere made safe to print on a terminal: control and other unprintable
    // characters shown escaped ("\x1b"), at most `maxChars` characters, then "…".
    static QString printable(const QString &text, qsizetype maxChars = 300);
    static QString helpText();
    static QString versionText();
};
