#pragma once

#include "app/CorrectionMode.h"
#include "app/ShellMenu.h"

namespace sextara {

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

}  // namespace sextara
