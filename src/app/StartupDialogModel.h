#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/MessageSink.h"

namespace sextara {

class AppCore;

// The start-up configuration dialog without its widgets: which rows the lists
// start on, what OK does with the selection (settings, decoder, detection on
// the core's worker) and what each worker message changes. The dialog widget
// only shows what this says, so its flows are testable without a screen.
class StartupDialogModel {
public:
    static constexpr std::array<int, 5> kBaudRates = {9600, 19200, 38400, 57600, 115200};
    static constexpr int kPortCount = 9;  // "COM1" ... "COM9"

    explicit StartupDialogModel(AppCore& core);

    // Rows the lists start on: the make of the settings (row 0 for a code
    // outside the table), GPSPort - 1, and GPSBaud's row or -1 when it is
    // not one of the five.
    int InitialMakeRow() const;
    int InitialPortRow() const;
    int InitialBaudRow() const;

    enum class OkOutcome {
        Close,      // nothing to detect: the dialog closes with DialogResult::kFinished
        Detecting,  // the worker runs; wait for its messages
    };
    // Takes the selection into the settings and installs the make's decoder;
    // then detects (when asked and the make is not "enOther") on the core's
    // worker, reporting to sink. A baud row of -1 keeps GPSBaud. A worker
    // that cannot start is reported through sink as a failed detection.
    OkOutcome Ok(int makeRow, int portRow, int baudRow, bool detect, platform::MessageSink& sink);

    // What the dialog does for one worker message.
    struct Effect {
        bool setStatus = false;
        std::string status;
        bool enableControls = false;  // and the normal cursor
        int selectBaudRow = -1;       // -1: leave the selection alone
        bool close = false;           // end with DialogResult::kFinished
    };
    // text is the status line of kWorkerStatusText.
    Effect OnWorkerMessage(std::intptr_t code, std::intptr_t value, std::string_view text);

    // True between an OK that started a detection and the end of it.
    bool Busy() const { return busy_; }

    static int BaudRowOf(int baud);

private:
    AppCore& core_;
    bool busy_ = false;
};

}  // namespace sextara
