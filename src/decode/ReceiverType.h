#pragma once

#include <cstdint>

namespace sextara {

// Receiver make as stored in config.ini under its configuration name. Each
// value has one row in kReceiverMakes (decode/ReceiverMakes.h), in value order.
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

constexpr bool IsKnownReceiverType(std::int32_t code) {
    return code >= 0 && code < kReceiverTypeCount;
}

}  // namespace sextara
