#include "gui/PortClientPage.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/AppContext.h"
#include "app/ByteCount.h"
#include "ui/ControlIds.h"

namespace sextara::gui {

using ui::PortClientControl;

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
    count_->setText(FromUtf8(FormatByteTotal(count)));
    ShowProgressSteps(progress_, ++steps_);
}

}  // namespace sextara::gui
