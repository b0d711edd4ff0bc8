#pragma once

#include <QDialog>
#include <QSize>
#include <QString>
#include <vector>

class QLabel;
class SkinButton;
class SkinButtons;

// The common frame of the skinned dialogs: borderless, rounded corners, background picture,
// title picture, drag surfaces, buttons of the skin table, on top and centred when shown.
class SkinDialog : public QDialog {
    Q_OBJECT
public:
    struct ButtonSpec {
        const char *objectName;
        int skinIndex;
        int x, y, w, h;
    };
    struct Frame {
        const char *formName;
        int width, height;
        const char *background;  // resource name
        const char *title;       // resource name, may be empty
        int titleX, titleY, titleW, titleH;
        std::vector<ButtonSpec> buttons;
    };
    static const Frame &frame(const QString &formName);

    SkinDialog(const QString &formName, SkinButtons &table, QWidget *parent = nullptr);
    SkinButton *button(const QString &objectName) const;

protected:
    void showEvent(QShowEvent *event) override;
    void applyMask();

    SkinButtons &table_;
    QLabel *background_;
};
