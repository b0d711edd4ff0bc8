#include "ui/application.h"

#include <QApplication>
#include <QDateTime>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include "app/programdata.h"
#include "scan/scanengine.h"
#include "ui/tform1.h"

#include <cstdio>

namespace {

// The bench measures start-up from these marks; they are printed only when asked for.
void timestamp(const char *what) {
    if (qEnvironmentVariableIsSet("VZ_STARTUP_TIMESTAMPS"))
        std::fprintf(stderr, "%s %lld\n", what,
                     static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
}

}  // namespace

Application::Application(const Clock &clock, platform::KeyStore store, Options options)
    : m_data(std::make_unique<ProgramData>(clock, std::move(store))) {
    showFailure = [](QWidget *parent, const QString &text) {
        auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Vizavuz AntiVirus"), text,
                                    QMessageBox::Close, parent);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    };
    Q_UNUSED(options.splash);
    timestamp("splash_closed_ms");

    // The main window's creation runs the start-up routine; the engines come with it.
    m_report = Startup::run(*m_data, options.startup);
    m_engine = std::make_unique<ScanEngine>(*m_data);
    m_form1 = std::make_unique<TForm1>(*m_data, *m_engine);
    connectScan();
    m_form1->ShowPage();
}

Application::~Application() {
    shutdown();
}

void Application::connectScan() {
    TForm1 *form = m_form1.get();
    ScanEngine *engine = m_engine.get();
    QObject::connect(engine, &ScanEngine::scanFailed, form,
                     [this, form](const QString &message) { showFailure(form, message); });
    QObject::connect(engine, &ScanEngine::recordWriteFailed, form,
                     [this, form](const QString &message) { showFailure(form, message); });
    QObject::connect(form, &TForm1::closing, form, [this] { shutdown(); });
}

void Application::show() {
    TForm1 &form = *m_form1;
    if (QScreen *screen = QGuiApplication::primaryScreen())
        form.move(screen->availableGeometry().center() - form.rect().center());
    form.show();
    timestamp("main_shown_ms");
    if (!m_report.problems.isEmpty()) {
        const QString text = m_report.problems.join(QLatin1Char('\n'));
        QTimer::singleShot(0, &form, [this, text] { showFailure(m_form1.get(), text); });
    }
}

void Application::shutdown() {
    if (m_shutDown)
        return;
    m_shutDown = true;
    Startup::shutdown(*m_data);
}
