#pragma once

#include <QString>
#include <QStringList>

class QWidget;
class SkinButtons;

// A small skinned dialog that shows a failure text the user must see, with a Close button.
class MessageDialog {
public:
    // Blocks until the user closes it.
    static void showFailure(QWidget *parent, const QString &text);
    // Shows it and returns at once; the dialog deletes itself when closed.
    static void showFailureLater(QWidget *parent, const QString &text);

    // Test seam: while recording, texts are appended to recorded() instead of being shown.
    static void setRecording(bool on);
    static QStringList &recorded();
};
