#include "ui/shellwiring.h"

#include <QApplication>
#include <QFile>
#include <QTimer>

#include "app/programdata.h"
#include "ui/shell/appicon.h"
#include "ui/shell/scannerversion.h"
#include "ui/shell/tform2.h"
#include "ui/shell/trayminimizer.h"
#include "ui/tform1.h"

#include <cstdio>

ShellWiring::ShellWiring(ProgramData &data, TForm1 &mainWindow, const QStringList &startupProblems,
                         QObject *parent)
    : QObject(parent),
      m_main(mainWindow),
      m_tray(new TrayMinimizer(&mainWindow, this)),
      m_scanner(new ScannerVersion(this)) {
    for (const QString &problem : startupProblems)
        std::fprintf(stderr, "vizavuz-antivirus: %s\n", problem.toLocal8Bit().constData());

    QApplication::setWindowIcon(appicon::icon());
    m_main.setWindowIcon(QApplication::windowIcon());

    // The scanner answers in the background; the About window shows its text once known.
    m_scanner->startResolved([&data, program = QFile::encodeName(data.folders.program),
                              executable = scannerchoice::executableFolder()] {
        return scannerchoice::resolve(data.registry(), program, executable);
    });
    m_about = TForm2::create(m_scanner, nullptr);

    m_main.hooks.minimize = [this] { m_tray->minimizeToTaskbar(); };
    m_main.hooks.minimizeToTray = [this] { m_tray->minimizeToTray(); };
    m_main.hooks.about = [this] { showAbout(); };

    ownDialogs();
    QTimer::singleShot(0, this, &ShellWiring::ownDialogs);
}

ShellWiring::~ShellWiring() {
    // The About window is a child of the main window, which may outlive this object.
    delete m_about;
}

void ShellWiring::ownDialogs() {
    static const char *const family[] = {"TForm2", "TForm3", "TForm6", "TForm7"};
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (window == &m_main)
            continue;
        for (const char *name : family)
            if (window->inherits(name))
                own(window);
    }
}

void ShellWiring::own(QWidget *window) {
    // A window with a parent widget stays a window of its own; the toolkit makes the parent's
    // window its transient parent when it is first shown. Setting that link here instead would
    // create the main window's native window early and upset its placement.
    if (window->parentWidget() != &m_main)
        window->setParent(&m_main, window->windowFlags() | Qt::Dialog);
}

void ShellWiring::showAbout() {
    if (!m_about)
        return;
    m_about->exec();
}
