#pragma once

// Everything the program knows of each receiver make, one row per make: its
// names, the decoder that reads it, the commands it is sent (start-up, raw
// observations, second-port rate, correction input, differential mode), how
// it is found at an unknown rate and which reset and restore sequence it
// gets, and the console's canned commands. Each of these byte sequences is
// typed once, in ReceiverMakes.cpp; the command senders, the detector, the
// decoders, the simulator and the fuzzers read them from here. The steps of
// the restore sequences themselves are the detector's.
//
// The catalogue sits in the decoding layer, below the receiver link, because
// the decoder host builds decoders by make code and the decoders send the
// differential-mode commands; the receiver link reads it through
// receiver/ReceiverMakes.h.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "decode/ReceiverCommand.h"
#include "decode/ReceiverType.h"

namespace sextara {

class GnssDecoder;
struct GnssState;

// A new decoder writing into `state` (not owned).
using DecoderFactory = std::unique_ptr<GnssDecoder> (*)(GnssState* state);

// What a make's decoder does, for checks that run over every decoder (the
// fuzzers): the result its Input returns (NMEA parsers 1, binary decoders 0)
// and which satellite tables besides GPS and BeiDou it ever fills.
struct DecoderProfile {
    std::int32_t inputResult;
    bool fillsGlonass;
    bool fillsGalileo;
};

// One write whose bytes are computed from settings, with its pause.
struct BuiltCommand {
    std::vector<std::uint8_t> bytes;
    std::chrono::milliseconds pauseAfter;
};

// The raw-observation set of makes whose bytes depend on the INTERVAL code
// and the CUTOFF elevation.
using RawLogBuilder = std::vector<BuiltCommand> (*)(int recordInterval, int cutoffAngleDeg);

// How the detector finds the make's receiver at an unknown rate.
struct DetectionProbe {
    // Sent twice, then its first resendLength bytes once per further try.
    // Empty: nothing is sent and any received byte is the answer.
    std::span<const std::uint8_t> command;
    std::size_t resendLength;
    // Looked for anywhere in what comes back.
    std::string_view answer;
    // Sent once the rate is found, to switch off what the probe switched on.
    std::span<const std::uint8_t> afterFound;
};

// Factory reset: the text, sent twice, and the rate the receiver then talks
// at. Without a command the restore looks for the receiver at the rate given.
struct FactoryReset {
    std::string_view command;
    int baudAfter;
};

// The restore sequence the detector runs after the reset.
enum class RestoreFlow {
    kProbeOnly,   // no commands of its own: probe at 57600 and take any byte
    kNovatel,     // NovAtel ASCII, answers "<OK"
    kCompass,     // NovAtel ASCII as the Compass board speaks it, answers "OK!"
    kHemisphere,  // "$J" commands, answers "$>"
    kLeaveAlone,  // not restored through this port; reported restored
};

// The command language the board answers in beyond what it is sent; the
// simulated receiver speaks it.
enum class CommandDialect {
    kNone,
    kNovatelAscii,
    kCompassAscii,
    kHemisphere,
    kTrimblePacket,
};

struct ReceiverMake {
    ReceiverType type;
    std::string_view configName;  // "enNovtel", stored in config.ini
    std::string_view listName;    // shown in the board-type list
    std::string_view aboutName;   // shown in the About box
    DecoderFactory decoder;
    DecoderProfile decoderProfile;

    // Sent when the GPS port opens and again while no fix comes.
    CommandSet startup;
    // Starts raw observation output on the second port: a fixed set, or one
    // built from the recording settings (at most one of the two).
    CommandSet rawLog;
    RawLogBuilder rawLogBuilt;
    // Sets the second port to 57600 baud before the recorder opens it.
    CommandSet rawPortBaud;
    // Makes the receiver accept corrections on its port.
    CommandSet diffInput;
    // Sent by the make's decoder for a differential mode.
    DiffModeCommands diffMode;

    DetectionProbe probe;
    FactoryReset reset;
    RestoreFlow restore;
    CommandDialect dialect;

    // Offered in the port console's command list, in order.
    std::span<const std::string_view> consoleCommands;
};

// Rows in value order: row N describes value N.
extern const ReceiverMake kReceiverMakes[kReceiverTypeCount];

// A code outside 0..11 gives the enOther row.
const ReceiverMake& ReceiverMakeOf(std::int32_t code);

// Case-sensitive; anything that is not one of the twelve names gives enOther.
ReceiverType ReceiverTypeFromConfigName(std::string_view name);
// A value outside the table is written as "enOther".
std::string_view ConfigNameOf(std::int32_t code);
// Any value outside the table reads "NMEA" in the About box and the list.
std::string_view AboutNameOf(std::int32_t code);
std::string_view ListNameOf(std::int32_t code);

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

}  // namespace sextara
