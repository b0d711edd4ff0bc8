#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QTabWidget;
class ScannerVersion;

// The About window: program, version, scanner version and machine on the first tab, the
// licence and the release history on the others. Created once at start-up and reused; the
// machine's figures are taken then and not refreshed.
class TForm2 : public QDialog {
    Q_OBJECT
public:
    // osText and memoryText are the OS and PhysMem texts; scanner, when given, fills the
    // scanner's version as soon as it is known.
    TForm2(const QString &osText, const QString &memoryText, const ScannerVersion *scanner,
           QWidget *mainWindow = nullptr);

    // Made from the running machine (FormCreate).
    static TForm2 *create(const ScannerVersion *scanner, QWidget *mainWindow);

    static QString licenseText();
    static QString historyText();

private:
    QTabWidget *m_tabs = nullptr;
    QLabel *m_scanner = nullptr;
};
