#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QLabel;
class SkinButtons;

// A small skinned dialog (the dialogs' frame and artwork) that shows a failure the user must
// see, with a Close button drawn from the skin's Close images, or asks a question with the
// skin's Yes and No buttons.
class MessageDialog : public QDialog {
    Q_OBJECT
public:
    enum class Kind { Failure, Question };
    MessageDialog(const QString &text, QWidget *parent = nullptr, Kind kind = Kind::Failure);

    // Blocks until the user closes it.
    static void showFailure(QWidget *parent, const QString &text);
    // Shows it and returns at once; the dialog deletes itself when closed.
    static MessageDialog *showFailureLater(QWidget *parent, const QString &text);

    // Asks a Yes/No question and blocks until it is answered; true for Yes (Escape is No).
    static bool ask(QWidget *parent, const QString &text);

    // The skin whose Close images the button shows (none: a plain caption).
    static void setSkin(const SkinButtons *skin);

    // Test seam: while recording, texts are appended to recorded() instead of being shown, and
    // a question gets the answer set here (No until set).
    static void setRecording(bool on);
    static void setRecordedAnswer(bool yes);
    static QStringList &recorded();

    // Centred on the screen before it is shown.
    void setVisible(bool visible) override;
};
