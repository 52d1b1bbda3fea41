#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "gui/DialogSupport.h"
#include "gui/Page.h"

class QCheckBox;
class QComboBox;
class QPlainTextEdit;
class QPushButton;

namespace sextara {
class AppCore;
}

namespace sextara::gui {

// The port setup console: close and reopen the GPS path, watch what the
// receiver sends, send it a command (PortConsoleControl); the bar's Back
// button carries command::kReturn.
class PortConsole final : public Page {
    Q_OBJECT
public:
    // The received text is replaced instead of appended beyond this.
    static constexpr int kMaxShownChars = 4096;
    static constexpr std::uint32_t kReadChunk = 1024;

    PortConsole(AppCore& core, Prompts prompts, bool portrait, QWidget* parent = nullptr);

public slots:
    void PressOpenClose();
    void PressSend();
    void PressClear();
    // Timer 4321: moves what the path queued for the console into the view.
    void PollReceived();
    void OnTimer() override { PollReceived(); }

private:
    void LayOut(bool portrait);
    void ShowPortState(bool open);

    AppCore& core_;
    Prompts prompts_;
    bool showReceived_ = true;
    QComboBox* port_ = nullptr;
    QComboBox* baud_ = nullptr;
    QPushButton* openClose_ = nullptr;
    QCheckBox* show_ = nullptr;
    QPlainTextEdit* received_ = nullptr;
    QComboBox* commands_ = nullptr;
    QPlainTextEdit* command_ = nullptr;
};

}  // namespace sextara::gui
