#pragma once

#include <QImage>
#include <QMutex>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <array>

class QLabel;

// The table of the program's skinned picture buttons (indices 1 to 37) and of the Scan page's
// progress bar. Each button's image follows its state: pressed or selected shows the down band,
// hovered the hover band, otherwise the normal band. Every state change paints the one button it
// touched; images are cut once when loaded.
class SkinButtons : public QObject {
    Q_OBJECT
public:
    static constexpr int buttonCount = 37;
    static constexpr int progressBarCount = 1;
    // Navigation: buttons 1..4, current member starts at 1. ScanControl: buttons 11..14,
    // current member starts at 0 (none).
    enum class Group { Navigation, ScanControl };
    enum Band { Normal = 0, Hover = 1, Down = 2 };

    explicit SkinButtons(QObject *parent = nullptr);
    ~SkinButtons() override;

    // Loads bin/skin/img1.png .. img37.png, then timg1f.png and timg1.png below the program
    // folder (which ends in "/"). Returns the relative names of the files that are missing or
    // cannot be decoded (empty when all loaded). Loading goes on past a bad file; buttons whose
    // images did not load show an empty control.
    QStringList load(const QString &programFolder);

    // The control that shows button index; stretch scales the image to the control.
    void bind(int index, QLabel *control, bool stretch = false);
    QLabel *control(int index) const;

    void paint(int index);    // shows the band the button's state calls for
    void hover(int index);    // -1 (or 0): none hovered
    void press(int index);    // any mouse button
    void release(int index);  // any mouse button
    // Makes index the group's current member; 0 clears the shown selection.
    void select(Group group, int index);
    // A scan that ends by itself: un-selects the current member and makes newCurrent the current
    // member without selecting it, so no member of the group shows selected.
    void clearSelectionKeepCurrent(Group group, int newCurrent);
    int selected(Group group) const;

    bool isHovered(int index) const;
    bool isPressed(int index) const;
    bool isSelected(int index) const;
    int hoveredButton() const { return m_hovered; }

    // Set when the main window closes: no image changes afterwards.
    void setClosing();
    bool isClosing() const { return m_closing; }

    // Percent of bar (only bar 1), clamped to 0..100.
    void setPercent(int bar, int percent);
    int percent(int bar) const;
    // Draws bar into target at percent (stored as the bar's percent); other bars do nothing.
    void paintProgressBar(int bar, QLabel *target, int percent);
    // Redraws bar 1 into the target last given (or bound with bindProgressBar).
    void paintProgressBar(int bar);
    void bindProgressBar(int bar, QLabel *target);

    // Paints every button 0..37 and bar 1 once (start-up's first paint).
    void paintAll();

    // For tests: band 0..2 of button index (null image when not loaded or out of range).
    const QImage &image(int index, int band) const;
    // Progress bar parts: 0 left cap, 1 right cap, 2 fill, 3 track.
    const QImage &barPart(int bar, int part) const;

    // Pixel width of the fill for a given inner width and percent (halves to even).
    static int fillWidth(int innerWidth, int percent);
    // Cuts a picture into three equal bands (H div 3 high each).
    static std::array<QImage, 3> cutBands(const QImage &picture);

private:
    struct Record {
        std::array<QImage, 3> bands;
        std::array<QPixmap, 3> pixmaps;  // made once at load; painting only assigns one
        bool selected = false;
        bool pressed = false;
        bool hovered = false;
        QPointer<QLabel> control;
        bool stretch = false;
    };
    struct Bar {
        QImage leftCap, rightCap, fill, track;
        int percent = 0;
        QPointer<QLabel> target;
    };

    static bool valid(int index) { return index >= 1 && index <= buttonCount; }
    Record *record(int index);
    const Record *record(int index) const;

    std::array<Record, buttonCount> m_records;
    Bar m_bar;
    int m_hovered = 0;
    int m_selectedNav = 1;
    int m_selectedScan = 0;
    bool m_closing = false;
    mutable QMutex m_barLock;
};
