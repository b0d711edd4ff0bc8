// The artwork the build draws: every skin file fits the control that shows it, and every
// window picture is in the resources at the size its control has.
#include <QImage>
#include <QImageReader>
#include <QTest>

#include "ui/skin/artwork.h"

class TestArtwork : public QObject {
    Q_OBJECT

private slots:
    void skinFilesHaveThreeBandsOfTheControlSize() {
        // Control sizes of each button, written out from the window layouts.
        QList<QSize> sizes;
        for (int i = 1; i <= 4; ++i)
            sizes << QSize(105, 89);
        for (int i = 5; i <= 8; ++i)
            sizes << QSize(25, 25);
        sizes << QSize(233, 81) << QSize(233, 81);
        for (int i = 11; i <= 24; ++i)
            sizes << QSize(105, 33);
        sizes << QSize(113, 33) << QSize(105, 33);
        for (int i = 27; i <= 30; ++i)
            sizes << QSize(105, 25);
        for (int i = 31; i <= 37; ++i)
            sizes << QSize(105, 33);
        QCOMPARE(sizes.size(), 37);
        for (int n = 1; n <= 37; ++n) {
            const QString path = QStringLiteral(VZ_PROGRAM_DIR "/bin/skin/img%1.png").arg(n);
            QImageReader reader(path);
            QCOMPARE(reader.format(), QByteArray("png"));
            const QSize s = sizes[n - 1];
            QCOMPARE(reader.size(), QSize(s.width(), s.height() * 3));
        }
        QImage caps(QStringLiteral(VZ_PROGRAM_DIR "/bin/skin/timg1.png"));
        QCOMPARE(caps.height() % 3, 0);
        QCOMPARE(caps.height() / 3, 13);
        QImage fill(QStringLiteral(VZ_PROGRAM_DIR "/bin/skin/timg1f.png"));
        QCOMPARE(fill.height(), 13);
        QVERIFY(fill.width() >= 593);  // the fill is cut, never widened, up to the inner width
    }

    void bandsDiffer() {
        // Hover and pressed must be told apart from normal at a glance.
        for (int n : {1, 5, 11, 25, 37}) {
            QImage img(QStringLiteral(VZ_PROGRAM_DIR "/bin/skin/img%1.png").arg(n));
            const int h = img.height() / 3;
            const QImage normal = img.copy(0, 0, img.width(), h);
            QVERIFY(normal != img.copy(0, h, img.width(), h));
            QVERIFY(normal != img.copy(0, 2 * h, img.width(), h));
        }
    }

    void resourcePictures_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QSize>("size");
        const art::Picture all[] = {art::mainBackground,     art::logo,
                                    art::pageBackground,     art::headerBar,
                                    art::scanToolbarEnd,     art::headingScan,
                                    art::headingLastScan,    art::headingHistory,
                                    art::headingStatistics,  art::headingDatabase,
                                    art::headingQuarantine,  art::splash,
                                    art::dialogBackground,   art::dialogTForm3Title,
                                    art::dialogTForm6Title,  art::dialogTForm7Title,
                                    art::dialogTForm8Title,  art::dialogTForm11Title,
                                    art::dialogTForm14Title, art::dialogTForm15Title,
                                    art::dialogTForm16Title, art::dialogTForm17Title,
                                    art::dialogMessageTitle, art::dialogScanLogTitle,
                                    art::dialogScheduleTitle};
        for (const art::Picture &p : all)
            QTest::newRow(p.path) << QString::fromLatin1(p.path) << p.size();
    }

    void resourcePictures() {
        QFETCH(QString, path);
        QFETCH(QSize, size);
        QImageReader reader(path);
        QCOMPARE(reader.format(), QByteArray("jpeg"));
        QCOMPARE(reader.size(), size);
    }

    void namedSizesMatchTheLayouts() {
        QCOMPARE(art::mainBackground.size(), QSize(792, 442));
        QCOMPARE(art::logo.size(), QSize(121, 65));
        QCOMPARE(art::headerBar.size(), QSize(649, 33));
        QCOMPARE(art::scanToolbarEnd.size(), QSize(129, 33));
        QCOMPARE(art::headingScan.size(), QSize(257, 38));
        QCOMPARE(art::headingDatabase.size(), QSize(201, 38));
        QCOMPARE(art::headingQuarantine.size(), QSize(273, 38));
        QCOMPARE(art::splash.size(), QSize(239, 340));
        QCOMPARE(art::dialogTForm6Title.size(), QSize(217, 33));
        QCOMPARE(art::dialogTForm16Title.size(), QSize(237, 41));
    }
};

QTEST_MAIN(TestArtwork)
#include "tst_artwork.moc"
