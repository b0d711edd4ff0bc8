#include "ui/application.h"

#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QLabel>
#include <QTimer>

#include "app/programdata.h"
#include "platform/termination.h"
#include "scan/scanengine.h"
#include "platform/commands.h"
#include "scan/scanlogger.h"
#include "scan/scheduledscans.h"
#include "ui/outcomenotices.h"
#include "ui/shell/desktopnotifier.h"
#include "ui/placement.h"
#include "ui/scansettingsdialog.h"
#include "ui/scanlogwindow.h"
#include "ui/scanwindows.h"
#include "ui/schedulewindow.h"
#include "ui/shell/trayminimizer.h"
#include "ui/shellwiring.h"
#include "ui/skin/messagedialog.h"
#include "ui/skin/skindialog.h"
#include "ui/skin/skinbuttons.h"
#include "ui/skin/splash.h"
#include "ui/tform1.h"
#include "ui/updatewindows.h"
#include "update/databasedownload.h"
#include "update/databasesource.h"
#include "vault/removalrun.h"

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
    : m_termination(std::make_unique<platform::TerminationWatch>()),
      m_data(std::make_unique<ProgramData>(clock, std::move(store))) {
    endOnTermination();
    showFailure = [](QWidget *parent, const QString &text) {
        MessageDialog::showFailureLater(parent, text);
    };
    askQuestion = &MessageDialog::ask;
    if (options.splash) {
        TForm10 splash;
        // The splash closes itself after its steps; this only keeps start-up from waiting
        // forever should it not.
        QTimer::singleShot(100 * 12 + 2000, &splash, &QDialog::accept);
        splash.exec();
    }
    timestamp("splash_closed_ms");

    // The main window's creation runs the start-up routine; the engines come with it.
    m_report = Startup::run(*m_data, options.startup);
    m_engine = std::make_unique<ScanEngine>(*m_data);
    m_skin = std::make_unique<SkinButtons>();
    const QStringList missing = m_skin->load(m_data->folders.program);
    for (const QString &file : missing)
        m_report.problems << QStringLiteral("Skin file missing or unreadable: ") + file;
    MessageDialog::setSkin(m_skin.get());
    m_form1 = std::make_unique<TForm1>(*m_data, *m_engine);
    m_updates = std::make_unique<UpdateWindows>(
        *m_data, *m_skin, *m_form1, *m_engine,
        [this](QWidget *parent, const QString &text) { showFailure(parent, text); });
    m_updates->setAsker(
        [this](QWidget *parent, const QString &text) { return askQuestion(parent, text); });
    connectScan();
    connectSkin();
    m_scanWindows = new ScanWindows(
        *m_data, *m_engine, *m_form1, *m_skin,
        [this](QWidget *parent, const QString &text) { showFailure(parent, text); }, m_form1.get());
    m_scanSettings = std::make_unique<ScanSettingsDialog>(*m_data, *m_skin);
    m_scanSettings->reportFailure = [this](QWidget *parent, const QString &text) {
        showFailure(parent, text);
    };
    m_form1->hooks.scanSettings = [this] { m_scanSettings->showDialog(); };
    m_shell = std::make_unique<ShellWiring>(*m_data, *m_form1, m_report.problems);
    connectNotices();
    connectScanLog();
    QObject::connect(
        m_form1.get(), &TForm1::entriesDropped, m_form1.get(),
        [this](const QStringList &entries) { scanEntries(entries, ScanLogEntry::Kind::Custom); });
    m_form1->ShowPage();
}

Application::~Application() {
    shutdown();
    MessageDialog::setSkin(nullptr);  // the skin goes with this object
}

void Application::connectScan() {
    TForm1 *form = m_form1.get();
    ScanEngine *engine = m_engine.get();
    // Scans use the databases of the chosen source, else those of the other.
    engine->setDatabaseChooser([this] { return m_updates->source().scanDatabases(); });
    QObject::connect(engine, &ScanEngine::scanFailed, form, [this, form](const QString &message) {
        // No database anywhere (a first start): the refusal offers the update, once the scan
        // command has returned.
        if (m_engine->databaseMissing())
            QTimer::singleShot(0, form, [this, message] { m_updates->offerFirstUpdate(message); });
        else
            showFailure(form, message);
    });
    QObject::connect(engine, &ScanEngine::recordWriteFailed, form,
                     [this, form](const QString &message) { showFailure(form, message); });
    QObject::connect(form, &TForm1::closing, form, [this] { shutdown(); });
}

void Application::connectSkin() {
    TForm1 *form = m_form1.get();
    SkinButtons *skin = m_skin.get();
    for (int i = 1; i <= SkinButtons::buttonCount; ++i)
        if (QLabel *control = form->skinControl(i))
            skin->bind(i, control, form->skinStretches(i));
    QObject::connect(form, &TForm1::buttonHovered, skin, &SkinButtons::hover);
    QObject::connect(form, &TForm1::buttonPressed, skin, &SkinButtons::press);
    QObject::connect(form, &TForm1::buttonReleased, skin, &SkinButtons::release);
    QObject::connect(form, &TForm1::closing, skin, &SkinButtons::setClosing);
    QObject::connect(form, &TForm1::navigationSelected, skin,
                     [skin](int index) { skin->select(SkinButtons::Group::Navigation, index); });
    QObject::connect(form, &TForm1::progressRepaintRequested, skin, [skin, form](int percent) {
        skin->paintProgressBar(1, form->progressBar(), percent);
    });
    // The scan-control selection follows the session; 0 after a completed scan shows none.
    QObject::connect(&m_data->session, &ScanSession::selectedScanButtonChanged, skin,
                     [skin](int index) {
                         if (index == 0)
                             skin->clearSelectionKeepCurrent(SkinButtons::Group::ScanControl, 14);
                         else
                             skin->select(SkinButtons::Group::ScanControl, index);
                     });
    skin->select(SkinButtons::Group::Navigation, 1);
    // The first paint: bars 0 (nothing) and 1, buttons 0 (nothing) to 37.
    skin->paintProgressBar(0, form->progressBar(), 0);
    skin->paintProgressBar(1, form->progressBar(), 0);
    for (int i = 0; i <= SkinButtons::buttonCount; ++i)
        skin->paint(i);
}

void Application::connectNotices() {
    m_notifier = std::make_unique<DesktopNotifier>();
    TForm1 *form = m_form1.get();
    m_notices = std::make_unique<OutcomeNotices>(
        *m_engine, m_scanWindows->removal(), m_updates->download(), *m_notifier,
        [form] { return !form->isVisible() || form->isMinimized(); });
    QObject::connect(m_notifier.get(), &DesktopNotifier::activated, form,
                     [this] { bringToFront(); });
}

void Application::connectScanLog() {
    m_scanLog = std::make_unique<ScanLog>(m_data->folders.scanLogFile());
    m_scanLogger = std::make_unique<ScanLogger>(*m_data, *m_engine, *m_scanLog);
    TForm1 *form = m_form1.get();
    // The log never holds up a scan: what goes wrong with it is told, and scanning goes on.
    QObject::connect(m_scanLog.get(), &ScanLog::problem, form,
                     [this, form](const QString &message) { showFailure(form, message); });
    QObject::connect(&m_scanWindows->removal(), &RemovalRun::finished, form,
                     [this] { m_scanLogger->recordRemoved(m_data->lastScan.lastRemoved); });
    m_scanLogWindow = new ScanLogWindow(
        *m_scanLog, *m_skin,
        [this](QWidget *parent, const QString &text) { showFailure(parent, text); }, form);
    form->hooks.scanLog = [this] {
        m_scanLogWindow->show();
        m_scanLogWindow->raise();
        m_scanLogWindow->activateWindow();
    };

    m_scheduled = std::make_unique<ScheduledScans>(
        m_data->registry(),
        QFile::encodeName(m_data->folders.program) + QByteArrayLiteral("vizavuz-antivirus"));
    m_scheduleWindow = new ScheduleWindow(
        *m_scheduled, *m_skin,
        [this](QWidget *parent, const QString &text) { showFailure(parent, text); }, form);
    form->hooks.scheduledScan = [this] {
        m_scheduleWindow->show();
        m_scheduleWindow->raise();
        m_scheduleWindow->activateWindow();
    };
}

QString Application::onBatteryText() {
    return QStringLiteral(
        "The computer runs on battery power, and scheduled scans run only on "
        "mains power.");
}

QString Application::runScheduledScan(bool *failed) {
    if (failed)
        *failed = false;
    const ScanSchedule schedule = m_scheduled->schedule();
    QString reason = scanRefusal();
    // A job left behind after the schedule was turned off scans nothing.
    if (reason.isEmpty() && schedule.frequency == ScanSchedule::Frequency::Off)
        reason = QStringLiteral("Scheduled scans are turned off.");
    if (reason.isEmpty() && schedule.mainsOnly && !platform::onMainsPower())
        reason = onBatteryText();
    if (reason.isEmpty() && schedule.customFolders && schedule.folders.isEmpty())
        reason = QStringLiteral("No folders are chosen for scheduled scans.");
    if (!reason.isEmpty()) {
        m_scanLogger->logSkipped(reason);
        return reason;
    }
    // The Scan page, and no update prompt coming up over the scan.
    m_form1->Image3Click();
    m_form1->timer2().stop();
    m_scanLogger->setNextKind(ScanLogEntry::Kind::Scheduled);
    if (schedule.customFolders)
        m_engine->startCustomScan(schedule.folders);
    else
        m_engine->fullScanCommand();
    m_scanLogger->clearNextKind();
    // Nothing started: the engine said why (and the log has it as failed).
    if (m_data->session.isIdle()) {
        if (failed)
            *failed = true;
        return m_engine->failureReason().isEmpty() ? QStringLiteral("The scan did not start.")
                                                   : m_engine->failureReason();
    }
    return {};
}

QString Application::removalRunningText() {
    return QStringLiteral(
        "Infected files are being removed. Scan again when the removal has finished.");
}

QString Application::openQuestionText() {
    return QStringLiteral(
        "Vizavuz AntiVirus is waiting for an answer in an open window. Answer it, then scan "
        "again.");
}

QString Application::updateRunningText() {
    return QStringLiteral(
        "The virus database is being updated. Scan again when the update has finished.");
}

QString Application::scanRefusal() const {
    if (m_shutDown)
        return QStringLiteral("Vizavuz AntiVirus is closing.");
    if (m_data->session.state() != ScanSession::idle())
        return ScanWindows::scanRunningText();
    if (m_scanWindows->removal().isRunning())
        return removalRunningText();
    // A scan start removes staged downloads, which would break a download under way.
    const DatabaseDownload::State update = m_updates->download().state();
    if (update == DatabaseDownload::State::Waiting ||
        update == DatabaseDownload::State::Downloading)
        return updateRunningText();
    // An answer still due about the last scan's findings or about an update would act on the
    // new scan instead.
    const QWidget *questions[] = {m_scanWindows->form3(), m_scanWindows->form11(),
                                  m_scanWindows->form16(), &m_updates->prompt(),
                                  &m_updates->downloadWindow()};
    for (const QWidget *window : questions)
        if (window && window->isVisible())
            return openQuestionText();
    // Findings of a scan that ended in the tray wait for the user just the same.
    if (m_scanWindows->offerPending())
        return openQuestionText();
    return {};
}

QString Application::scanEntries(const QStringList &entries, ScanLogEntry::Kind kind) {
    if (entries.isEmpty())
        return {};
    const QString refusal = scanRefusal();
    if (!refusal.isEmpty()) {
        if (!m_shutDown)
            showFailure(m_form1.get(), refusal);
        return refusal;
    }
    // As the custom-scan command: the Scan page, the scan, and no scheduled update prompt
    // coming up over it.
    m_form1->Image3Click();
    m_form1->timer2().stop();
    m_scanLogger->setNextKind(kind);
    if (!m_engine->startCustomScan(entries)) {
        m_scanLogger->clearNextKind();
        return ScanWindows::scanRunningText();
    }
    return {};
}

void Application::show(bool inTray) {
    TForm1 &form = *m_form1;
    placement::centreOnScreen(form);
    if (inTray)
        m_shell->tray().minimizeToTray();
    else
        form.show();
    timestamp("main_shown_ms");
    m_scanLog->open();
    if (!m_report.problems.isEmpty()) {
        const QString text = m_report.problems.join(QLatin1Char('\n'));
        QTimer::singleShot(0, &form, [this, text] { showFailure(m_form1.get(), text); });
    }
}

void Application::bringToFront() {
    m_shell->tray().bringBack();
}

void Application::endOnTermination() {
    // SIGTERM, SIGINT or SIGHUP: the same shutdown as closing the window (the scanner stopped,
    // the records written), then every event loop ends, modal ones included. The second exit
    // also ends a loop that only starts afterwards, as when the signal came during the splash.
    QObject::connect(
        m_termination.get(), &platform::TerminationWatch::requested, m_termination.get(), [this] {
            shutdown();
            QCoreApplication::exit(0);
            QTimer::singleShot(0, QCoreApplication::instance(), [] { QCoreApplication::exit(0); });
        });
}

void Application::shutdown() {
    if (m_shutDown)
        return;
    m_shutDown = true;
    if (m_notices)
        m_notices->switchOff();
    Startup::shutdown(*m_data);
}
