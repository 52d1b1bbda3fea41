#include "receiver/ReceiverType.h"

namespace sextara {

const ReceiverTypeNames kReceiverTypeNames[kReceiverTypeCount] = {
    {enNovtel, "enNovtel", "NovAtel", "NovAtel"},
    {enCompass, "enCompass", "Compass", "Compass"},
    {enHemis, "enHemis", "Hemisphere", "Hemisphere"},
    {enBlox6T, "enBlox6T", "uBlox6T", "uBlox 6T"},
    {enBlox8T, "enBlox8T", "uBlox8T", "uBlox 8T"},
    {enTrimble, "enTrimble", "Trimble", "Trimble"},
    {enTrimbleNMEA, "enTrimbleNMEA", "Trimble(NMEA)", "Trimble NMEA"},
    {enSkyTraq, "enSkyTraq", "SkyTraq", "Skytraq"},
    {enOther, "enOther", "NMEA", "NMEA"},
    {enDA_Vo, "enDA_Vo", "DA_VO", "DA_Vo"},
    {enDorir_Iv, "enDorir_Iv", "Zore_RE", "Dorir_Iv"},
    {enBlox9P, "enBlox9P", "uBlox9P", "uBlox 9P"},
};

bool IsKnownReceiverType(std::int32_t code) { return code >= 0 && code < kReceiverTypeCount; }

ReceiverType ReceiverTypeFromConfigName(std::string_view name) {
    for (const auto& row : kReceiverTypeNames) {
        if (row.configName == name) return row.type;
    }
    return kDefaultReceiverType;
}

std::string_view ConfigNameOf(std::int32_t code) {
    return IsKnownReceiverType(code) ? kReceiverTypeNames[code].configName
                                     : kReceiverTypeNames[kDefaultReceiverType].configName;
}

std::string_view AboutNameOf(std::int32_t code) {
    return IsKnownReceiverType(code) ? kReceiverTypeNames[code].aboutName : std::string_view("NMEA");
}

}  // namespace sextara
