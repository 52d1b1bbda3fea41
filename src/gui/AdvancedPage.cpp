#include "gui/AdvancedPage.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/AppCore.h"
#include "ui/ControlIds.h"

namespace sextara::gui {

using ui::AdvancedPageControl;

AdvancedPage::AdvancedPage(AppCore& core, Prompts prompts, QWidget* parent)
    : Page(core.Context().strings, core.Context().config.effectiveLanguage != 0, parent),
      model_(core),
      prompts_(std::move(prompts)),
      sink_([this](const WorkerMessage& message) { OnWorkerMessage(message); }) {
    const platform::StringTable& strings = Strings();
    setWindowTitle(Text(strings, StringId::kSetup));

    QWidget* diffGroup = BuildDiffModeGroup();
    QPushButton* applyLanguage = nullptr;
    QWidget* languageBox = BuildLanguageRow(applyLanguage);
    forward_ = Named(new QCheckBox(QStringLiteral("Data to External Serial Port"), this),
                     AdvancedPageControl::Forwarding);
    clock_ =
        Named(new QPushButton(Text(strings, StringId::kSetSystemTime), this), AdvancedPageControl::ClockSync);
    status_ = Named(new QLabel(this), AdvancedPageControl::Status);
    status_->setWordWrap(true);
    restore_ =
        Named(new QPushButton(Text(strings, StringId::kRestoreDefaults), this), AdvancedPageControl::Restore);
    back_ = AddReturnButton();
    for (QWidget* control : std::initializer_list<QWidget*>{applyDiff_, applyLanguage, clock_, restore_, back_}) {
        control->setMinimumHeight(36);
    }
    for (QWidget* row :
         std::initializer_list<QWidget*>{diffGroup, languageBox, forward_, clock_, status_, restore_}) {
        Body()->addWidget(row);
    }
    Body()->addStretch();

    const bool hemisphere = model_.DiffModeApplies();
    sbas_->setEnabled(hemisphere);
    external_->setEnabled(hemisphere);
    applyDiff_->setEnabled(hemisphere);
    if (hemisphere) (model_.AppliedDiffMode() == DiffMode::Sbas ? sbas_ : external_)->setChecked(true);
    (model_.EnglishInEffect() ? english_ : chinese_)->setChecked(true);
    restore_->setEnabled(model_.RestoreApplies());
    forward_->setChecked(model_.Forwarding());

    connect(applyDiff_, &QPushButton::clicked, this, &AdvancedPage::PressApplyDiffMode);
    connect(applyLanguage, &QPushButton::clicked, this, &AdvancedPage::PressApplyLanguage);
    connect(forward_, &QCheckBox::clicked, this, &AdvancedPage::PressForwarding);
    connect(clock_, &QPushButton::clicked, this, &AdvancedPage::PressClockSync);
    connect(restore_, &QPushButton::clicked, this, &AdvancedPage::PressRestore);
}

QWidget* AdvancedPage::BuildDiffModeGroup() {
    const platform::StringTable& strings = Strings();
    auto* group =
        Named(new QGroupBox(Text(strings, StringId::kDiffMode), this), AdvancedPageControl::DiffModeGroup);
    sbas_ = Named(new QRadioButton(Text(strings, StringId::kSbas), group), AdvancedPageControl::Sbas);
    external_ = Named(new QRadioButton(Text(strings, StringId::kExternalSource), group),
                      AdvancedPageControl::ExternalSource);
    applyDiff_ =
        Named(new QPushButton(Text(strings, StringId::kSetup), group), AdvancedPageControl::ApplyDiffMode);
    auto* grid = new QGridLayout(group);
    grid->addWidget(sbas_, 0, 0);
    grid->addWidget(external_, 1, 0);
    grid->addWidget(applyDiff_, 0, 1, 2, 1);
    // The two pairs are separate choices.
    auto* choice = new QButtonGroup(this);
    choice->addButton(sbas_);
    choice->addButton(external_);
    return group;
}

QWidget* AdvancedPage::BuildLanguageRow(QPushButton*& apply) {
    auto* box = new QWidget(this);
    english_ = Named(new QRadioButton(QStringLiteral("English"), box), AdvancedPageControl::English);
    chinese_ = Named(new QRadioButton(QStringLiteral("中文"), box), AdvancedPageControl::Chinese);
    apply = Named(new QPushButton(Text(Strings(), StringId::kSetup), box), AdvancedPageControl::ApplyLanguage);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(english_);
    row->addWidget(chinese_);
    row->addWidget(apply);
    auto* choice = new QButtonGroup(this);
    choice->addButton(english_);
    choice->addButton(chinese_);
    return box;
}

AdvancedPage::~AdvancedPage() {
    // The worker must not report to a page that is gone.
    model_.Abandon();
    sink_.Shutdown();
    if (shownRestoring_) QApplication::restoreOverrideCursor();
}

void AdvancedPage::SetStatus(const std::optional<std::string>& text) {
    if (text) status_->setText(QString::fromStdString(*text));
}

void AdvancedPage::Tell(const std::optional<AdvancedPageModel::Notice>& notice) {
    if (!notice || !prompts_.tell) return;
    using Icon = AdvancedPageModel::Notice::Icon;
    const NoticeIcon icon = notice->icon == Icon::Stop      ? NoticeIcon::Stop
                            : notice->icon == Icon::Warning ? NoticeIcon::Warning
                                                            : NoticeIcon::Information;
    prompts_.tell(icon, QString::fromStdString(notice->text), QString::fromStdString(notice->caption));
}

void AdvancedPage::PressApplyDiffMode() {
    SetStatus(model_.ApplyDiffMode(sbas_->isChecked() ? DiffMode::Sbas : DiffMode::ExternalSource));
}

void AdvancedPage::PressApplyLanguage() { SetStatus(model_.ApplyLanguage(english_->isChecked())); }

void AdvancedPage::PressForwarding(bool checked) {
    const AdvancedPageModel::ForwardOutcome outcome = model_.SetForwarding(checked);
    forward_->setChecked(outcome.checked);
    Tell(outcome.notice);
}

void AdvancedPage::PressClockSync() { Tell(model_.SyncClock()); }

void AdvancedPage::PressRestore() {
    const auto question = model_.RestoreQuestion();
    if (!question || !prompts_.confirm) return;
    if (!prompts_.confirm(QString::fromStdString(question->text), QString::fromStdString(question->caption))) return;
    const std::string holding = model_.HoldForRestore();
    ShowRestoring();
    SetStatus(holding);
    const auto failed = model_.StartRestore(sink_);
    ShowRestoring();
    SetStatus(failed);
}

void AdvancedPage::OnWorkerMessage(const WorkerMessage& message) {
    SetStatus(model_.OnWorkerMessage(message));
    ShowRestoring();
}

void AdvancedPage::ShowRestoring() {
    const bool held = model_.Restoring();
    if (held == shownRestoring_) return;
    shownRestoring_ = held;
    if (held) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
    const bool hemisphere = model_.DiffModeApplies();
    sbas_->setEnabled(!held && hemisphere);
    external_->setEnabled(!held && hemisphere);
    applyDiff_->setEnabled(!held && hemisphere);
    clock_->setEnabled(!held);
    restore_->setEnabled(!held && model_.RestoreApplies());
    back_->setEnabled(!held);
}

bool AdvancedPage::MayLeave() const { return !model_.Restoring(); }

void AdvancedPage::done(int result) {
    // Only the window's own closing gets here during a restore.
    model_.Abandon();
    ShowRestoring();
    Page::done(result);
}

}  // namespace sextara::gui
