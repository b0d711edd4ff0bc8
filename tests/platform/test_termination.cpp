// The ending signals reach the program as a Qt signal instead of killing it.
#include <csignal>

#include <QSignalSpy>
#include <QTest>

#include "platform/termination.h"

namespace {

// The handler the process has now for a signal.
void (*handlerOf(int signalNumber))(int) {
    struct sigaction current = {};
    ::sigaction(signalNumber, nullptr, &current);
    return current.sa_handler;
}

}  // namespace

class TestTermination : public QObject {
    Q_OBJECT
private slots:
    void eachEndingSignalIsDeliveredInOrder() {
        platform::TerminationWatch watch;
        QVERIFY(watch.active());
        QSignalSpy requested(&watch, &platform::TerminationWatch::requested);
        ::raise(SIGTERM);
        ::raise(SIGINT);
        ::raise(SIGHUP);
        QVERIFY(requested.isEmpty());  // delivered through the event loop, not in the handler
        QTRY_COMPARE(requested.count(), 3);
        QCOMPARE(requested.at(0).at(0).toInt(), SIGTERM);
        QCOMPARE(requested.at(1).at(0).toInt(), SIGINT);
        QCOMPARE(requested.at(2).at(0).toInt(), SIGHUP);
        // A burst of the same signal is not lost while the loop is busy.
        for (int i = 0; i < 20; ++i)
            ::raise(SIGTERM);
        QTRY_COMPARE(requested.count(), 23);
    }

    void oneWatchAtATimeAndTheDefaultsComeBack() {
        {
            platform::TerminationWatch first;
            QVERIFY(first.active());
            platform::TerminationWatch second;
            QVERIFY(!second.active());
            QSignalSpy firstSpy(&first, &platform::TerminationWatch::requested);
            ::raise(SIGTERM);
            QTRY_COMPARE(firstSpy.count(), 1);
        }
        QVERIFY(handlerOf(SIGTERM) == SIG_DFL);
        QVERIFY(handlerOf(SIGINT) == SIG_DFL);
        QVERIFY(handlerOf(SIGHUP) == SIG_DFL);
        // And a new watch can be installed again.
        platform::TerminationWatch again;
        QVERIFY(again.active());
        QSignalSpy spy(&again, &platform::TerminationWatch::requested);
        ::raise(SIGHUP);
        QTRY_COMPARE(spy.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestTermination)
#include "test_termination.moc"
