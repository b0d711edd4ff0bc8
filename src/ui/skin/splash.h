#pragma once

#include <QDialog>
#include <QTimer>

class QLabel;
class QProgressBar;

// The start-up splash: a picture and a progress gauge filled in 100 steps, then it closes.
class TForm10 : public QDialog {
    Q_OBJECT
public:
    explicit TForm10(QWidget *parent = nullptr);
    int exec() override;
    int step() const { return step_; }

private:
    void tick();
    QLabel *picture_;
    QProgressBar *gauge_;
    QLabel *label_;
    QTimer timer_;
    int step_ = 0;
};
