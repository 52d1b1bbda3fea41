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
#include "gui/FolderBrowser.h"
#include "gui/RecordOptionsDialog.h"

namespace sextara::gui {
namespace {

// Commands of the page's bars: Chinese id, English id, text.
struct PageCommand {
    int chinese;
    int english;
    StringId text;
};
constexpr PageCommand kStart{32880, 32887, StringId::kStart};
constexpr PageCommand kSetup{32883, 32890, StringId::kSetup};
constexpr PageCommand kIdleReturn{32884, 32891, StringId::kReturn};
constexpr PageCommand kStop{32807, 32845, StringId::kStop};
constexpr PageCommand kRecordingReturn{32809, 32847, StringId::kReturn};

bool Is(const PageCommand& command, int id) { return id == command.chinese || id == command.english; }

// The page state survives leaving the page.
int& DotPhase() {
    static int phase = 0;
    return phase;
}

QString Qs(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

RecordPage::RecordPage(AppCore& core, Prompts prompts, bool portrait, QWidget* parent)
    : QDialog(parent), core_(core), prompts_(std::move(prompts)), model_(core, DotPhase()) {
    setModal(true);
    AppContext& app = core.Context();
    const platform::StringTable& strings = app.strings;
    setWindowTitle(Text(strings, 35));
    if (const char* home = std::getenv("HOME")) home_ = home;

    auto* fileGroup = Named(new QGroupBox(Text(strings, 32), this), "1086");
    folder_ = Named(new QLineEdit(fileGroup), "1061");
    folder_->setMaxLength(260);
    browse_ = Named(new QPushButton(QStringLiteral("..."), fileGroup), "1063");
    name_ = Named(new QLineEdit(fileGroup), "1062");
    name_->setMaxLength(260);
    auto* fileGrid = new QGridLayout(fileGroup);
    fileGrid->addWidget(Named(new QLabel(Text(strings, 33), fileGroup), "1087"), 0, 0);
    fileGrid->addWidget(folder_, portrait ? 1 : 0, portrait ? 0 : 1);
    fileGrid->addWidget(browse_, portrait ? 1 : 0, portrait ? 1 : 2);
    fileGrid->addWidget(Named(new QLabel(Text(strings, 34), fileGroup), "1088"), 2, 0);
    fileGrid->addWidget(name_, portrait ? 3 : 2, portrait ? 0 : 1);

    auto* stateGroup = Named(new QGroupBox(Text(strings, 35), this), "1089");
    status_ = Named(new QLabel(stateGroup), "1066");
    duration_ = Named(new QLabel(stateGroup), "1064");
    sizeLabel_ = Named(new QLabel(Text(strings, 100), stateGroup), "1092");
    size_ = Named(new QLabel(stateGroup), "1065");
    auto* stateGrid = new QGridLayout(stateGroup);
    stateGrid->addWidget(Named(new QLabel(Text(strings, 37), stateGroup), "1091"), 0, 0);
    stateGrid->addWidget(status_, 0, 1);
    stateGrid->addWidget(Named(new QLabel(Text(strings, 36), stateGroup), "1090"), 1, 0);
    stateGrid->addWidget(duration_, 1, 1);
    stateGrid->addWidget(sizeLabel_, 2, 0);
    stateGrid->addWidget(size_, 2, 1);

    const bool english = app.config.effectiveLanguage != 0;
    auto makeBar = [&](std::initializer_list<PageCommand> commands) {
        auto* bar = new QWidget(this);
        auto* row = new QHBoxLayout(bar);
        row->setContentsMargins(0, 0, 0, 0);
        for (const PageCommand& command : commands) {
            const int id = english ? command.english : command.chinese;
            auto* button = new QPushButton(Text(strings, command.text), bar);
            button->setObjectName(QString::number(id));
            button->setMinimumHeight(40);
            connect(button, &QPushButton::clicked, this, [this, id] { RunCommand(id); });
            row->addWidget(button);
        }
        return bar;
    };
    idleBar_ = makeBar({kStart, kSetup, kIdleReturn});
    recordingBar_ = makeBar({kStop, kRecordingReturn});

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fileGroup);
    layout->addWidget(stateGroup);
    layout->addStretch();
    layout->addWidget(idleBar_);
    layout->addWidget(recordingBar_);

    connect(browse_, &QPushButton::clicked, this, &RecordPage::Browse);
    timer_.setInterval(kTimerMs);
    connect(&timer_, &QTimer::timeout, this, &RecordPage::OnTimer);
    connect(this, &QDialog::finished, this, [this] { timer_.stop(); });

    folder_->setText(Qs(app.recordFolder));
    name_->setText(Qs(app.registry.recordName));
    status_->setText(Qs(model_.Status()));
    duration_->setText(Qs(model_.Duration()));
    size_->setText(Qs(model_.Size()));
    ShowState();
}

void RecordPage::SetBrowseRoots(std::string home, std::string root) {
    home_ = std::move(home);
    root_ = std::move(root);
}

void RecordPage::ShowState() {
    const bool recording = model_.Recording();
    idleBar_->setVisible(!recording);
    recordingBar_->setVisible(recording);
    folder_->setEnabled(!recording);
    name_->setEnabled(!recording);
    browse_->setEnabled(!recording);
    const bool showSize = model_.ShowSize();
    sizeLabel_->setVisible(showSize);
    size_->setVisible(showSize);
    if (recording && !timer_.isActive()) timer_.start();
    if (!recording) timer_.stop();
}

void RecordPage::RunCommand(int id) {
    if (Is(kStart, id)) {
        const auto result = model_.Start(folder_->text().toStdString(), name_->text().toStdString());
        if (result == RecordPageModel::StartResult::AlreadyRecording) return;
        status_->setText(Qs(model_.Status()));
        if (result == RecordPageModel::StartResult::Started) {
            duration_->setText(Qs(model_.Duration()));
            size_->setText(Qs(model_.Size()));
        }
        ShowState();
        if (!model_.Notice().empty() && prompts_.tell) {
            prompts_.tell(NoticeIcon::Warning, Qs(model_.Notice()), Text(core_.Context().strings, 11));
        }
    } else if (Is(kStop, id)) {
        model_.Stop();
        status_->setText(Qs(model_.Status()));
        ShowState();
    } else if (Is(kSetup, id)) {
        OpenOptions();
    } else if (Is(kIdleReturn, id) || Is(kRecordingReturn, id)) {
        timer_.stop();
        done(16);
    }
}

void RecordPage::OpenOptions() {
    RecordOptionsDialog options(core_.Context(), this);
    ExecOnWindow(options, parentWidget(), 0);
    ShowState();
}

void RecordPage::Browse() {
    FolderBrowser browser(home_, root_, core_.Context().strings, core_.Context().config.effectiveLanguage, this);
    // Cancel leaves the field as it was.
    if (ExecOnWindow(browser, parentWidget(), 0) == QDialog::Accepted && !browser.Chosen().empty()) folder_->setText(Qs(browser.Chosen()));
}

void RecordPage::OnTimer() {
    model_.Tick();
    status_->setText(Qs(model_.Status()));
    duration_->setText(Qs(model_.Duration()));
    size_->setText(Qs(model_.Size()));
    ShowState();
}

}  // namespace sextara::gui
