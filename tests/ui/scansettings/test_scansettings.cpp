// The Scan Settings dialog inside the program, offscreen: opened from the popup menu, edited,
// saved to the key store, and honoured by the next scan.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include "app/programdata.h"
#include "scan/scanengine.h"
#include "scan/scanexclusions.h"
#include "scan/scannerchoice.h"
#include "support/programrun.h"
#include "ui/application.h"
#include "ui/scansettingsdialog.h"
#include "ui/tform1.h"

using scannerchoice::Engine;

namespace {

template <typename W = QWidget>
W *child(QWidget *parent, const char *name) {
    W *w = parent->findChild<W *>(QString::fromLatin1(name));
    if (!w)
        qFatal("no widget %s", name);
    return w;
}

void click(QWidget *parent, const char *name) {
    QTest::mouseClick(child(parent, name), Qt::LeftButton);
}

ScanExclusions stored(ProgramRun &run) {
    ScanExclusions ex;
    if (!ScanExclusions::load(run.app->data().registry(), ex).ok())
        qFatal("stored exclusions unreadable");
    return ex;
}

}  // namespace

class TestScanSettings : public QObject {
    Q_OBJECT
private slots:
    void editSaveAndTheNextScanLeavesItOut() {
        ProgramRun run;
        run.env.installFakeScanner();
        run.start(true);
        ScanSettingsDialog &d = run.app->scanSettings();
        const QString vms = run.env.root() + QStringLiteral("VMs (old)");
        QVERIFY(QDir().mkpath(vms));
        d.chooseFolder = [&](QWidget *) { return vms; };

        // From the Options menu of the main window.
        auto *menu = run.form().findChild<QMenu *>(QStringLiteral("PopupMenu1"));
        auto *item = menu->findChild<QAction *>(QStringLiteral("ScanSettings1"));
        QCOMPARE(item->text(), QStringLiteral("Scan Settings"));
        item->trigger();
        QVERIFY(d.isVisible());
        QCOMPARE(d.isModal(), false);

        click(&d, "btnAddFolder");
        click(&d, "btnAddFolder");  // once only
        QCOMPARE(child<QListWidget>(&d, "lstFolders")->count(), 1);
        QTest::keyClicks(child(&d, "edtPattern"), QStringLiteral("*.iso"));
        click(&d, "btnAddPattern");
        QTest::keyClicks(child(&d, "edtPattern"), QStringLiteral("a/b"));
        click(&d, "btnAddPattern");  // refused and said why
        QCOMPARE(run.failures.size(), 1);
        QCOMPARE(child<QListWidget>(&d, "lstPatterns")->count(), 1);
        child<QLineEdit>(&d, "edtPattern")->clear();
        QTest::keyClicks(child(&d, "edtPattern"), QStringLiteral("*.bak"));
        click(&d, "btnAddPattern");
        child<QCheckBox>(&d, "chkPreset_git")->setChecked(true);
        QVERIFY(!child(&d, "spnSizeLimit")->isEnabled());
        child<QCheckBox>(&d, "chkSizeLimit")->setChecked(true);
        child<QSpinBox>(&d, "spnSizeLimit")->setValue(250);

        // The test field judges the settings as edited, before they are saved.
        auto verdict = [&](const QString &path) {
            auto *edit = child<QLineEdit>(&d, "edtTestPath");
            edit->setText(path);
            click(&d, "btnTestPath");
            return child<QLabel>(&d, "lblTestResult")->text();
        };
        QCOMPARE(verdict(vms + QStringLiteral("/disk.img")),
                 QStringLiteral("Not scanned: left out by the folder %1.").arg(vms));
        QCOMPARE(verdict(QStringLiteral("/srv/x.iso")),
                 QStringLiteral("Not scanned: left out by the pattern *.iso."));
        QCOMPARE(verdict(QStringLiteral("/srv/app/.git/config")),
                 QStringLiteral("Not scanned: left out by the preset .git folders."));
        QCOMPARE(verdict(run.env.root()), QStringLiteral("This folder would be scanned."));
        QCOMPARE(verdict(QStringLiteral("notes.txt")),
                 QStringLiteral("Enter a full path, beginning with \"/\" or \"~/\"."));

        // Removing the selected pattern, then saving.
        auto *patterns = child<QListWidget>(&d, "lstPatterns");
        patterns->item(1)->setSelected(true);
        click(&d, "btnRemovePattern");
        QCOMPARE(patterns->count(), 1);
        QVERIFY(stored(run).folders().isEmpty());  // nothing stored before Save
        click(&d, "Button1");
        QVERIFY(!d.isVisible());
        ScanExclusions expected;
        QVERIFY(expected.addFolder(QFile::encodeName(vms)));
        QVERIFY(expected.addPattern(QStringLiteral("*.iso")));
        expected.setPresetTicked(QStringLiteral("git"), true);
        expected.setSizeLimitMb(250);
        QCOMPARE(stored(run), expected);

        // Cancel keeps what is stored; the next opening shows it again.
        run.form().hooks.scanSettings();
        QCOMPARE(child<QSpinBox>(&d, "spnSizeLimit")->value(), 250);
        QVERIFY(child<QCheckBox>(&d, "chkPreset_git")->isChecked());
        child<QCheckBox>(&d, "chkPreset_git")->setChecked(false);
        click(&d, "Button2");
        QCOMPARE(stored(run), expected);
        run.form().hooks.scanSettings();
        QVERIFY(child<QCheckBox>(&d, "chkPreset_git")->isChecked());
        QCOMPARE(child<QListWidget>(&d, "lstFolders")->item(0)->text(), vms);
        click(&d, "Button2");

        // The next scan gives the scanner the stored rules.
        QVERIFY(run.app->engine().startCustomScan({run.env.root()}));
        const QList<QByteArray> args = run.app->engine().lastArguments();
        QVERIFY(args.contains("--exclude-dir=^" +
                              ScanExclusions::escapeRegex(QFile::encodeName(vms)) + "(/|$)"));
        QVERIFY(args.contains("--exclude=(^|/)[^/]*\\.iso(/|$)"));
        QVERIFY(args.contains("--max-filesize=250M"));
    }

    // The engine and the clamd address: stored on Save when the address is one, refused with
    // the reason (and nothing stored) when it is not.
    void engineAndClamdAddress_data() {
        QTest::addColumn<int>("engineRow");  // Automatic, Own engine, clamscan
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("refused");
        QTest::newRow("own engine, no address") << 1 << QString() << false;
        QTest::newRow("clamscan") << 2 << QString() << false;
        QTest::newRow("local socket") << 0 << QStringLiteral("/run/clamav/clamd.ctl") << false;
        QTest::newRow("host and port") << 0 << QStringLiteral("scanner.lan:3310") << false;
        QTest::newRow("IPv6 host") << 0 << QStringLiteral("[::1]:3310") << false;
        QTest::newRow("spaces around are trimmed")
            << 0 << QStringLiteral("  127.0.0.1:3310 ") << false;
        QTest::newRow("no port") << 0 << QStringLiteral("scanner.lan") << true;
        QTest::newRow("port out of range") << 0 << QStringLiteral("127.0.0.1:70000") << true;
        QTest::newRow("port zero") << 0 << QStringLiteral("127.0.0.1:0") << true;
        QTest::newRow("port not a number") << 0 << QStringLiteral("127.0.0.1:33a") << true;
        QTest::newRow("relative socket path") << 0 << QStringLiteral("clamd.ctl") << true;
        QTest::newRow("IPv6 without brackets") << 0 << QStringLiteral("::1:3310") << true;
        QTest::newRow("a blank inside") << 0 << QStringLiteral("/run/my clamd.ctl") << true;
        QTest::newRow("socket path too long")
            << 0 << QStringLiteral("/") + QString(120, u'a') << true;
    }

    void engineAndClamdAddress() {
        QFETCH(int, engineRow);
        QFETCH(QString, typed);
        QFETCH(bool, refused);
        ProgramRun run;
        run.env.installFakeScanner();
        run.start(true);
        const Registry &registry = run.app->data().registry();
        QVERIFY(scannerchoice::storeClamdAddress(registry, "/old/clamd.sock").ok());
        ScanSettingsDialog &d = run.app->scanSettings();
        run.form().hooks.scanSettings();
        // Every control lies inside the dialog's frame.
        for (QWidget *w : d.findChildren<QWidget *>()) {
            if (w->isWindow() || !w->isVisibleTo(&d))
                continue;
            const QRect inDialog(w->mapTo(&d, QPoint(0, 0)), w->size());
            QVERIFY2(d.rect().contains(inDialog), qPrintable(w->objectName()));
        }
        auto *address = child<QLineEdit>(&d, "edtClamdAddress");
        QCOMPARE(address->text(), QStringLiteral("/old/clamd.sock"));
        child<QComboBox>(&d, "cmbEngine")->setCurrentIndex(engineRow);
        address->clear();
        QTest::keyClicks(address, typed);
        click(&d, "Button1");
        const Engine expected =
            refused ? Engine::Automatic
                    : QList{Engine::Automatic, Engine::Own, Engine::Clamscan}[engineRow];
        QCOMPARE(scannerchoice::stored(registry), expected);
        QCOMPARE(scannerchoice::storedClamdAddress(registry),
                 refused ? QByteArray("/old/clamd.sock") : typed.trimmed().toUtf8());
        QCOMPARE(d.isVisible(), refused);
        QCOMPARE(run.failures.size(), refused ? 1 : 0);
        if (refused)
            QVERIFY2(run.failures.front().contains(QStringLiteral("host:port")),
                     qPrintable(run.failures.front()));
    }
};

QTEST_MAIN(TestScanSettings)
#include "test_scansettings.moc"
