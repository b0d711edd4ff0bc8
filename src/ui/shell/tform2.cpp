#include "ui/shell/tform2.h"

#include <QFont>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ui/shell/scannerversion.h"
#include "ui/shell/systemtext.h"
#include "ui/shell/trayminimizer.h"

namespace {

QLabel *addLabel(QWidget *page, const char *name, const QString &text, int x, int y, int width) {
    auto *label = new QLabel(text, page);
    label->setObjectName(QLatin1String(name));
    label->move(x, y);
    label->resize(width, label->sizeHint().height());
    return label;
}

QPlainTextEdit *addMemo(QWidget *page, const char *name, const QString &text) {
    auto *memo = new QPlainTextEdit(page);
    memo->setObjectName(QLatin1String(name));
    memo->setReadOnly(true);
    memo->setPlainText(text);
    memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(memo);
    return memo;
}

}  // namespace

TForm2::TForm2(const QString &osText, const QString &memoryText, const ScannerVersion *scanner,
               QWidget *mainWindow)
    : QDialog(mainWindow) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(395, 252);
    move(218, 193);
    setModal(true);

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("PageControl1"));
    m_tabs->setGeometry(0, 0, 395, 252);

    auto *about = new QWidget;
    about->setObjectName(QStringLiteral("TabSheet1"));
    QLabel *title = addLabel(about, "Label1", QStringLiteral("Vizavuz AntiVirus"), 8, 16, 370);
    QFont bold = title->font();
    bold.setBold(true);
    bold.setPixelSize(19);
    title->setFont(bold);
    title->resize(370, title->sizeHint().height());
    addLabel(about, "Label2", QStringLiteral("Version ") + QStringLiteral(VZ_VERSION), 8, 48, 370);
    m_scanner = addLabel(about, "Label3", scanner ? scanner->text() : ScannerVersion::missingText(),
                         8, 70, 370);
    addLabel(about, "Label4", QStringLiteral("A desktop front end for the ClamAV virus scanner."),
             8, 100, 370);
    addLabel(about, "Label5", QStringLiteral("Operating system:"), 8, 140, 120);
    addLabel(about, "OS", osText, 130, 140, 250);
    addLabel(about, "Label6", QStringLiteral("Physical memory:"), 8, 162, 120);
    addLabel(about, "PhysMem", memoryText, 130, 162, 250);
    m_tabs->addTab(about, QStringLiteral("About"));

    auto *license = new QWidget;
    license->setObjectName(QStringLiteral("TabSheet2"));
    addMemo(license, "Memo1", licenseText());
    m_tabs->addTab(license, QStringLiteral("License"));

    auto *history = new QWidget;
    history->setObjectName(QStringLiteral("TabSheet3"));
    addMemo(history, "Memo2", historyText());
    m_tabs->addTab(history, QStringLiteral("History"));

    // The first tab only at the first opening; later openings keep the last active tab.
    m_tabs->setCurrentIndex(0);

    if (scanner)
        connect(scanner, &ScannerVersion::textChanged, m_scanner, &QLabel::setText);
    if (mainWindow)
        makeOwnedWindow(this, mainWindow);
}

TForm2 *TForm2::create(const ScannerVersion *scanner, QWidget *mainWindow) {
    return new TForm2(systemtext::currentOsText(), systemtext::currentMemoryText(), scanner,
                      mainWindow);
}

QString TForm2::licenseText() {
    return QStringLiteral(
        "Vizavuz AntiVirus\n"
        "Copyright (C) the Vizavuz AntiVirus developers\n"
        "\n"
        "This program is free software: you can redistribute it and/or modify it under the "
        "terms of the GNU General Public License as published by the Free Software Foundation, "
        "either version 3 of the License, or (at your option) any later version.\n"
        "\n"
        "This program is distributed in the hope that it will be useful, but WITHOUT ANY "
        "WARRANTY; without even the implied warranty of MERCHANTABILITY or FITNESS FOR A "
        "PARTICULAR PURPOSE. See the GNU General Public License for more details.\n"
        "\n"
        "You should have received a copy of the GNU General Public License along with this "
        "program. If not, see <https://www.gnu.org/licenses/>.\n"
        "\n"
        "The virus scanning is done by ClamAV, which is distributed under its own licence "
        "(GNU General Public License version 2).");
}

QString TForm2::historyText() {
    return QStringLiteral(
        "2026-12-08  1.0.0 *\n"
        "\n"
        "* This release included a virus database update.");
}
