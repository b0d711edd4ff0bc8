#pragma once

#include <QDialog>
#include <QStringList>

class QLabel;

// A small skinned dialog that shows a failure text with a Close button.
class MessageDialog : public QDialog {
    Q_OBJECT
public:
    explicit MessageDialog(const QString &text, QWidget *parent = nullptr);
    QString text() const;

    static void showFailure(QWidget *parent, const QString &text);       // blocks
    static void showFailureLater(QWidget *parent, const QString &text);  // returns at once

    // Test seam: while recording, failures are collected here instead of shown.
    static void setRecording(bool on);
    static QStringList recorded();
    static void clearRecorded();

private:
    QLabel *label_;
};
