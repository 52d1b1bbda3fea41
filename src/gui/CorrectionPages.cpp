#include "gui/CorrectionPages.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/AppContext.h"
#include "app/CorrectionHooks.h"
#include "app/DialogPlacement.h"
#include "gui/QtMessageSink.h"
#include "ui/ControlIds.h"

namespace sextara::gui {

using ui::CasterSettingsControl;
using ui::NtripPageControl;
using ui::PortClientControl;
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The common control's defaults: range 0..100, step 10, wrapping round.
void ShowSteps(QProgressBar* bar, int steps) { bar->setValue((steps * 10) % 100); }

}  // namespace

NtripPage::NtripPage(NtripPageModel& model, AppContext& app, bool tcp, Prompts prompts, bool portrait,
                     QWidget* parent)
    : Page(app.strings, app.config.effectiveLanguage != 0, parent),
      model_(model),
      app_(app),
      prompts_(std::move(prompts)),
      portrait_(portrait),
      tcp_(tcp) {
    const platform::StringTable& strings = app.strings;
    setWindowTitle(tcp ? QStringLiteral("TCP Client") : QStringLiteral("Ntrip Client"));

    auto* addressLabel =
        Named(new QLabel(Text(strings, StringId::kIpAddress), this), NtripPageControl::AddressLabel);
    address_ = Named(new QLabel(this), NtripPageControl::Address);
    auto* mountLabel =
        Named(new QLabel(Text(strings, StringId::kMountPoint), this), NtripPageControl::MountPointLabel);
    list_ = Named(new QComboBox(this), NtripPageControl::MountPointList);
    list_->setEditable(true);
    list_->setMaxVisibleItems(20);
    info_ = Named(new QLabel(this), NtripPageControl::Information);
    info_->setWordWrap(true);
    settings_ = Named(new QPushButton(Text(strings, StringId::kSetup), this), NtripPageControl::Settings);
    progress_ = Named(new QProgressBar(this), NtripPageControl::Progress);
    progress_->setTextVisible(false);
    auto* receiveLabel =
        Named(new QLabel(Text(strings, StringId::kReceived), this), NtripPageControl::ReceivedLabel);
    counter_ = Named(new QLabel(this), NtripPageControl::ByteCounter);
    status_ = Named(new QPlainTextEdit(this), NtripPageControl::StatusBox);
    status_->setReadOnly(true);
    auto* healthBox = new QGroupBox(Text(strings, StringId::kCorrectionsBox), this);
    health_ = Named(new QLabel(healthBox), "health");
    health_->setWordWrap(true);
    (new QVBoxLayout(healthBox))->addWidget(health_);
    start_ = AddBarButton(command::kCorrectionStart, StringId::kStart);
    stop_ = AddBarButton(command::kStop, StringId::kStop);
    AddBarStretch();
    AddReturnButton(command::kRunningReturn);

    auto* grid = new QGridLayout;
    grid->addWidget(addressLabel, 0, 0);
    grid->addWidget(address_, 0, 1, 1, 2);
    grid->addWidget(mountLabel, 1, 0);
    grid->addWidget(list_, 1, 1);
    grid->addWidget(settings_, 1, 2);
    grid->addWidget(info_, 2, 0, 1, 3);
    grid->addWidget(receiveLabel, 3, 0);
    grid->addWidget(counter_, 3, 1, 1, 2);
    grid->addWidget(progress_, 4, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    Body()->addLayout(grid);
    Body()->addWidget(healthBox);
    Body()->addWidget(status_, 1);

    sink_ = std::make_unique<QtMessageSink>([this](const WorkerMessage& m) {
        const auto prompt = model_.OnMessage(m.message);
        Render();
        Ask(prompt);
    });

    connect(start_, &QPushButton::clicked, this, &NtripPage::PressStart);
    connect(stop_, &QPushButton::clicked, this, &NtripPage::PressStop);
    connect(settings_, &QPushButton::clicked, this, &NtripPage::PressSettings);
    connect(list_, &QComboBox::activated, this, [this](int row) {
        model_.Select(list_->itemText(row).toStdString());
        Render();
    });

    model_.Open(tcp, app.config.effectiveLanguage, sink_.get());
    Render();
}

NtripPage::~NtripPage() {
    // Whatever way the page went, its connection no longer reports to it.
    model_.Close();
    sink_->Shutdown();
    if (waitCursor_) QApplication::restoreOverrideCursor();
}

void NtripPage::done(int result) {
    model_.Close();
    sink_->Shutdown();
    Page::done(result);
}

void NtripPage::Render() {
    const NtripPageModel::View& v = model_.GetView();
    address_->setText(Q(v.address));
    if (v.items != shownItems_) {
        const QString typed = list_->currentText();
        list_->clear();
        for (const std::string& item : v.items) list_->addItem(Q(item));
        shownItems_ = v.items;
        list_->setEditText(typed);
    }
    // The list's text is the user's between two fills: a typed mount point stays.
    if (v.selectionVersion != shownSelection_) {
        shownSelection_ = v.selectionVersion;
        if (v.selected >= 0) {
            list_->setCurrentIndex(v.selected);
        } else {
            list_->setEditText(Q(model_.Tcp() ? std::string() : app_.correctionLink.Settings().mountPoint));
        }
    }
    info_->setText(Q(v.info));
    list_->setEnabled(v.listEnabled && !tcp_);
    settings_->setEnabled(v.settingsEnabled);
    start_->setVisible(!v.running);
    stop_->setVisible(v.running);
    counter_->setText(Q(v.counter));
    health_->setText(Q(v.health));
    ShowSteps(progress_, v.progressSteps);
    if (status_->toPlainText() != Q(v.status)) status_->setPlainText(Q(v.status));
    if (v.timer && !TimerActive()) StartTimer();
    if (!v.timer) StopTimer();
    if (v.waitCursor != waitCursor_) {
        waitCursor_ = v.waitCursor;
        if (waitCursor_) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
        } else {
            QApplication::restoreOverrideCursor();
        }
    }
}

void NtripPage::Ask(const std::optional<PagePrompt>& prompt) {
    if (!prompt || !prompts_.tell) return;
    prompts_.tell(
        prompt->icon == PagePrompt::Icon::Information ? NoticeIcon::Information : NoticeIcon::Warning,
        prompt->stringId != 0 ? Text(app_.strings, prompt->stringId) : Q(prompt->text),
        Text(app_.strings, StringId::kNotice));
}

void NtripPage::PressStart() {
    // Render first, so a message box finds the page as the model left it.
    const auto prompt = model_.Start(list_->currentText().toStdString());
    Render();
    Ask(prompt);
}

void NtripPage::PressStop() {
    model_.Stop();
    Render();
}

void NtripPage::PressSettings() {
    if (app_.correctionLink.Active()) return;
    CasterSettingsDialog dialog(app_, tcp_, prompts_, this);
    ExecOnWindow(dialog, parentWidget() ? parentWidget() : this, kPlaceFullPage);
    model_.SettingsClosed();
    Render();
}

void NtripPage::OnTimer() {
    model_.Tick();
    Render();
}

CasterSettingsDialog::CasterSettingsDialog(AppContext& app, bool tcp, Prompts prompts, QWidget* parent)
    : Page(app.strings, app.config.effectiveLanguage != 0, parent),
      app_(app),
      prompts_(std::move(prompts)),
      tcp_(tcp) {
    const platform::StringTable& strings = app.strings;
    setWindowTitle(Text(strings, StringId::kServer));
    const CasterDialogValues v = DialogValuesOf(app.correctionLink.Settings());

    auto* server =
        Named(new QGroupBox(Text(strings, StringId::kServer), this), CasterSettingsControl::ServerGroup);
    address_ = Named(new QLineEdit(Q(v.address), server), CasterSettingsControl::Address);
    port_ = Named(new QLineEdit(Q(v.port), server), CasterSettingsControl::Port);
    user_ = Named(new QLineEdit(Q(v.user), server), CasterSettingsControl::User);
    password_ = Named(new QLineEdit(Q(v.password), server), CasterSettingsControl::Password);
    auto* serverGrid = new QGridLayout(server);
    serverGrid->addWidget(
        Named(new QLabel(Text(strings, StringId::kIpLabel), server), CasterSettingsControl::AddressLabel), 0,
        0);
    serverGrid->addWidget(address_, 0, 1);
    serverGrid->addWidget(
        Named(new QLabel(QStringLiteral("Port:"), server), CasterSettingsControl::PortLabel), 1, 0);
    serverGrid->addWidget(port_, 1, 1);
    serverGrid->addWidget(
        Named(new QLabel(Text(strings, StringId::kUserName), server), CasterSettingsControl::UserLabel), 2,
        0);
    serverGrid->addWidget(user_, 2, 1);
    serverGrid->addWidget(
        Named(new QLabel(Text(strings, StringId::kPassword), server), CasterSettingsControl::PasswordLabel),
        3, 0);
    serverGrid->addWidget(password_, 3, 1);
    tls_ = Named(new QCheckBox(QStringLiteral("TLS"), server), "useTls");
    tls_->setChecked(v.useTls);
    caFile_ = Named(new QLineEdit(Q(v.caFile), server), "caFile");
    caFile_->setPlaceholderText(Text(strings, StringId::kCaFileHint));
    serverGrid->addWidget(tls_, 4, 0);
    serverGrid->addWidget(caFile_, 4, 1);

    auto* gga =
        Named(new QGroupBox(Text(strings, StringId::kGgaSource), this), CasterSettingsControl::GgaGroup);
    receiverGga_ = Named(new QRadioButton(Text(strings, StringId::kSendReceiverGga), gga),
                         CasterSettingsControl::ReceiverGga);
    typedGga_ =
        Named(new QRadioButton(Text(strings, StringId::kTypedGga), gga), CasterSettingsControl::TypedGga);
    latitude_ = Named(new QLineEdit(Q(v.latitude), gga), CasterSettingsControl::Latitude);
    longitude_ = Named(new QLineEdit(Q(v.longitude), gga), CasterSettingsControl::Longitude);
    northSouth_ = Named(new QComboBox(gga), CasterSettingsControl::NorthSouth);
    northSouth_->addItems({QStringLiteral("N"), QStringLiteral("S")});
    northSouth_->setCurrentIndex(v.south ? 1 : 0);
    eastWest_ = Named(new QComboBox(gga), CasterSettingsControl::EastWest);
    eastWest_->addItems({QStringLiteral("E"), QStringLiteral("W")});
    eastWest_->setCurrentIndex(v.west ? 1 : 0);
    current_ = Named(new QCheckBox(Text(strings, StringId::kSendCurrentPosition), gga), "sendCurrentGga");
    current_->setChecked(v.resendCurrentPosition);
    (v.useTypedPosition ? typedGga_ : receiverGga_)->setChecked(true);
    auto* ggaGrid = new QGridLayout(gga);
    ggaGrid->addWidget(receiverGga_, 0, 0, 1, 3);
    ggaGrid->addWidget(typedGga_, 1, 0, 1, 3);
    ggaGrid->addWidget(Named(new QLabel(QStringLiteral("B:"), gga), CasterSettingsControl::LatitudeLabel), 2,
                       0);
    ggaGrid->addWidget(latitude_, 2, 1);
    ggaGrid->addWidget(northSouth_, 2, 2);
    ggaGrid->addWidget(Named(new QLabel(QStringLiteral("L:"), gga), CasterSettingsControl::LongitudeLabel), 3,
                       0);
    ggaGrid->addWidget(longitude_, 3, 1);
    ggaGrid->addWidget(eastWest_, 3, 2);
    ggaGrid->addWidget(current_, 4, 0, 1, 3);

    auto* ok = AddBarButton(command::kOk, StringId::kOk);
    AddBarStretch();
    auto* cancel = AddBarButton(command::kCancel, StringId::kCancel);
    Body()->addWidget(server);
    Body()->addWidget(gga);
    Body()->addStretch();

    connect(receiverGga_, &QRadioButton::toggled, this, [this] { EnableTyped(); });
    connect(ok, &QPushButton::clicked, this, &CasterSettingsDialog::PressOk);
    connect(cancel, &QPushButton::clicked, this, [this] { done(DialogResult::kRejected); });
    if (tcp) {
        for (QWidget* w : std::initializer_list<QWidget*>{user_, password_, receiverGga_, typedGga_, current_}) {
            w->setEnabled(false);
        }
    }
    EnableTyped();
}

void CasterSettingsDialog::EnableTyped() {
    const bool typed = typedGga_->isChecked() && !tcp_;
    for (QWidget* w : std::initializer_list<QWidget*>{latitude_, longitude_, northSouth_, eastWest_}) {
        w->setEnabled(typed);
    }
}

void CasterSettingsDialog::PressOk() {
    CasterDialogValues v;
    v.address = address_->text().toStdString();
    v.port = port_->text().toStdString();
    v.user = user_->text().toStdString();
    v.password = password_->text().toStdString();
    v.useTypedPosition = typedGga_->isChecked();
    v.latitude = latitude_->text().toStdString();
    v.longitude = longitude_->text().toStdString();
    v.south = northSouth_->currentIndex() != 0;
    v.west = eastWest_->currentIndex() != 0;
    v.resendCurrentPosition = current_->isChecked();
    v.useTls = tls_->isChecked();
    v.caFile = caFile_->text().toStdString();
    corrections::CasterSettings settings;
    if (auto message = SettingsFromDialog(app_.correctionLink.Settings(), v, settings)) {
        if (prompts_.tell) prompts_.tell(NoticeIcon::Warning, Q(*message), Text(app_.strings, StringId::kNotice));
        return;
    }
    app_.correctionLink.SetSettings(settings);
    app_.correctionLink.SaveCasterSettings();
    done(DialogResult::kAccepted);
}

PortClientPage::PortClientPage(AppContext& app, Prompts prompts, QWidget* parent)
    : Page(app.strings, app.config.effectiveLanguage != 0, parent), app_(app), prompts_(std::move(prompts)) {
    setWindowTitle(QStringLiteral("PORT Client"));
    port_ = Named(new QComboBox(this), PortClientControl::Port);
    baud_ = Named(new QComboBox(this), PortClientControl::Baud);
    FillPortChoices(port_, baud_);
    openClose_ = Named(new QPushButton(this), PortClientControl::OpenClose);
    progress_ = Named(new QProgressBar(this), PortClientControl::Progress);
    progress_->setTextVisible(false);
    count_ = Named(new QLabel(QStringLiteral("?"), this), PortClientControl::ReceivedCount);
    AddBarStretch();
    AddReturnButton();

    auto* grid = new QGridLayout;
    grid->addWidget(Named(new QLabel(QStringLiteral("Port:"), this), PortClientControl::PortLabel), 0, 0);
    grid->addWidget(port_, 0, 1);
    grid->addWidget(Named(new QLabel(QStringLiteral("BaudRate:"), this), PortClientControl::BaudLabel), 1, 0);
    grid->addWidget(baud_, 1, 1);
    grid->addWidget(openClose_, 0, 2, 2, 1);
    grid->addWidget(progress_, 2, 0, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Receive Size:"), this), 3, 0);
    grid->addWidget(count_, 3, 1, 1, 2);
    Body()->addLayout(grid);
    Body()->addStretch();

    connect(openClose_, &QPushButton::clicked, this, &PortClientPage::PressOpenClose);

    int number = 2, baud = 19200;
    const bool open = app.clientPort.GetPortParams(number, baud);
    if (open) {
        port_->setCurrentIndex(number >= 1 && number <= 9 ? number - 1 : -1);
        baud_->setCurrentIndex(BaudRowOrFastest(baud));
        lastShown_ = app.portClient.BytesReceived();
        count_->setText(QStringLiteral("%1 ").arg(lastShown_));
        StartTimer();
    } else {
        port_->setCurrentIndex(1);
        baud_->setCurrentIndex(1);
    }
    ShowOpen(open);
}

void PortClientPage::ShowOpen(bool open) {
    port_->setEnabled(!open);
    baud_->setEnabled(!open);
    openClose_->setText(Text(app_.strings, open ? StringId::kClose : StringId::kOpen));
    progress_->setEnabled(open);
}

void PortClientPage::PressOpenClose() {
    if (app_.portClient.IsOpen()) {
        app_.portClient.Close();
        StopTimer();
        ShowOpen(false);
        return;
    }
    const int baud = BaudOfRow(baud_->currentIndex(), 1);
    if (app_.portClient.Open(port_->currentIndex() + 1, baud)) {
        StartTimer();
        ShowOpen(true);
        return;
    }
    if (prompts_.tell) {
        prompts_.tell(NoticeIcon::Warning, Text(app_.strings, StringId::kPortOpenFailed),
                      Text(app_.strings, StringId::kNotice));
    }
    StopTimer();
    ShowOpen(false);
}

void PortClientPage::OnTimer() {
    if (!app_.portClient.IsOpen()) return;
    const std::uint32_t count = app_.portClient.BytesReceived();
    if (count == lastShown_) return;
    lastShown_ = count;
    count_->setText(Q(FormatByteTotal(count)));
    ShowSteps(progress_, ++steps_);
}

}  // namespace sextara::gui
