#include "app/CorrectionPages.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "app/CorrectionHealthText.h"
#include "corrections/CasterAddress.h"
#include "platform/Messages.h"

namespace sextara {
namespace {

constexpr std::size_t kMaxListText = 63;

std::optional<std::pair<double, double>> KnownPosition(const corrections::CasterSettings& settings,
                                                       const std::function<GnssState()>& state) {
    if (settings.useTypedPosition) {
        const double lat = settings.typed.northSouth == "S" ? -settings.typed.latitude : settings.typed.latitude;
        const double lon = settings.typed.eastWest == "W" ? -settings.typed.longitude : settings.typed.longitude;
        return std::make_pair(lat, lon);
    }
    if (state) {
        const GnssState now = state();
        if (now.fixQuality >= kFixSingle) return std::make_pair(now.latitude, now.longitude);
    }
    return std::nullopt;
}

}  // namespace

std::string FormatByteTotal(std::uint32_t total) {
    char text[64];
    if (total <= 1024) {
        std::snprintf(text, sizeof text, "  %lu B", static_cast<unsigned long>(total));
    } else if (total < 1048576) {
        std::snprintf(text, sizeof text, "  %.2f KB", total / 1024.0);
    } else {
        std::snprintf(text, sizeof text, "  %.3f MB", total / 1048576.0);
    }
    return text;
}

CorrectionMenuDecision DecideCorrectionMenu(MenuAction action, bool linkActive, CorrectionMode correctionMode,
                                            bool clientPortOpen) {
    using Page = CorrectionMenuDecision::Page;
    switch (action) {
        case MenuAction::NtripClient:
            if (linkActive && correctionMode == CorrectionMode::Tcp) {
                return {Page::None, platform::StringId::kStopTcpFirst, correctionMode};
            }
            if (clientPortOpen) return {Page::None, 0, correctionMode};
            return {Page::Ntrip, 0, CorrectionMode::Ntrip};
        case MenuAction::TcpClient:
            if (linkActive && correctionMode == CorrectionMode::Ntrip) {
                return {Page::None, platform::StringId::kStopNtripFirst, correctionMode};
            }
            if (clientPortOpen) return {Page::None, 0, correctionMode};
            return {Page::Tcp, 0, CorrectionMode::Tcp};
        case MenuAction::PortClient:
            if (linkActive) return {Page::None, 0, correctionMode};
            return {Page::Port, 0, CorrectionMode::Port};
        default:
            return {Page::None, 0, correctionMode};
    }
}

std::string MountPointOfListText(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    if (text.starts_with(kUpdateSourceTable)) return std::string(kUpdateSourceTable);
    const std::size_t blank = text.find(' ');
    std::string mount(text.substr(0, blank));
    if (mount.size() > kMaxListText) mount.resize(kMaxListText);
    return mount;
}

std::vector<std::string> MountPointListItems(const std::vector<corrections::SourceTableEntry>& entries,
                                             const std::optional<std::pair<double, double>>& position) {
    std::vector<std::string> items{std::string(kUpdateSourceTable)};
    if (!position) {
        for (const auto& entry : entries) items.push_back(entry.mountPoint);
        return items;
    }
    for (const auto& near : corrections::MountPointsByDistance(entries, position->first, position->second)) {
        char distance[48];
        std::snprintf(distance, sizeof distance, "  %.1f km", near.distanceKm);
        items.push_back(entries[near.entryIndex].mountPoint + distance);
    }
    return items;
}

std::string MountPointInfoLine(const std::vector<corrections::SourceTableEntry>& entries,
                               std::string_view mountPoint, int language) {
    const corrections::SourceTableEntry* found = nullptr;
    for (const auto& entry : entries) {
        if (entry.mountPoint == mountPoint) {
            found = &entry;
            break;
        }
    }
    const corrections::SourceTableEntry empty;
    const corrections::SourceTableEntry& e = found ? *found : empty;
    const bool english = language != 0;
    const char* gga = english ? (e.nmea != 0 ? "Send GGA:YES" : "Send GGA:NO") : (e.nmea != 0 ? "发送GGA:是" : "发送GGA:否");
    return std::string(gga) + (english ? "; Base:" : ";基准站:") + e.navSystem + (english ? "\n DiffType:" : "\n差分格式:") +
           e.format + "," + e.formatDetails + "\n";
}

namespace {

std::string Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return std::string(text);
}

// A whole decimal number, or nothing.
template <typename Number>
std::optional<Number> ParseWhole(std::string_view text, std::chars_format format = std::chars_format::general) {
    const std::string trimmed = Trimmed(text);
    Number value{};
    const char* begin = trimmed.data();
    const char* end = begin + trimmed.size();
    if (begin != end && *begin == '+') ++begin;
    std::from_chars_result result;
    if constexpr (std::is_floating_point_v<Number>) {
        result = std::from_chars(begin, end, value, format);
    } else {
        result = std::from_chars(begin, end, value);
    }
    if (trimmed.empty() || result.ec != std::errc() || result.ptr != end) return std::nullopt;
    return value;
}

std::string Degrees(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.8f", value);
    return text;
}

}  // namespace

CasterDialogValues DialogValuesOf(const corrections::CasterSettings& settings) {
    CasterDialogValues v;
    v.address = settings.casterAddress;
    v.port = std::to_string(settings.port);
    v.user = settings.user;
    v.password = settings.password;
    v.useTypedPosition = settings.useTypedPosition;
    v.latitude = Degrees(settings.typed.latitude);
    v.longitude = Degrees(settings.typed.longitude);
    v.south = settings.typed.northSouth != "N";
    v.west = settings.typed.eastWest != "E";
    v.resendCurrentPosition = settings.resendCurrentPosition;
    v.useTls = settings.useTls;
    v.caFile = settings.caFile;
    return v;
}

std::optional<std::string> SettingsFromDialog(const corrections::CasterSettings& current,
                                              const CasterDialogValues& values,
                                              corrections::CasterSettings& out) {
    corrections::CasterSettings s = current;
    s.casterAddress = Trimmed(values.address);
    const bool tlsDefaultPort = values.useTls && Trimmed(values.port).empty();
    const auto port = tlsDefaultPort ? std::optional<long long>(corrections::kTlsDefaultPort)
                                     : ParseWhole<long long>(values.port);
    if (!port || *port < 1 || *port > 65535) return std::string("Port must be 1 to 65535!");
    s.port = static_cast<std::uint32_t>(*port);
    s.user = values.user;
    s.password = values.password;
    s.useTypedPosition = values.useTypedPosition;
    s.resendCurrentPosition = values.resendCurrentPosition;
    s.useTls = values.useTls;
    s.caFile = Trimmed(values.caFile);
    if (values.useTypedPosition) {
        const auto lat = ParseWhole<double>(values.latitude, std::chars_format::fixed);
        const auto lon = ParseWhole<double>(values.longitude, std::chars_format::fixed);
        if (!lat) return std::string("Latitude must be 0 to 90 degrees!");
        if (!lon) return std::string("Longitude must be 0 to 180 degrees!");
        s.typed.latitude = std::fabs(*lat);
        s.typed.longitude = std::fabs(*lon);
        s.typed.northSouth = values.south ? "S" : "N";
        s.typed.eastWest = values.west ? "W" : "E";
    }
    if (auto message = corrections::ValidateCasterSettings(s)) return message;
    out = s;
    return std::nullopt;
}

NtripPageModel::NtripPageModel(Deps deps) : deps_(std::move(deps)) {}

void NtripPageModel::ShowAddress() {
    const corrections::CasterSettings s = deps_.link.Settings();
    // An IPv6 address in brackets, so that its port stands apart.
    view_.address =
        corrections::HostHeaderName(s.casterAddress) + ":" + std::to_string(corrections::EffectivePort(s));
}

void NtripPageModel::FillList() {
    const auto entries = deps_.link.Entries();
    view_.items = MountPointListItems(entries, KnownPosition(deps_.link.Settings(), deps_.state));
    ++view_.selectionVersion;
    view_.selected = 0;
    view_.info.clear();
    if (entries.empty()) return;
    const std::string mount = deps_.link.Settings().mountPoint;
    view_.selected = -1;
    for (std::size_t i = 1; i < view_.items.size(); ++i) {
        if (MountPointOfListText(view_.items[i]) == mount) view_.selected = static_cast<int>(i);
    }
    view_.info = MountPointInfoLine(entries, mount, language_);
}

void NtripPageModel::NotRunning() {
    view_.running = false;
    view_.listEnabled = !tcp_;
    view_.settingsEnabled = true;
}

void NtripPageModel::Open(bool tcp, int language, platform::MessageSink* notify) {
    tcp_ = tcp;
    language_ = language;
    const int version = view_.selectionVersion;
    view_ = View{};
    view_.selectionVersion = version;
    ShowAddress();
    FillList();
    if (!deps_.link.Active()) {
        NotRunning();
        total_ = 0;
        lastShown_ = 0;
    } else {
        view_.counter = std::to_string(total_) + " ";
        view_.running = true;
        view_.listEnabled = false;
        view_.settingsEnabled = false;
        view_.timer = true;
    }
    notify_ = notify;
    deps_.link.SetNotifyTarget(notify);
}

void NtripPageModel::Close() {
    view_.timer = false;
    deps_.link.SetNotifyTarget(nullptr);
    notify_ = nullptr;
}

std::optional<PagePrompt> NtripPageModel::Start(std::string_view listText) {
    if (deps_.ensureNetwork && !deps_.ensureNetwork(deps_.link.Settings().casterAddress)) {
        return PagePrompt{platform::StringId::kNetworkFailed, PagePrompt::Icon::Warning, {}};
    }
    std::string mount;
    if (!tcp_) {
        // An item of the list carries its distance; typed text is taken whole.
        const bool listed = std::find(view_.items.begin(), view_.items.end(), listText) != view_.items.end();
        mount = listed ? MountPointOfListText(listText) : std::string(listText);
        while (!mount.empty() && mount.back() == ' ') mount.pop_back();
        while (!mount.empty() && mount.front() == ' ') mount.erase(mount.begin());
        if (auto problem = mount == kUpdateSourceTable ? std::nullopt : corrections::ValidateMountPoint(mount)) {
            return PagePrompt{0, PagePrompt::Icon::Warning, *problem};
        }
    }
    view_.listEnabled = false;
    view_.settingsEnabled = false;
    if (!mount.empty() && mount != kUpdateSourceTable) {
        corrections::CasterSettings s = deps_.link.Settings();
        s.mountPoint = mount;
        deps_.link.SetSettings(s);
        if (deps_.saveOnStart) deps_.link.SaveCasterSettings();
    }
    view_.running = true;
    if (!tcp_) {
        if (mount == kUpdateSourceTable) {
            view_.waitCursor = true;
            view_.status = std::string(kUpdateSourceTable);
            deps_.link.StartSourceTableUpdate(notify_);
            return std::nullopt;
        }
        if (!deps_.link.HasPositionForGga()) {
            NotRunning();
            return PagePrompt{platform::StringId::kNoFixYet, PagePrompt::Icon::Information, {}};
        }
    }
    if (deps_.sendDiffInput) deps_.sendDiffInput();
    view_.status = "Start to connect Server,pls wait...";
    const bool started = tcp_ ? deps_.link.StartTcp(notify_) : deps_.link.StartNtrip(notify_);
    if (!started) {
        // Another connection holds the link (a source table update still running).
        NotRunning();
        view_.status = deps_.link.StatusText();
        return std::nullopt;
    }
    view_.timer = true;
    lastDelivered_ = deps_.link.DeliveredBytes();
    view_.counter = "0 B";
    view_.status.clear();
    return std::nullopt;
}

void NtripPageModel::Stop() {
    view_.timer = false;
    view_.running = false;
    deps_.link.StopLink();
    if (notify_ != nullptr) notify_->Post(platform::Message{platform::MSG_LINK_DOWN, 0, 0, {}});
    view_.status = "Disconnect from Server.";
}

void NtripPageModel::Tick() {
    if (!view_.timer) return;
    if (deps_.link.Active()) {
        // Every byte that went to the receiver, however many a tick: the
        // link's own count, not the bounded queue.
        const std::uint64_t delivered = deps_.link.DeliveredBytes();
        const std::uint64_t count = delivered - lastDelivered_;
        lastDelivered_ = delivered;
        total_ += static_cast<std::uint32_t>(count);
        view_.health = FormatHealthBox(deps_.link.Health(), language_);
        view_.counter = " " + std::to_string(count) + "bytes   " + FormatByteTotal(total_);
        if (total_ != lastShown_) {
            lastShown_ = total_;
            ++view_.progressSteps;
        }
    } else {
        view_.status = deps_.link.StatusText();
    }
}

std::optional<PagePrompt> NtripPageModel::OnMessage(std::uint32_t message) {
    switch (message) {
        case platform::MSG_SOURCETABLE_DONE:
            view_.waitCursor = false;
            view_.status = "Update SourceTable Successfully!";
            if (const std::string cut = deps_.link.SourceTableCutNote(); !cut.empty()) {
                view_.status += "\r\nThe source table was cut: " + cut;
            }
            view_.listEnabled = true;
            view_.settingsEnabled = true;
            FillList();
            view_.selected = 0;
            view_.info.clear();
            view_.running = deps_.link.Active();
            if (view_.running) view_.listEnabled = false;
            return PagePrompt{platform::StringId::kSourceTableUpdated, PagePrompt::Icon::Information, {}};
        case platform::MSG_SOURCETABLE_FAILED:
            view_.waitCursor = false;
            view_.status = "Update SourceTable Failed!";
            if (const std::string why = deps_.link.LastError(); !why.empty()) view_.status += "\r\n" + why;
            view_.running = false;
            view_.listEnabled = true;
            view_.settingsEnabled = true;
            return PagePrompt{platform::StringId::kSourceTableFailed, PagePrompt::Icon::Warning, {}};
        case platform::MSG_LINK_DOWN: {
            // A job that ended by itself (refused for good, a TCP server down
            // at Start) leaves its cause in view. After Stop the page is no
            // longer running, and the link's last error is old news.
            const std::string why = view_.running ? deps_.link.LastError() : std::string();
            view_.status = why.empty() ? "DisConnect from Server!" : "DisConnect from Server!\r\n" + why;
            NotRunning();
            view_.timer = false;
            return std::nullopt;
        }
        case platform::MSG_LINK_UP:
            view_.status = "Connect Server successfully !";
            total_ = 0;
            lastDelivered_ = deps_.link.DeliveredAtConnect();
            return std::nullopt;
        case platform::MSG_LINK_STATUS:
            view_.status = deps_.link.StatusText();
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

void NtripPageModel::Select(std::string_view listText) {
    view_.info = MountPointInfoLine(deps_.link.Entries(), MountPointOfListText(listText), language_);
}

void NtripPageModel::SettingsClosed() {
    NotRunning();
    ShowAddress();
    FillList();
}

}  // namespace sextara
