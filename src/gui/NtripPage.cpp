#include "gui/NtripPage.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/AppContext.h"
#include "app/DialogPlacement.h"
#include "gui/CasterSettingsDialog.h"
#include "gui/QtMessageSink.h"
#include "ui/ControlIds.h"

namespace sextara::gui {

using ui::NtripPageControl;

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
    address_->setText(FromUtf8(v.address));
    if (v.items != shownItems_) {
        const QString typed = list_->currentText();
        list_->clear();
        for (const std::string& item : v.items) list_->addItem(FromUtf8(item));
        shownItems_ = v.items;
        list_->setEditText(typed);
    }
    // The list's text is the user's between two fills: a typed mount point stays.
    if (v.selectionVersion != shownSelection_) {
        shownSelection_ = v.selectionVersion;
        if (v.selected >= 0) {
            list_->setCurrentIndex(v.selected);
        } else {
            list_->setEditText(FromUtf8(model_.Tcp() ? std::string() : app_.correctionLink.Settings().mountPoint));
        }
    }
    info_->setText(FromUtf8(v.info));
    list_->setEnabled(v.listEnabled && !tcp_);
    settings_->setEnabled(v.settingsEnabled);
    start_->setVisible(!v.running);
    stop_->setVisible(v.running);
    counter_->setText(FromUtf8(v.counter));
    health_->setText(FromUtf8(v.health));
    ShowProgressSteps(progress_, v.progressSteps);
    if (status_->toPlainText() != FromUtf8(v.status)) status_->setPlainText(FromUtf8(v.status));
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
        prompt->stringId != 0 ? Text(app_.strings, prompt->stringId) : FromUtf8(prompt->text),
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

}  // namespace sextara::gui
