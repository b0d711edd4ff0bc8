#include "ui/tform12.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "app/programdata.h"
#include "update/databasesource.h"
#include "update/httpfetch.h"
#include "update/updatetexts.h"
#include "ui/fonts.h"
#include "ui/placement.h"

namespace {
template <typename W>
W *place(W *widget, const char *name, int left, int top) {
    widget->setObjectName(QLatin1StringView(name));
    widget->move(left, top);
    return widget;
}

QLabel *label(QWidget *parent, const char *name, const char *text, int left, int top) {
    auto *l = place(new QLabel(QString::fromLatin1(text), parent), name, left, top);
    l->adjustSize();
    return l;
}

QLineEdit *edit(QWidget *parent, const char *name, int left, int top, int width) {
    auto *e = place(new QLineEdit(parent), name, left, top);
    e->resize(width, 21);
    e->setEnabled(false);
    return e;
}

QButtonGroup *radioGroup(QGroupBox *box, const char *prefix, const QStringList &items, int firstTop,
                         int step) {
    auto *group = new QButtonGroup(box);
    for (int i = 0; i < items.size(); ++i) {
        auto *button = new QRadioButton(items[i], box);
        button->setObjectName(QString::fromLatin1(prefix) + QString::number(i));
        button->move(12, firstTop + i * step);
        button->adjustSize();
        group->addButton(button, i);
    }
    return group;
}
}  // namespace

TForm12::TForm12(ProgramData &data, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint), m_data(data) {
    setObjectName(QStringLiteral("TForm12"));
    setWindowTitle(QStringLiteral("Virus Database Updates"));
    setFixedSize(533, 356);
    setFont(fonts::dialog());

    auto *group1 = place(new QGroupBox(QStringLiteral("Check For Virus Database Updates:"), this),
                         "RadioGroup1", 8, 8);
    group1->resize(273, 185);
    m_frequency = radioGroup(
        group1, "RadioGroup1_",
        {QStringLiteral("Daily (Recommended)"), QStringLiteral("Weekly"), QStringLiteral("Monthly"),
         QStringLiteral("Intervals of:"), QStringLiteral("Never Check")},
        28, 30);

    // The spin box lies on a borderless panel over the group, beside "Intervals of:".
    auto *panel1 = place(new QFrame(this), "Panel1", 104, 123);
    panel1->setFrameShape(QFrame::NoFrame);
    panel1->resize(89, 22);
    m_spin = place(new QSpinBox(panel1), "SpinEdit1", 0, 0);
    m_spin->resize(89, 22);
    m_spin->setRange(0, 100);
    m_spin->setValue(0);
    m_spin->setEnabled(false);
    label(this, "Label1", "days", 208, 128);

    auto *group2 = place(new QGroupBox(QStringLiteral("When Updates Are Found:"), this),
                         "RadioGroup2", 8, 208);
    group2->resize(273, 81);
    m_whenFound = radioGroup(
        group2, "RadioGroup2_",
        {QStringLiteral("Ask me to download"), QStringLiteral("Automatically download")}, 24, 26);

    auto *proxy = place(new QGroupBox(QStringLiteral("Proxy Settings"), this), "GroupBox1", 296, 8);
    proxy->resize(233, 281);
    m_useProxy = place(new QCheckBox(QStringLiteral("I connect via a proxy server"), proxy),
                       "CheckBox1", 16, 32);
    m_useProxy->adjustSize();
    label(proxy, "Label2", "Proxy Server:", 16, 88);
    m_server = edit(proxy, "Edit1", 88, 80, 129);
    label(proxy, "Label3", "Port:", 16, 128);
    m_port = edit(proxy, "Edit2", 88, 120, 73);
    m_port->setText(QStringLiteral("3128"));
    label(proxy, "Label4", "Username:", 16, 168);
    m_user = edit(proxy, "Edit3", 88, 160, 129);
    label(proxy, "Label5", "Password:", 16, 208);
    // Shown as typed, no masking.
    m_password = edit(proxy, "Edit4", 88, 200, 129);

    auto *panel2 = place(new QFrame(this), "Panel2", 0, 356 - 59);
    panel2->resize(533, 59);
    panel2->setAutoFillBackground(true);
    QPalette grey = panel2->palette();
    grey.setColor(QPalette::Window, QColor(247, 247, 247));  // 16250871
    panel2->setPalette(grey);
    auto *save = place(new QPushButton(QStringLiteral("Save Settings"), panel2), "Button1", 16, 16);
    save->resize(89, 25);
    auto *cancel = place(new QPushButton(QStringLiteral("Cancel"), panel2), "Button2", 120, 16);
    cancel->resize(75, 25);
    save->setAutoDefault(false);
    cancel->setAutoDefault(false);
    // Where the databases come from, beside the buttons; shown when a source is set.
    m_databaseCaption = label(panel2, "Label6", "Virus database:", 216, 21);
    m_database = place(new QComboBox(panel2), "ComboBox1", 304, 16);
    m_database->addItems({updatetexts::systemChoice(), updatetexts::ownChoice()});
    m_database->resize(217, 25);
    m_databaseCaption->hide();
    m_database->hide();

    connect(m_frequency, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            RadioGroup1Click();
    });
    connect(m_useProxy, &QCheckBox::toggled, this, &TForm12::CheckBox1Click);
    connect(save, &QPushButton::clicked, this, &TForm12::Button1Click);
    connect(cancel, &QPushButton::clicked, this, &TForm12::Button2Click);

    m_reportFailure = [this](const QString &message) {
        QMessageBox::critical(this, QStringLiteral("Vizavuz AntiVirus"), message);
    };
}

void TForm12::setDatabaseSource(DatabaseSource *source, std::function<bool(const QString &)> ask) {
    m_source = source;
    m_ask = std::move(ask);
    m_database->setVisible(source != nullptr);
    m_databaseCaption->setVisible(source != nullptr);
}

void TForm12::showDialog() {
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    placement::centreOnScreen(*this);
    show();
}

void TForm12::showEvent(QShowEvent *event) {
    FormShow();
    QDialog::showEvent(event);
}

void TForm12::FormShow() {
    const UpdateSettingsForm form = updatesettings::load(m_data.settings);
    if (QAbstractButton *b = m_frequency->button(form.checkFrequency))
        b->setChecked(true);
    else if (QAbstractButton *checked = m_frequency->checkedButton()) {
        // An index beyond the items selects nothing.
        m_frequency->setExclusive(false);
        checked->setChecked(false);
        m_frequency->setExclusive(true);
    }
    RadioGroup1Click();
    if (QAbstractButton *b = m_whenFound->button(form.whenFound))
        b->setChecked(true);
    m_spin->setValue(form.intervalDays);
    m_useProxy->setChecked(form.useProxy);
    CheckBox1Click();
    m_user->setText(form.proxyUser);
    m_password->setText(form.proxyPassword);
    m_server->setText(form.proxyServer);
    m_port->setText(form.proxyPort);
    loadDatabaseChoice();
}

void TForm12::loadDatabaseChoice() {
    if (!m_source)
        return;
    const SystemDatabaseState system = m_source->system();
    m_database->setToolTip(system.present ? updatetexts::systemFound(system.folder, system.built)
                                          : system.problem);
    m_shownDatabase = m_source->effective() == DatabaseSource::Choice::System ? 0 : 1;
    m_database->setCurrentIndex(m_shownDatabase);
}

bool TForm12::saveDatabaseChoice() {
    if (!m_source || m_database->currentIndex() == m_shownDatabase)
        return true;
    const bool toSystem = m_database->currentIndex() == 0;
    const Status stored =
        m_source->store(toSystem ? DatabaseSource::Choice::System : DatabaseSource::Choice::Own);
    if (!stored.ok()) {
        m_reportFailure(stored.message());
        return false;
    }
    m_shownDatabase = m_database->currentIndex();
    // Only a usable system database takes over; without one, scans go on with the own copy.
    const qint64 bytes = toSystem && m_source->system().present ? m_source->ownCopyBytes() : 0;
    if (bytes > 0 && m_ask && m_ask(updatetexts::deleteOwnCopy(bytes))) {
        const Status deleted = m_source->deleteOwnCopy();
        if (!deleted.ok()) {
            m_reportFailure(deleted.message());
            return false;
        }
    }
    return true;
}

void TForm12::RadioGroup1Click() {
    m_spin->setEnabled(m_frequency->checkedId() == 3);
}

void TForm12::CheckBox1Click() {
    const bool on = m_useProxy->isChecked();
    for (QLineEdit *e : {m_server, m_port, m_user, m_password})
        e->setEnabled(on);
}

UpdateSettingsForm TForm12::currentForm() const {
    UpdateSettingsForm form;
    form.checkFrequency = m_frequency->checkedId();
    form.whenFound = m_whenFound->checkedId();
    // Text that is not a whole number counts as the range's minimum.
    bool ok = false;
    const int typed = m_spin->cleanText().toInt(&ok);
    form.intervalDays = ok ? typed : m_spin->minimum();
    form.useProxy = m_useProxy->isChecked();
    form.proxyServer = m_server->text();
    form.proxyPort = m_port->text();
    form.proxyUser = m_user->text();
    form.proxyPassword = m_password->text();
    return form;
}

void TForm12::Button1Click() {
    // A port that is not a number would reach the proxy as port 0: refused, the dialog stays.
    const UpdateSettingsForm form = currentForm();
    const QString port = form.proxyPort.trimmed();
    if ((form.useProxy || !port.isEmpty()) && !ProxySettings::validPort(port)) {
        m_reportFailure(updatetexts::badProxyPort(form.proxyPort));
        return;
    }
    const Status written = updatesettings::save(m_data, form);
    if (!written.ok()) {
        // The record in memory keeps the new values; the dialog stays open.
        m_reportFailure(written.message());
        return;
    }
    if (!saveDatabaseChoice())
        return;
    emit settingsSaved();
    close();
}

void TForm12::Button2Click() {
    close();
}
