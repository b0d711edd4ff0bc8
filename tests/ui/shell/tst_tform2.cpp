// The About window: its frame, tabs, labels and the rule that only the first opening shows
// the first tab.
#include <QLabel>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "testenv.h"
#include "ui/shell/scannerversion.h"
#include "ui/shell/tform2.h"

class TestTForm2 : public QObject {
    Q_OBJECT
private slots:
    void frameAndTabs() {
        TForm2 form(QStringLiteral("Linux 6.1 (Build 0: 6.1.0-18-amd64)"),
                    QStringLiteral("2,097,152 KB"), nullptr);
        QCOMPARE(form.windowTitle(), QStringLiteral("About"));
        QCOMPARE(form.size(), QSize(395, 252));
        QCOMPARE(form.minimumSize(), form.maximumSize());  // fixed frame
        QCOMPARE(form.pos(), QPoint(218, 193));
        auto *tabs = form.findChild<QTabWidget *>(QStringLiteral("PageControl1"));
        QVERIFY(tabs);
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->tabText(0), QStringLiteral("About"));
        QCOMPARE(tabs->tabText(1), QStringLiteral("License"));
        QCOMPARE(tabs->tabText(2), QStringLiteral("History"));
        QCOMPARE(tabs->geometry(), QRect(0, 0, 395, 252));

        QCOMPARE(form.findChild<QLabel *>(QStringLiteral("OS"))->text(),
                 QStringLiteral("Linux 6.1 (Build 0: 6.1.0-18-amd64)"));
        QCOMPARE(form.findChild<QLabel *>(QStringLiteral("PhysMem"))->text(),
                 QStringLiteral("2,097,152 KB"));
        auto *title = form.findChild<QLabel *>(QStringLiteral("Label1"));
        QCOMPARE(title->text(), QStringLiteral("Vizavuz AntiVirus"));
        QVERIFY(title->font().bold());
        QCOMPARE(title->font().pixelSize(), 19);
        QCOMPARE(title->pos(), QPoint(8, 16));
        QVERIFY(form.findChild<QLabel *>(QStringLiteral("Label2"))
                    ->text()
                    .contains(QStringLiteral(VZ_VERSION)));
        // No scanner given: the text says so rather than staying blank.
        QCOMPARE(form.findChild<QLabel *>(QStringLiteral("Label3"))->text(),
                 ScannerVersion::missingText());

        auto *license = form.findChild<QPlainTextEdit *>(QStringLiteral("Memo1"));
        QVERIFY(license->isReadOnly());
        QVERIFY(license->toPlainText().contains(QStringLiteral("GNU General Public License")));
        auto *history = form.findChild<QPlainTextEdit *>(QStringLiteral("Memo2"));
        QVERIFY(history->isReadOnly());
        const QStringList lines =
            history->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY(lines.size() >= 2);
        QVERIFY(lines.first().contains(QStringLiteral(VZ_VERSION)));
        QVERIFY(lines.last().startsWith(QLatin1Char('*')));  // the line that explains the asterisk
    }

    void lastTabSurvivesReopening() {
        QWidget owner;
        owner.show();
        TForm2 form(QStringLiteral("x"), QStringLiteral(" KB"), nullptr, &owner);
        auto *tabs = form.findChild<QTabWidget *>(QStringLiteral("PageControl1"));
        QVERIFY(form.isModal());
        QCOMPARE(form.parentWidget(), &owner);
        QVERIFY(form.isWindow());

        // First opening: the About tab; the user moves to History and closes the window.
        QTimer::singleShot(0, &form, [&] {
            QCOMPARE(tabs->currentIndex(), 0);
            tabs->setCurrentIndex(2);
            form.close();
        });
        form.exec();
        QVERIFY(!form.isVisible());

        // Reopening keeps History.
        int seen = -1;
        QTimer::singleShot(0, &form, [&] {
            seen = tabs->currentIndex();
            form.close();
        });
        form.exec();
        QCOMPARE(seen, 2);
    }

    void scannerTextArrivesLater() {
        TestEnv env;
        const QString fake = env.programFolder() + QStringLiteral("clamscan");
        TestEnv::writeFile(fake, "#!/bin/sh\nsleep 0.3\necho 'ClamAV 1.2.3'\n");
        QFile::setPermissions(fake, QFile::ReadOwner | QFile::ExeOwner);
        ScannerVersion version;
        version.start(fake);
        TForm2 form(QStringLiteral("x"), QStringLiteral(" KB"), &version);
        auto *label = form.findChild<QLabel *>(QStringLiteral("Label3"));
        QCOMPARE(label->text(), ScannerVersion::pendingText());
        QTRY_COMPARE_WITH_TIMEOUT(label->text(), QStringLiteral("Scanner: ClamAV 1.2.3"), 10000);
    }

    // Made from the running machine.
    void figuresOfThisMachine() {
        TForm2 *form = TForm2::create(nullptr, nullptr);
        const QString memory = form->findChild<QLabel *>(QStringLiteral("PhysMem"))->text();
        QVERIFY(memory.endsWith(QStringLiteral(" KB")));
        QVERIFY(form->findChild<QLabel *>(QStringLiteral("OS"))
                    ->text()
                    .startsWith(QStringLiteral("Linux")));
        delete form;
    }
};

QTEST_MAIN(TestTForm2)
#include "tst_tform2.moc"
