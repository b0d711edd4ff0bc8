#pragma once

#include <QLabel>
#include <QString>

class SkinButtons;

// A picture button drawn from a row of the skin table but with its own hover and press state,
// so that a window may show a row's images without taking the row away from the window that owns
// it. Without the skin's images it shows its caption in a box.
class DialogButton : public QLabel {
    Q_OBJECT
public:
    DialogButton(const SkinButtons *skin, int row, const QString &caption, QWidget *parent);

signals:
    void clicked();

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void paintBand(int band);

    const SkinButtons *m_skin;
    int m_row;
    QString m_caption;
};
