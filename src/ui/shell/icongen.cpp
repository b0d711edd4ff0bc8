// Build-time tool: writes the program's icon as PNG files, one per size, into a folder laid
// out like the hicolor theme ("<size>x<size>/apps/<name>.png").
#include <cstdio>

#include <QDir>
#include <QGuiApplication>
#include <QString>

#include "ui/shell/appicon.h"

int main(int argc, char *argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: vz-icongen OUTPUT-FOLDER NAME\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString root = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
        if (!QDir().mkpath(folder) || !appicon::draw(size).save(folder + QStringLiteral("/") +
                                                                name + QStringLiteral(".png"))) {
            std::fprintf(stderr, "vz-icongen: cannot write %s\n", qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
