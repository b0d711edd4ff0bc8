#include "ui/scanwindows.h"

#include <algorithm>

#include <QEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include "app/programdata.h"
#include "scan/scanengine.h"
#include "ui/skin/messagedialog.h"
#include "ui/skin/skinbutton.h"
#include "ui/skin/skinbuttons.h"
#include "ui/skin/skindialog.h"
#include "ui/placement.h"
#include "ui/tform1.h"
#include "vault/listdelegates.h"
#include "vault/removalrun.h"
#include "vault/restore.h"
#include "vault/vaultdeletion.h"

namespace {

constexpr int kDirectoryRowHeight = 13;

QLabel *labelOf(QWidget *dialog, const char *name) {
    return dialog->findChild<QLabel *>(QString::fromLatin1(name));
}

// Shows a dialog modally for the whole program without a nested event loop.
void showModal(QDialog *dialog) {
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

// The scan's result windows do not wait for an answer: the program stays usable behind them.
void showWithoutWaiting(QDialog *dialog) {
    dialog->setWindowModality(Qt::NonModal);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

// Places a note of a result window at `top`, as high as its wrapped lines need. A note too long
// for the room above the buttons moves them down and makes the window taller by as much.
void fitNote(SkinDialog *dialog, QLabel *note, int top) {
    const DialogFrame &frame = dialog->frame();
    int bottom = top;
    if (!note->text().isEmpty()) {
        const int height = note->heightForWidth(note->width());
        note->setGeometry(note->x(), top, note->width(), height);
        bottom = top + height;
    }
    int buttonsTop = frame.size.height();
    for (const DialogFrame::Button &b : frame.buttons)
        buttonsTop = std::min(buttonsTop, b.pos.y());
    const int shift = std::max(0, bottom + 6 - buttonsTop);
    for (const DialogFrame::Button &b : frame.buttons)
        dialog->button(QString::fromLatin1(b.name))->move(b.pos + QPoint(0, shift));
    dialog->setFixedSize(frame.size + QSize(0, shift));
}

void addDirectoryRow(QListWidget *list, const QString &text) {
    auto *item = new QListWidgetItem(text, list);
    item->setSizeHint(QSize(list->viewport()->width(), kDirectoryRowHeight));
}

}  // namespace

ScanWindows::ScanWindows(ProgramData &data, ScanEngine &engine, TForm1 &form, SkinButtons &skin,
                         ShowFailure showFailure, QObject *parent)
    : QObject(parent),
      m_data(data),
      m_engine(engine),
      m_form(form),
      m_showFailure(std::move(showFailure)),
      m_removal(new RemovalRun(
          data, [&engine] { engine.stopRoutine(); }, this)),
      m_restorer(new Restorer(data, this)),
      m_deletion(new VaultDeletion(data, this)),
      m_form3(new TForm3(skin, &form)),
      m_form6(new TForm6(skin, &form)),
      m_form7(new TForm7(skin, &form)),
      m_form11(new TForm11(skin, &form)),
      m_form16(new TForm16(skin, &form)),
      m_form17(new TForm17(skin, &form)) {
    setObjectName(QStringLiteral("ScanWindows"));
    // The skin's first paint ran before these dialogs existed: draw their buttons now.
    for (SkinDialog *d : std::initializer_list<SkinDialog *>{m_form3, m_form6, m_form7, m_form11,
                                                             m_form16, m_form17})
        for (const DialogFrame::Button &b : d->frame().buttons)
            skin.paint(b.skinIndex);
    chooseFolder = &ScanWindows::chooseFolderWithDialog;
    ask = &MessageDialog::ask;
    connectScanResults();
    connectRemoval();
    connectCustomScan();
    connectLists();
}

ScanWindows::~ScanWindows() {
    for (QDialog *d : {static_cast<QDialog *>(m_form3), static_cast<QDialog *>(m_form6),
                       static_cast<QDialog *>(m_form7), static_cast<QDialog *>(m_form11),
                       static_cast<QDialog *>(m_form16), static_cast<QDialog *>(m_form17)})
        delete d;
}

QString ScanWindows::chooseFolderWithDialog(QWidget *parent) {
    QFileDialog dialog(parent, QStringLiteral("Select a Folder"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    // From the user's home, not from wherever the program happened to be started.
    dialog.setDirectory(QDir::homePath());
    // Centred on the work area of the screen once it has its size.
    QTimer::singleShot(0, &dialog, [&dialog] { placement::centreOnScreen(dialog); });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString ScanWindows::incompleteText(int unreadableFiles) {
    return QStringLiteral(
               "The scan did not cover everything.\n%1 file(s) could not be read and were not "
               "scanned.")
        .arg(unreadableFiles);
}

QString ScanWindows::beyondListText(int beyondList) {
    return QStringLiteral(
               "%1 of them could not be listed (the list holds %2) and remain: remove the "
               "listed ones, then scan again.")
        .arg(beyondList)
        .arg(InfectionList::capacity);
}

QString ScanWindows::unfinishedText(const QString &reason) {
    constexpr int room = 80;
    const QString shown =
        reason.size() > room ? reason.left(room - 3) + QStringLiteral("...") : reason;
    return QStringLiteral("The scan did not finish (%1); these were found before it ended.")
        .arg(shown);
}

QString ScanWindows::unlistedNote(qint64 count, const QByteArray &folder) {
    QString text =
        QStringLiteral("%1 more infection(s) could not be listed (a name holds a line break)")
            .arg(count);
    if (!folder.isEmpty())
        text += QStringLiteral(", below ") + QFile::decodeName(folder);
    return text + QLatin1Char('.');
}

QString ScanWindows::notRemovedText(int notRemoved) {
    return QStringLiteral("%1 infected file(s) could not be removed and are still listed.")
        .arg(notRemoved);
}

QString ScanWindows::unconfirmedText(int unconfirmed) {
    return QStringLiteral(
               "%1 listed file(s) were left in place: the scanner did not confirm them when "
               "asked again.")
        .arg(unconfirmed);
}

QString ScanWindows::neutralisedText(int neutralised) {
    return QStringLiteral(
               "%1 file(s) could not be deleted: each was cut to one byte where it is, and its "
               "content is in the virus vault.")
        .arg(neutralised);
}

QString ScanWindows::vaultFullText() {
    return QStringLiteral("The virus vault is full: restore files to make room.");
}

QString ScanWindows::scanRunningText() {
    return QStringLiteral(
        "A scan is already running or paused. Stop it before starting a custom scan.");
}

QString ScanWindows::removalRunningText() {
    return QStringLiteral(
        "Infected files are being removed. Wait until the removal has finished before "
        "starting a scan.");
}

void ScanWindows::connectScanResults() {
    // Under the question: why the scan that found these did not finish.
    QLabel *unfinished = m_form11->addLabel("Label5", QString(), QRect(24, 130, 320, 34));
    unfinished->setWordWrap(true);
    unfinished->hide();
    connect(&m_engine, &ScanEngine::infectionsFoundWindowRequested, this,
            [this, unfinished](int count) {
                labelOf(m_form11, "Label1")->setText(QString::number(count));
                const QString reason = m_engine.failureReason();
                const QString note = reason.isEmpty() ? QString()
                                     : m_engine.unlistedInfections() > 0
                                         ? unlistedNote(m_engine.unlistedInfections(),
                                                        m_engine.parser().unlistedFolder())
                                         : unfinishedText(reason);
                QStringList lines;
                if (m_engine.foundBeyondList() > 0)
                    lines << beyondListText(m_engine.foundBeyondList());
                if (!note.isEmpty())
                    lines << note;
                unfinished->setText(lines.join(QLatin1Char('\n')));
                unfinished->setToolTip(reason);
                unfinished->setVisible(!lines.isEmpty());
                fitNote(m_form11, unfinished, 132);
                showResultWindow(m_form11);
            });
    connect(m_form11, &TForm11::image2Clicked, this, [this] {
        m_form11->close();
        if (m_data.infections.count() >= 1)
            m_removal->start();
    });
    connect(m_form11, &TForm11::image3Clicked, m_form11, &QDialog::close);

    connect(&m_engine, &ScanEngine::noInfectionsWindowRequested, this,
            [this] { showResultWindow(m_form17); });
    // A scan that ended while the main window was in the tray offers its result when the
    // window comes back, never before.
    m_form.installEventFilter(this);
    connect(m_form17, &TForm17::image2Clicked, m_form17, &QDialog::close);

    // scanFailed and recordWriteFailed reach the user through the composition root.
    // Infections beyond the list are told in the infections-found window itself.
    connect(&m_engine, &ScanEngine::scanIncomplete, this, [this](int unreadable, int) {
        if (unreadable > 0)
            m_showFailure(&m_form, incompleteText(unreadable));
    });
}

void ScanWindows::showResultWindow(QDialog *window) {
    m_pendingResult = nullptr;
    if (!m_form.isVisible()) {
        m_pendingResult = window;
        return;
    }
    showWithoutWaiting(window);
}

void ScanWindows::connectRemoval() {
    m_form.hooks.remove = [this] { m_removal->removeFoundInfections(); };
    // The findings are confirmed by the scanner and databases of the scan that made them,
    // leaving out what is excluded now.
    m_removal->setConfirmCommand([this] {
        return ScanConfirmation::Command::ofScan(m_engine.lastScannerPath(),
                                                 m_engine.argumentsWithCurrentExclusions(),
                                                 QFile::encodeName(m_data.folders.program));
    });

    connect(m_removal, &RemovalRun::confirmStopRequested, this, [this] { showModal(m_form3); });
    connect(m_form3, &TForm3::image3Clicked, this, [this] {
        m_engine.stopScan();
        m_form3->close();
    });
    connect(m_form3, &TForm3::image2Clicked, m_form3, &QDialog::close);

    auto showProgress = [this] {
        labelOf(m_form7, "Label1")->setText(m_removal->doneText());
        // A long threat name in bold runs past the window's edge: it ends in an ellipsis
        // there and shows whole as the tooltip.
        QLabel *threat = labelOf(m_form7, "Label4");
        const QString text = m_removal->threatText();
        const int room = m_form7->width() - threat->x() - 8;
        threat->setText(threat->fontMetrics().elidedText(text, Qt::ElideRight, room));
        threat->setToolTip(text);
    };
    connect(m_removal, &RemovalRun::removalWindowOpened, this, [this, showProgress] {
        showProgress();
        showModal(m_form7);
    });
    connect(m_removal, &RemovalRun::progressChanged, this, showProgress);
    // The window closes itself when the run ends, and only then (see eventFilter).
    connect(m_removal, &RemovalRun::removalWindowClosed, m_form7, &QDialog::accept);
    m_form7->installEventFilter(this);
    // No scan starts while a run walks the infection list, from whatever window it is asked.
    m_engine.setStartGuard(
        [this] { return m_removal->isRunning() ? removalRunningText() : QString(); });
    connect(&m_engine, &ScanEngine::scanRefused, this,
            [this](const QString &reason) { m_showFailure(&m_form, reason); });
    connect(m_removal, &RemovalRun::resultsWindowRequested, this, &ScanWindows::showResults);
    connect(m_removal, &RemovalRun::saveFailed, this,
            [this](const QString &message) { m_showFailure(&m_form, message); });
    connect(m_removal, &RemovalRun::noticeRaised, this,
            [this](const QString &message) { m_showFailure(&m_form, message); });
    // The vault list shows the new quarantined files at once.
    connect(m_removal, &RemovalRun::finished, this, &ScanWindows::fillVaultList);

    // A line under the fixed texts for what did not go as the title says.
    QLabel *extra = m_form6->addLabel("Label5", QString(), QRect(40, 132, 300, 32));
    extra->setWordWrap(true);
    connect(m_form6, &TForm6::image3Clicked, m_form6, &QDialog::close);
}

void ScanWindows::showResults(int removed, int notRemoved, bool vaultFull, int unconfirmed) {
    labelOf(m_form6, "Label2")->setText(QString::number(removed));
    QStringList lines;
    if (notRemoved > unconfirmed)
        lines << notRemovedText(notRemoved - unconfirmed);
    if (unconfirmed > 0)
        lines << unconfirmedText(unconfirmed);
    if (const int neutralised = m_removal->neutralisedCount(); neutralised > 0)
        lines << neutralisedText(neutralised);
    if (vaultFull)
        lines << vaultFullText();
    QLabel *extra = labelOf(m_form6, "Label5");
    extra->setText(lines.join(QLatin1Char('\n')));
    extra->setVisible(!lines.isEmpty());
    // "have been quarantined" is only true when something was.
    QLabel *quarantined = labelOf(m_form6, "Label3");
    quarantined->setVisible(removed > 0);
    fitNote(m_form6, extra, removed > 0 ? quarantined->geometry().bottom() + 8 : quarantined->y());
    showModal(m_form6);
}

QListWidget *ScanWindows::directoryList() const {
    return m_form16->findChild<QListWidget *>(QStringLiteral("ListBox"));
}

void ScanWindows::connectCustomScan() {
    m_form.hooks.customScan = [this] { showCustomScan(); };
    QListWidget *list = directoryList();
    list->setUniformItemSizes(true);
    connect(m_form16->findChild<QPushButton *>(QStringLiteral("Button1")), &QPushButton::clicked,
            this, &ScanWindows::addDirectory);
    connect(m_form16->findChild<QPushButton *>(QStringLiteral("Button2")), &QPushButton::clicked,
            this, &ScanWindows::removeSelectedDirectories);
    connect(m_form16, &TForm16::image2Clicked, this, &ScanWindows::startCustomScan);
    connect(m_form16, &TForm16::image3Clicked, m_form16, &QDialog::close);
}

void ScanWindows::showCustomScan() {
    // Every opening starts again from the fixed disks.
    QListWidget *list = directoryList();
    list->clear();
    for (const QString &disk : m_engine.fixedDisks())
        addDirectoryRow(list, disk);
    showModal(m_form16);
}

void ScanWindows::addDirectory() {
    const QString folder = chooseFolder ? chooseFolder(m_form16) : QString();
    if (!folder.isEmpty())
        addDirectoryRow(directoryList(), folder);
}

void ScanWindows::removeSelectedDirectories() {
    QListWidget *list = directoryList();
    if (!list->currentItem())
        return;
    qDeleteAll(list->selectedItems());
}

void ScanWindows::startCustomScan() {
    QListWidget *list = directoryList();
    QStringList entries;
    for (int i = 0; i < list->count(); ++i)
        entries << list->item(i)->text();
    // A start refused during a removal run has told the user why already.
    if (!entries.isEmpty() && !m_engine.startCustomScan(entries) && !m_removal->isRunning())
        m_showFailure(&m_form, scanRunningText());
    m_form16->close();
}

void ScanWindows::connectLists() {
    QListWidget *infections = m_form.infectionsList();
    infections->setItemDelegate(new InfectionsDelegate(m_data.infections, infections));
    infections->viewport()->installEventFilter(this);
    QListWidget *vault = m_form.vaultList();
    vault->setItemDelegate(new VirusDbDelegate(m_data.vault, vault));
    m_form.hooks.vaultRows = [this] { return m_restorer->vaultRows(); };
    m_form.hooks.restore = [this](int which) { restoreSelected(which); };
    m_form.hooks.deleteFromVault = [this] { deleteSelected(); };
    connect(m_restorer, &Restorer::vaultRowsChanged, this, &ScanWindows::fillVaultList);
    connect(m_deletion, &VaultDeletion::vaultRowsChanged, this, &ScanWindows::fillVaultList);
    // A file standing where a restore would put its copy is replaced only when the user says so.
    m_restorer->confirmReplace = [this](const QString &destination) {
        return ask && ask(&m_form, Restorer::replaceQuestion(destination));
    };
    fillVaultList();
}

void ScanWindows::fillVaultList() {
    m_form.fillVaultList();
}

void ScanWindows::restoreSelected(int which) {
    QListWidget *vault = m_form.vaultList();
    const QList<QListWidgetItem *> selected = vault->selectedItems();
    if (selected.isEmpty())
        return;
    const int row = vault->row(selected.constFirst());
    Status result = Status::success();
    if (which == 1) {
        result = m_restorer->restoreToOriginal(row);
    } else {
        const QString folder = chooseFolder ? chooseFolder(&m_form) : QString();
        if (folder.isEmpty())
            return;
        result = m_restorer->restoreToFolder(row, folder);
    }
    if (!result.ok())
        m_showFailure(&m_form, result.message());
}

void ScanWindows::deleteSelected() {
    QListWidget *vault = m_form.vaultList();
    const QList<QListWidgetItem *> selected = vault->selectedItems();
    if (selected.isEmpty())
        return;
    const int row = vault->row(selected.constFirst());
    const QString question = m_deletion->question(row);
    if (question.isEmpty() || !ask || !ask(&m_form, question))
        return;
    if (const Status result = m_deletion->deleteRow(row); !result.ok())
        m_showFailure(&m_form, result.message());
}

bool ScanWindows::eventFilter(QObject *watched, QEvent *event) {
    // The removal window has no button and closes itself: Escape and a close asked by the
    // window manager do nothing while the run goes on.
    if (watched == m_form7 && m_removal->isRunning()) {
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape)
            return true;
        if (event->type() == QEvent::Close) {
            event->ignore();
            return true;
        }
    }
    if (watched == &m_form && event->type() == QEvent::Show && m_pendingResult) {
        QDialog *window = m_pendingResult;
        m_pendingResult = nullptr;
        QTimer::singleShot(0, window, [window] { showWithoutWaiting(window); });
    }
    // Any press repaints the whole infection list.
    if (event->type() == QEvent::MouseButtonPress && watched == m_form.infectionsList()->viewport())
        m_form.infectionsList()->viewport()->update();
    return QObject::eventFilter(watched, event);
}
