#pragma once

#include <QImage>
#include <QMutex>
#include <QObject>
#include <QStringList>
#include <algorithm>
#include <array>

class QLabel;

// The table of the skinned buttons and the progress bar. Each button image holds three bands
// stacked from top to bottom: normal, hover, pressed.
class SkinButtons : public QObject {
    Q_OBJECT
public:
    static constexpr int buttonCount = 37;
    // Navigation buttons 1..4 (one is always current); scan controls 11..14 (0 = none).
    enum class Group { Navigation, ScanControl };

    explicit SkinButtons(QObject *parent = nullptr);

    // Loads bin/skin/img1.png .. img37.png, timg1f.png and timg1.png below the program folder.
    // Returns the missing or undecodable files; the other files still load.
    QStringList load(const QString &programFolder);
    void bind(int index, QLabel *control, bool stretch);
    void paint(int index);
    void hover(int index);
    void press(int index);
    void release(int index);
    void select(Group group, int index);
    void clearSelectionKeepCurrent(Group group, int newCurrent);
    int selected(Group group) const;
    bool isHovered(int index) const;
    bool isPressed(int index) const;
    bool isSelected(int index) const;
    void setClosing();
    bool closing() const { return closing_; }
    void paintProgressBar(int bar, QLabel *target, int percent);
    const QImage &image(int index, int band) const;

    // Cuts band 0..2 out of an image of three bands stacked vertically.
    static QImage cutBand(const QImage &whole, int band);

private:
    struct Row {
        QLabel *control = nullptr;
        bool stretch = false;
        std::array<QImage, 3> bands;
    };
    bool valid(int index) const { return index >= 1 && index <= buttonCount; }
    Group groupOf(int index) const;

    std::array<Row, buttonCount + 1> rows_;
    int hovered_ = -1;
    int pressed_ = -1;
    int currentNav_ = 1;
    int currentScan_ = 0;
    bool scanHidden_ = false;  // current scan member kept without its down image
    bool closing_ = false;
    std::array<QImage, 3> barBands_;  // left cap, right cap, track
    QImage barFill_;
    QMutex barLock_;
    QImage empty_;
};
