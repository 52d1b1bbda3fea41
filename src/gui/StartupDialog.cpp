#include "gui/StartupDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/AppCore.h"
#include "platform/Messages.h"
#include "receiver/ReceiverMakes.h"
#include "receiver/ReceiverType.h"
#include "ui/ControlIds.h"

namespace sextara::gui {

using ui::StartupControl;
StartupDialog::StartupDialog(AppCore& core, Prompts prompts, bool portrait, QWidget* parent)
    : QDialog(parent),
      core_(core),
      prompts_(std::move(prompts)),
      model_(core),
      sink_([this](const WorkerMessage& message) { OnWorkerMessage(message); }) {
    const platform::StringTable& strings = core.Context().strings;
    setWindowTitle(Text(strings, StringId::kStartupTitle));
    setModal(true);

    make_ = Named(new QComboBox(this), StartupControl::Make);
    for (const ReceiverMake& row : kReceiverMakes) {
        make_->addItem(QString::fromUtf8(row.listName.data(), static_cast<qsizetype>(row.listName.size())));
    }
    port_ = Named(new QComboBox(this), StartupControl::Port);
    baud_ = Named(new QComboBox(this), StartupControl::Baud);
    FillPortChoices(port_, baud_);
    detect_ = Named(new QCheckBox(Text(strings, StringId::kAutoDetect), this), StartupControl::Detect);
    ok_ = Named(new QPushButton(Text(strings, StringId::kOk), this), StartupControl::Ok);
    cancel_ = Named(new QPushButton(Text(strings, StringId::kCancel), this), StartupControl::Cancel);
    scan_ = Named(new QPushButton(this), StartupControl::Scan);
    scan_->hide();
    status_ = Named(new QLabel(this), StartupControl::Status);
    status_->setWordWrap(true);
    auto* makeLabel =
        Named(new QLabel(Text(strings, StringId::kReceiverBoard), this), StartupControl::MakeLabel);
    auto* portLabel = Named(new QLabel(Text(strings, StringId::kGpsPort), this), StartupControl::PortLabel);
    auto* baudLabel = Named(new QLabel(Text(strings, StringId::kBaudRate), this), StartupControl::BaudLabel);

    // Big enough for a finger on a touch screen.
    for (QWidget* control : std::initializer_list<QWidget*>{make_, port_, baud_, ok_, cancel_}) {
        control->setMinimumHeight(36);
    }

    auto* grid = new QGridLayout;
    if (portrait) {
        grid->addWidget(makeLabel, 0, 0);
        grid->addWidget(make_, 0, 1);
        grid->addWidget(portLabel, 1, 0);
        grid->addWidget(port_, 1, 1);
        grid->addWidget(baudLabel, 2, 0);
        grid->addWidget(baud_, 2, 1);
        grid->addWidget(detect_, 3, 1);
    } else {
        grid->addWidget(makeLabel, 0, 0);
        grid->addWidget(portLabel, 0, 1);
        grid->addWidget(baudLabel, 0, 2);
        grid->addWidget(make_, 1, 0);
        grid->addWidget(port_, 1, 1);
        grid->addWidget(baud_, 1, 2);
        grid->addWidget(detect_, 2, 0, 1, 3);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(status_);
    layout->addLayout(buttons);

    make_->setCurrentIndex(model_.InitialMakeRow());
    port_->setCurrentIndex(model_.InitialPortRow());
    baud_->setCurrentIndex(model_.InitialBaudRow());
    ok_->setDefault(true);
    ok_->setAutoDefault(true);
    cancel_->setAutoDefault(false);

    connect(ok_, &QPushButton::clicked, this, &StartupDialog::PressOk);
    connect(cancel_, &QPushButton::clicked, this, &StartupDialog::PressCancel);
}

StartupDialog::~StartupDialog() { StopDetection(); }

void StartupDialog::StopDetection() {
    if (!model_.Busy()) return;
    // A worker blocked in Send must be let go before it can be joined.
    sink_.Shutdown();
    core_.StopWorker();
}

void StartupDialog::Abandon() {
    StopDetection();
    done(DialogResult::kLeave);
}

void StartupDialog::SetControlsEnabled(bool enabled) {
    for (QWidget* control : std::initializer_list<QWidget*>{make_, port_, baud_, detect_, ok_, cancel_, scan_}) {
        control->setEnabled(enabled);
    }
    if (enabled) {
        while (QApplication::overrideCursor() != nullptr) QApplication::restoreOverrideCursor();
    }
}

void StartupDialog::PressOk() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    SetControlsEnabled(false);
    const auto outcome = model_.Ok(make_->currentIndex(), port_->currentIndex(), baud_->currentIndex(),
                                   detect_->isChecked(), sink_);
    if (outcome == StartupDialogModel::OkOutcome::Close) {
        // As the worker would: "done, found", handled on the next pass.
        sink_.Post({platform::kMsgWorkerProgress, platform::kWorkerDetectDone, 1, {}});
    }
}

void StartupDialog::PressCancel() {
    const platform::StringTable& strings = core_.Context().strings;
    if (prompts_.confirm &&
        prompts_.confirm(Text(strings, StringId::kExitQuestion), Text(strings, StringId::kNotice))) {
        StopDetection();
        done(DialogResult::kLeave);
    }
}

void StartupDialog::reject() {
    if (cancel_->isEnabled()) PressCancel();
}

void StartupDialog::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (!model_.Busy()) done(DialogResult::kFinished);
}

void StartupDialog::OnWorkerMessage(const WorkerMessage& message) {
    if (message.message != platform::kMsgWorkerProgress) return;
    const StartupDialogModel::Effect effect = model_.OnWorkerMessage(message.wParam, message.lParam, message.text);
    if (effect.setStatus) status_->setText(QString::fromStdString(effect.status));
    if (effect.selectBaudRow >= 0) baud_->setCurrentIndex(effect.selectBaudRow);
    if (effect.enableControls) SetControlsEnabled(true);
    if (effect.close) done(DialogResult::kFinished);
}

}  // namespace sextara::gui
