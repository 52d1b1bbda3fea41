#pragma once

#include <cstdint>
#include <string_view>

namespace sextara {

// Receiver make as stored in config.ini under its configuration name.
enum ReceiverType : std::int32_t {
    enNovtel = 0,
    enCompass = 1,
    enHemis = 2,
    enBlox6T = 3,
    enBlox8T = 4,
    enTrimble = 5,
    enTrimbleNMEA = 6,
    enSkyTraq = 7,
    enOther = 8,
    enDA_Vo = 9,
    enDorir_Iv = 10,
    enBlox9P = 11,
};

constexpr int kReceiverTypeCount = 12;
constexpr ReceiverType kDefaultReceiverType = enOther;

struct ReceiverTypeNames {
    ReceiverType type;
    std::string_view configName;  // "enNovtel", stored in config.ini
    std::string_view listName;    // shown in the board-type list
    std::string_view aboutName;   // shown in the About box
};

// Rows in value order: row N describes value N.
extern const ReceiverTypeNames kReceiverTypeNames[kReceiverTypeCount];

bool IsKnownReceiverType(std::int32_t code);
// Case-sensitive; anything that is not one of the twelve names gives enOther.
ReceiverType ReceiverTypeFromConfigName(std::string_view name);
// A value outside the table is written as "enOther".
std::string_view ConfigNameOf(std::int32_t code);
// Any value outside the table reads "NMEA" in the About box.
std::string_view AboutNameOf(std::int32_t code);

}  // namespace sextara
