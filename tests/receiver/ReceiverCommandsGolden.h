#pragma once

// The start-up set of every make as the receiver must see it, write by write,
// with the pause after each write. Typed out independently of the command
// tables so that a slip in either shows up as a difference.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "decode/ReceiverType.h"

namespace sextara::golden {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Text(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

inline Bytes Hex(std::string_view hex) {
    Bytes out;
    for (std::size_t i = 0; i < hex.size();) {
        if (hex[i] == ' ') {
            ++i;
            continue;
        }
        out.push_back(static_cast<std::uint8_t>(std::stoul(std::string(hex.substr(i, 2)), nullptr, 16)));
        i += 2;
    }
    return out;
}

// Hex text, so that a difference shows as readable bytes.
inline std::string Show(const Bytes& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (auto b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0x0f];
        out += ' ';
    }
    return out;
}

inline Bytes Padded(Bytes bytes, std::size_t size) {
    bytes.resize(size, 0);
    return bytes;
}

struct Write {
    Bytes bytes;
    int pauseMs;
};

struct StartupGolden {
    const char* name;
    int type;
    std::vector<Write> writes;
};

inline std::vector<Write> Texts(std::initializer_list<const char*> lines, int pauseMs) {
    std::vector<Write> out;
    for (const char* line : lines) out.push_back({Text(line), pauseMs});
    return out;
}

inline std::vector<Write> Concat(std::vector<Write> a, const std::vector<Write>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes Concat(const std::vector<Write>& writes) {
    Bytes out;
    for (const auto& w : writes) out.insert(out.end(), w.bytes.begin(), w.bytes.end());
    return out;
}

inline const Bytes kRecordA =
    Hex("17 00 02 00 64 11 00 00 00 03 00 01 00 07 08 00 00 00 00 00 00 00 00 88 03");
inline const Bytes kRecordB = Hex(
    "27 00 02 00 64 21 02 00 00 03 00 01 00 16 18 03 00 00 01 00 01 01 01 01 01 01 01 01 01 01 01 01 01 01 "
    "01 01 01 01 01 d0 03");

inline std::vector<Write> TrimbleStartup() {
    std::vector<Write> w = {{kRecordA, 50}, {kRecordA, 50}};
    for (const char* hex : {
             "17 00 02 00 64 11 00 00 00 03 00 01 00 07 08 0a 00 05 00 22 00 00 00 b9 03",
             "17 00 02 00 64 11 01 00 00 03 00 01 00 07 08 0a 00 03 00 02 00 00 00 98 03",
             "17 00 02 00 64 11 02 00 00 03 00 01 00 07 08 0a 00 03 00 09 00 00 00 a0 03",
             "17 00 02 00 64 11 03 00 00 03 00 01 00 07 08 0a 00 03 00 01 00 00 00 99 03",
             "17 00 02 00 64 11 05 00 00 03 00 01 00 07 08 0a 00 03 00 0c 00 00 00 a6 03",
             "B",
             "17 00 02 00 64 11 01 00 00 03 00 01 00 07 08 06 02 03 00 00 00 00 00 94 03",
             "17 00 02 00 64 11 01 00 00 03 00 01 00 07 08 26 02 03 00 00 00 00 00 b4 03",
             "17 00 02 00 64 11 01 00 00 03 00 01 00 07 08 12 02 03 00 00 00 00 00 a0 03",
             "17 00 02 00 64 11 01 00 00 03 00 01 00 07 08 28 02 03 00 00 00 00 00 b6 03",
             "17 00 02 00 64 11 01 00 00 03 00 01 00 07 08 0d 02 03 00 00 00 00 00 9b 03",
             "17 00 02 00 64 11 01 00 00 03 00 01 00 07 08 08 02 03 00 00 00 00 00 96 03",
         }) {
        w.push_back({std::string_view(hex) == "B" ? kRecordB : Hex(hex), 50});
    }
    return w;
}

inline std::vector<Write> DorirStartup() {
    std::vector<Write> w = {{kRecordA, 50}, {kRecordA, 50}};
    for (const char* hex : {
             "17 00 02 00 64 11 00 00 00 03 00 01 00 07 08 0a 01 05 00 22 00 00 00 ba 03",
             "17 00 02 00 64 11 01 00 00 03 00 01 00 07 08 0a 01 03 00 02 00 00 00 99 03",
             "17 00 02 00 64 11 02 00 00 03 00 01 00 07 08 0a 01 03 00 09 00 00 00 a1 03",
             "17 00 02 00 64 11 03 00 00 03 00 01 00 07 08 0a 01 03 00 01 00 00 00 9a 03",
             "17 00 02 00 64 11 05 00 00 03 00 01 00 07 08 0a 01 03 00 0c 00 00 00 a7 03",
         }) {
        w.push_back({Hex(hex), 50});
    }
    w.push_back({kRecordB, 50});
    return w;
}

inline std::vector<Write> TrimbleNmeaStartup() {
    std::vector<Write> w = {{kRecordA, 50}, {kRecordA, 50}};
    for (const char* hex : {
             "02 00 64 0d 01 00 00 03 00 01 00 07 04 06 00 03 00 8a 03",
             "17 00 02 00 64 11 01 00 00 03 00 01 00 07 08 26 00 03 00 00 00 00 00 b2 03",
             "02 00 64 0d 01 00 00 03 00 01 00 07 04 12 00 03 00 96 03",
             "02 00 64 0d 01 00 00 03 00 01 00 07 04 0d 00 03 00 91 03",
             "02 00 64 0d 01 00 00 03 00 01 00 07 04 28 00 03 00 ac 03",
             "02 00 64 0d 01 00 00 03 00 01 00 07 04 08 00 03 00 8c 03",
             "B",
             "17 00 02 00 64 11 01 00 00 03 00 01 00 07 08 06 01 03 00 00 00 00 00 93 03",
             "17 00 02 00 64 11 00 00 00 03 00 01 00 07 08 26 01 03 00 00 00 00 00 b2 03",
             "02 00 64 0d 01 00 00 03 00 01 00 07 04 12 01 03 00 97 03",
             "17 00 02 00 64 11 01 00 00 03 00 01 00 07 08 0d 01 03 00 00 00 00 00 9a 03",
             "17 00 02 00 64 11 01 00 00 03 00 01 00 07 08 28 01 03 00 00 00 00 00 b5 03",
             "17 00 02 00 64 11 01 00 00 03 00 01 00 07 08 08 01 03 00 00 00 00 00 95 03",
             "17 00 02 00 64 11 01 00 00 03 00 01 00 07 08 06 02 03 00 00 00 00 00 94 03",
             "17 00 02 00 64 11 01 00 00 03 00 01 00 07 08 26 02 03 00 00 00 00 00 b4 03",
             "02 00 64 0d 01 00 00 03 00 01 00 07 04 12 02 03 00 98 03",
             "17 00 02 00 64 11 01 00 00 03 00 01 00 07 08 28 02 03 00 00 00 00 00 b6 03",
             "17 00 02 00 64 11 01 00 00 03 00 01 00 07 08 0d 02 03 00 00 00 00 00 9b 03",
             "17 00 02 00 64 11 01 00 00 03 00 01 00 07 08 08 02 03 00 00 00 00 00 96 03",
             "02 00 64 0d 01 00 00 03 00 01 00 07 04 0c 02 03 00 92 03",
         }) {
        w.push_back({std::string_view(hex) == "B" ? kRecordB : Hex(hex), 50});
    }
    return w;
}

inline std::vector<Write> UbloxStartup() {
    std::vector<Write> w;
    for (const char* frame : {"b5 62 06 01 03 00 f0 00 01 fb 10", "b5 62 06 01 03 00 f0 01 01 fc 12",
                              "b5 62 06 01 03 00 f0 02 01 fd 14", "b5 62 06 01 03 00 f0 03 01 fe 16",
                              "b5 62 06 01 03 00 f0 04 01 ff 18", "b5 62 06 01 03 00 f0 05 01 00 1a"}) {
        w.push_back({Padded(Hex(frame), 96), 50});
    }
    w.push_back(
        {Padded(Hex("b5 62 06 01 03 00 f0 07 01 02 1e 00 b5 62 06 01 03 00 f0 08 01 03 20"), 96), 150});
    const Bytes nmea =
        Hex("b5 62 06 17 14 00 00 40 00 0a 00 00 00 00 00 00 00 01 00 00 00 00 00 00 00 00 7c cc 00 00");
    const Bytes sbas = Hex("b5 62 06 16 08 00 01 03 03 00 00 00 00 00 2b b9 00 00");
    w.push_back({Hex("b5 62 06 01 03 00 f0 07 01 02 1e 00 00"), 100});
    w.push_back({nmea, 100});
    w.push_back({nmea, 100});
    w.push_back({sbas, 100});
    w.push_back({sbas, 100});
    return w;
}

inline std::vector<StartupGolden> StartupGoldens() {
    const auto hemisphere =
        Concat(Texts({"$JOFF\r\n", "$JOFF\r\n", "$JBAUD,OTHER,57600\r\n", "$JASC,GPGGA,1\r\n",
                      "$JASC,GLGSA,1\r\n", "$JASC,GPGST,1\r\n", "$JASC,GPRMC,1\r\n", "$JASC,GPGSV,1\r\n",
                      "$JASC,GLGSV,1\r\n", "$JASC,GBGSV,1\r\n", "$JASC,GPGGA,1,OTHER\r\n",
                      "$JASC,GPGSA,1,OTHER\r\n", "$JASC,GPGST,1,OTHER\r\n", "$JASC,GPRMC,1,OTHER\r\n",
                      "$JASC,GPGSV,1,OTHER\r\n", "$JASC,GLGSV,1,OTHER\r\n", "$JASC,GBGSV,1,OTHER\r\n"},
                     50),
               Texts({"$JSAVE\r\n"}, 200));
    const Bytes skyOutput = Hex("a0 a1 00 02 09 01 08 0d 0a");
    const Bytes skySettings = Hex("a0 a1 00 0f 64 02 01 01 01 00 01 01 01 00 00 00 00 01 00 67 0d 0a");
    return {
        {"NovAtel", enNovtel,
         Concat(Texts({"unlogall\r\n", "unlogall\r\n", "log bestposb ontime 3\r\n",
                       "log trackstatb ontime 5\r\n", "log satvis2b ontime 5\r\n", "nmeatalker auto\r\n",
                       "log com2 gpggartk ontime 1\r\n", "log com2 gpgsa ontime 1\r\n",
                       "log com2 gpgsv ontime 1\r\n", "log com2 gpgst ontime 1\r\n",
                       "log com2 gprmc ontime 1\r\n"},
                      50),
                Texts({"saveconfig\n"}, 0))},
        {"Compass", enCompass,
         Concat(Texts({"unlogall\r\n", "unlogall\r\n", "log bestposb ontime 1\r\n",
                       "log satmsgb ontime 2\r\n", "log com2 gpgga ontime 1\r\n",
                       "log com2 gpgsa ontime 1\r\n", "log com2 gpgsv ontime 1\r\n",
                       "log com2 gpgst ontime 1\r\n", "log com2 gprmc ontime 1\r\n"},
                      50),
                Texts({"saveconfig\n"}, 0))},
        {"Hemisphere", enHemis, hemisphere},
        {"Blox6T", enBlox6T, UbloxStartup()},
        {"Blox8T", enBlox8T, UbloxStartup()},
        {"Trimble", enTrimble, TrimbleStartup()},
        {"TrimbleNmea", enTrimbleNMEA, TrimbleNmeaStartup()},
        {"SkyTraq", enSkyTraq, {{skyOutput, 200}, {skySettings, 200}, {skySettings, 200}}},
        {"Nmea", enOther, {}},
        {"DaVo", enDA_Vo, TrimbleStartup()},
        {"DorirIv", enDorir_Iv, DorirStartup()},
        {"Blox9P", enBlox9P, {}},
    };
}

}  // namespace sextara::golden
