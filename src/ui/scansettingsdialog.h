#pragma once

#include <functional>

#include "scan/scanexclusions.h"
#include "ui/skin/skindialog.h"

class ProgramData;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QSpinBox;

// The skinned "Scan Settings" dialog: what every scan leaves out (folders, name patterns,
// presets, a size limit), with a field that tells whether a path would be scanned, and the
// engine the scans use (with the clamd address). Each topic
// has a group box of its own. It edits a copy that "Save Settings" writes to the key store.
class ScanSettingsDialog : public SkinDialog {
    Q_OBJECT
public:
    ScanSettingsDialog(ProgramData &data, SkinButtons &skin, QWidget *parent = nullptr);

    // Loads the stored settings and shows the dialog, not modal; an open one comes to the front.
    void showDialog();

    // The folder chooser (a test sets its own answer) and how failures reach the user.
    std::function<QString(QWidget *parent)> chooseFolder;
    std::function<void(QWidget *parent, const QString &text)> reportFailure;

    const ScanExclusions &edited() const { return m_edit; }

    // What the test field answers for a path under the settings as edited.
    static QString verdictText(const ScanExclusions &exclusions, const QString &path);

signals:
    void settingsSaved();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void load();
    void fillLists();
    void addFolder();
    void removeFolders();
    void addPattern();
    void removePatterns();
    void testPath();
    void save();

    ProgramData &m_data;
    ScanExclusions m_edit;
    QListWidget *m_folders;
    QListWidget *m_patterns;
    QLineEdit *m_pattern;
    QCheckBox *m_sizeOn;
    QSpinBox *m_size;
    QList<QCheckBox *> m_presets;
    QComboBox *m_engine;
    QLineEdit *m_clamdAddress;
    QLineEdit *m_testPath;
    QLabel *m_testResult;
};
