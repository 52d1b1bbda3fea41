#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "corrections/CorrectionLink.h"
#include "decode/GnssState.h"
#include "platform/MessageSink.h"
#include "platform/StringIds.h"

namespace sextara {

// A message box the page asks for: string-table text with caption kNotice.
struct PagePrompt {
    enum class Icon { Information, Warning };
    int stringId = 0;
    Icon icon = Icon::Information;
    std::string text;  // when stringId is 0: a message of its own
};

// The logic of the NTRIP/TCP client page without its widgets: what Start,
// Stop, the timer and the connection's messages do to the page, as a View
// that the window (or the headless runner) shows. It lives as long as the
// application, so a page reopened on a running connection finds the byte
// total kept.
class NtripPageModel {
public:
    struct Deps {
        corrections::CorrectionLink& link;
        // EnsureNetwork for the caster's address.
        std::function<bool(std::string_view address)> ensureNetwork;
        // The make's diff-input commands to the receiver.
        std::function<void()> sendDiffInput;
        // The receiver's state, for the distance of the mount points.
        std::function<GnssState()> state;
        // Start keeps the mount point it takes; a run with settings given
        // for itself only (the headless overrides) keeps the stored ones.
        bool saveOnStart = true;
    };

    struct View {
        std::string address;  // "%s:%d"
        std::vector<std::string> items;
        int selected = -1;    // -1: the list's text stays as typed
        int selectionVersion = 0;  // grows when the list is filled or selected anew
        std::string info;
        bool listEnabled = true;
        bool settingsEnabled = true;
        bool running = false;  // the Stop menu is shown
        bool timer = false;
        bool waitCursor = false;
        std::string status;
        std::string counter;
        std::string health;     // the health box, refreshed each tick of a running connection
        int progressSteps = 0;  // steps taken since the page opened
    };

    explicit NtripPageModel(Deps deps);

    // The page opens (tcp: the TCP client) with notify as its message target.
    void Open(bool tcp, int language, platform::MessageSink* notify);
    // The page goes: the connection's messages are no longer delivered.
    void Close();
    bool IsOpen() const { return notify_ != nullptr; }

    std::optional<PagePrompt> Start(std::string_view listText);
    void Stop();
    void Tick();
    std::optional<PagePrompt> OnMessage(std::uint32_t message);
    void Select(std::string_view listText);
    // After the caster settings dialog: the address line again, Start menu.
    void SettingsClosed();

    const View& GetView() const { return view_; }
    std::uint32_t ByteTotal() const { return total_; }
    bool Tcp() const { return tcp_; }

private:
    void FillList();
    void ShowAddress();
    void NotRunning();

    Deps deps_;
    View view_;
    bool tcp_ = false;
    int language_ = 1;
    platform::MessageSink* notify_ = nullptr;
    std::uint32_t total_ = 0;
    std::uint32_t lastShown_ = 0;
    std::uint64_t lastDelivered_ = 0;  // the link's count at the last tick
};

}  // namespace sextara
