// The skin button table and progress bar on real labels, with skin files written to disk.
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QTest>

#include "testenv.h"
#include "ui/skin/skinbutton.h"
#include "ui/skin/skinbuttons.h"

namespace {

// Three bands of solid colours: red (normal), green (hover), blue (down), each w x h.
QImage banded(int w, int h) {
    QImage img(w, h * 3, QImage::Format_RGB32);
    for (int y = 0; y < h * 3; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y,
                         y < h       ? qRgb(255, 0, 0)
                         : y < 2 * h ? qRgb(0, 255, 0)
                                     : qRgb(0, 0, 255));
    return img;
}

void writeSkin(const QString &programFolder, const QList<int> &skip = {}) {
    QDir().mkpath(programFolder + QStringLiteral("bin/skin"));
    for (int n = 1; n <= 37; ++n)
        if (!skip.contains(n))
            QVERIFY(
                banded(10, 4).save(programFolder + QStringLiteral("bin/skin/img%1.png").arg(n)));
    // Caps and track 4 x 5: left cap yellow, right cap magenta, track grey; fill cyan 600 x 5.
    QImage caps(4, 15, QImage::Format_RGB32);
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 4; ++x)
            caps.setPixel(x, y,
                          y < 5    ? qRgb(255, 255, 0)
                          : y < 10 ? qRgb(255, 0, 255)
                                   : qRgb(128, 128, 128));
    QVERIFY(caps.save(programFolder + QStringLiteral("bin/skin/timg1.png")));
    QImage fill(600, 5, QImage::Format_RGB32);
    fill.fill(qRgb(0, 255, 255));
    QVERIFY(fill.save(programFolder + QStringLiteral("bin/skin/timg1f.png")));
}

QRgb shown(QLabel *label) {
    return label->pixmap().toImage().pixel(0, 0) & 0xffffff;
}
constexpr QRgb red = 0xff0000, green = 0x00ff00, blue = 0x0000ff;

void move(QWidget *w) {
    QMouseEvent e(QEvent::MouseMove, QPointF(2, 2), w->mapToGlobal(QPointF(2, 2)), Qt::NoButton,
                  Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

}  // namespace

class TestSkinButtons : public QObject {
    Q_OBJECT
    TestEnv env;
    SkinButtons *skin = nullptr;
    QWidget *window = nullptr;
    SkinButton *b1 = nullptr, *b2 = nullptr, *b11 = nullptr, *b12 = nullptr, *b13 = nullptr,
               *b14 = nullptr;

private slots:
    void init() {
        writeSkin(env.programFolder());
        skin = new SkinButtons;
        QVERIFY(skin->load(env.programFolder()).isEmpty());
        window = new QWidget;
        window->resize(400, 100);
        b1 = new SkinButton(*skin, 1, window);
        b2 = new SkinButton(*skin, 2, window);
        b11 = new SkinButton(*skin, 11, window);
        b12 = new SkinButton(*skin, 12, window);
        b13 = new SkinButton(*skin, 13, window);
        b14 = new SkinButton(*skin, 14, window);
        int x = 0;
        for (QLabel *b : {b1, b2, b11, b12, b13, b14}) {
            b->setGeometry(x, 0, 10, 4);
            x += 20;
        }
        skin->paintAll();
    }
    void cleanup() {
        delete window;
        delete skin;
    }

    void bandsAreCutIntoThirds() {
        // A picture 10 x 13: bands of 13 div 3 = 4 rows; the last row is left over.
        const auto bands = SkinButtons::cutBands(banded(10, 4).copy(0, 0, 10, 13));
        QCOMPARE(bands[0].size(), QSize(10, 4));
        QCOMPARE(bands[1].pixel(0, 0) & 0xffffff, green);
        QCOMPARE(bands[2].pixel(9, 3) & 0xffffff, blue);
        QCOMPARE(skin->image(5, 1).pixel(0, 0) & 0xffffff, green);
        QVERIFY(skin->image(0, 0).isNull());
        QVERIFY(skin->image(38, 0).isNull());
    }

    void startUpPaintsNavigationSelected() {
        QCOMPARE(shown(b1), blue);
        QCOMPARE(shown(b2), red);
        QCOMPARE(shown(b11), red);
        QCOMPARE(skin->selected(SkinButtons::Group::ScanControl), 0);
    }

    void hoverMovesStraightFromButtonToButton() {
        move(b2);
        QCOMPARE(shown(b2), green);
        move(b11);
        QCOMPARE(shown(b2), red);
        QCOMPARE(shown(b11), green);
        QVERIFY(!skin->isHovered(2));
        // Leaving without another move keeps the hover image.
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(b11, &leave);
        QCOMPARE(shown(b11), green);
        skin->hover(-1);
        QCOMPARE(shown(b11), red);
    }

    void selectedKeepsDownImage() {
        move(b1);
        QCOMPARE(shown(b1), blue);
        QTest::mousePress(b1, Qt::LeftButton);
        QTest::mouseRelease(b1, Qt::LeftButton);
        QCOMPARE(shown(b1), blue);
        skin->select(SkinButtons::Group::Navigation, 2);
        QCOMPARE(shown(b1), green);  // still hovered, no longer selected
        QCOMPARE(shown(b2), blue);
    }

    void rightPressShowsDownWithoutClick() {
        int clicks = 0;
        connect(b2, &SkinButton::clicked, this, [&] { ++clicks; });
        QTest::mousePress(b2, Qt::RightButton);
        QCOMPARE(shown(b2), blue);
        QTest::mouseRelease(b2, Qt::RightButton);
        QCOMPARE(shown(b2), red);
        QCOMPARE(clicks, 0);
        QTest::mouseClick(b2, Qt::LeftButton);
        QCOMPARE(clicks, 1);
    }

    void clickRunsBeforeReleasePaints() {
        QRgb duringClick = 0;
        connect(b2, &SkinButton::clicked, this, [&] { duringClick = shown(b2); });
        QTest::mouseClick(b2, Qt::LeftButton);
        QCOMPARE(duringClick, blue);
        QCOMPARE(shown(b2), red);
    }

    void closingFreezesImages() {
        connect(b2, &SkinButton::clicked, this, [&] { skin->setClosing(); });
        QTest::mousePress(b2, Qt::LeftButton);
        QTest::mouseRelease(b2, Qt::LeftButton);
        QCOMPARE(shown(b2), blue);  // the release after closing changed nothing
        move(b11);
        QCOMPARE(shown(b11), red);
    }

    void clickThatDeletesItsButtonIsSafe() {
        connect(b2, &SkinButton::clicked, this, [&] { delete b2; });
        QTest::mouseClick(b2, Qt::LeftButton);
        QVERIFY(!skin->isPressed(2));
    }

    void stopThenStartShowsOnlyStart() {
        using G = SkinButtons::Group;
        skin->select(G::ScanControl, 11);
        skin->select(G::ScanControl, 14);
        skin->select(G::ScanControl, 11);
        QCOMPARE(shown(b11), blue);
        QCOMPARE(shown(b14), red);
        // Pause, resume, then the scan ends by itself: nothing of the group shows selected.
        skin->select(G::ScanControl, 12);
        skin->select(G::ScanControl, 13);
        skin->clearSelectionKeepCurrent(G::ScanControl, 14);
        for (QLabel *b : {b11, b12, b13, b14})
            QCOMPARE(shown(b), red);
        QCOMPARE(skin->selected(G::ScanControl), 14);
        skin->select(G::ScanControl, 11);
        QCOMPARE(shown(b11), blue);
        QCOMPARE(shown(b14), red);
    }

    void unboundAndOutOfRangeIgnored() {
        skin->press(20);
        skin->paint(20);
        skin->press(99);
        skin->hover(-5);
        QVERIFY(!skin->isPressed(99));
        QVERIFY(skin->isPressed(20));
    }

    void missingFileReportedOthersLoad() {
        TestEnv other;
        writeSkin(other.programFolder(), {7});
        QFile::remove(other.programFolder() + QStringLiteral("bin/skin/timg1f.png"));
        TestEnv::writeFile(other.programFolder() + QStringLiteral("bin/skin/img9.png"),
                           QByteArray("not a picture"));
        SkinButtons s;
        QCOMPARE(
            s.load(other.programFolder()),
            QStringList({QStringLiteral("bin/skin/img7.png"), QStringLiteral("bin/skin/img9.png"),
                         QStringLiteral("bin/skin/timg1f.png")}));
        QVERIFY(s.image(7, 0).isNull());
        QVERIFY(!s.image(8, 0).isNull());
        QVERIFY(!s.image(37, 2).isNull());
        QLabel seven;
        seven.setText(QStringLiteral("old"));
        s.bind(7, &seven);
        s.paint(7);
        QVERIFY(seven.pixmap().isNull());
        QVERIFY(seven.text().isEmpty());
    }

    void fillWidthRoundsHalvesToEven() {
        QCOMPARE(SkinButtons::fillWidth(585, 0), 0);
        QCOMPARE(SkinButtons::fillWidth(585, 100), 585);
        QCOMPARE(SkinButtons::fillWidth(585, 50), 292);   // 292.5 -> 292
        QCOMPARE(SkinButtons::fillWidth(585, 10), 58);    // 58.5 -> 58
        QCOMPARE(SkinButtons::fillWidth(585, 30), 176);   // 175.5 -> 176
        QCOMPARE(SkinButtons::fillWidth(585, 33), 193);   // 193.05
        QCOMPARE(SkinButtons::fillWidth(585, 150), 585);  // clamped
        QCOMPARE(SkinButtons::fillWidth(-3, 50), 0);
    }

    void progressBarAtZeroAndHundred() {
        QLabel bar;
        bar.resize(593, 13);
        skin->paintProgressBar(1, &bar, 0);
        QImage img = bar.pixmap().toImage();
        QCOMPARE(img.size(), QSize(593, 13));
        QCOMPARE(img.pixel(0, 0) & 0xffffff, 0xffff00u);  // left cap
        QCOMPARE(img.pixel(3, 4) & 0xffffff, 0xffff00u);
        QCOMPARE(img.pixel(4, 0) & 0xffffff, 0x808080u);  // track right after the cap
        QCOMPARE(img.pixel(588, 2) & 0xffffff, 0x808080u);
        QCOMPARE(img.pixel(589, 0) & 0xffffff, 0xff00ffu);  // right cap
        QCOMPARE(img.pixel(592, 4) & 0xffffff, 0xff00ffu);

        skin->paintProgressBar(1, &bar, 100);
        img = bar.pixmap().toImage();
        QCOMPARE(img.pixel(3, 0) & 0xffffff, 0xffff00u);
        QCOMPARE(img.pixel(4, 0) & 0xffffff, 0x00ffffu);    // fill from the cap ...
        QCOMPARE(img.pixel(588, 4) & 0xffffff, 0x00ffffu);  // ... to the right cap
        QCOMPARE(img.pixel(589, 0) & 0xffffff, 0xff00ffu);
        QCOMPARE(skin->percent(1), 100);

        skin->paintProgressBar(1, &bar, 50);  // d = 292 (292.5 to even)
        img = bar.pixmap().toImage();
        QCOMPARE(img.pixel(4 + 291, 2) & 0xffffff, 0x00ffffu);
        QCOMPARE(img.pixel(4 + 292, 2) & 0xffffff, 0x808080u);

        QLabel other;
        other.resize(10, 10);
        skin->paintProgressBar(2, &other, 50);
        QVERIFY(other.pixmap().isNull());
        QCOMPARE(skin->percent(1), 50);
    }
};

QTEST_MAIN(TestSkinButtons)
#include "tst_skinbuttons.moc"
