#include "gui/RecordPage.h"

#include <cstdlib>
#include <initializer_list>
#include <utility>

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/AppCore.h"
#include "app/DialogPlacement.h"
#include "gui/FolderBrowser.h"
#include "gui/RecordOptionsDialog.h"
#include "ui/ControlIds.h"

namespace sextara::gui {

using ui::RecordPageControl;
namespace {

// The buttons of the page's two bars.
struct PageCommand {
    BarCommand command;
    StringId text;
};
constexpr PageCommand kStart{command::kRecordStart, StringId::kStart};
constexpr PageCommand kSetup{command::kRecordSetup, StringId::kSetup};
constexpr PageCommand kIdleReturn{command::kRecordReturn, StringId::kReturn};
constexpr PageCommand kStop{command::kStop, StringId::kStop};
constexpr PageCommand kRecordingReturn{command::kRunningReturn, StringId::kReturn};

bool Is(const PageCommand& button, int id) {
    return button.command.Is(id);
}

// The page state survives leaving the page.
int& DotPhase() {
    static int phase = 0;
    return phase;
}

}  // namespace

RecordPage::RecordPage(AppCore& core, Prompts prompts, bool portrait, QWidget* parent)
    : Page(core.Context().strings, core.Context().config.effectiveLanguage != 0, parent),
      core_(core),
      prompts_(std::move(prompts)),
      model_(core, DotPhase()) {
    AppContext& app = core.Context();
    const platform::StringTable& strings = app.strings;
    setWindowTitle(Text(strings, StringId::kRecordingGroup));
    if (const char* home = std::getenv("HOME")) home_ = home;

    auto* fileGroup =
        Named(new QGroupBox(Text(strings, StringId::kFileGroup), this), RecordPageControl::FileGroup);
    folder_ = Named(new QLineEdit(fileGroup), RecordPageControl::Folder);
    folder_->setMaxLength(260);
    browse_ = Named(new QPushButton(QStringLiteral("..."), fileGroup), RecordPageControl::Browse);
    name_ = Named(new QLineEdit(fileGroup), RecordPageControl::FileName);
    name_->setMaxLength(260);
    auto* fileGrid = new QGridLayout(fileGroup);
    fileGrid->addWidget(
        Named(new QLabel(Text(strings, StringId::kFolder), fileGroup), RecordPageControl::FolderLabel), 0, 0);
    fileGrid->addWidget(folder_, portrait ? 1 : 0, portrait ? 0 : 1);
    fileGrid->addWidget(browse_, portrait ? 1 : 0, portrait ? 1 : 2);
    fileGrid->addWidget(
        Named(new QLabel(Text(strings, StringId::kFileName), fileGroup), RecordPageControl::FileNameLabel), 2,
        0);
    fileGrid->addWidget(name_, portrait ? 3 : 2, portrait ? 0 : 1);

    auto* stateGroup =
        Named(new QGroupBox(Text(strings, StringId::kRecordingGroup), this), RecordPageControl::StateGroup);
    status_ = Named(new QLabel(stateGroup), RecordPageControl::Status);
    duration_ = Named(new QLabel(stateGroup), RecordPageControl::Duration);
    sizeLabel_ =
        Named(new QLabel(Text(strings, StringId::kDataSize), stateGroup), RecordPageControl::SizeLabel);
    size_ = Named(new QLabel(stateGroup), RecordPageControl::Size);
    auto* stateGrid = new QGridLayout(stateGroup);
    stateGrid->addWidget(
        Named(new QLabel(Text(strings, StringId::kStatus), stateGroup), RecordPageControl::StatusLabel), 0,
        0);
    stateGrid->addWidget(status_, 0, 1);
    stateGrid->addWidget(
        Named(new QLabel(Text(strings, StringId::kDuration), stateGroup), RecordPageControl::DurationLabel),
        1, 0);
    stateGrid->addWidget(duration_, 1, 1);
    stateGrid->addWidget(sizeLabel_, 2, 0);
    stateGrid->addWidget(size_, 2, 1);

    // One bar: the idle buttons and the recording ones take turns.
    for (const PageCommand& button : {kStart, kSetup, kIdleReturn}) {
        idleButtons_.push_back(AddCommand(button.command, button.text));
    }
    for (const PageCommand& button : {kStop, kRecordingReturn}) {
        recordingButtons_.push_back(AddCommand(button.command, button.text));
    }

    Body()->addWidget(fileGroup);
    Body()->addWidget(stateGroup);
    Body()->addStretch();

    connect(browse_, &QPushButton::clicked, this, &RecordPage::Browse);

    folder_->setText(FromUtf8(app.recordFolder));
    name_->setText(FromUtf8(app.registry.recordName));
    status_->setText(FromUtf8(model_.Status()));
    duration_->setText(FromUtf8(model_.Duration()));
    size_->setText(FromUtf8(model_.Size()));
    ShowState();
}

void RecordPage::SetBrowseRoots(std::string home, std::string root) {
    home_ = std::move(home);
    root_ = std::move(root);
}

QPushButton* RecordPage::AddCommand(const BarCommand& command, StringId text) {
    QPushButton* button = AddBarButton(command, text);
    const int id = command.For(EnglishBar());
    connect(button, &QPushButton::clicked, this, [this, id] { RunCommand(id); });
    return button;
}

void RecordPage::ShowState() {
    const bool recording = model_.Recording();
    for (QPushButton* button : idleButtons_) button->setVisible(!recording);
    for (QPushButton* button : recordingButtons_) button->setVisible(recording);
    folder_->setEnabled(!recording);
    name_->setEnabled(!recording);
    browse_->setEnabled(!recording);
    const bool showSize = model_.ShowSize();
    sizeLabel_->setVisible(showSize);
    size_->setVisible(showSize);
    if (recording && !TimerActive()) StartTimer();
    if (!recording) StopTimer();
}

void RecordPage::RunCommand(int id) {
    if (Is(kStart, id)) {
        const auto result = model_.Start(folder_->text().toStdString(), name_->text().toStdString());
        if (result == RecordPageModel::StartResult::AlreadyRecording) return;
        status_->setText(FromUtf8(model_.Status()));
        if (result == RecordPageModel::StartResult::Started) {
            duration_->setText(FromUtf8(model_.Duration()));
            size_->setText(FromUtf8(model_.Size()));
        }
        ShowState();
        if (!model_.Notice().empty() && prompts_.tell) {
            prompts_.tell(NoticeIcon::Warning, FromUtf8(model_.Notice()),
                          Text(core_.Context().strings, StringId::kNotice));
        }
    } else if (Is(kStop, id)) {
        model_.Stop();
        status_->setText(FromUtf8(model_.Status()));
        ShowState();
    } else if (Is(kSetup, id)) {
        OpenOptions();
    } else if (Is(kIdleReturn, id) || Is(kRecordingReturn, id)) {
        PressReturn();
    }
}

void RecordPage::OpenOptions() {
    RecordOptionsDialog options(core_.Context(), this);
    ExecOnWindow(options, parentWidget(), kPlaceFullPage);
    ShowState();
}

void RecordPage::Browse() {
    FolderBrowser browser(home_, root_, core_.Context().strings, core_.Context().config.effectiveLanguage, this);
    // Cancel leaves the field as it was.
    if (ExecOnWindow(browser, parentWidget(), kPlaceFullPage) == QDialog::Accepted &&
        !browser.Chosen().empty())
        folder_->setText(FromUtf8(browser.Chosen()));
}

void RecordPage::OnTimer() {
    model_.Tick();
    status_->setText(FromUtf8(model_.Status()));
    duration_->setText(FromUtf8(model_.Duration()));
    size_->setText(FromUtf8(model_.Size()));
    ShowState();
}

}  // namespace sextara::gui
