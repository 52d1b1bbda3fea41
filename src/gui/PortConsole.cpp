#include "gui/PortConsole.h"

#include <array>
#include <string>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/AppCore.h"
#include "receiver/ReceiverCommands.h"
#include "receiver/ReceiverMakes.h"
#include "ui/ControlIds.h"

namespace sextara::gui {

using ui::PortConsoleControl;
PortConsole::PortConsole(AppCore& core, Prompts prompts, bool portrait, QWidget* parent)
    : Page(core.Context().strings, core.Context().config.effectiveLanguage != 0, parent),
      core_(core),
      prompts_(std::move(prompts)) {
    const AppContext& app = core.Context();
    const platform::StringTable& strings = app.strings;
    setWindowTitle(Text(strings, StringId::kSetup));

    port_ = Named(new QComboBox(this), PortConsoleControl::Port);
    baud_ = Named(new QComboBox(this), PortConsoleControl::Baud);
    FillPortChoices(port_, baud_);
    openClose_ = Named(new QPushButton(this), PortConsoleControl::OpenClose);
    show_ = Named(new QCheckBox(Text(strings, StringId::kShow), this), PortConsoleControl::Show);
    received_ = Named(new QPlainTextEdit(this), PortConsoleControl::Received);
    received_->setReadOnly(true);
    received_->setMaximumBlockCount(0);
    commands_ = Named(new QComboBox(this), PortConsoleControl::CannedCommands);
    for (const std::string_view command : ReceiverMakeOf(app.config.receiverType).consoleCommands) {
        commands_->addItem(QString::fromUtf8(command.data(), static_cast<qsizetype>(command.size())));
    }
    commands_->setCurrentIndex(-1);
    command_ = Named(new QPlainTextEdit(this), PortConsoleControl::Command);
    command_->setMaximumHeight(64);
    auto* send = Named(new QPushButton(Text(strings, StringId::kSend), this), PortConsoleControl::Send);
    auto* clear = Named(new QPushButton(Text(strings, StringId::kClear), this), PortConsoleControl::Clear);
    AddToBar(send);
    AddToBar(clear);
    AddBarStretch();
    QPushButton* back = AddReturnButton(command::kReturn, StringId::kBack);
    for (QWidget* control : std::initializer_list<QWidget*>{port_, baud_, openClose_, commands_, send, clear, back}) {
        control->setMinimumHeight(36);
    }
    LayOut(portrait);

    port_->setCurrentIndex(app.config.GPSPort >= 1 && app.config.GPSPort <= 9 ? app.config.GPSPort - 1 : -1);
    baud_->setCurrentIndex(BaudRowOrFastest(app.config.GPSBaud));
    show_->setChecked(true);
    showReceived_ = true;

    connect(openClose_, &QPushButton::clicked, this, &PortConsole::PressOpenClose);
    connect(send, &QPushButton::clicked, this, &PortConsole::PressSend);
    connect(clear, &QPushButton::clicked, this, &PortConsole::PressClear);
    connect(show_, &QCheckBox::toggled, this, [this](bool on) { showReceived_ = on; });
    connect(commands_, &QComboBox::currentIndexChanged, this, [this](int row) {
        if (row >= 0) command_->setPlainText(commands_->itemText(row));
    });

    const bool open = app.gpsPath.GpsPortOpen() != 0;
    ShowPortState(open);
    if (open) StartTimer(kTimerMs);
}

void PortConsole::LayOut(bool portrait) {
    const platform::StringTable& strings = Strings();
    auto* top = new QGridLayout;
    auto* portLabel = Named(new QLabel(Text(strings, StringId::kPort), this), PortConsoleControl::PortLabel);
    auto* baudLabel =
        Named(new QLabel(Text(strings, StringId::kPortBaudRate), this), PortConsoleControl::BaudLabel);
    auto* receiveLabel =
        Named(new QLabel(Text(strings, StringId::kReceive), this), PortConsoleControl::ReceivedLabel);
    if (portrait) {
        top->addWidget(portLabel, 0, 0);
        top->addWidget(port_, 0, 1);
        top->addWidget(baudLabel, 1, 0);
        top->addWidget(baud_, 1, 1);
        top->addWidget(openClose_, 0, 2, 2, 1);
    } else {
        top->addWidget(portLabel, 0, 0);
        top->addWidget(port_, 0, 1);
        top->addWidget(baudLabel, 0, 2);
        top->addWidget(baud_, 0, 3);
        top->addWidget(openClose_, 0, 4);
    }
    auto* receiveRow = new QHBoxLayout;
    receiveRow->addWidget(receiveLabel);
    receiveRow->addStretch();
    receiveRow->addWidget(show_);
    Body()->addLayout(top);
    Body()->addLayout(receiveRow);
    Body()->addWidget(received_, 1);
    Body()->addWidget(commands_);
    Body()->addWidget(command_);
}

void PortConsole::ShowPortState(bool open) {
    const platform::StringTable& strings = core_.Context().strings;
    port_->setEnabled(!open);
    baud_->setEnabled(!open);
    openClose_->setText(Text(strings, open ? StringId::kClose : StringId::kOpen));
}

void PortConsole::PressOpenClose() {
    AppContext& app = core_.Context();
    if (app.gpsPath.GpsPortOpen()) {
        core_.CloseGpsPortByUser();
        ShowPortState(false);
        StopTimer();
        return;
    }
    const int port = port_->currentIndex() + 1;
    const int baud = BaudOfRow(baud_->currentIndex(), 4);
    if (core_.OpenGpsPortByUser(port, baud)) {
        ShowPortState(true);
        StartTimer(1);
        return;
    }
    if (prompts_.tell)
        prompts_.tell(NoticeIcon::Warning, Text(app.strings, StringId::kPortOpenFailed),
                      Text(app.strings, StringId::kNotice));
    ShowPortState(false);
    StopTimer();
}

void PortConsole::PressSend() {
    AppContext& app = core_.Context();
    if (!app.gpsPath.GpsPortOpen()) {
        if (prompts_.tell)
            prompts_.tell(NoticeIcon::Warning, Text(app.strings, StringId::kPortOpenFailed),
                          Text(app.strings, StringId::kNotice));
        return;
    }
    std::string text = command_->toPlainText().left(2048).toStdString();
    if (text.size() > 1024) text.resize(1024);
    text += "\r\n";
    WriteToReceiver(app.gpsPort, reinterpret_cast<const std::uint8_t*>(text.data()),
                    static_cast<std::uint32_t>(text.size()));
}

void PortConsole::PressClear() { command_->clear(); }

void PortConsole::PollReceived() {
    if (!showReceived_) return;
    std::array<std::uint8_t, kReadChunk> buffer{};
    const std::uint32_t count = core_.Context().gpsPath.ReadConsoleBytes(buffer.data(), kReadChunk);
    if (count == 0) return;
    const QString text = QString::fromLatin1(reinterpret_cast<const char*>(buffer.data()), count);
    if (received_->document()->characterCount() - 1 > kMaxShownChars) {
        received_->setPlainText(text);
    } else {
        received_->moveCursor(QTextCursor::End);
        received_->insertPlainText(text);
    }
    received_->moveCursor(QTextCursor::End);
}

}  // namespace sextara::gui
