#pragma once

#include <QDialog>
#include <QTimer>

class QLabel;
class QProgressBar;

// The splash window TForm10: a picture, the gauge Gauge1 and "Loading Extensions ...". When
// shown it counts 100 steps of Timer1 (12 ms) on the gauge and then closes itself.
class TForm10 : public QDialog {
    Q_OBJECT
public:
    explicit TForm10(QWidget *parent = nullptr);

    static constexpr int steps = 100;
    static constexpr int tickMs = 12;
    int step() const { return m_step; }

    // Centred on the screen before it is shown.
    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void tick();

    QProgressBar *m_gauge = nullptr;
    QTimer m_timer;
    int m_step = 0;
};
