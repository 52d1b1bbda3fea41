#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

#include "decode/ByteSink.h"
#include "decode/GnssDecoder.h"
#include "platform/Clock.h"

namespace sextara {

// One write to the receiver and the pause taken on the calling thread after
// it. The pauses keep commands apart on the wire, because the port's writer
// thread sends queued bytes as soon as it can.
struct ReceiverCommand {
    std::span<const std::uint8_t> bytes;
    std::chrono::milliseconds pauseAfter;
};

// A command text as the bytes written: without its terminating zero.
template <std::size_t N>
consteval std::array<std::uint8_t, N - 1> CommandBytes(const char (&text)[N]) {
    std::array<std::uint8_t, N - 1> bytes{};
    for (std::size_t i = 0; i + 1 < N; ++i) bytes[i] = static_cast<std::uint8_t>(text[i]);
    return bytes;
}

// Writes each row in order and takes its pause (none for a zero pause).
// Write results are not examined: commands are fire-and-forget.
void SendCommands(std::span<const ReceiverCommand> commands, ByteSink& port, platform::Clock& clock);

// The constant start-up set of a make; empty for the makes that need none
// (enOther, enBlox9P) and for codes outside 0..11.
std::span<const ReceiverCommand> StartupCommandSet(int receiverType);

// Makes the receiver report what the decoder of its make reads. Returns 1.
int SendStartupCommands(int receiverType, ByteSink& gpsPort, platform::Clock& clock);

// Starts raw observation output on the receiver's second port for recording.
// recordInterval is the INTERVAL code, cutoffAngleDeg the CUTOFF elevation.
void SendRawLogCommands(int receiverType, ByteSink& rawPort, int recordInterval, int cutoffAngleDeg,
                        platform::Clock& clock);

// Sets the receiver's second port to 57600 baud before the recorder opens it.
void SendRawPortBaudCommand(int receiverType, ByteSink& gpsPort, platform::Clock& clock);

// Makes the receiver accept differential corrections on its port.
void SendDiffInputCommands(int receiverType, ByteSink& gpsPort, platform::Clock& clock);

// 0 none, 1 SBAS, 2 other corrections; the make's decoder knows the bytes.
// Does nothing while no decoder is installed.
void SetReceiverDiffMode(DecoderHost& decoders, ByteSink& gpsPort, int mode);

// Raw bytes from the port console or a correction client; null or empty is ignored.
void WriteToReceiver(ByteSink& gpsPort, const std::uint8_t* bytes, std::uint32_t length);

// Trimble raw-output packet: STX, status, type 0x64, length 27, 27 data bytes,
// checksum, ETX.
constexpr std::size_t kTrimbleRawOutputPacketBytes = 1 + 1 + 1 + 1 + 27 + 1 + 1;
// Built afresh from the settings each time; the checksum covers status to the
// last data byte. Port codes: 0 Dorir_Iv, 1 DA_Vo, 2 Trimble and Trimble NMEA.
std::array<std::uint8_t, kTrimbleRawOutputPacketBytes> BuildTrimbleRawOutputPacket(int cutoffAngleDeg,
                                                                                   int portCode,
                                                                                   int recordInterval);

// The "%.1f" rate the Hemisphere raw lines carry for an INTERVAL code.
double HemisphereRawRateSeconds(int recordInterval);

// While no fix comes during the first seconds of a run the start-up set is
// sent again, in case the receiver was still booting when it first went out.
// Call once per one-second tick; the count is kept for the whole run.
class StartupResendRule {
public:
    // True when the start-up set is to be sent on this tick.
    bool OnTick(int fixQuality);
    int Ticks() const { return ticks_; }

private:
    // Past this the rule has ended; a fix sets the count beyond it at once.
    static constexpr int kLastTick = 90;
    static constexpr int kStopped = 100;
    int ticks_ = 0;
};

}  // namespace sextara
