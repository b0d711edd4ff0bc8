#pragma once

#include <functional>

#include <QDialog>

#include "update/updatesettings.h"

class DatabaseSource;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;
class ProgramData;

// The update settings dialog "Virus Database Updates": a standard, unskinned dialog that edits
// the settings fields of the settings record. The radio buttons are named RadioGroup1_0 to
// RadioGroup1_4 and RadioGroup2_0, RadioGroup2_1 after their item index.
class TForm12 : public QDialog {
    Q_OBJECT
public:
    explicit TForm12(ProgramData &data, QWidget *parent = nullptr);

    // Shows the dialog, not modal; an open dialog only comes to the front, unreloaded.
    void showDialog();

    // How a failed save reaches the user; a message box unless a test sets its own.
    void setFailureReporter(std::function<void(const QString &)> reporter) {
        m_reportFailure = std::move(reporter);
    }

    // Where the databases come from: chosen in ComboBox1 ("System", "Own copy") when a source
    // is set. `ask` puts a Yes/No question (whether to delete the own copy).
    void setDatabaseSource(DatabaseSource *source, std::function<bool(const QString &)> ask);

    // The controls as a form, as Save would store them.
    UpdateSettingsForm currentForm() const;

signals:
    void settingsSaved();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormShow();
    void RadioGroup1Click();
    void CheckBox1Click();
    void Button1Click();
    void Button2Click();
    void loadDatabaseChoice();
    // Stores a changed database choice; false when the user must be told of a failure.
    bool saveDatabaseChoice();

    ProgramData &m_data;
    QButtonGroup *m_frequency;
    QButtonGroup *m_whenFound;
    QSpinBox *m_spin;
    QCheckBox *m_useProxy;
    QLineEdit *m_server;
    QLineEdit *m_port;
    QLineEdit *m_user;
    QLineEdit *m_password;
    QWidget *m_databaseCaption;
    QComboBox *m_database;
    DatabaseSource *m_source = nullptr;
    int m_shownDatabase = -1;
    std::function<bool(const QString &)> m_ask;
    std::function<void(const QString &)> m_reportFailure;
};
