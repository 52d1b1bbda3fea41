#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/CorrectionMode.h"
#include "app/ShellMenu.h"
#include "corrections/CorrectionLink.h"
#include "decode/GnssState.h"
#include "platform/MessageSink.h"
#include "platform/StringIds.h"

namespace sextara {

// "  %ld B" up to 1024, "  %.2f KB" below 1 MiB, else "  %.3f MB": the byte
// counters of the NTRIP/TCP page and the PORT client page.
std::string FormatByteTotal(std::uint32_t total);

// Which page a correction item of the menu opens, if any. Only one kind of
// correction runs at a time: with a connection active the other network
// client is refused with its message, the PORT client does nothing; with the
// client port open neither network client opens.
struct CorrectionMenuDecision {
    enum class Page { None, Ntrip, Tcp, Port };
    Page open = Page::None;
    int refusalString = 0;  // kStopTcpFirst or kStopNtripFirst with caption kNotice, else 0
    CorrectionMode correctionMode = CorrectionMode::None;  // the mode to set when a page opens
};
CorrectionMenuDecision DecideCorrectionMenu(MenuAction action, bool linkActive, CorrectionMode correctionMode,
                                            bool clientPortOpen);

// A message box the page asks for: string-table text with caption kNotice.
struct PagePrompt {
    enum class Icon { Information, Warning };
    int stringId = 0;
    Icon icon = Icon::Information;
    std::string text;  // when stringId is 0: a message of its own
};

// The first list item of the NTRIP page.
inline constexpr std::string_view kUpdateSourceTable = "Update SourceTable";

// The mount point a list text names: items carry their distance behind the
// name ("VRS3  12.4 km"), and a mount point never holds a blank.
std::string MountPointOfListText(std::string_view text);

// The mount point list: "Update SourceTable", then every entry's mount point,
// nearest first with its distance when a position is known, else in table
// order.
std::vector<std::string> MountPointListItems(const std::vector<corrections::SourceTableEntry>& entries,
                                             const std::optional<std::pair<double, double>>& position);

// The information line of a mount point (English when language is not 0).
std::string MountPointInfoLine(const std::vector<corrections::SourceTableEntry>& entries,
                               std::string_view mountPoint, int language);

// What the caster settings dialog holds when OK is pressed, as entered.
struct CasterDialogValues {
    std::string address;
    std::string port;
    std::string user;
    std::string password;
    bool useTypedPosition = false;
    std::string latitude;
    std::string longitude;
    bool south = false;
    bool west = false;
    bool resendCurrentPosition = false;
    bool useTls = false;
    std::string caFile;  // empty: the system's trusted certificates
};
// The dialog's values for a set of settings (position with "%.8f").
CasterDialogValues DialogValuesOf(const corrections::CasterSettings& settings);
// The settings the values make, starting from current (the mount point and
// the values the dialog does not show stay); a message instead when a value
// cannot be used. The typed position is read only when it is chosen; with
// TLS an empty port means 443.
std::optional<std::string> SettingsFromDialog(const corrections::CasterSettings& current,
                                              const CasterDialogValues& values,
                                              corrections::CasterSettings& out);

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
