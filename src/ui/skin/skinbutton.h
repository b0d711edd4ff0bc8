#pragma once

#include <QLabel>

class SkinButtons;

// A picture control bound to one row of the skin table: mouse move hovers it, a press of any
// mouse button presses it, the release releases it. clicked() is emitted on a left release
// inside the control, before the release is painted; a click that opens a modal window keeps
// the down image until that window closes.
class SkinButton : public QLabel {
    Q_OBJECT
public:
    SkinButton(SkinButtons &skin, int index, QWidget *parent = nullptr, bool stretch = false);

    int skinIndex() const { return m_index; }

signals:
    void clicked();

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    SkinButtons &m_skin;
    int m_index;
};
