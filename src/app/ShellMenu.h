#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "app/CommandIds.h"

namespace sextara {

// What a menu item does; the window maps it to a page.
enum class MenuAction {
    NtripClient,
    TcpClient,
    PortClient,
    PortSetup,
    DataRecord,
    AdvancedSetup,
    About,
    Exit,
};

// One item of the soft-key bar's menus.
struct ShellMenuItem {
    MenuAction action;
    BarCommand command;
    std::string_view chinese;
    std::string_view english;
    // Items of pages that this build does not have yet stay visible, greyed.
    bool enabled;
    // The three correction items sit in the "Ntrip/TCP/PORT" sub-menu.
    bool inCorrectionMenu;
};

// Every item, in menu order; Exit is the bar's second button, the rest sit
// under the first.
std::span<const ShellMenuItem> ShellMenuItems();

inline constexpr std::string_view kCorrectionMenuText = "Ntrip/TCP/PORT";

// Texts of the bar's two buttons in the effective language (0 Chinese).
std::string_view SetupButtonText(int effectiveLanguage);
std::string_view ExitButtonText(int effectiveLanguage);

// The item's text and command id in the effective language (0 Chinese).
std::string_view TextOf(const ShellMenuItem& item, int effectiveLanguage);
int CommandIdOf(const ShellMenuItem& item, int effectiveLanguage);

// The item a command id belongs to, from either bar or the accelerators;
// null for an id of neither.
const ShellMenuItem* FindMenuItem(int commandId);

}  // namespace sextara

namespace sextara {

inline constexpr std::string_view kProgramVersion = "4.0.2.0";

// A compiler's __DATE__ ("Sep 25 2019") as the About box writes it,
// "2019/09/25"; the text unchanged when it is not in that form.
std::string BuildDateText(std::string_view compilerDate);

}  // namespace sextara
