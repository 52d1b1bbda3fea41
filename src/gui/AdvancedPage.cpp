#include "gui/AdvancedPage.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
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
    : QDialog(parent),
      model_(core),
      prompts_(std::move(prompts)),
      sink_([this](const WorkerMessage& message) { OnWorkerMessage(message); }) {
    setModal(true);
    AppContext& app = core.Context();
    const platform::StringTable& strings = app.strings;
    setWindowTitle(Text(strings, StringId::kSetup));

    auto* diffGroup =
        Named(new QGroupBox(Text(strings, StringId::kDiffMode), this), AdvancedPageControl::DiffModeGroup);
    sbas_ = Named(new QRadioButton(Text(strings, StringId::kSbas), diffGroup), AdvancedPageControl::Sbas);
    external_ = Named(new QRadioButton(Text(strings, StringId::kExternalSource), diffGroup),
                      AdvancedPageControl::ExternalSource);
    applyDiff_ = Named(new QPushButton(Text(strings, StringId::kSetup), diffGroup),
                       AdvancedPageControl::ApplyDiffMode);
    auto* diffGrid = new QGridLayout(diffGroup);
    diffGrid->addWidget(sbas_, 0, 0);
    diffGrid->addWidget(external_, 1, 0);
    diffGrid->addWidget(applyDiff_, 0, 1, 2, 1);

    auto* languageBox = new QWidget(this);
    english_ = Named(new QRadioButton(QStringLiteral("English"), languageBox), AdvancedPageControl::English);
    chinese_ = Named(new QRadioButton(QStringLiteral("中文"), languageBox), AdvancedPageControl::Chinese);
    auto* applyLanguage = Named(new QPushButton(Text(strings, StringId::kSetup), languageBox),
                                AdvancedPageControl::ApplyLanguage);
    auto* languageRow = new QHBoxLayout(languageBox);
    languageRow->setContentsMargins(0, 0, 0, 0);
    languageRow->addWidget(english_);
    languageRow->addWidget(chinese_);
    languageRow->addWidget(applyLanguage);
    // The two pairs are separate choices.
    auto* diffChoice = new QButtonGroup(this);
    diffChoice->addButton(sbas_);
    diffChoice->addButton(external_);
    auto* languageChoice = new QButtonGroup(this);
    languageChoice->addButton(english_);
    languageChoice->addButton(chinese_);

    forward_ = Named(new QCheckBox(QStringLiteral("Data to External Serial Port"), this),
                     AdvancedPageControl::Forwarding);
    clock_ =
        Named(new QPushButton(Text(strings, StringId::kSetSystemTime), this), AdvancedPageControl::ClockSync);
    status_ = Named(new QLabel(this), AdvancedPageControl::Status);
    status_->setWordWrap(true);
    restore_ =
        Named(new QPushButton(Text(strings, StringId::kRestoreDefaults), this), AdvancedPageControl::Restore);
    const bool englishBar = app.config.effectiveLanguage != 0;
    back_ = ReturnButton(englishBar, Text(strings, StringId::kReturn), this);
    for (QWidget* control : std::initializer_list<QWidget*>{applyDiff_, applyLanguage, clock_, restore_, back_}) {
        control->setMinimumHeight(36);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(diffGroup);
    layout->addWidget(languageBox);
    layout->addWidget(forward_);
    layout->addWidget(clock_);
    layout->addWidget(status_);
    layout->addWidget(restore_);
    layout->addStretch();
    layout->addWidget(back_);

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
    connect(back_, &QPushButton::clicked, this, &AdvancedPage::PressReturn);
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

void AdvancedPage::PressReturn() {
    if (model_.Restoring()) return;
    done(DialogResult::kFinished);
}

void AdvancedPage::reject() {
    if (!model_.Restoring()) QDialog::reject();
}

void AdvancedPage::closeEvent(QCloseEvent* event) {
    if (model_.Restoring()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void AdvancedPage::done(int result) {
    // Only the window's own closing gets here during a restore.
    model_.Abandon();
    ShowRestoring();
    QDialog::done(result);
}

}  // namespace sextara::gui
