// The skinned dialogs, the splash and the failure dialog, with the artwork the build draws.
#include <QCloseEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

#include "testenv.h"
#include "ui/skin/messagedialog.h"
#include "ui/skin/skinbutton.h"
#include "ui/skin/skinbuttons.h"
#include "ui/skin/skindialog.h"
#include "ui/skin/splash.h"

// Delivers an event as the window system does (QCoreApplication names this function its friend):
// a close sent so is the window manager's close, not the program's own close().
bool qt_sendSpontaneousEvent(QObject *receiver, QEvent *event) {
    return QCoreApplication::sendSpontaneousEvent(receiver, event);
}

namespace {

std::unique_ptr<SkinDialog> make(const QString &name, SkinButtons &s) {
    if (name == QLatin1String("TForm3"))
        return std::make_unique<TForm3>(s);
    if (name == QLatin1String("TForm6"))
        return std::make_unique<TForm6>(s);
    if (name == QLatin1String("TForm7"))
        return std::make_unique<TForm7>(s);
    if (name == QLatin1String("TForm8"))
        return std::make_unique<TForm8>(s);
    if (name == QLatin1String("TForm11"))
        return std::make_unique<TForm11>(s);
    if (name == QLatin1String("TForm14"))
        return std::make_unique<TForm14>(s);
    if (name == QLatin1String("TForm15"))
        return std::make_unique<TForm15>(s);
    if (name == QLatin1String("TForm16"))
        return std::make_unique<TForm16>(s);
    return std::make_unique<TForm17>(s);
}

void mouse(QWidget *w, QEvent::Type type, QPoint local, Qt::MouseButton button,
           Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(local), QPointF(w->mapToGlobal(local)), button, buttons,
                  Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

QString screenshotDir() {
    const QString dir = QStringLiteral(VZ_BUILD_DIR "/screenshots/");
    QDir().mkpath(dir);
    return dir;
}

}  // namespace

class TestSkinDialogs : public QObject {
    Q_OBJECT
    SkinButtons skin;

private slots:
    void initTestCase() {
        const QStringList missing = skin.load(QStringLiteral(VZ_PROGRAM_DIR "/"));
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(u' ')));
    }

    void frames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("onTop");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QRect>("titleRect");
        QTest::addColumn<QStringList>("buttons");  // name:x,y,w,h:skin
        QTest::newRow("TForm3") << "TForm3" << QSize(301, 142) << false << "Image4"
                                << QRect(16, 8, 265, 41)
                                << QStringList{"Image3:32,96,105,33:16", "Image2:152,96,105,33:17"};
        QTest::newRow("TForm6") << "TForm6" << QSize(367, 237) << true << "Image2"
                                << QRect(16, 16, 217, 33)
                                << QStringList{"Image3:120,168,105,33:23"};
        QTest::newRow("TForm7") << "TForm7" << QSize(301, 142) << true << "Image4"
                                << QRect(16, 8, 265, 41) << QStringList{};
        QTest::newRow("TForm8") << "TForm8" << QSize(367, 237) << true << "Image4"
                                << QRect(16, 8, 289, 41)
                                << QStringList{"Image2:56,184,105,33:33",
                                               "Image3:176,184,105,33:34"};
        QTest::newRow("TForm11") << "TForm11" << QSize(367, 237) << true << "Image4"
                                 << QRect(16, 8, 265, 41)
                                 << QStringList{"Image2:56,168,105,33:24",
                                                "Image3:176,168,113,33:25"};
        QTest::newRow("TForm14") << "TForm14" << QSize(367, 237) << true << "Image4"
                                 << QRect(16, 8, 265, 41)
                                 << QStringList{"Image2:128,192,105,33:26"};
        QTest::newRow("TForm15") << "TForm15" << QSize(367, 237) << true << "Image4"
                                 << QRect(16, 16, 289, 41)
                                 << QStringList{"Image2:48,184,105,33:31",
                                                "Image3:160,184,105,33:32"};
        QTest::newRow("TForm16") << "TForm16" << QSize(367, 270) << false << "Image4"
                                 << QRect(8, 8, 237, 41)
                                 << QStringList{"Image2:32,216,105,33:35",
                                                "Image3:152,216,105,33:36"};
        QTest::newRow("TForm17") << "TForm17" << QSize(367, 237) << true << "Image3"
                                 << QRect(16, 16, 265, 41)
                                 << QStringList{"Image2:120,176,105,33:37"};
    }

    void frames() {
        QFETCH(QString, name);
        QFETCH(QSize, size);
        QFETCH(bool, onTop);
        QFETCH(QString, title);
        QFETCH(QRect, titleRect);
        QFETCH(QStringList, buttons);
        auto dialog = make(name, skin);
        QCOMPARE(dialog->objectName(), name);
        QCOMPARE(dialog->size(), size);
        QVERIFY(dialog->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(bool(dialog->windowFlags() & Qt::WindowStaysOnTopHint), onTop);
        auto *image1 = dialog->findChild<QLabel *>(QStringLiteral("Image1"));
        QVERIFY(image1);
        QCOMPARE(image1->geometry(), QRect(QPoint(0, 0), size));
        QVERIFY(!image1->pixmap().isNull());
        auto *titleLabel = dialog->findChild<QLabel *>(title);
        QVERIFY(titleLabel);
        QCOMPARE(titleLabel->geometry(), titleRect);
        QCOMPARE(titleLabel->pixmap().size(), titleRect.size());
        QCOMPARE(dialog->findChildren<SkinButton *>().size(), buttons.size());
        skin.paintAll();
        for (const QString &row : buttons) {
            const QStringList parts = row.split(u':');
            const QStringList g = parts[1].split(u',');
            auto *b = dialog->findChild<SkinButton *>(parts[0]);
            QVERIFY2(b, qPrintable(row));
            QCOMPARE(b->geometry(), QRect(g[0].toInt(), g[1].toInt(), g[2].toInt(), g[3].toInt()));
            QCOMPARE(b->skinIndex(), parts[2].toInt());
            QCOMPARE(b->pixmap().toImage().convertToFormat(QImage::Format_RGB888),
                     skin.image(b->skinIndex(), SkinButtons::Normal));
        }
        // Rounded outline: the corner pixels are cut off, the edges between stay.
        for (int round = 0; round < 2; ++round) {
            const QRegion mask = dialog->mask();
            QVERIFY(!mask.contains(QPoint(0, 0)));
            QVERIFY(!mask.contains(QPoint(size.width() - 1, size.height() - 1)));
            QVERIFY(!mask.contains(QPoint(1, size.height() - 2)));
            QVERIFY(mask.contains(QPoint(size.width() / 2, 0)));
            QVERIFY(mask.contains(QPoint(0, size.height() / 2)));
            QVERIFY(mask.contains(QPoint(8, 8)));
            dialog->show();
            QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
            QVERIFY(
                dialog->grab().save(screenshotDir() + QStringLiteral("dialog_%1.png").arg(name)));
            dialog->move(dialog->pos() + QPoint(30, 20));
            dialog->hide();
        }
    }

    void dragOnlyFromSurfaces() {
        TForm7 seven(skin);
        seven.show();
        QVERIFY(QTest::qWaitForWindowExposed(&seven));
        auto *background = seven.findChild<QLabel *>(QStringLiteral("Image1"));
        auto *title = seven.findChild<QLabel *>(QStringLiteral("Image4"));
        const QPoint start = seven.pos();
        // The title picture of this window is no drag surface.
        mouse(title, QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::LeftButton);
        mouse(title, QEvent::MouseMove, {45, 25}, Qt::NoButton, Qt::LeftButton);
        mouse(title, QEvent::MouseButtonRelease, {45, 25}, Qt::LeftButton, Qt::NoButton);
        QCOMPARE(seven.pos(), start);
        // The background is, for any mouse button.
        mouse(background, QEvent::MouseButtonPress, {150, 130}, Qt::RightButton, Qt::RightButton);
        mouse(background, QEvent::MouseMove, {190, 140}, Qt::NoButton, Qt::RightButton);
        mouse(background, QEvent::MouseButtonRelease, {190, 140}, Qt::RightButton, Qt::NoButton);
        QCOMPARE(seven.pos(), start + QPoint(40, 10));

        // TForm3: its title picture drags, its text label does not.
        TForm3 three(skin);
        three.show();
        QVERIFY(QTest::qWaitForWindowExposed(&three));
        const QPoint threeStart = three.pos();
        auto *text = three.findChild<QLabel *>(QStringLiteral("Label1"));
        mouse(text, QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::LeftButton);
        mouse(text, QEvent::MouseMove, {25, 15}, Qt::NoButton, Qt::LeftButton);
        mouse(text, QEvent::MouseButtonRelease, {25, 15}, Qt::LeftButton, Qt::NoButton);
        QCOMPARE(three.pos(), threeStart);
        auto *threeTitle = three.findChild<QLabel *>(QStringLiteral("Image4"));
        mouse(threeTitle, QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::LeftButton);
        mouse(threeTitle, QEvent::MouseMove, {25, 15}, Qt::NoButton, Qt::LeftButton);
        mouse(threeTitle, QEvent::MouseButtonRelease, {25, 15}, Qt::LeftButton, Qt::NoButton);
        QCOMPARE(three.pos(), threeStart + QPoint(20, 10));

        TForm6 six(skin);
        six.show();
        QVERIFY(QTest::qWaitForWindowExposed(&six));
        const QPoint sixStart = six.pos();
        auto *sixBackground = six.findChild<QLabel *>(QStringLiteral("Image1"));
        mouse(sixBackground, QEvent::MouseButtonPress, {150, 130}, Qt::LeftButton, Qt::LeftButton);
        mouse(sixBackground, QEvent::MouseMove, {190, 140}, Qt::NoButton, Qt::LeftButton);
        QCOMPARE(six.pos(), sixStart);
    }

    void hoverResetSurfaces() {
        TForm11 eleven(skin);
        eleven.show();
        auto *remove = eleven.findChild<SkinButton *>(QStringLiteral("Image2"));
        auto *background = eleven.findChild<QLabel *>(QStringLiteral("Image1"));
        mouse(remove, QEvent::MouseMove, {5, 5}, Qt::NoButton, Qt::NoButton);
        QVERIFY(skin.isHovered(24));
        mouse(background, QEvent::MouseMove, {5, 5}, Qt::NoButton, Qt::NoButton);
        QVERIFY(skin.isHovered(24));  // no hover reset on this window's background

        TForm17 seventeen(skin);
        seventeen.show();
        auto *ok = seventeen.findChild<SkinButton *>(QStringLiteral("Image2"));
        mouse(ok, QEvent::MouseMove, {5, 5}, Qt::NoButton, Qt::NoButton);
        QVERIFY(skin.isHovered(37));
        QVERIFY(!skin.isHovered(24));
        mouse(seventeen.findChild<QLabel *>(QStringLiteral("Image3")), QEvent::MouseMove, {5, 5},
              Qt::NoButton, Qt::NoButton);
        QVERIFY(!skin.isHovered(37));
        QCOMPARE(skin.hoveredButton(), -1);
    }

    void textsAndClicks() {
        TForm3 three(skin);
        QCOMPARE(three.findChild<QLabel *>(QStringLiteral("Label1"))->text(),
                 QStringLiteral("Do you want to stop the scanning proccess?"));
        int stop = 0, keep = 0;
        connect(&three, &TForm3::image3Clicked, this, [&] { ++stop; });
        connect(&three, &TForm3::image2Clicked, this, [&] { ++keep; });
        QTest::mouseClick(three.findChild<SkinButton *>(QStringLiteral("Image3")), Qt::LeftButton);
        QCOMPARE(stop, 1);
        QCOMPARE(keep, 0);

        TForm14 fourteen(skin);
        QCOMPARE(fourteen.findChild<QLabel *>(QStringLiteral("Label5"))->text(),
                 QStringLiteral("  to use the internet."));
        auto *six = fourteen.findChild<QLabel *>(QStringLiteral("Label6"));
        auto *link = fourteen.findChild<QLabel *>(QStringLiteral("Label7"));
        QCOMPARE(link->text(), QStringLiteral("here"));
        QVERIFY(link->font().bold());
        QCOMPARE(link->y(), six->y());
        QVERIFY(link->x() > six->geometry().right());
        QVERIFY(link->geometry().right() < fourteen.width());

        TForm8 eight(skin);
        QVERIFY(eight.findChild<QLabel *>(QStringLiteral("Label2"))->isHidden());
        QCOMPARE(eight.findChild<QProgressBar *>(QStringLiteral("Gauge1"))->geometry(),
                 QRect(40, 112, 297, 25));
    }

    void escapeCancelsOnlyWhereCloseIsACancel_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("cancel");  // the button Escape stands for; empty: none
        QTest::newRow("TForm3 keeps scanning") << "TForm3"
                                               << "Image2";
        QTest::newRow("TForm16 cancels") << "TForm16"
                                         << "Image3";
        for (const char *name :
             {"TForm6", "TForm7", "TForm8", "TForm11", "TForm14", "TForm15", "TForm17"})
            QTest::newRow(name) << name << QString();
    }

    // Escape never closes a window past its owner's wiring (a removal or download under way, an
    // update offer whose answer starts the scan): it stands for the cancel button or does nothing.
    void escapeCancelsOnlyWhereCloseIsACancel() {
        QFETCH(QString, name);
        QFETCH(QString, cancel);
        auto dialog = make(name, skin);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        QStringList clicked;
        for (SkinButton *b : dialog->findChildren<SkinButton *>())
            connect(b, &SkinButton::clicked, this, [&clicked, b] { clicked << b->objectName(); });
        QWidget *target = dialog->focusWidget() ? dialog->focusWidget() : dialog.get();
        QTest::keyClick(target, Qt::Key_Escape);
        QVERIFY(dialog->isVisible());
        QCOMPARE(clicked, cancel.isEmpty() ? QStringList() : QStringList{cancel});
    }

    // The window manager's close (Alt+F4, a title-bar menu) is the same request as Escape and
    // is refused by the same windows: a removal or download under way, an update offer whose
    // answer starts the scan.
    void windowManagerCloseLeavesWhatEscapeLeaves_data() {
        QTest::addColumn<QString>("name");
        for (const char *name : {"TForm7", "TForm8", "TForm15"})
            QTest::newRow(name) << name;
    }
    void windowManagerCloseLeavesWhatEscapeLeaves() {
        QFETCH(QString, name);
        auto dialog = make(name, skin);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        QSignalSpy finished(dialog.get(), &QDialog::finished);
        QCloseEvent request;  // what a WM_DELETE_WINDOW message delivers
        qt_sendSpontaneousEvent(dialog->windowHandle(), &request);
        QVERIFY(dialog->isVisible());
        QCOMPARE(finished.count(), 0);
    }

    void everyLabelFitsItsWindow() {
        for (const DialogFrame &f : dialogFrames()) {
            auto dialog = make(QString::fromLatin1(f.name), skin);
            for (QLabel *l : dialog->findChildren<QLabel *>()) {
                if (l->objectName().startsWith(QLatin1String("Label")))
                    QVERIFY2(dialog->rect().contains(l->geometry()),
                             qPrintable(QString::fromLatin1(f.name) + u' ' + l->objectName()));
            }
        }
    }

    void splashCountsAndCloses() {
        TForm10 splash;
        QCOMPARE(splash.size(), QSize(239, 365));
        QVERIFY(splash.windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(splash.findChild<QLabel *>(QStringLiteral("Label1"))->text(),
                 QStringLiteral("Loading Extensions ..."));
        auto *gauge = splash.findChild<QProgressBar *>(QStringLiteral("Gauge1"));
        QCOMPARE(gauge->geometry(), QRect(0, 340, 239, 25));
        QTimer::singleShot(400, &splash, [&] {
            QVERIFY(splash.grab().save(screenshotDir() + QStringLiteral("splash.png")));
        });
        QElapsedTimer clock;
        clock.start();
        splash.exec();
        QCOMPARE(splash.step(), 100);
        QCOMPARE(gauge->value(), 100);
        QVERIFY(clock.elapsed() >= 100 * 12 - 50);
        QVERIFY(!splash.isVisible());
    }

    void failureDialog() {
        MessageDialog::setRecording(true);
        MessageDialog::showFailure(nullptr, QStringLiteral("Failed to set data for ''"));
        QCOMPARE(MessageDialog::recorded(),
                 QStringList{QStringLiteral("Failed to set data for ''")});
        MessageDialog::setRecording(false);
        MessageDialog::recorded().clear();

        MessageDialog::setSkin(&skin);
        QPointer<MessageDialog> dialog = MessageDialog::showFailureLater(
            nullptr, QStringLiteral("Missing skin file bin/skin/img7.png"));
        QVERIFY(dialog);
        QVERIFY(QTest::qWaitForWindowExposed(dialog.data()));
        QCOMPARE(dialog->findChild<QLabel *>(QStringLiteral("Label1"))->text(),
                 QStringLiteral("Missing skin file bin/skin/img7.png"));
        QVERIFY(dialog->grab().save(screenshotDir() + QStringLiteral("dialog_message.png")));
        QTest::mouseClick(dialog->findChild<QLabel *>(QStringLiteral("Image2")), Qt::LeftButton);
        QTRY_VERIFY(!dialog);
    }
};

QTEST_MAIN(TestSkinDialogs)
#include "tst_skindialogs.moc"
