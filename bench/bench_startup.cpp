// Starts the real program and prints how long it takes from the end of the splash to the main
// window being shown (startup_ms) and its resident memory once idle (idle_rss_mb).
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace {

qint64 mark(const QByteArray &log, const QByteArray &name) {
    for (const QByteArray &line : log.split('\n'))
        if (line.startsWith(name + ' '))
            return line.mid(name.size() + 1).toLongLong();
    return -1;
}

double rssMb(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

}  // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/share"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/config"));
    env.insert(QStringLiteral("VZ_STARTUP_TIMESTAMPS"), QStringLiteral("1"));
    if (!env.contains(QStringLiteral("DISPLAY")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    const int runs = 5;
    qint64 best = -1;
    double rss = -1;
    for (int i = 0; i < runs; ++i) {
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(VZ_PROGRAM), {});
        if (!program.waitForStarted()) {
            std::fprintf(stderr, "cannot start %s\n", VZ_PROGRAM);
            return 1;
        }
        QByteArray log;
        for (int t = 0; t < 100 && mark(log, "main_shown_ms") < 0; ++t) {
            program.waitForReadyRead(100);
            log += program.readAllStandardError();
        }
        QThread::msleep(1500);  // let it settle into the idle loop
        rss = rssMb(program.processId());
        program.kill();
        program.waitForFinished();
        const qint64 closed = mark(log, "splash_closed_ms");
        const qint64 shown = mark(log, "main_shown_ms");
        if (closed < 0 || shown < 0) {
            std::fprintf(stderr, "no start-up marks: %s\n", log.constData());
            return 1;
        }
        if (best < 0 || shown - closed < best)
            best = shown - closed;
    }
    std::printf("startup_ms = %lld\n", static_cast<long long>(best));
    std::printf("idle_rss_mb = %.1f\n", rss);
    return 0;
}
