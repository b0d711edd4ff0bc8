#include "ui/updatewindows.h"

#include <utility>

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>

#include "app/programdata.h"
#include "scan/scanengine.h"
#include "ui/skin/messagedialog.h"
#include "ui/skin/skinbutton.h"
#include "ui/skin/skindialog.h"
#include "ui/tform1.h"
#include "ui/tform12.h"
#include "update/connectivitycheck.h"
#include "update/databasedownload.h"
#include "update/databasesource.h"
#include "update/databaseverify.h"
#include "update/systemdatabase.h"
#include "update/updateschedule.h"
#include "update/updatetexts.h"
#include "update/updatewait.h"

namespace {

// Runs `onClick` when the left button is released over the watched label.
class ClickFilter : public QObject {
public:
    ClickFilter(QObject *parent, std::function<void()> onClick)
        : QObject(parent), m_onClick(std::move(onClick)) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::MouseButtonRelease) {
            auto *me = static_cast<QMouseEvent *>(event);
            auto *w = qobject_cast<QWidget *>(watched);
            if (me->button() == Qt::LeftButton && w && w->rect().contains(me->position().toPoint()))
                m_onClick();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_onClick;
};

}  // namespace

UpdateWindows::UpdateWindows(ProgramData &data, SkinButtons &skin, TForm1 &form, ScanEngine &engine,
                             FailureReporter showFailure)
    : m_data(data),
      m_form(form),
      m_engine(engine),
      m_showFailure(std::move(showFailure)),
      m_ask(&MessageDialog::ask),
      m_system(std::make_unique<SystemDatabase>(SystemDatabase::defaultConfigFile(),
                                                databaseverify::defaultTool(data.folders.program))),
      m_source(std::make_unique<DatabaseSource>(data, *m_system)),
      m_schedule(std::make_unique<UpdateSchedule>(data)),
      m_download(std::make_unique<DatabaseDownload>(data)),
      m_check(std::make_unique<ConnectivityCheck>(data)),
      m_prompt(std::make_unique<TForm15>(skin)),
      m_form8(std::make_unique<TForm8>(skin)),
      m_form14(std::make_unique<TForm14>(skin)),
      m_form12(std::make_unique<TForm12>(data)) {
    m_gauge = m_form8->findChild<QProgressBar *>(QStringLiteral("Gauge1"));
    m_form12->setFailureReporter(
        [this](const QString &text) { m_showFailure(m_form12.get(), text); });
    m_form12->setDatabaseSource(m_source.get(), [this](const QString &question) {
        return m_ask(m_form12.get(), question);
    });
    connect(m_form12.get(), &TForm12::settingsSaved, this, &UpdateWindows::fillUpdateLabels);
    // sigtool reads the system's databases while the program starts.
    m_system->checkInBackground();
    connectPrompt();
    connectDownloadWindow();
    connectFailureWindow();
    connectHooks();
}

UpdateWindows::~UpdateWindows() {
    // A download still running when the program ends records nothing.
    m_download->cancel();
}

void UpdateWindows::connectHooks() {
    TForm1::Hooks &h = m_form.hooks;
    h.scheduledCheck = [this] { scheduledCheck(); };
    h.preScanOffer = [this](int action) {
        m_schedule->setPendingScanAction(action);
        if (m_source->staleNoticeDue())
            return offerOwnCopy();
        if (m_source->effective() == DatabaseSource::Choice::System)
            return false;
        switch (m_schedule->preScanOffer()) {
            case UpdateSchedule::Offer::None:
                return false;
            case UpdateSchedule::Offer::Prompt:
                showPrompt();
                return true;
            case UpdateSchedule::Offer::Download:
                // No question; the scan the user asked for follows a download that succeeded.
                m_scanAfterDownload = true;
                showDownload();
                return true;
        }
        return false;
    };
    h.fillUpdateLabels = [this] { fillUpdateLabels(); };
    h.checkNow = [this] {
        if (m_data.session.isIdle() && !tellSystemKeeps() && !tellWait())
            showDownload();
    };
    h.updateSettings = [this] { m_form12->showDialog(); };
    h.connectAndDownload = [this] { connectAndDownload(); };
    connect(m_check.get(), &ConnectivityCheck::passed, this, [this] { showDownload(); });
    connect(m_check.get(), &ConnectivityCheck::failed, this,
            [this](bool report, const QString &reason) {
                if (report)
                    showFailureWindow(reason, false);
            });
    connect(m_schedule.get(), &UpdateSchedule::timerOnChanged, &m_form, [this](bool on) {
        if (!on)
            m_form.timer2().stop();
    });
}

void UpdateWindows::scheduledCheck() {
    const UpdateSchedule::Tick tick = m_schedule->scheduledCheck(m_prompt->isVisible());
    if (m_schedule->timerOn() && m_data.session.isIdle() && !m_prompt->isVisible()) {
        // The system keeps the databases: nothing to ask, unless they have grown stale.
        if (m_source->staleNoticeDue()) {
            switchScheduledCheckOff();
            offerOwnCopy();
            return;
        }
        if (m_source->effective() == DatabaseSource::Choice::System) {
            switchScheduledCheckOff();
            return;
        }
    }
    switch (tick) {
        case UpdateSchedule::Tick::Skip:
            return;
        case UpdateSchedule::Tick::Prompt:
            // Off first: the prompt's loop must not see further ticks as new checks.
            switchScheduledCheckOff();
            showPrompt();
            return;
        case UpdateSchedule::Tick::Done:
            switchScheduledCheckOff();
            return;
        case UpdateSchedule::Tick::Download:
            switchScheduledCheckOff();
            showDownload();
            return;
    }
}

void UpdateWindows::switchScheduledCheckOff() {
    m_schedule->switchTimerOff();
    m_form.timer2().stop();
}

void UpdateWindows::connectPrompt() {
    // Modal without a nested loop: the answer is carried out once the prompt has closed, so that
    // the window it opens is not stacked over a prompt that is already answered.
    m_prompt->setWindowModality(Qt::ApplicationModal);
    connect(m_prompt.get(), &TForm15::image2Clicked, this, [this] {
        m_promptAnswer = 2;
        m_prompt->accept();
    });
    connect(m_prompt.get(), &TForm15::image3Clicked, this, [this] {
        m_promptAnswer = 3;
        m_prompt->reject();
    });
    connect(m_prompt.get(), &QDialog::finished, this, [this] {
        const int answer = std::exchange(m_promptAnswer, 0);
        if (answer == 2)
            showDownload();
        else if (answer == 3)
            runPendingScan();
    });
}

void UpdateWindows::runPendingScan() {
    const int action = m_schedule->pendingScanAction();
    if (action == UpdateSchedule::FullScan)
        m_engine.fullScanCommand();
    else if (action == UpdateSchedule::CustomScan && m_form.hooks.customScan)
        m_form.hooks.customScan();
}

void UpdateWindows::showPrompt() {
    if (m_prompt->isVisible()) {
        m_prompt->raise();
        m_prompt->activateWindow();
        return;
    }
    m_promptAnswer = 0;
    m_prompt->show();
}

void UpdateWindows::setGauge(int maximum, int progress) {
    // A maximum of 0 (length unknown) shows 0 % rather than the busy indicator.
    if (maximum <= 0) {
        m_gauge->setRange(0, 1);
        m_gauge->setValue(0);
        return;
    }
    m_gauge->setRange(0, maximum);
    m_gauge->setValue(qBound(0, progress, maximum));
}

void UpdateWindows::connectDownloadWindow() {
    DatabaseDownload *d = m_download.get();
    TForm8 *w = m_form8.get();
    QLabel *done = w->findChild<QLabel *>(QStringLiteral("Label2"));
    w->setWindowModality(Qt::ApplicationModal);
    setGauge(0, 0);
    connect(d, &DatabaseDownload::gaugeMaximumChanged, this,
            [this, d](int) { setGauge(d->gaugeMaximum(), d->gaugeProgress()); });
    connect(d, &DatabaseDownload::gaugeProgressChanged, this,
            [this, d](int) { setGauge(d->gaugeMaximum(), d->gaugeProgress()); });
    connect(d, &DatabaseDownload::gaugeVisibleChanged, m_gauge, &QWidget::setVisible);
    connect(d, &DatabaseDownload::successVisibleChanged, done, &QWidget::setVisible);
    connect(d, &DatabaseDownload::scheduledCheckOffRequested, this,
            &UpdateWindows::switchScheduledCheckOff);
    connect(d, &DatabaseDownload::failed, this, [this](const QString &reason) {
        showFailureWindow(reason, m_download->failedAfterDownload());
    });
    // The Virus Database page shows the new figures at once.
    connect(d, &DatabaseDownload::succeeded, this, &UpdateWindows::fillUpdateLabels);
    connect(d, &DatabaseDownload::settingsWriteFailed, this,
            [this](const QString &message) { m_showFailure(m_form8.get(), message); });
    connect(d, &DatabaseDownload::installFailed, this,
            [this](const QString &message) { m_showFailure(&m_form, message); });
    connect(w, &TForm8::image2Clicked, this, [this] {
        if (m_download->closeAllowed())
            m_form8->accept();
    });
    connect(w, &TForm8::image3Clicked, this, [this] { m_form8->reject(); });
    // However the window goes (cancel, the failure window), a download that is still
    // waiting or running is stopped and records nothing.
    connect(w, &QDialog::finished, this, [this] {
        const DatabaseDownload::State s = m_download->state();
        if (s == DatabaseDownload::State::Waiting || s == DatabaseDownload::State::Downloading)
            m_download->cancel();
        if (std::exchange(m_scanAfterDownload, false) && s == DatabaseDownload::State::Completed)
            runPendingScan();
    });
}

void UpdateWindows::showDownload() {
    if (m_form8->isVisible()) {
        m_form8->raise();
        m_form8->activateWindow();
        return;
    }
    m_download->start();
    m_form8->show();
}

bool UpdateWindows::tellSystemKeeps() {
    if (m_source->effective() != DatabaseSource::Choice::System)
        return false;
    const SystemDatabaseState state = m_source->system();
    m_showFailure(&m_form, state.present ? updatetexts::systemUpdated(state.updated, state.version,
                                                                      state.built)
                                         : updatetexts::systemNotFound(state.problem));
    return true;
}

bool UpdateWindows::offerOwnCopy() {
    const SystemDatabaseState state = m_source->system();
    // Told once per build of daily, whatever the answer.
    Status noted = m_source->staleNoticeGiven();
    const bool own = m_ask(&m_form, updatetexts::systemStale(state.built));
    Status stored =
        m_source->store(own ? DatabaseSource::Choice::Own : DatabaseSource::Choice::System);
    for (const Status *status : {&noted, &stored})
        if (!status->ok()) {
            m_showFailure(&m_form, status->message());
            break;
        }
    fillUpdateLabels();
    if (!own)
        return false;
    if (!tellWait())
        showDownload();
    return true;
}

void UpdateWindows::offerFirstUpdate(const QString &reason) {
    if (!m_ask(&m_form, updatetexts::noDatabaseOffer(reason)))
        return;
    // The user asked for a download: the program keeps its own copy from now on.
    if (m_source->stored() == DatabaseSource::Choice::System) {
        const Status stored = m_source->store(DatabaseSource::Choice::Own);
        if (!stored.ok())
            m_showFailure(&m_form, stored.message());
    }
    if (!tellWait())
        showDownload();
}

bool UpdateWindows::tellWait() {
    const QDateTime until = updatewait::until(m_data.registry());
    if (!until.isValid())
        return false;
    m_showFailure(&m_form, updatetexts::waitUntil(until));
    return true;
}

void UpdateWindows::connectFailureWindow() {
    TForm14 *w = m_form14.get();
    // One line under the checklist: what went wrong this time.
    m_reason = new QLabel(w);
    m_reason->setObjectName(QStringLiteral("lblReason"));
    m_reason->setGeometry(16, 170, 335, 18);
    m_reason->setAttribute(Qt::WA_TranslucentBackground);
    QFont bold = m_reason->font();
    bold.setBold(true);
    m_reason->setFont(bold);
    connect(w, &TForm14::image2Clicked, w, &QDialog::accept);
    if (QLabel *link = w->findChild<QLabel *>(QStringLiteral("Label7")))
        link->installEventFilter(new ClickFilter(link, [this] { m_form12->showDialog(); }));
}

void UpdateWindows::showFailureWindow(const QString &reason, bool downloaded) {
    TForm14 *w = m_form14.get();
    // A file that arrived but was refused is no connection problem: the checklist and its
    // settings link give way to what was wrong with the file, in full.
    QLabel *heading = w->findChild<QLabel *>(QStringLiteral("Label1"));
    if (m_checklistHeading.isEmpty())
        m_checklistHeading = heading->text();
    heading->setText(downloaded ? QStringLiteral("The file was downloaded but not installed:")
                                : m_checklistHeading);
    for (const char *name : {"Label2", "Label3", "Label4", "Label5", "Label6", "Label7"})
        if (QLabel *l = w->findChild<QLabel *>(QString::fromLatin1(name)))
            l->setVisible(!downloaded);
    m_reason->setToolTip(reason);
    if (downloaded) {
        // Wrapped over the checklist's room, above the close button; a path may break
        // after any of its slashes.
        QString text = reason;
        text.replace(QLatin1Char('/'), QStringLiteral("/\u200b"));
        const QRect room(16, 82, 335, 104);
        m_reason->setWordWrap(true);
        m_reason->setGeometry(room);
        m_reason->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        const QRect needed =
            m_reason->fontMetrics().boundingRect(room, Qt::TextWordWrap | Qt::AlignLeft, text);
        m_reason->setText(
            needed.height() <= room.height()
                ? text
                : m_reason->fontMetrics().elidedText(
                      text, Qt::ElideMiddle,
                      room.width() * room.height() / m_reason->fontMetrics().height()));
    } else {
        // Too long for the line: shortened in the middle, the whole text as the tool tip.
        m_reason->setWordWrap(false);
        m_reason->setGeometry(16, 170, 335, 18);
        m_reason->setText(
            m_reason->fontMetrics().elidedText(reason, Qt::ElideMiddle, m_reason->width()));
    }
    // The failure window replaces the download window.
    if (m_form8->isVisible())
        m_form8->reject();
    if (m_form14->isVisible()) {
        m_form14->raise();
        return;
    }
    m_form14->show();
}

void UpdateWindows::fillUpdateLabels() {
    auto set = [this](const char *name, const QString &text) {
        if (QLabel *l = m_form.findChild<QLabel *>(QString::fromLatin1(name))) {
            l->setText(text);
            l->adjustSize();  // the labels are made empty; they grow to their figures
        }
    };
    set("lblSize", m_schedule->sizeText());
    set("lblUpdate", m_schedule->updateText());
    set("lblUpdates", m_schedule->updatesText());
    if (m_source->effective() == DatabaseSource::Choice::System) {
        const SystemDatabaseState state = m_source->system();
        if (state.present) {
            set("lblUpdate", updatetexts::shortDate(state.built));
            set("lblDatabase", updatetexts::systemVersion(state.version));
        } else {
            set("lblDatabase", updatetexts::systemMissing());
        }
    } else {
        set("lblDatabase", updatetexts::ownChoice());
    }
}

void UpdateWindows::connectAndDownload() {
    if (m_check->running() || tellSystemKeeps() || tellWait())
        return;
    m_check->run(true);
}
