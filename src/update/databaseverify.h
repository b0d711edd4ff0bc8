#pragma once

#include <QByteArray>
#include <QString>

// The check a downloaded database must pass before it is installed: ClamAV's `sigtool --info`,
// which for a file named *.cvd parses the header and verifies the MD5 and the digital signature
// of the whole file. (Under a *.cud name it checks nothing, so staged files keep .cvd names.)
namespace databaseverify {

// sigtool in the program folder when it is there and executable, else the one on PATH.
QByteArray defaultTool(const QString &programFolder);

// Runs the tool on the file; empty when it verified the file, otherwise the reason to show.
// A tool that runs longer than timeoutMs is ended and the file counts as unverified.
QString verify(const QByteArray &tool, const QString &path, int timeoutMs = 300000);

}  // namespace databaseverify
