#pragma once

#include <QLabel>

class SkinButtons;

// A picture control bound to one row of the button table: it forwards the mouse to the table
// and emits clicked() when the button is released inside the control.
class SkinButton : public QLabel {
    Q_OBJECT
public:
    SkinButton(SkinButtons &table, int index, QWidget *parent = nullptr, bool stretch = false);
    int index() const { return index_; }

signals:
    void clicked();

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;

private:
    SkinButtons &table_;
    int index_;
};
