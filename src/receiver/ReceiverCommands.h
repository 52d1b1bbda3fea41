#pragma once

#include <span>

#include "decode/ByteSink.h"
#include "decode/GnssDecoder.h"
#include "decode/ReceiverCommand.h"
#include "decode/ReceiverMakes.h"
#include "platform/Clock.h"

namespace sextara {

// Every byte sent here comes from the make's row in kReceiverMakes; a code
// outside 0..11 is sent what the enOther row holds.

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
