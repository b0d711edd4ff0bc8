// The Scan Settings dialog as a user meets it: a real window under a window manager, typed into
// and clicked through xdotool.
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>

#include "support/programrun.h"
#include "support/xsession.h"
#include "ui/application.h"
#include "ui/scansettingsdialog.h"
#include "ui/tform1.h"

using namespace xsession;

class TestScanSettingsX : public QObject {
    Q_OBJECT
private slots:
    void typedPatternAndPathTestWithRealInput() {
        ProgramRun run;
        run.env.copySkin();
        run.start(true);
        run.app->show();
        ScanSettingsDialog &d = run.app->scanSettings();
        run.form().hooks.scanSettings();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QTRY_VERIFY(placed(&d));

        auto *pattern = d.findChild<QLineEdit *>(QStringLiteral("edtPattern"));
        click(pattern);
        QTRY_VERIFY(pattern->hasFocus());
        xdotool({QStringLiteral("type"), QStringLiteral("*.qcow2")});
        QTRY_COMPARE(pattern->text(), QStringLiteral("*.qcow2"));
        click(d.findChild<QWidget *>(QStringLiteral("btnAddPattern")));
        auto *list = d.findChild<QListWidget *>(QStringLiteral("lstPatterns"));
        QTRY_COMPARE(list->count(), 1);

        auto *path = d.findChild<QLineEdit *>(QStringLiteral("edtTestPath"));
        click(path);
        QTRY_VERIFY(path->hasFocus());
        xdotool({QStringLiteral("type"), QStringLiteral("/var/lib/vm/disk.qcow2")});
        xdotool({QStringLiteral("key"), QStringLiteral("Return")});
        auto *result = d.findChild<QLabel *>(QStringLiteral("lblTestResult"));
        QTRY_COMPARE(result->text(),
                     QStringLiteral("Not scanned: left out by the pattern *.qcow2."));

        QDir().mkpath(QStringLiteral(VZ_SCREENSHOTS));
        QVERIFY(d.grab().save(QStringLiteral(VZ_SCREENSHOTS "ScanSettingsDialog.png")));
        // Escape is Cancel: nothing was saved.
        xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
        QTRY_VERIFY(!d.isVisible());
        QVERIFY(run.env.registryValue(QStringLiteral("exclusions")).isEmpty());
    }
};

QTEST_MAIN(TestScanSettingsX)
#include "test_scansettings_x.moc"
