#include "testenv.h"
#include "ui/skin/skinbutton.h"
#include "ui/skin/skinbuttons.h"
#include "ui/skin/skindialog.h"

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QLabel>
#include <QtTest>

namespace {

// Writes a three-band picture: red over green over blue, each band w × h.
void writeBands(const QString &path, int w, int h, QColor a = Qt::red, QColor b = Qt::green,
                QColor c = Qt::blue) {
    QImage img(w, 3 * h, QImage::Format_RGB32);
    for (int y = 0; y < 3 * h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixelColor(x, y, y < h ? a : (y < 2 * h ? b : c));
    QVERIFY(img.save(path));
}

QColor shown(QLabel *label) {
    return label->pixmap().toImage().pixelColor(2, 2);
}

// Delivers a real mouse-move event to the control.
void moveOver(QWidget *w) {
    QMouseEvent e(QEvent::MouseMove, QPointF(3, 2), w->mapToGlobal(QPointF(3, 2)), Qt::NoButton,
                  Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

}  // namespace

class TestSkinButtons : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString program_;

    void writeSkin(bool skipFive) {
        program_ = dir_.path() + QStringLiteral("/");
        QDir().mkpath(program_ + QStringLiteral("bin/skin"));
        for (int i = 1; i <= SkinButtons::buttonCount; ++i) {
            const QString p = program_ + QStringLiteral("bin/skin/img%1.png").arg(i);
            QFile::remove(p);
            if (!(skipFive && i == 5))
                writeBands(p, 10, 4);
        }
        writeBands(program_ + QStringLiteral("bin/skin/timg1.png"), 5, 6, Qt::white, Qt::yellow,
                   Qt::gray);
        QImage fill(20, 6, QImage::Format_RGB32);
        fill.fill(Qt::magenta);
        QVERIFY(fill.save(program_ + QStringLiteral("bin/skin/timg1f.png")));
    }

private slots:
    void bandsAreCut() {
        writeSkin(false);
        SkinButtons t;
        QVERIFY(t.load(program_).isEmpty());
        QCOMPARE(t.image(1, 0).size(), QSize(10, 4));
        QCOMPARE(t.image(1, 0).pixelColor(0, 3), QColor(Qt::red));
        QCOMPARE(t.image(1, 1).pixelColor(9, 0), QColor(Qt::green));
        QCOMPARE(t.image(1, 2).pixelColor(0, 3), QColor(Qt::blue));
        QVERIFY(t.image(0, 0).isNull());
        QVERIFY(t.image(38, 0).isNull());
    }

    void missingFileNamedOthersLoad() {
        writeSkin(true);
        SkinButtons t;
        const QStringList problems = t.load(program_);
        QCOMPARE(problems.size(), 1);
        QVERIFY(problems.first().endsWith(QStringLiteral("bin/skin/img5.png")));
        QVERIFY(t.image(5, 0).isNull());
        QVERIFY(!t.image(6, 0).isNull());
        QLabel l;
        t.bind(5, &l, false);
        t.paint(5);
        QVERIFY(l.pixmap().isNull());
    }

    void hoverPressSelect() {
        writeSkin(false);
        SkinButtons t;
        QVERIFY(t.load(program_).isEmpty());
        SkinButton a(t, 2), b(t, 3);
        a.resize(10, 4);
        b.resize(10, 4);
        t.paint(2);
        QCOMPARE(shown(&a), QColor(Qt::red));
        // Straight from one button onto another.
        moveOver(&a);
        QCOMPARE(shown(&a), QColor(Qt::green));
        moveOver(&b);
        QCOMPARE(shown(&a), QColor(Qt::red));
        QCOMPARE(shown(&b), QColor(Qt::green));
        // Leaving the window keeps the hover image.
        QVERIFY(t.isHovered(3));
        // A right-button press shows the down image until release.
        QSignalSpy clicks(&b, &SkinButton::clicked);
        QTest::mousePress(&b, Qt::RightButton, {}, QPoint(3, 2));
        QCOMPARE(shown(&b), QColor(Qt::blue));
        QTest::mouseRelease(&b, Qt::RightButton, {}, QPoint(3, 2));
        QCOMPARE(shown(&b), QColor(Qt::green));
        QCOMPARE(clicks.count(), 1);
        // A selected button keeps the down image when hovered, pressed and released.
        t.select(SkinButtons::Group::Navigation, 2);
        QCOMPARE(shown(&a), QColor(Qt::blue));
        t.hover(2);
        t.press(2);
        t.release(2);
        QCOMPARE(shown(&a), QColor(Qt::blue));
        t.hover(-1);
        QCOMPARE(shown(&a), QColor(Qt::blue));
        // Closing freezes the images.
        t.setClosing();
        t.select(SkinButtons::Group::Navigation, 1);
        QCOMPARE(shown(&a), QColor(Qt::blue));
    }

    void scanCompletionKeepsCurrent() {
        writeSkin(false);
        SkinButtons t;
        QVERIFY(t.load(program_).isEmpty());
        SkinButton s(t, 11), p(t, 14);
        t.select(SkinButtons::Group::ScanControl, 11);
        QCOMPARE(shown(&s), QColor(Qt::blue));
        t.clearSelectionKeepCurrent(SkinButtons::Group::ScanControl, 14);
        QCOMPARE(t.selected(SkinButtons::Group::ScanControl), 14);
        QCOMPARE(shown(&s), QColor(Qt::red));
        QCOMPARE(shown(&p), QColor(Qt::red));
        QVERIFY(!t.isSelected(14));
    }

    void progressBarEnds() {
        writeSkin(false);
        SkinButtons t;
        QVERIFY(t.load(program_).isEmpty());
        QLabel bar;
        bar.resize(593, 6);
        t.paintProgressBar(1, &bar, 0);
        QImage img = bar.pixmap().toImage();
        QCOMPARE(img.width(), 593);
        QCOMPARE(img.pixelColor(0, 1), QColor(Qt::white));
        QCOMPARE(img.pixelColor(5, 1), QColor(Qt::gray));
        QCOMPARE(img.pixelColor(587, 1), QColor(Qt::gray));
        QCOMPARE(img.pixelColor(588, 1), QColor(Qt::yellow));
        t.paintProgressBar(1, &bar, 100);
        img = bar.pixmap().toImage();
        QCOMPARE(img.pixelColor(4, 1), QColor(Qt::white));
        QCOMPARE(img.pixelColor(5, 1), QColor(Qt::magenta));
        QCOMPARE(img.pixelColor(587, 1), QColor(Qt::magenta));
        QCOMPARE(img.pixelColor(592, 1), QColor(Qt::yellow));
    }

    void dialogFrames() {
        writeSkin(false);
        SkinButtons t;
        QVERIFY(t.load(program_).isEmpty());
        SkinDialog d11(QStringLiteral("TForm11"), t);
        QCOMPARE(d11.size(), QSize(367, 237));
        QVERIFY(d11.windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(d11.button(QStringLiteral("Image3"))->geometry(), QRect(176, 168, 113, 33));
        QCOMPARE(d11.button(QStringLiteral("Image2"))->index(), 24);
        QVERIFY(!d11.mask().contains(QPoint(0, 0)));
        QVERIFY(d11.mask().contains(QPoint(8, 8)));
        QVERIFY(d11.mask().contains(QPoint(183, 0)));
        SkinDialog d3(QStringLiteral("TForm3"), t);
        QCOMPARE(d3.size(), QSize(301, 142));
        QVERIFY(!(d3.windowFlags() & Qt::WindowStaysOnTopHint));
        QCOMPARE(d3.button(QStringLiteral("Image3"))->geometry(), QRect(32, 96, 105, 33));
        QVERIFY(d3.findChild<QLabel *>(QStringLiteral("Image4")));
        SkinDialog d16(QStringLiteral("TForm16"), t);
        QCOMPARE(d16.size(), QSize(367, 270));
        QCOMPARE(d16.button(QStringLiteral("Image3"))->index(), 36);
    }
};

QTEST_MAIN(TestSkinButtons)
#include "tst_skinbuttons.moc"
