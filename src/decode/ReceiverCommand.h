#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

#include "decode/ByteSink.h"
#include "platform/Clock.h"

namespace sextara {

// One write to the receiver and the pause taken on the calling thread after
// it. The pauses keep commands apart on the wire, because the port's writer
// thread sends queued bytes as soon as it can.
struct ReceiverCommand {
    std::span<const std::uint8_t> bytes;
    std::chrono::milliseconds pauseAfter;
};

using CommandSet = std::span<const ReceiverCommand>;

// A command text as the bytes written: without its terminating zero.
template <std::size_t N>
consteval std::array<std::uint8_t, N - 1> CommandBytes(const char (&text)[N]) {
    std::array<std::uint8_t, N - 1> bytes{};
    for (std::size_t i = 0; i + 1 < N; ++i) bytes[i] = static_cast<std::uint8_t>(text[i]);
    return bytes;
}

// Writes each row in order and takes its pause (none for a zero pause).
// Write results are not examined: commands are fire-and-forget.
void SendCommands(CommandSet commands, ByteSink& port, platform::Clock& clock);

// What a make is sent to choose its differential source: 0 none, 1 SBAS,
// 2 other corrections; any other mode gets `otherMode`.
struct DiffModeCommands {
    CommandSet byMode[3];
    CommandSet otherMode;

    CommandSet For(std::int32_t mode) const { return mode >= 0 && mode < 3 ? byMode[mode] : otherMode; }
};

}  // namespace sextara
