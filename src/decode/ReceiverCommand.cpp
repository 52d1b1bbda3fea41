#include "decode/ReceiverCommand.h"

namespace sextara {

void SendCommands(CommandSet commands, ByteSink& port, platform::Clock& clock) {
    for (const auto& command : commands) {
        port.Write(command.bytes.data(), static_cast<std::uint32_t>(command.bytes.size()));
        if (command.pauseAfter > std::chrono::milliseconds::zero()) clock.SleepFor(command.pauseAfter);
    }
}

}  // namespace sextara
