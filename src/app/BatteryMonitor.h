#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Event.h"

namespace sextara {

// The charge of the main battery; a machine without one (a desktop, a board
// on mains) reads not available and never warns.
struct BatteryReading {
    bool available = false;
    int percent = 0;
};

inline constexpr const char* kPowerSupplyRoot = "/sys/class/power_supply";

// The first supply under root whose "type" is "Battery" and that has a
// readable "capacity".
BatteryReading ReadBattery(const std::string& root);
// Below the threshold, and only for a battery that is there.
bool BatteryIsLow(const BatteryReading& reading, int threshold);

// Watches the battery on a thread of its own and, when the charge falls below
// the threshold, has the warning shown. The warning function runs on the
// monitor thread and returns only once the warning has closed, so no check
// runs while it is up. The front end decides how it is shown (a widget
// must be made on the window thread).
class BatteryMonitor {
public:
    using ShowWarning = std::function<void(const std::string& text)>;
    static constexpr std::chrono::milliseconds kCheckPeriod{30000};

    // threshold: config.ini BatteryValue (default 20).
    explicit BatteryMonitor(int threshold, std::string root = kPowerSupplyRoot,
                            std::chrono::milliseconds period = kCheckPeriod);
    // Stops the thread.
    ~BatteryMonitor();
    BatteryMonitor(const BatteryMonitor&) = delete;
    BatteryMonitor& operator=(const BatteryMonitor&) = delete;

    void Attach(ShowWarning show);
    // Starts the thread, which checks once per period; false when it runs.
    bool Start(std::string warningText);
    // Sets the stop event and joins. A warning that is up must be closed by
    // the front end first, or this waits for it.
    void Stop();
    bool Running() const;

    // One check: shows the warning (and waits for it) when the charge is low.
    // True when the warning was shown.
    bool CheckOnce();

    int Threshold() const { return threshold_; }

private:
    void Run();

    const int threshold_;
    const std::string root_;
    const std::chrono::milliseconds period_;
    platform::Event stopEvent_;
    std::thread thread_;
    mutable std::mutex lock_;
    ShowWarning show_;
    std::string text_;
};

// The warning's text over its four ticks: the text, then " .", " ..", " ..."
// after it; the fourth tick closes it.
class BatteryWarningText {
public:
    static constexpr std::chrono::milliseconds kTickPeriod{1000};
    static constexpr int kTicksUp = 4;

    explicit BatteryWarningText(std::string text) : text_(std::move(text)) {}
    std::string Text() const;
    // Advances one tick; true when the warning is to close.
    bool Tick();
    int Ticks() const { return ticks_; }

private:
    std::string text_;
    int ticks_ = 0;
};

}  // namespace sextara
