#pragma once

#include <QDialog>
#include <QList>
#include <QPoint>
#include <QSize>
#include <QString>

#include <vector>

class QLabel;
class SkinButton;
class SkinButtons;

// One window of the skinned dialog family: what its frame holds.
struct DialogFrame {
    struct Button {
        const char *name;  // object name, "Image2" or "Image3"
        QPoint pos;
        QSize size;
        int skinIndex;
    };
    const char *name;  // TForm3 ...
    QSize size;
    bool onTop;
    std::vector<const char *> dragSurfaces;
    const char *titleName;
    QPoint titlePos;
    QSize titleSize;
    std::vector<const char *> hoverResets;
    std::vector<Button> buttons;
    // The button that Escape stands for, in windows whose own close is a plain cancel; in the
    // others Escape does nothing.
    const char *escapeButton = nullptr;
};

// The frames of the skinned dialogs (TForm3, 6, 7, 8, 11, 14, 15, 16, 17), Scan Settings, the
// scan log and the scheduled scan.
const std::vector<DialogFrame> &dialogFrames();
const DialogFrame *dialogFrame(const QString &name);

// The common frame of the skinned dialogs: borderless, rounded corners (16 x 16 corner ellipse,
// re-applied when shown), the background Image1 filling the client area, the title picture, drag
// and hover-reset surfaces and the skinned buttons, centred on the screen when shown.
class SkinDialog : public QDialog {
    Q_OBJECT
public:
    SkinDialog(const QString &formName, SkinButtons &skin, QWidget *parent = nullptr);

    const DialogFrame &frame() const { return *m_frame; }
    SkinButton *button(const QString &name) const;
    QLabel *background() const { return m_background; }
    QLabel *title() const { return m_title; }
    SkinButtons &skin() const { return m_skin; }

    // A plain text label of the dialog (transparent over the background).
    QLabel *addLabel(const char *name, const QString &text, const QRect &geometry,
                     bool bold = false);

    // Centred on the screen before it is shown.
    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void pressEscapeButton();
    void applyMask();

    SkinButtons &m_skin;
    const DialogFrame *m_frame;
    QLabel *m_background = nullptr;
    QLabel *m_title = nullptr;
    QList<SkinButton *> m_buttons;
};

// Confirm stopping the scan: Image3 stops, Image2 keeps scanning.
class TForm3 : public SkinDialog {
    Q_OBJECT
public:
    explicit TForm3(SkinButtons &skin, QWidget *parent = nullptr);
signals:
    void image3Clicked();
    void image2Clicked();
};

// The removal result.
class TForm6 : public SkinDialog {
    Q_OBJECT
public:
    explicit TForm6(SkinButtons &skin, QWidget *parent = nullptr);
signals:
    void image3Clicked();
};

// The removal progress (no buttons).
class TForm7 : public SkinDialog {
    Q_OBJECT
public:
    explicit TForm7(SkinButtons &skin, QWidget *parent = nullptr);
};

// The database download.
class TForm8 : public SkinDialog {
    Q_OBJECT
public:
    explicit TForm8(SkinButtons &skin, QWidget *parent = nullptr);
signals:
    void image2Clicked();
    void image3Clicked();
};

// Infections found: remove them or not.
class TForm11 : public SkinDialog {
    Q_OBJECT
public:
    explicit TForm11(SkinButtons &skin, QWidget *parent = nullptr);
signals:
    void image2Clicked();
    void image3Clicked();

protected:
    void showEvent(QShowEvent *event) override;  // repaints both buttons
};

// Help after a failed download.
class TForm14 : public SkinDialog {
    Q_OBJECT
public:
    explicit TForm14(SkinButtons &skin, QWidget *parent = nullptr);
signals:
    void image2Clicked();
};

// An update is available.
class TForm15 : public SkinDialog {
    Q_OBJECT
public:
    explicit TForm15(SkinButtons &skin, QWidget *parent = nullptr);
signals:
    void image2Clicked();
    void image3Clicked();
};

// Custom scan folders.
class TForm16 : public SkinDialog {
    Q_OBJECT
public:
    explicit TForm16(SkinButtons &skin, QWidget *parent = nullptr);
signals:
    void image2Clicked();
    void image3Clicked();
};

// No infections found.
class TForm17 : public SkinDialog {
    Q_OBJECT
public:
    explicit TForm17(SkinButtons &skin, QWidget *parent = nullptr);
signals:
    void image2Clicked();
};
