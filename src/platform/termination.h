#pragma once

#include <QObject>

class QSocketNotifier;

namespace platform {

// Turns SIGTERM, SIGINT and SIGHUP (the session ending, Ctrl+C, the terminal closing) into a
// signal on the main thread, so that the program ends through its normal shutdown: a running
// scanner is stopped and the records are written, instead of the process dying and leaving
// clamscan running on its own. One watch at a time; the handlers are reset when it goes.
class TerminationWatch : public QObject {
    Q_OBJECT
public:
    explicit TerminationWatch(QObject *parent = nullptr);
    ~TerminationWatch() override;

    // False when the handlers could not be installed (the signals then end the process).
    bool active() const { return m_notifier != nullptr; }

signals:
    void requested(int signalNumber);

private:
    void readPending();

    QSocketNotifier *m_notifier = nullptr;
};

}  // namespace platform
