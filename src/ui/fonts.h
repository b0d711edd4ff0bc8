#pragma once

#include <QFont>
#include <QString>

// The faces of the program's windows. The layouts are measured in pixels for a small 8 point
// face; the condensed DejaVu face at 11 pixels keeps every caption inside its place.
namespace fonts {

// The dialogs: the skinned family, the message box and the update settings dialog.
inline QFont dialog() {
    QFont f(QStringLiteral("DejaVu Sans Condensed"));
    f.setPixelSize(11);
    return f;
}

// The main window.
inline QFont mainWindow() {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPointSize(8);
    return f;
}

}  // namespace fonts
