#include "ui/skin/messagedialog.h"

void MessageDialog::showFailure(QWidget *, const QString &) {}
void MessageDialog::showFailureLater(QWidget *, const QString &) {}
void MessageDialog::setRecording(bool) {}
QStringList &MessageDialog::recorded() {
    static QStringList list;
    return list;
}
