#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>

#include "ui/shell/tform2.h"

class ProgramData;
class ScannerVersion;
class TForm1;
class TrayMinimizer;

// Connects the shell to the main window: the Minimize button and the tray menu item, the About
// window (created once at start-up, its machine figures taken then), the application icon, and
// the owner of the dialog family (they stay above the main window with no taskbar entry).
class ShellWiring : public QObject {
    Q_OBJECT
public:
    // startupProblems are the failures start-up found; they are also written to standard error
    // so that they reach the desktop's log when the program runs without a terminal.
    ShellWiring(ProgramData &data, TForm1 &mainWindow, const QStringList &startupProblems = {},
                QObject *parent = nullptr);
    ~ShellWiring() override;

    TrayMinimizer &tray() { return *m_tray; }
    ScannerVersion &scannerVersion() { return *m_scanner; }
    TForm2 *about() const { return m_about; }

    // Makes every existing window of the owned family (TForm2, TForm3, TForm6, TForm7) a window
    // of the main window. Runs at creation and again once the event loop runs, so that dialogs
    // created after this object are owned as well.
    void ownDialogs();

    // Shows the About window modally (About1Click).
    void showAbout();

private:
    void own(QWidget *window);

    TForm1 &m_main;
    TrayMinimizer *m_tray;
    ScannerVersion *m_scanner;
    QPointer<TForm2> m_about;
};
