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
#include "app/DataForward.h"
#include "platform/Messages.h"

namespace sextara::gui {
namespace {

// Kept for the program's life; external source until the user applies SBAS.
int diffMode = 2;

}  // namespace

int AdvancedPage::DiffMode() { return diffMode; }

AdvancedPage::AdvancedPage(AppCore& core, Prompts prompts, QWidget* parent)
    : QDialog(parent),
      core_(core),
      prompts_(std::move(prompts)),
      sink_([this](const WorkerMessage& message) { OnWorkerMessage(message); }) {
    setModal(true);
    AppContext& app = core.Context();
    const platform::StringTable& strings = app.strings;
    setWindowTitle(Text(strings, 14));

    auto* diffGroup = Named(new QGroupBox(Text(strings, 38), this), "1069");
    sbas_ = Named(new QRadioButton(Text(strings, 40), diffGroup), "1052");
    external_ = Named(new QRadioButton(Text(strings, 39), diffGroup), "1054");
    applyDiff_ = Named(new QPushButton(Text(strings, 14), diffGroup), "1053");
    auto* diffGrid = new QGridLayout(diffGroup);
    diffGrid->addWidget(sbas_, 0, 0);
    diffGrid->addWidget(external_, 1, 0);
    diffGrid->addWidget(applyDiff_, 0, 1, 2, 1);

    auto* languageBox = new QWidget(this);
    english_ = Named(new QRadioButton(QStringLiteral("English"), languageBox), "1092");
    chinese_ = Named(new QRadioButton(QStringLiteral("中文"), languageBox), "1093");
    auto* applyLanguage = Named(new QPushButton(Text(strings, 14), languageBox), "1056");
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

    forward_ = Named(new QCheckBox(QStringLiteral("Data to External Serial Port"), this), "1149");
    clock_ = Named(new QPushButton(Text(strings, 42), this), "1058");
    status_ = Named(new QLabel(this), "1059");
    status_->setWordWrap(true);
    restore_ = Named(new QPushButton(Text(strings, 41), this), "1055");
    const bool englishBar = app.config.effectiveLanguage != 0;
    back_ = ReturnButton(englishBar, QStringLiteral("Return"), QStringLiteral("返回"), this);
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

    const bool hemisphere = app.config.receiverType == enHemis;
    sbas_->setEnabled(hemisphere);
    external_->setEnabled(hemisphere);
    applyDiff_->setEnabled(hemisphere);
    if (hemisphere) (diffMode == 1 ? sbas_ : external_)->setChecked(true);
    (app.config.effectiveLanguage == 1 ? english_ : chinese_)->setChecked(true);
    restore_->setEnabled(app.config.receiverType != enOther);
    forward_->setChecked(app.registry.dataTransfer == 1);

    connect(applyDiff_, &QPushButton::clicked, this, &AdvancedPage::PressApplyDiffMode);
    connect(applyLanguage, &QPushButton::clicked, this, &AdvancedPage::PressApplyLanguage);
    connect(forward_, &QCheckBox::clicked, this, &AdvancedPage::PressForwarding);
    connect(clock_, &QPushButton::clicked, this, &AdvancedPage::PressClockSync);
    connect(restore_, &QPushButton::clicked, this, &AdvancedPage::PressRestore);
    connect(back_, &QPushButton::clicked, this, &AdvancedPage::PressReturn);
}

AdvancedPage::~AdvancedPage() {
    // The worker must not report to a page that is gone.
    if (restoring_) core_.StopWorker();
    sink_.Shutdown();
    if (restoring_) QApplication::restoreOverrideCursor();
}

void AdvancedPage::SetStatus(const QString& text) { status_->setText(text); }

void AdvancedPage::PressApplyDiffMode() {
    AppContext& app = core_.Context();
    if (restoring_ || app.config.receiverType != enHemis) return;
    diffMode = sbas_->isChecked() ? 1 : 2;
    app.SetReceiverDiffMode(diffMode);
    SetStatus(Text(app.strings, 63));
}

void AdvancedPage::PressApplyLanguage() {
    AppContext& app = core_.Context();
    app.config.language = english_->isChecked() ? 1 : 0;
    // Takes effect when config.ini is read at the next start.
    if (app.config.language != app.config.effectiveLanguage) SetStatus(Text(app.strings, 90));
}

// The forwarding messages have an English caption of their own.
void AdvancedPage::Tell(NoticeIcon icon, const QString& text) {
    if (prompts_.tell) prompts_.tell(icon, text, QStringLiteral("Hint"));
}

void AdvancedPage::PressForwarding(bool checked) {
    AppContext& app = core_.Context();
    switch (SetForwarding(app, checked)) {
        case ForwardSwitch::RefusedRecording:
            forward_->setChecked(false);
            Tell(NoticeIcon::Stop, QStringLiteral("Please stop data record firstly!"));
            return;
        case ForwardSwitch::OpenFailed:
            forward_->setChecked(app.registry.dataTransfer == 1);
            Tell(NoticeIcon::Warning, QStringLiteral("Open Data Transf Port Failed!"));
            return;
        case ForwardSwitch::On:
        case ForwardSwitch::Off:
            return;
    }
}

void AdvancedPage::PressClockSync() {
    AppContext& app = core_.Context();
    if (restoring_) return;
    int text = 0;
    switch (app.clockSync.ManualSync(app.gnss.Snapshot())) {
        case ClockSync::Manual::NoFix:
            text = 67;
            break;
        case ClockSync::Manual::Set:
            text = 65;
            break;
        case ClockSync::Manual::Failed:
            text = 66;
            break;
        case ClockSync::Manual::Ignored:
            return;
    }
    if (prompts_.tell) prompts_.tell(NoticeIcon::Information, Text(app.strings, text), Text(app.strings, 11));
}

void AdvancedPage::PressRestore() {
    AppContext& app = core_.Context();
    if (restoring_ || app.config.receiverType == enOther) return;
    if (!prompts_.confirm || !prompts_.confirm(Text(app.strings, 87), Text(app.strings, 11))) return;
    restoring_ = true;
    restoreDone_ = false;
    reopenDone_ = false;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    SetReceiverControlsEnabled(false);
    SetStatus(Text(app.strings, 80));
    if (!core_.StartRestore(sink_, app.config.GPSPort, app.config.GPSBaud)) {
        EndRestore();
        SetStatus(Text(app.strings, 81));
    }
}

void AdvancedPage::OnWorkerMessage(const WorkerMessage& message) {
    if (message.message != platform::kMsgWorkerProgress || !restoring_) return;
    const platform::StringTable& strings = core_.Context().strings;
    switch (message.wParam) {
        case platform::kWorkerStatusText:
            SetStatus(QString::fromStdString(message.text));
            break;
        case platform::kWorkerRestoreDone:
            restoreDone_ = true;
            SetStatus(Text(strings, message.lParam != 0 ? 82 : 81));
            break;
        case platform::kWorkerGpsReopened:
            reopenDone_ = true;
            if (message.lParam == 0) SetStatus(Text(strings, 68));
            break;
        default:
            break;
    }
    if (restoreDone_ && reopenDone_) EndRestore();
}

void AdvancedPage::EndRestore() {
    if (!restoring_) return;
    restoring_ = false;
    QApplication::restoreOverrideCursor();
    SetReceiverControlsEnabled(true);
}

void AdvancedPage::SetReceiverControlsEnabled(bool enabled) {
    const int make = core_.Context().config.receiverType;
    const bool hemisphere = make == enHemis;
    sbas_->setEnabled(enabled && hemisphere);
    external_->setEnabled(enabled && hemisphere);
    applyDiff_->setEnabled(enabled && hemisphere);
    clock_->setEnabled(enabled);
    restore_->setEnabled(enabled && make != enOther);
    back_->setEnabled(enabled);
}

void AdvancedPage::PressReturn() {
    if (restoring_) return;
    done(16);
}

void AdvancedPage::reject() {
    if (!restoring_) QDialog::reject();
}

void AdvancedPage::closeEvent(QCloseEvent* event) {
    if (restoring_) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void AdvancedPage::done(int result) {
    // Only the window's own closing gets here during a restore: the worker
    // is stopped and its port left closed.
    if (restoring_) {
        core_.StopWorker();
        EndRestore();
    }
    QDialog::done(result);
}

}  // namespace sextara::gui
