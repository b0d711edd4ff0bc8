#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QStandardItemModel>
#include <QTest>

#include "state/infectionlist.h"
#include "vault/listdelegates.h"
#include "state/vaulttable.h"

namespace {

bool isText(QRgb c) {
    return qRed(c) < 200 && qRed(c) == qGreen(c) && qGreen(c) == qBlue(c);
}

// Columns that hold text pixels within the row's band.
QList<int> textColumns(const QImage &img, int top, int height) {
    QList<int> cols;
    for (int x = 0; x < img.width(); ++x)
        for (int y = top; y < top + height; ++y)
            if (isText(img.pixel(x, y))) {
                cols << x;
                break;
            }
    return cols;
}

}  // namespace

class TestListDelegates : public QObject {
    Q_OBJECT

    static QImage paintRows(QStyledItemDelegate &delegate, QStandardItemModel &model, int rowHeight,
                            bool selected, int focusedRow = -1) {
        QImage img(600, rowHeight * model.rowCount(), QImage::Format_RGB32);
        img.fill(Qt::red);
        QPainter p(&img);
        for (int row = 0; row < model.rowCount(); ++row) {
            QStyleOptionViewItem option;
            option.rect = QRect(0, row * rowHeight, 600, rowHeight);
            option.font = QApplication::font();
            option.state = selected ? QStyle::State_Selected : QStyle::State_None;
            if (row == focusedRow)
                option.state |= QStyle::State_HasFocus;
            delegate.paint(&p, option, model.index(row, 0));
        }
        return img;
    }

private slots:
    void infectionRowsAreBandedAndPlaced() {
        InfectionList list;
        for (int i = 0; i < 2; ++i) {
            InfectionRecord r;
            r.filePath.assign("/home/u/file.exe");
            r.threatName.assign(" Worm");
            QVERIFY(list.append(r, r.filePath.bytes()));
        }
        QStandardItemModel model(2, 1);
        InfectionsDelegate delegate(list);
        QStyleOptionViewItem option;
        QCOMPARE(delegate.sizeHint(option, model.index(0, 0)).height(), 13);
        for (const bool selected : {false, true}) {
            const QImage img = paintRows(delegate, model, 13, selected);
            // Row 0 grey, row 1 white, at a spot with no text; selection changes nothing.
            QCOMPARE(QColor(img.pixel(599, 1)), QColor(233, 233, 233));
            QCOMPARE(QColor(img.pixel(599, 14)), QColor(255, 255, 255));
            QCOMPARE(QColor(img.pixel(5, 6)), QColor(233, 233, 233));
            const QList<int> cols = textColumns(img, 0, 13);
            QVERIFY(!cols.isEmpty());
            QVERIFY(cols.first() >= 10 && cols.first() < 20);
            // The path starts at 280: nothing between the threat name and there.
            bool pathSeen = false;
            for (int x : cols) {
                QVERIFY(x < 120 || x >= 280);
                pathSeen = pathSeen || x >= 280;
            }
            QVERIFY(pathSeen);
            QVERIFY(!textColumns(img, 13, 13).isEmpty());
        }
    }

    // Row i draws record i + 1, whatever its text says: records may share a threat name.
    void vaultRowsDrawTheirOwnRecord() {
        std::int32_t count = 0;
        auto vault = std::make_unique<VaultTable>(count);
        for (const char *path : {"/a", "/a/much/longer/path/to/another/file.txt"}) {
            InfectionRecord r;
            r.filePath.assign(path);
            r.threatName.assign(" Same");
            QVERIFY(vault->append(r));
        }
        QStandardItemModel model(3, 1);
        for (int row = 0; row < 3; ++row)
            model.setData(model.index(row, 0), QStringLiteral(" Same"));
        VirusDbDelegate delegate(*vault);
        QStyleOptionViewItem option;
        QCOMPARE(delegate.sizeHint(option, model.index(0, 0)).height(), 16);
        const QImage img = paintRows(delegate, model, 16, false);
        QCOMPARE(QColor(img.pixel(599, 15)), QColor(233, 233, 233));
        QCOMPARE(QColor(img.pixel(599, 16)), QColor(255, 255, 255));
        const QList<int> first = textColumns(img, 0, 16), second = textColumns(img, 16, 16);
        QVERIFY(!first.isEmpty() && !second.isEmpty());
        // The same name at the left, each its own path from 280 on.
        QVERIFY(first.last() >= 280 && second.last() > first.last() + 100);
        // A row beyond the vault's records is drawn empty.
        QVERIFY(textColumns(img, 32, 16).isEmpty());

        // The current row of a focused list carries the focus rectangle, the other rows and a
        // selection nothing.
        QCOMPARE(paintRows(delegate, model, 16, true), img);
        for (int row : {0, 1}) {
            const QImage focused = paintRows(delegate, model, 16, false, row);
            QVERIFY(focused.copy(0, row * 16, 600, 16) != img.copy(0, row * 16, 600, 16));
            QCOMPARE(focused.copy(0, (1 - row) * 16, 600, 16),
                     img.copy(0, (1 - row) * 16, 600, 16));
        }
    }
};

QTEST_MAIN(TestListDelegates)
#include "test_listdelegates.moc"
