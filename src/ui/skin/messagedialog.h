#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QLabel;
class SkinButtons;

// A small skinned dialog (the dialogs' frame and artwork) that shows a failure the user must
// see, with a Close button drawn from the skin's Close images.
class MessageDialog : public QDialog {
    Q_OBJECT
public:
    MessageDialog(const QString &text, QWidget *parent = nullptr);

    // Blocks until the user closes it.
    static void showFailure(QWidget *parent, const QString &text);
    // Shows it and returns at once; the dialog deletes itself when closed.
    static MessageDialog *showFailureLater(QWidget *parent, const QString &text);

    // The skin whose Close images the button shows (none: a plain caption).
    static void setSkin(const SkinButtons *skin);

    // Test seam: while recording, texts are appended to recorded() instead of being shown.
    static void setRecording(bool on);
    static QStringList &recorded();

    // Centred on the screen before it is shown.
    void setVisible(bool visible) override;
};
