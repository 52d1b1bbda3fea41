#include "app/BatteryMonitor.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <utility>

#include "platform/Debug.h"
#include "platform/ThreadName.h"

namespace sextara {
namespace {

bool ReadFirstLine(const std::filesystem::path& path, std::string& line) {
    std::ifstream in(path);
    if (!in) return false;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return true;
}

}  // namespace

BatteryReading ReadBattery(const std::string& root) {
    std::error_code error;
    std::filesystem::directory_iterator it(root, error);
    if (error) return {};
    for (const auto& entry : it) {
        std::string type;
        std::string capacity;
        if (!ReadFirstLine(entry.path() / "type", type) || type != "Battery") continue;
        if (!ReadFirstLine(entry.path() / "capacity", capacity) || capacity.empty()) continue;
        char* end = nullptr;
        const long value = std::strtol(capacity.c_str(), &end, 10);
        if (*end != '\0' || value < 0 || value > 100) continue;
        return BatteryReading{true, static_cast<int>(value)};
    }
    return {};
}

bool BatteryIsLow(const BatteryReading& reading, int threshold) {
    return reading.available && reading.percent < threshold;
}

BatteryMonitor::BatteryMonitor(int threshold, std::string root, std::chrono::milliseconds period)
    : threshold_(threshold), root_(std::move(root)), period_(period) {}

BatteryMonitor::~BatteryMonitor() { Stop(); }

void BatteryMonitor::Attach(ShowWarning show) {
    std::lock_guard<std::mutex> guard(lock_);
    show_ = std::move(show);
}

bool BatteryMonitor::Start(std::string warningText) {
    if (thread_.joinable()) return false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        text_ = std::move(warningText);
    }
    stopEvent_.Reset();
    thread_ = std::thread([this] {
        platform::NameThisThread("battery");
        Run();
    });
    return true;
}

void BatteryMonitor::Stop() {
    stopEvent_.Set();
    if (thread_.joinable()) thread_.join();
    stopEvent_.Reset();
}

bool BatteryMonitor::Running() const { return thread_.joinable(); }

bool BatteryMonitor::CheckOnce() {
    if (!BatteryIsLow(ReadBattery(root_), threshold_)) return false;
    ShowWarning show;
    std::string text;
    {
        std::lock_guard<std::mutex> guard(lock_);
        show = show_;
        text = text_;
    }
    platform::DebugPrint("Start Battery Dialog!\r\n");
    if (show) show(text);
    return true;
}

void BatteryMonitor::Run() {
    while (!stopEvent_.Wait(period_)) CheckOnce();
}

std::string BatteryWarningText::Text() const {
    static constexpr const char* kDots[] = {"", " .", " ..", " ..."};
    return text_ + kDots[ticks_ < 4 ? ticks_ : 3];
}

bool BatteryWarningText::Tick() {
    if (ticks_ < kTicksUp) ++ticks_;
    return ticks_ >= kTicksUp;
}

}  // namespace sextara
