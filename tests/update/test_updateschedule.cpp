#include <QTest>

#include "state/daycount.h"
#include "app/programdata.h"
#include "testenv.h"
#include "update/updateschedule.h"
#include "update/updatesettings.h"
#include "update/updatewait.h"

namespace {
const QDate kToday(2026, 12, 8);

struct World {
    TestEnv env;
    FixedClock clock{kToday};
    ProgramData data{clock, platform::KeyStore(env.registryRoot())};
    void lastUpdateDaysAgo(int days) {
        data.settings.lastUpdate = daycount::fromDate(kToday.addDays(-days));
    }
};
}  // namespace

class TestUpdateSchedule : public QObject {
    Q_OBJECT
private slots:
    void scheduledCheckByFrequency_data() {
        QTest::addColumn<int>("frequency");
        QTest::addColumn<int>("intervalDays");
        QTest::addColumn<int>("daysAgo");
        QTest::addColumn<int>("expected");  // 0 skip, 1 prompt, 2 done
        QTest::newRow("daily, yesterday") << 0 << 0 << 1 << 1;
        QTest::newRow("daily, today") << 0 << 0 << 0 << 2;
        QTest::newRow("weekly, 6 days") << 1 << 0 << 6 << 2;
        QTest::newRow("weekly, 7 days") << 1 << 0 << 7 << 1;
        QTest::newRow("monthly, 29 days") << 2 << 0 << 29 << 2;
        QTest::newRow("monthly, 30 days") << 2 << 0 << 30 << 1;
        QTest::newRow("interval 0, today") << 3 << 0 << 0 << 1;
        QTest::newRow("interval 30, 29 days") << 3 << 30 << 29 << 2;
        QTest::newRow("interval 30, 30 days") << 3 << 30 << 30 << 1;
        QTest::newRow("never, 100 days") << 4 << 0 << 100 << 0;
        QTest::newRow("clock put back, interval 0") << 3 << 0 << -1 << 2;
        QTest::newRow("clock put back, daily") << 0 << 0 << -5 << 2;
    }
    void scheduledCheckByFrequency() {
        QFETCH(int, frequency);
        QFETCH(int, intervalDays);
        QFETCH(int, daysAgo);
        QFETCH(int, expected);
        World w;
        w.data.settings.checkFrequency = std::uint8_t(frequency);
        w.data.settings.intervalDays = std::uint8_t(intervalDays);
        w.lastUpdateDaysAgo(daysAgo);
        UpdateSchedule schedule(w.data);
        QCOMPARE(int(schedule.scheduledCheck(false)), expected);
    }

    void scheduledCheckSkipsWhileBusy() {
        World w;
        w.lastUpdateDaysAgo(100);
        UpdateSchedule schedule(w.data);
        QCOMPARE(schedule.scheduledCheck(true), UpdateSchedule::Tick::Skip);
        w.data.session.setState(QStringLiteral("paused"));
        QCOMPARE(schedule.scheduledCheck(false), UpdateSchedule::Tick::Skip);
        w.data.session.setState(QStringLiteral("idle"));
        QCOMPARE(schedule.scheduledCheck(false), UpdateSchedule::Tick::Prompt);
        schedule.switchTimerOff();
        QVERIFY(!schedule.timerOn());
        QCOMPARE(schedule.scheduledCheck(false), UpdateSchedule::Tick::Skip);
    }

    void preScanOffer_data() {
        QTest::addColumn<int>("daysAgo");
        QTest::addColumn<bool>("due");
        QTest::newRow("today") << 0 << false;
        QTest::newRow("one day") << 1 << false;
        QTest::newRow("two days") << 2 << true;
        QTest::newRow("one day ahead") << -1 << false;
        QTest::newRow("two days ahead") << -2 << true;
    }
    void preScanOffer() {
        QFETCH(int, daysAgo);
        QFETCH(bool, due);
        World w;
        w.data.settings.checkFrequency = 4;  // offered even with "Never Check"
        w.lastUpdateDaysAgo(daysAgo);
        UpdateSchedule schedule(w.data);
        QCOMPARE(schedule.preScanOfferDue(), due);
    }

    // "Automatically download" turns each due question into the download itself; what is not
    // due, and a wait the server asked for, stay as they are.
    void automaticDownloadReplacesTheQuestion_data() {
        QTest::addColumn<int>("whenFound");
        QTest::addColumn<int>("daysAgo");
        QTest::addColumn<bool>("serverWait");
        QTest::addColumn<UpdateSchedule::Tick>("tick");
        QTest::addColumn<UpdateSchedule::Offer>("offer");
        using T = UpdateSchedule::Tick;
        using O = UpdateSchedule::Offer;
        QTest::newRow("ask, due") << 0 << 5 << false << T::Prompt << O::Prompt;
        QTest::newRow("automatic, due") << 1 << 5 << false << T::Download << O::Download;
        QTest::newRow("automatic, not due") << 1 << 0 << false << T::Done << O::None;
        QTest::newRow("automatic, scheduled only") << 1 << 1 << false << T::Download << O::None;
        QTest::newRow("automatic, server wait") << 1 << 5 << true << T::Done << O::None;
        QTest::newRow("unknown choice asks") << 7 << 5 << false << T::Prompt << O::Prompt;
    }
    void automaticDownloadReplacesTheQuestion() {
        QFETCH(int, whenFound);
        QFETCH(int, daysAgo);
        QFETCH(bool, serverWait);
        QFETCH(UpdateSchedule::Tick, tick);
        QFETCH(UpdateSchedule::Offer, offer);
        World w;
        w.data.settings.whenFound = std::uint8_t(whenFound);
        w.lastUpdateDaysAgo(daysAgo);
        if (serverWait)
            updatewait::store(w.data.registry(), QDateTime::currentDateTimeUtc().addSecs(3600));
        UpdateSchedule schedule(w.data);
        QCOMPARE(schedule.scheduledCheck(false), tick);
        QCOMPARE(schedule.preScanOffer(), offer);
    }

    void pageLabels() {
        World w;
        w.lastUpdateDaysAgo(100);
        UpdateSchedule schedule(w.data);
        QCOMPARE(schedule.sizeText(), QStringLiteral("0 bytes"));
        QCOMPARE(schedule.updatesText(), QStringLiteral("0"));
        QCOMPARE(schedule.updateText(),
                 QLocale::system().toString(QDate(2026, 8, 30), QLocale::ShortFormat));
        w.data.settings.updateSize = 123456;
        w.data.settings.updateCount = 7;
        QCOMPARE(schedule.sizeText(), QStringLiteral("123456 bytes"));
        QCOMPARE(schedule.updatesText(), QStringLiteral("7"));
    }

    void saveCutsTextsAndKeepsTheUpdateState() {
        World w;
        w.data.settings.vaultCount = 12;
        w.data.settings.updateCount = 3;
        w.data.settings.updateSize = 999;
        w.data.settings.lastUpdate = 46000.0;
        UpdateSettingsForm form;
        form.checkFrequency = 3;
        form.whenFound = 1;
        form.intervalDays = 250;
        form.useProxy = true;
        form.proxyPort = QStringLiteral("123456789012");
        form.proxyUser = QString(300, u'u');
        form.proxyPassword = QStringLiteral("secret");
        form.proxyServer = QStringLiteral("proxy.example");
        QVERIFY(updatesettings::save(w.data, form).ok());

        const QByteArray stored = w.env.registryValue("sysdata");
        QCOMPARE(stored.size(), 808);
        QCOMPARE(quint8(stored[0]), quint8(255));
        QCOMPARE(stored.mid(1, 255), QByteArray(255, 'u'));
        QCOMPARE(quint8(stored[256]), quint8(6));
        QCOMPARE(stored.mid(257, 6), QByteArray("secret"));
        QCOMPARE(quint8(stored[512]), quint8(13));
        QCOMPARE(quint8(stored[768]), quint8(10));
        QCOMPARE(stored.mid(769, 10), QByteArray("1234567890"));
        QCOMPARE(quint8(stored[779]), quint8(1));    // use proxy
        QCOMPARE(quint8(stored[780]), quint8(100));  // interval brought into range
        QCOMPARE(quint8(stored[781]), quint8(3));
        QCOMPARE(quint8(stored[782]), quint8(1));
        QCOMPARE(stored.mid(784, 4), QByteArray("\x0c\x00\x00\x00", 4));  // vault count 12
        QCOMPARE(stored.mid(788, 4), QByteArray("\x03\x00\x00\x00", 4));
        double last = 0;
        memcpy(&last, stored.constData() + 792, 8);
        QCOMPARE(last, 46000.0);
        QCOMPARE(stored.mid(800, 4), QByteArray("\xe7\x03\x00\x00", 4));  // 999
    }

    void negativeIntervalBecomesZero() {
        SettingsRecord r;
        UpdateSettingsForm form;
        form.intervalDays = -5;
        updatesettings::apply(form, r);
        QCOMPARE(int(r.intervalDays), 0);
    }
};

QTEST_GUILESS_MAIN(TestUpdateSchedule)
#include "test_updateschedule.moc"
