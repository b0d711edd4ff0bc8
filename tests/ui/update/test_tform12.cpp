#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>

#include "app/programdata.h"
#include "testenv.h"
#include "ui/tform12.h"

namespace {
struct World {
    TestEnv env;
    FixedClock clock{QDate(2026, 12, 8)};
    ProgramData data{clock, platform::KeyStore(env.registryRoot())};
};

template <typename W>
W *child(TForm12 &form, const char *name) {
    W *w = form.findChild<W *>(QString::fromLatin1(name));
    Q_ASSERT(w);
    return w;
}
}  // namespace

class TestTForm12 : public QObject {
    Q_OBJECT
private slots:
    void layoutAndFreshInstallation() {
        World w;
        TForm12 form(w.data);
        QCOMPARE(form.windowTitle(), QStringLiteral("Virus Database Updates"));
        QVERIFY(form.windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(form.size(), QSize(533, 356));
        QCOMPARE(child<QWidget>(form, "RadioGroup1")->geometry(), QRect(8, 8, 273, 185));
        QCOMPARE(child<QWidget>(form, "Panel1")->geometry(), QRect(104, 123, 89, 22));
        QCOMPARE(child<QWidget>(form, "GroupBox1")->geometry(), QRect(296, 8, 233, 281));
        QCOMPARE(child<QWidget>(form, "Panel2")->geometry(), QRect(0, 297, 533, 59));
        QCOMPARE(child<QPushButton>(form, "Button1")->text(), QStringLiteral("Save Settings"));
        QCOMPARE(child<QRadioButton>(form, "RadioGroup1_3")->text(),
                 QStringLiteral("Intervals of:"));
        form.showDialog();
        QVERIFY(child<QRadioButton>(form, "RadioGroup1_0")->isChecked());
        QVERIFY(child<QRadioButton>(form, "RadioGroup2_0")->isChecked());
        QVERIFY(!child<QSpinBox>(form, "SpinEdit1")->isEnabled());
        QVERIFY(!child<QCheckBox>(form, "CheckBox1")->isChecked());
        for (const char *name : {"Edit1", "Edit2", "Edit3", "Edit4"}) {
            QVERIFY(!child<QLineEdit>(form, name)->isEnabled());
            QVERIFY(child<QLineEdit>(form, name)->text().isEmpty());  // port too
        }
        QCOMPARE(child<QLineEdit>(form, "Edit4")->echoMode(), QLineEdit::Normal);
    }

    void captionsEndBeforeTheControlsBesideThem() {
        World w;
        TForm12 form(w.data);
        form.showDialog();
        // Where a caption's text ends, in the dialog's coordinates.
        auto textEnd = [&form](QWidget *caption) {
            return caption->mapTo(&form, QPoint(caption->sizeHint().width(), 0)).x();
        };
        auto left = [&form](const char *name) {
            QWidget *c = child<QWidget>(form, name);
            return c->mapTo(&form, QPoint(0, 0)).x();
        };
        QVERIFY(textEnd(child<QWidget>(form, "RadioGroup1_3")) <= left("Panel1"));
        for (const char *label : {"Label2", "Label3", "Label4", "Label5"})
            QVERIFY2(textEnd(child<QWidget>(form, label)) <= left("Edit1"), label);
        QVERIFY(textEnd(child<QWidget>(form, "CheckBox1")) <= left("GroupBox1") + 233);
    }

    void enabledStatesFollowTheChoices() {
        World w;
        TForm12 form(w.data);
        form.showDialog();
        auto *spin = child<QSpinBox>(form, "SpinEdit1");
        QTest::mouseClick(child<QRadioButton>(form, "RadioGroup1_3"), Qt::LeftButton);
        QVERIFY(spin->isEnabled());
        spin->setValue(42);
        QTest::mouseClick(child<QRadioButton>(form, "RadioGroup1_1"), Qt::LeftButton);
        QVERIFY(!spin->isEnabled());
        QTest::mouseClick(child<QCheckBox>(form, "CheckBox1"), Qt::LeftButton);
        QVERIFY(child<QLineEdit>(form, "Edit3")->isEnabled());
        QTest::keyClicks(child<QLineEdit>(form, "Edit3"), QStringLiteral("bob"));
        QTest::mouseClick(child<QCheckBox>(form, "CheckBox1"), Qt::LeftButton);
        QVERIFY(!child<QLineEdit>(form, "Edit3")->isEnabled());
        QCOMPARE(child<QLineEdit>(form, "Edit3")->text(), QStringLiteral("bob"));
        QTest::mouseClick(child<QPushButton>(form, "Button1"), Qt::LeftButton);
        QVERIFY(!form.isVisible());
        // Saved although hidden behind another choice or an unchecked box.
        QCOMPARE(int(w.data.settings.intervalDays), 42);
        QCOMPARE(int(w.data.settings.checkFrequency), 1);
        QCOMPARE(w.data.settings.proxyUser.bytes(), QByteArray("bob"));
        QCOMPARE(int(w.data.settings.useProxy), 0);
        QCOMPARE(w.env.registryValue("sysdata").size(), 808);
    }

    void longTextsAreCut() {
        World w;
        TForm12 form(w.data);
        form.showDialog();
        QTest::mouseClick(child<QCheckBox>(form, "CheckBox1"), Qt::LeftButton);
        child<QLineEdit>(form, "Edit2")->setText(QStringLiteral("     8080   "));
        child<QLineEdit>(form, "Edit3")->setText(QString(300, u'x'));
        QTest::mouseClick(child<QPushButton>(form, "Button1"), Qt::LeftButton);
        QCOMPARE(w.data.settings.proxyPort.bytes(), QByteArray("     8080 "));
        QCOMPARE(w.data.settings.proxyUser.bytes(), QByteArray(255, 'x'));
    }

    // A text cut to its room ends on a whole character, whatever its letters: reloaded, it is
    // what was typed up to the cut, and the proxy gets no broken character.
    void cutTextsEndOnAWholeCharacter_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("two bytes each") << QString(200, u'\u00e4') << QString(127, u'\u00e4');
        QTest::newRow("three bytes each") << QString(100, u'\u20ac') << QString(85, u'\u20ac');
        QTest::newRow("four bytes each") << QStringLiteral("\U0001F600").repeated(70)
                                         << QStringLiteral("\U0001F600").repeated(63);
        QTest::newRow("one byte, then two")
            << QString(254, u'p') + QString(5, u'\u00e4') << QString(254, u'p');
    }
    void cutTextsEndOnAWholeCharacter() {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        World w;
        TForm12 form(w.data);
        QStringList reported;
        form.setFailureReporter([&](const QString &m) { reported << m; });
        form.showDialog();
        QTest::mouseClick(child<QCheckBox>(form, "CheckBox1"), Qt::LeftButton);
        child<QLineEdit>(form, "Edit2")->setText(QStringLiteral("3128"));
        for (const char *edit : {"Edit1", "Edit3", "Edit4"})
            child<QLineEdit>(form, edit)->setText(typed);
        QTest::mouseClick(child<QPushButton>(form, "Button1"), Qt::LeftButton);
        QCOMPARE(reported, QStringList());
        QVERIFY(!form.isVisible());
        for (const auto &field :
             {w.data.settings.proxyServer.bytes(), w.data.settings.proxyUser.bytes(),
              w.data.settings.proxyPassword.bytes()})
            QCOMPARE(QString::fromUtf8(field), kept);
        form.showDialog();
        QCOMPARE(child<QLineEdit>(form, "Edit4")->text(), kept);
    }

    // A port the proxy cannot have is refused with a message and nothing is saved.
    void proxyPortMustBeANumber_data() {
        QTest::addColumn<bool>("useProxy");
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("saved");
        QTest::newRow("letters") << true << "abc" << false;
        QTest::newRow("letters, proxy off") << false << "x8080" << false;
        QTest::newRow("0") << true << "0" << false;
        QTest::newRow("too large") << true << "65536" << false;
        QTest::newRow("empty with the proxy on") << true << "" << false;
        QTest::newRow("empty with the proxy off") << false << "" << true;
        QTest::newRow("3128") << true << "3128" << true;
    }
    void proxyPortMustBeANumber() {
        QFETCH(bool, useProxy);
        QFETCH(QString, port);
        QFETCH(bool, saved);
        World w;
        TForm12 form(w.data);
        QStringList reported;
        form.setFailureReporter([&](const QString &m) { reported << m; });
        form.showDialog();
        if (useProxy)
            QTest::mouseClick(child<QCheckBox>(form, "CheckBox1"), Qt::LeftButton);
        child<QLineEdit>(form, "Edit2")->setText(port);
        QTest::mouseClick(child<QPushButton>(form, "Button1"), Qt::LeftButton);
        QCOMPARE(form.isVisible(), !saved);
        QCOMPARE(w.env.registryValue("sysdata").isEmpty(), !saved);
        if (saved) {
            QVERIFY(reported.isEmpty());
        } else {
            QCOMPARE(reported, QStringList{QStringLiteral("The proxy port \"%1\" is not a number "
                                                          "from 1 to 65535")
                                               .arg(port)});
            QCOMPARE(int(w.data.settings.useProxy), 0);
        }
    }

    void cancelKeepsTheRecordAndTheNextShowingReloads() {
        World w;
        w.data.settings.proxyServer.assign("stored.example");
        w.data.settings.vaultCount = 5;
        TForm12 form(w.data);
        form.showDialog();
        auto *server = child<QLineEdit>(form, "Edit1");
        QCOMPARE(server->text(), QStringLiteral("stored.example"));
        server->setText(QStringLiteral("edited"));
        QTest::mouseClick(child<QRadioButton>(form, "RadioGroup1_4"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(form, "Button2"), Qt::LeftButton);
        QVERIFY(!form.isVisible());
        QCOMPARE(w.data.settings.proxyServer.bytes(), QByteArray("stored.example"));
        QCOMPARE(int(w.data.settings.checkFrequency), 0);
        QVERIFY(w.env.registryValue("sysdata").isEmpty());
        form.showDialog();
        QCOMPARE(server->text(), QStringLiteral("stored.example"));
        QVERIFY(child<QRadioButton>(form, "RadioGroup1_0")->isChecked());
    }

    void showingAnOpenDialogDoesNotReload() {
        World w;
        TForm12 form(w.data);
        form.showDialog();
        child<QLineEdit>(form, "Edit1")->setText(QStringLiteral("typed"));
        form.showDialog();
        QCOMPARE(child<QLineEdit>(form, "Edit1")->text(), QStringLiteral("typed"));
    }

    void failedWriteIsReportedAndTheDialogStaysOpen() {
        World w;
        const QString key = w.env.registryRoot() + "HKEY_LOCAL_MACHINE/SOFTWARE/Vizavuz/AntiVirus/";
        QDir().mkpath(key);
        TestEnv::writeFile(key + "sysdata", "in the way");
        TForm12 form(w.data);
        QStringList reported;
        form.setFailureReporter([&](const QString &m) { reported << m; });
        form.showDialog();
        QTest::mouseClick(child<QRadioButton>(form, "RadioGroup1_2"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(form, "Button1"), Qt::LeftButton);
        QCOMPARE(reported, QStringList{QStringLiteral("Failed to set data for ''")});
        QVERIFY(form.isVisible());
        QCOMPARE(int(w.data.settings.checkFrequency), 2);  // kept in memory
    }
};

QTEST_MAIN(TestTForm12)
#include "test_tform12.moc"
