#pragma once

#include <functional>

#include "scan/scanschedule.h"
#include "ui/skin/skindialog.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QSpinBox;
class QTimeEdit;
class ScheduledScans;

// The scheduled scan settings: how often, on which day and at what time, a full scan or chosen
// folders, and only on mains power. OK stores them and writes the job; the next run is shown.
class ScheduleWindow : public SkinDialog {
    Q_OBJECT
public:
    using ShowFailure = std::function<void(QWidget *parent, const QString &text)>;

    ScheduleWindow(ScheduledScans &scans, SkinButtons &skin, ShowFailure showFailure,
                   QWidget *parent = nullptr);

    // The folder chooser; tests replace it.
    std::function<QString(QWidget *parent)> chooseFolder;

    // The controls from a schedule, and back.
    void load(const ScanSchedule &schedule);
    ScanSchedule chosen() const;
    // Stores and applies the chosen schedule; closes on success.
    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void enableControls();
    void showNextRun();

    ScheduledScans &m_scans;
    ShowFailure m_showFailure;
    QComboBox *m_frequency;
    QComboBox *m_weekday;
    QSpinBox *m_monthDay;
    QTimeEdit *m_time;
    QButtonGroup *m_target;
    QListWidget *m_folders;
    QCheckBox *m_mains;
    QLabel *m_nextRun;
};
