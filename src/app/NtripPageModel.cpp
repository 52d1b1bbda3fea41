#include "app/NtripPageModel.h"

#include <algorithm>

#include "app/ByteCount.h"
#include "app/CorrectionHealthText.h"
#include "app/MountPointOrder.h"
#include "corrections/CasterAddress.h"
#include "platform/Messages.h"

namespace sextara {
namespace {

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
