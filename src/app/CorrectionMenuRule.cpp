#include "app/CorrectionMenuRule.h"

#include "platform/StringIds.h"

namespace sextara {

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

}  // namespace sextara
