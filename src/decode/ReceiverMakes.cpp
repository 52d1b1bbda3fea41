#include "decode/ReceiverMakes.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "decode/GsofDecoder.h"
#include "decode/NmeaParser.h"
#include "decode/NovatelDecoder.h"

namespace sextara {
namespace {

using std::chrono::milliseconds;

constexpr milliseconds kNoPause{0};
constexpr milliseconds kPause50{50};
constexpr milliseconds kPause100{100};
constexpr milliseconds kPause200{200};
constexpr milliseconds kPause300{300};

// NovAtel and Compass: ASCII commands. The last line ends in LF alone, as
// these receivers have always been sent it.
constexpr auto kUnlogall = CommandBytes("unlogall\r\n");
constexpr auto kLogBestposOntime3 = CommandBytes("log bestposb ontime 3\r\n");
constexpr auto kLogBestposOntime1 = CommandBytes("log bestposb ontime 1\r\n");
constexpr auto kLogTrackstat = CommandBytes("log trackstatb ontime 5\r\n");
constexpr auto kLogSatvis2 = CommandBytes("log satvis2b ontime 5\r\n");
constexpr auto kLogSatmsg = CommandBytes("log satmsgb ontime 2\r\n");
constexpr auto kNmeatalkerAuto = CommandBytes("nmeatalker auto\r\n");
constexpr auto kLogCom2Gpggartk = CommandBytes("log com2 gpggartk ontime 1\r\n");
constexpr auto kLogCom2Gpgga = CommandBytes("log com2 gpgga ontime 1\r\n");
constexpr auto kLogCom2Gpgsa = CommandBytes("log com2 gpgsa ontime 1\r\n");
constexpr auto kLogCom2Gpgsv = CommandBytes("log com2 gpgsv ontime 1\r\n");
constexpr auto kLogCom2Gpgst = CommandBytes("log com2 gpgst ontime 1\r\n");
constexpr auto kLogCom2Gprmc = CommandBytes("log com2 gprmc ontime 1\r\n");
constexpr auto kSaveconfig = CommandBytes("saveconfig\n");

constexpr ReceiverCommand kNovatelStartup[] = {
    {kUnlogall, kPause50},        {kUnlogall, kPause50},     {kLogBestposOntime3, kPause50},
    {kLogTrackstat, kPause50},    {kLogSatvis2, kPause50},   {kNmeatalkerAuto, kPause50},
    {kLogCom2Gpggartk, kPause50}, {kLogCom2Gpgsa, kPause50}, {kLogCom2Gpgsv, kPause50},
    {kLogCom2Gpgst, kPause50},    {kLogCom2Gprmc, kPause50}, {kSaveconfig, kNoPause},
};

constexpr ReceiverCommand kCompassStartup[] = {
    {kUnlogall, kPause50},     {kUnlogall, kPause50},     {kLogBestposOntime1, kPause50},
    {kLogSatmsg, kPause50},    {kLogCom2Gpgga, kPause50}, {kLogCom2Gpgsa, kPause50},
    {kLogCom2Gpgsv, kPause50}, {kLogCom2Gpgst, kPause50}, {kLogCom2Gprmc, kPause50},
    {kSaveconfig, kNoPause},
};

// Hemisphere: "OTHER" is the receiver's second port. This port is asked for
// GLGSA where the OTHER port gets GPGSA; receivers in the field have always
// been set up this way, so it stays.
constexpr auto kJoff = CommandBytes("$JOFF\r\n");
constexpr auto kJbaudOther57600 = CommandBytes("$JBAUD,OTHER,57600\r\n");
constexpr auto kJascGpgga = CommandBytes("$JASC,GPGGA,1\r\n");
constexpr auto kJascGlgsa = CommandBytes("$JASC,GLGSA,1\r\n");
constexpr auto kJascGpgst = CommandBytes("$JASC,GPGST,1\r\n");
constexpr auto kJascGprmc = CommandBytes("$JASC,GPRMC,1\r\n");
constexpr auto kJascGpgsv = CommandBytes("$JASC,GPGSV,1\r\n");
constexpr auto kJascGlgsv = CommandBytes("$JASC,GLGSV,1\r\n");
constexpr auto kJascGbgsv = CommandBytes("$JASC,GBGSV,1\r\n");
constexpr auto kJascGpggaOther = CommandBytes("$JASC,GPGGA,1,OTHER\r\n");
constexpr auto kJascGpgsaOther = CommandBytes("$JASC,GPGSA,1,OTHER\r\n");
constexpr auto kJascGpgstOther = CommandBytes("$JASC,GPGST,1,OTHER\r\n");
constexpr auto kJascGprmcOther = CommandBytes("$JASC,GPRMC,1,OTHER\r\n");
constexpr auto kJascGpgsvOther = CommandBytes("$JASC,GPGSV,1,OTHER\r\n");
constexpr auto kJascGlgsvOther = CommandBytes("$JASC,GLGSV,1,OTHER\r\n");
constexpr auto kJascGbgsvOther = CommandBytes("$JASC,GBGSV,1,OTHER\r\n");
constexpr auto kJsave = CommandBytes("$JSAVE\r\n");

constexpr ReceiverCommand kHemisphereStartup[] = {
    {kJoff, kPause50},           {kJoff, kPause50},           {kJbaudOther57600, kPause50},
    {kJascGpgga, kPause50},      {kJascGlgsa, kPause50},      {kJascGpgst, kPause50},
    {kJascGprmc, kPause50},      {kJascGpgsv, kPause50},      {kJascGlgsv, kPause50},
    {kJascGbgsv, kPause50},      {kJascGpggaOther, kPause50}, {kJascGpgsaOther, kPause50},
    {kJascGpgstOther, kPause50}, {kJascGprmcOther, kPause50}, {kJascGpgsvOther, kPause50},
    {kJascGlgsvOther, kPause50}, {kJascGbgsvOther, kPause50}, {kJsave, kPause200},
};

// u-blox 6T and 8T: UBX frames (B5 62, class, id, u16le payload length,
// payload, Fletcher checksum over class to payload). Each CFG-MSG that turns
// on an NMEA sentence (class F0) goes out in its own zero-padded 96-byte
// write; the receiver's framer skips the zeros between and after frames.
using UbxCfgMsg = std::array<std::uint8_t, 11>;
constexpr UbxCfgMsg kUbxMsgGga = {0xb5, 0x62, 0x06, 0x01, 0x03, 0x00, 0xf0, 0x00, 0x01, 0xfb, 0x10};
constexpr UbxCfgMsg kUbxMsgGll = {0xb5, 0x62, 0x06, 0x01, 0x03, 0x00, 0xf0, 0x01, 0x01, 0xfc, 0x12};
constexpr UbxCfgMsg kUbxMsgGsa = {0xb5, 0x62, 0x06, 0x01, 0x03, 0x00, 0xf0, 0x02, 0x01, 0xfd, 0x14};
constexpr UbxCfgMsg kUbxMsgGsv = {0xb5, 0x62, 0x06, 0x01, 0x03, 0x00, 0xf0, 0x03, 0x01, 0xfe, 0x16};
constexpr UbxCfgMsg kUbxMsgRmc = {0xb5, 0x62, 0x06, 0x01, 0x03, 0x00, 0xf0, 0x04, 0x01, 0xff, 0x18};
constexpr UbxCfgMsg kUbxMsgVtg = {0xb5, 0x62, 0x06, 0x01, 0x03, 0x00, 0xf0, 0x05, 0x01, 0x00, 0x1a};
constexpr UbxCfgMsg kUbxMsgGst = {0xb5, 0x62, 0x06, 0x01, 0x03, 0x00, 0xf0, 0x07, 0x01, 0x02, 0x1e};
constexpr UbxCfgMsg kUbxMsgZda = {0xb5, 0x62, 0x06, 0x01, 0x03, 0x00, 0xf0, 0x08, 0x01, 0x03, 0x20};
// CFG-NMEA (class 06, id 17, 20-byte payload).
constexpr std::array<std::uint8_t, 28> kUbxCfgNmeaFrame = {
    0xb5, 0x62, 0x06, 0x17, 0x14, 0x00, 0x00, 0x40, 0x00, 0x0a, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x7c, 0xcc,
};
// CFG-SBAS (class 06, id 16, 8-byte payload: mode, usage, maximum SBAS
// channels, scan modes zero). On: enabled, used for ranging and corrections,
// 3 channels; off: disabled, 1 channel. The start-up set and the
// differential mode both send them.
constexpr std::array<std::uint8_t, 16> kUbxCfgSbasOnFrame = {
    0xb5, 0x62, 0x06, 0x16, 0x08, 0x00, 0x01, 0x03, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2b, 0xb9,
};
constexpr std::array<std::uint8_t, 16> kUbxCfgSbasOffFrame = {
    0xb5, 0x62, 0x06, 0x16, 0x08, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x26, 0x97,
};

// The frames one after the other, each followed by one zero byte, and zeros
// up to Size.
template <std::size_t Size, std::size_t... N>
consteval std::array<std::uint8_t, Size> ZeroPadded(const std::array<std::uint8_t, N>&... frames) {
    static_assert(((N + 1) + ... + 0) <= Size + 1, "frames longer than the write");
    std::array<std::uint8_t, Size> write{};
    std::size_t at = 0;
    auto append = [&](const auto& frame) {
        for (std::uint8_t b : frame) write[at++] = b;
        ++at;
    };
    (append(frames), ...);
    return write;
}

constexpr std::size_t kUbxBlockBytes = 96;
constexpr auto kUbxBlockGga = ZeroPadded<kUbxBlockBytes>(kUbxMsgGga);
constexpr auto kUbxBlockGll = ZeroPadded<kUbxBlockBytes>(kUbxMsgGll);
constexpr auto kUbxBlockGsa = ZeroPadded<kUbxBlockBytes>(kUbxMsgGsa);
constexpr auto kUbxBlockGsv = ZeroPadded<kUbxBlockBytes>(kUbxMsgGsv);
constexpr auto kUbxBlockRmc = ZeroPadded<kUbxBlockBytes>(kUbxMsgRmc);
constexpr auto kUbxBlockVtg = ZeroPadded<kUbxBlockBytes>(kUbxMsgVtg);
// GST, one zero byte, then ZDA: two frames in the last block.
constexpr auto kUbxBlockGstZda = ZeroPadded<kUbxBlockBytes>(kUbxMsgGst, kUbxMsgZda);
// These writes carry two zero bytes after their frame.
constexpr auto kUbxMsgGstWrite = ZeroPadded<kUbxMsgGst.size() + 2>(kUbxMsgGst);
constexpr auto kUbxCfgNmea = ZeroPadded<kUbxCfgNmeaFrame.size() + 2>(kUbxCfgNmeaFrame);
constexpr auto kUbxCfgSbasOn = ZeroPadded<kUbxCfgSbasOnFrame.size() + 2>(kUbxCfgSbasOnFrame);
constexpr auto kUbxCfgSbasOff = ZeroPadded<kUbxCfgSbasOffFrame.size() + 2>(kUbxCfgSbasOffFrame);

constexpr ReceiverCommand kUbloxStartup[] = {
    {kUbxBlockGga, kPause50},
    {kUbxBlockGll, kPause50},
    {kUbxBlockGsa, kPause50},
    {kUbxBlockGsv, kPause50},
    {kUbxBlockRmc, kPause50},
    {kUbxBlockVtg, kPause50},
    // The block's own 50 ms and a further 100 before the configuration frames.
    {kUbxBlockGstZda, kPause50 + kPause100},
    {kUbxMsgGstWrite, kPause100},
    {kUbxCfgNmea, kPause100},
    {kUbxCfgNmea, kPause100},
    {kUbxCfgSbasOn, kPause100},
    {kUbxCfgSbasOn, kPause100},
};

// SkyTraq: A0 A1, u16be payload length, payload, XOR of the payload, CR LF.
// Message 0x09 switches the output to NMEA; 0x64/0x02 sets which sentences.
constexpr std::uint8_t kSkyTraqNmeaOutput[] = {
    0xa0, 0xa1, 0x00, 0x02, 0x09, 0x01, 0x08, 0x0d, 0x0a,
};
constexpr std::uint8_t kSkyTraqNmeaSettings[] = {
    0xa0, 0xa1, 0x00, 0x0f, 0x64, 0x02, 0x01, 0x01, 0x01, 0x00, 0x01,
    0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x67, 0x0d, 0x0a,
};

constexpr ReceiverCommand kSkyTraqStartup[] = {
    {kSkyTraqNmeaOutput, kPause200},
    {kSkyTraqNmeaSettings, kPause200},
    {kSkyTraqNmeaSettings, kPause200},
};

// Trimble packets: STX 02, status, type 0x64, length, data, checksum (sum of
// status to the last data byte, modulo 256), ETX 03. Most records carry the
// packet's total length as a u16le lead-in ahead of STX, and it is written
// with them; the 19-byte records of the Trimble NMEA set have none. What each
// record selects inside the receiver is not ours to change: they go out as
// listed.
constexpr std::uint8_t kTrimbleRecordA[] = {
    0x17, 0x00, 0x02, 0x00, 0x64, 0x11, 0x00, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00,
    0x07, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x88, 0x03,
};
constexpr std::uint8_t kTrimbleRecordB[] = {
    0x27, 0x00, 0x02, 0x00, 0x64, 0x21, 0x02, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00, 0x16,
    0x18, 0x03, 0x00, 0x00, 0x01, 0x00, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0xd0, 0x03,
};
constexpr std::uint8_t kTrimbleStartup1[] = {
    0x17, 0x00, 0x02, 0x00, 0x64, 0x11, 0x00, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00,
    0x07, 0x08, 0x0a, 0x00, 0x05, 0x00, 0x22, 0x00, 0x00, 0x00, 0xb9, 0x03,
};
constexpr std::uint8_t kTrimbleStartup2[] = {
    0x17, 0x00, 0x02, 0x00, 0x64, 0x11, 0x01, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00,
    0x07, 0x08, 0x0a, 0x00, 0x03, 0x00, 0x02, 0x00, 0x00, 0x00, 0x98, 0x03,
};
constexpr std::uint8_t kTrimbleStartup3[] = {
    0x17, 0x00, 0x02, 0x00, 0x64, 0x11, 0x02, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00,
    0x07, 0x08, 0x0a, 0x00, 0x03, 0x00, 0x09, 0x00, 0x00, 0x00, 0xa0, 0x03,
};
constexpr std::uint8_t kTrimbleStartup4[] = {
    0x17, 0x00, 0x02, 0x00, 0x64, 0x11, 0x03, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00,
    0x07, 0x08, 0x0a, 0x00, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x99, 0x03,
};
constexpr std::uint8_t kTrimbleStartup5[] = {
    0x17, 0x00, 0x02, 0x00, 0x64, 0x11, 0x05, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00,
    0x07, 0x08, 0x0a, 0x00, 0x03, 0x00, 0x0c, 0x00, 0x00, 0x00, 0xa6, 0x03,
};
constexpr std::uint8_t kTrimbleStartup7[] = {
    0x17, 0x00, 0x02, 0x00, 0x64, 0x11, 0x01, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00,
    0x07, 0x08, 0x06, 0x02, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x94, 0x03,
};
constexpr std::uint8_t kTrimbleStartup8[] = {
    0x17, 0x00, 0x02, 0x00, 0x64, 0x11, 0x01, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00,
    0x07, 0x08, 0x26, 0x02, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0xb4, 0x03,
};
constexpr std::uint8_t kTrimbleStartup9[] = {
    0x17, 0x00, 0x02, 0x00, 0x64, 0x11, 0x01, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00,
    0x07, 0x08, 0x12, 0x02, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0xa0, 0x03,
};
constexpr std::uint8_t kTrimbleStartup10[] = {
    0x17, 0x00, 0x02, 0x00, 0x64, 0x11, 0x01, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00,
    0x07, 0x08, 0x28, 0x02, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0xb6, 0x03,
};
constexpr std::uint8_t kTrimbleStartup11[] = {
    0x17, 0x00, 0x02, 0x00, 0x64, 0x11, 0x01, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00,
    0x07, 0x08, 0x0d, 0x02, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x9b, 0x03,
};
constexpr std::uint8_t kTrimbleStartup12[] = {
    0x17, 0x00, 0x02, 0x00, 0x64, 0x11, 0x01, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00,
    0x07, 0x08, 0x08, 0x02, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x96, 0x03,
};
constexpr std::uint8_t kDorirStartup1[] = {
    0x17, 0x00, 0x02, 0x00, 0x64, 0x11, 0x00, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00,
    0x07, 0x08, 0x0a, 0x01, 0x05, 0x00, 0x22, 0x00, 0x00, 0x00, 0xba, 0x03,
};
constexpr std::uint8_t kDorirStartup2[] = {
    0x17, 0x00, 0x02, 0x00, 0x64, 0x11, 0x01, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00,
    0x07, 0x08, 0x0a, 0x01, 0x03, 0x00, 0x02, 0x00, 0x00, 0x00, 0x99, 0x03,
};
constexpr std::uint8_t kDorirStartup3[] = {
    0x17, 0x00, 0x02, 0x00, 0x64, 0x11, 0x02, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00,
    0x07, 0x08, 0x0a, 0x01, 0x03, 0x00, 0x09, 0x00, 0x00, 0x00, 0xa1, 0x03,
};
constexpr std::uint8_t kDorirStartup4[] = {
    0x17, 0x00, 0x02, 0x00, 0x64, 0x11, 0x03, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00,
    0x07, 0x08, 0x0a, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x9a, 0x03,
};
constexpr std::uint8_t kDorirStartup5[] = {
    0x17, 0x00, 0x02, 0x00, 0x64, 0x11, 0x05, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00,
    0x07, 0x08, 0x0a, 0x01, 0x03, 0x00, 0x0c, 0x00, 0x00, 0x00, 0xa7, 0x03,
};
constexpr std::uint8_t kTrimbleNmeaStartup3[] = {
    0x02, 0x00, 0x64, 0x0d, 0x01, 0x00, 0x00, 0x03, 0x00, 0x01,
    0x00, 0x07, 0x04, 0x06, 0x00, 0x03, 0x00, 0x8a, 0x03,
};
constexpr std::uint8_t kTrimbleNmeaStartup4[] = {
    0x17, 0x00, 0x02, 0x00, 0x64, 0x11, 0x01, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00,
    0x07, 0x08, 0x26, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0xb2, 0x03,
};
constexpr std::uint8_t kTrimbleNmeaStartup5[] = {
    0x02, 0x00, 0x64, 0x0d, 0x01, 0x00, 0x00, 0x03, 0x00, 0x01,
    0x00, 0x07, 0x04, 0x12, 0x00, 0x03, 0x00, 0x96, 0x03,
};
constexpr std::uint8_t kTrimbleNmeaStartup6[] = {
    0x02, 0x00, 0x64, 0x0d, 0x01, 0x00, 0x00, 0x03, 0x00, 0x01,
    0x00, 0x07, 0x04, 0x0d, 0x00, 0x03, 0x00, 0x91, 0x03,
};
constexpr std::uint8_t kTrimbleNmeaStartup7[] = {
    0x02, 0x00, 0x64, 0x0d, 0x01, 0x00, 0x00, 0x03, 0x00, 0x01,
    0x00, 0x07, 0x04, 0x28, 0x00, 0x03, 0x00, 0xac, 0x03,
};
constexpr std::uint8_t kTrimbleNmeaStartup8[] = {
    0x02, 0x00, 0x64, 0x0d, 0x01, 0x00, 0x00, 0x03, 0x00, 0x01,
    0x00, 0x07, 0x04, 0x08, 0x00, 0x03, 0x00, 0x8c, 0x03,
};
constexpr std::uint8_t kTrimbleNmeaStartup10[] = {
    0x17, 0x00, 0x02, 0x00, 0x64, 0x11, 0x01, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00,
    0x07, 0x08, 0x06, 0x01, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x93, 0x03,
};
constexpr std::uint8_t kTrimbleNmeaStartup11[] = {
    0x17, 0x00, 0x02, 0x00, 0x64, 0x11, 0x00, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00,
    0x07, 0x08, 0x26, 0x01, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0xb2, 0x03,
};
constexpr std::uint8_t kTrimbleNmeaStartup12[] = {
    0x02, 0x00, 0x64, 0x0d, 0x01, 0x00, 0x00, 0x03, 0x00, 0x01,
    0x00, 0x07, 0x04, 0x12, 0x01, 0x03, 0x00, 0x97, 0x03,
};
constexpr std::uint8_t kTrimbleNmeaStartup13[] = {
    0x17, 0x00, 0x02, 0x00, 0x64, 0x11, 0x01, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00,
    0x07, 0x08, 0x0d, 0x01, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x9a, 0x03,
};
constexpr std::uint8_t kTrimbleNmeaStartup14[] = {
    0x17, 0x00, 0x02, 0x00, 0x64, 0x11, 0x01, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00,
    0x07, 0x08, 0x28, 0x01, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0xb5, 0x03,
};
constexpr std::uint8_t kTrimbleNmeaStartup15[] = {
    0x17, 0x00, 0x02, 0x00, 0x64, 0x11, 0x01, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00,
    0x07, 0x08, 0x08, 0x01, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x95, 0x03,
};
constexpr std::uint8_t kTrimbleNmeaStartup18[] = {
    0x02, 0x00, 0x64, 0x0d, 0x01, 0x00, 0x00, 0x03, 0x00, 0x01,
    0x00, 0x07, 0x04, 0x12, 0x02, 0x03, 0x00, 0x98, 0x03,
};
constexpr std::uint8_t kTrimbleNmeaStartup22[] = {
    0x02, 0x00, 0x64, 0x0d, 0x01, 0x00, 0x00, 0x03, 0x00, 0x01,
    0x00, 0x07, 0x04, 0x0c, 0x02, 0x03, 0x00, 0x92, 0x03,
};

constexpr ReceiverCommand kTrimbleStartup[] = {
    {kTrimbleRecordA, kPause50},   {kTrimbleRecordA, kPause50},   {kTrimbleStartup1, kPause50},
    {kTrimbleStartup2, kPause50},  {kTrimbleStartup3, kPause50},  {kTrimbleStartup4, kPause50},
    {kTrimbleStartup5, kPause50},  {kTrimbleRecordB, kPause50},   {kTrimbleStartup7, kPause50},
    {kTrimbleStartup8, kPause50},  {kTrimbleStartup9, kPause50},  {kTrimbleStartup10, kPause50},
    {kTrimbleStartup11, kPause50}, {kTrimbleStartup12, kPause50},
};

constexpr ReceiverCommand kDorirStartup[] = {
    {kTrimbleRecordA, kPause50}, {kTrimbleRecordA, kPause50}, {kDorirStartup1, kPause50},
    {kDorirStartup2, kPause50},  {kDorirStartup3, kPause50},  {kDorirStartup4, kPause50},
    {kDorirStartup5, kPause50},  {kTrimbleRecordB, kPause50},
};

// The Trimble NMEA set ends with records shared with the Trimble set.
constexpr ReceiverCommand kTrimbleNmeaStartup[] = {
    {kTrimbleRecordA, kPause50},       {kTrimbleRecordA, kPause50},       {kTrimbleNmeaStartup3, kPause50},
    {kTrimbleNmeaStartup4, kPause50},  {kTrimbleNmeaStartup5, kPause50},  {kTrimbleNmeaStartup6, kPause50},
    {kTrimbleNmeaStartup7, kPause50},  {kTrimbleNmeaStartup8, kPause50},  {kTrimbleRecordB, kPause50},
    {kTrimbleNmeaStartup10, kPause50}, {kTrimbleNmeaStartup11, kPause50}, {kTrimbleNmeaStartup12, kPause50},
    {kTrimbleNmeaStartup13, kPause50}, {kTrimbleNmeaStartup14, kPause50}, {kTrimbleNmeaStartup15, kPause50},
    {kTrimbleStartup7, kPause50},      {kTrimbleStartup8, kPause50},      {kTrimbleNmeaStartup18, kPause50},
    {kTrimbleStartup10, kPause50},     {kTrimbleStartup11, kPause50},     {kTrimbleStartup12, kPause50},
    {kTrimbleNmeaStartup22, kPause50},
};

// Raw observation output. NovAtel lines end in CR alone.
constexpr auto kLogRawephem = CommandBytes("log rawephemb ontime 60\r");
constexpr auto kLogGlorawephem = CommandBytes("log glorawephemb ontime 60\r");
constexpr auto kLogBd2rawephem = CommandBytes("log bd2rawephemb ontime 60\r");
constexpr auto kLogRange = CommandBytes("log rangeb ontime 1\r");

constexpr ReceiverCommand kNovatelRawLog[] = {
    {kLogRawephem, kNoPause},
    {kLogGlorawephem, kNoPause},
    {kLogBd2rawephem, kNoPause},
    {kLogRange, kNoPause},
};

// Raw-output packet template; bytes 13 (cut-off), 24 (port), 25 (interval)
// and 31 (checksum) are filled in by BuildTrimbleRawOutputPacket.
constexpr std::array<std::uint8_t, kTrimbleRawOutputPacketBytes> kTrimbleRawOutputTemplate = {
    0x02, 0x00, 0x64, 0x1b, 0x00, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00, 0x01, 0x08, 0x40, 0x00, 0x0a, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x07, 0x08, 0x04, 0x00, 0x03, 0x00, 0xef, 0x01, 0x00, 0x00, 0x00, 0x03,
};
constexpr std::size_t kRawCutoffByte = 13;
constexpr std::size_t kRawPortByte = 24;
constexpr std::size_t kRawIntervalByte = 25;
constexpr std::size_t kRawChecksumByte = 31;

// Lead-in record ahead of the raw-output packet, per make.
constexpr std::uint8_t kDaVoRawLeadIn[] = {
    0x17, 0x00, 0x02, 0x00, 0x64, 0x11, 0x07, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00,
    0x07, 0x08, 0xff, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x8f, 0x03,
};
constexpr std::uint8_t kDorirRawLeadIn[] = {
    0x17, 0x00, 0x02, 0x00, 0x64, 0x11, 0x05, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00,
    0x07, 0x08, 0xff, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x8c, 0x03,
};
constexpr std::uint8_t kTrimbleRawLeadIn[] = {
    0x17, 0x00, 0x02, 0x00, 0x64, 0x11, 0x09, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00,
    0x07, 0x08, 0xff, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x92, 0x03,
};

// Second port to 57600 baud.
constexpr std::uint8_t kTrimbleCom2To57600[] = {
    0x15, 0x00, 0x02, 0x00, 0x64, 0x0f, 0x02, 0x00, 0x00, 0x03, 0x00, 0x01,
    0x00, 0x02, 0x06, 0x02, 0x06, 0x00, 0x00, 0x00, 0x00, 0x89, 0x03,
};

constexpr auto kCom2To57600 = CommandBytes("com com2 57600\r\n");

constexpr ReceiverCommand kNovatelRawPortBaud[] = {
    {kCom2To57600, kPause50},
};
constexpr ReceiverCommand kHemisphereRawPortBaud[] = {
    {kJbaudOther57600, kPause50},
    {kJbaudOther57600, kPause50},
};
constexpr ReceiverCommand kTrimbleRawPortBaud[] = {
    {kTrimbleCom2To57600, kPause50},
    {kTrimbleCom2To57600, kPause50},
};

// Correction input: the last text goes out twice, 100 ms apart.
constexpr auto kInterfacemodeAuto = CommandBytes("interfacemode auto novatel on\r\n");
constexpr auto kInterfacemodeCom1 = CommandBytes("interfacemode com1 auto novatel on\r\n");
constexpr auto kJdiffExclude = CommandBytes("$JDIFF,EXCLUDE,SBAS,EDIF\r\n");
constexpr auto kJdiff = CommandBytes("$JDIFF\r\n");

constexpr ReceiverCommand kNovatelDiffInput[] = {
    {kInterfacemodeAuto, kPause100},
    {kInterfacemodeAuto, kNoPause},
};
constexpr ReceiverCommand kHemisphereDiffInput[] = {
    {kJdiffExclude, kPause50},
    {kJdiff, kPause100},
    {kJdiff, kNoPause},
};
// Sent to every other make too, although only a NovAtel-type receiver reads it.
constexpr ReceiverCommand kOtherDiffInput[] = {
    {kInterfacemodeCom1, kPause100},
    {kInterfacemodeCom1, kNoPause},
};

// Differential mode. Hemisphere: the text goes out twice, 50 ms apart, so
// that one copy gets through while the receiver is busy sending; any other
// mode sends nothing.
constexpr auto kJdiffNone = CommandBytes("$JDIFF,NONE\r\n");
constexpr auto kJdiffWaas = CommandBytes("$JDIFF,WAAS\r\n");
constexpr auto kJdiffOther = CommandBytes("$JDIFF,OTHER\r\n");
constexpr ReceiverCommand kHemisphereDiffNone[] = {{kJdiffNone, kPause50}, {kJdiffNone, kNoPause}};
constexpr ReceiverCommand kHemisphereDiffWaas[] = {{kJdiffWaas, kPause50}, {kJdiffWaas, kNoPause}};
constexpr ReceiverCommand kHemisphereDiffOther[] = {{kJdiffOther, kPause50}, {kJdiffOther, kNoPause}};
constexpr DiffModeCommands kHemisphereDiffMode = {
    {kHemisphereDiffNone, kHemisphereDiffWaas, kHemisphereDiffOther}, {}};

// u-blox 6T and 8T: mode 1 turns SBAS on; every other mode turns it off.
constexpr ReceiverCommand kUbloxSbasOn[] = {{kUbxCfgSbasOn, kNoPause}};
constexpr ReceiverCommand kUbloxSbasOff[] = {{kUbxCfgSbasOff, kNoPause}};
constexpr DiffModeCommands kUbloxDiffMode = {{kUbloxSbasOff, kUbloxSbasOn, kUbloxSbasOff}, kUbloxSbasOff};

constexpr DiffModeCommands kNoDiffMode = {};

// Detection probes. A repeat of a text probe goes without its LF.
constexpr auto kNovatelProbe = CommandBytes("log version\r\n");
constexpr auto kHemisphereProbe = CommandBytes("$JSHOW\r\n");
// Turns on $PTNL,GGK output on the port the probe came in on.
constexpr std::uint8_t kTrimbleProbe[] = {
    0x17, 0x00, 0x02, 0x00, 0x64, 0x11, 0x01, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00,
    0x07, 0x08, 0x07, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x93, 0x03,
};
// The same record with the output switched off again.
constexpr std::uint8_t kTrimbleProbeOff[] = {
    0x17, 0x00, 0x02, 0x00, 0x64, 0x11, 0x01, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00,
    0x07, 0x08, 0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x90, 0x03,
};

constexpr DetectionProbe kNovatelDetection = {kNovatelProbe, kNovatelProbe.size() - 1, "VERSION", {}};
constexpr DetectionProbe kHemisphereDetection = {
    kHemisphereProbe, kHemisphereProbe.size() - 1, "$>JSHOW,", {}};
constexpr DetectionProbe kTrimbleDetection = {kTrimbleProbe, sizeof kTrimbleProbe, "$PTNL,GGK",
                                              kTrimbleProbeOff};
constexpr DetectionProbe kAnyByte = {};

constexpr FactoryReset kNoReset = {};

// Port console entries, without line ends: the console appends CR LF when it
// sends one.
constexpr std::string_view kNovatelConsole[] = {
    "unlogall", "log satvisb ontime 5", "log trackstata ontime 5", "log bestposb ontime 1", "saveconfig",
};
constexpr std::string_view kCompassConsole[] = {
    "unlogall",           "log gpgga ontime 1", "log gpgsa ontime 1",   "log gpgsv ontime 1",
    "log gpgst ontime 1", "log gprmc ontime 1", "log satmsgb ontime 5", "log bestposb ontime 1",
    "saveconfig",
};
constexpr std::string_view kHemisphereConsole[] = {
    "$JOFF",         "$JASC,GPGGA,1", "$JASC,GPGSA,1", "$JASC,GPGSV,1",
    "$JASC,GLGSV,1", "$JASC,GPGST,1", "$JASC,GPRMC,1", "$JSAVE",
};

// The formatted raw lines are short: "$JBIN,NN," and a one-decimal rate, or
// "$JMASK," and a whole angle.
template <typename Value>
BuiltCommand FormatLine(const char* format, Value value) {
    char line[64];
    const int length = std::snprintf(line, sizeof line, format, value);
    const std::size_t size =
        length > 0 ? std::min<std::size_t>(static_cast<std::size_t>(length), sizeof line - 1) : 0;
    return {std::vector<std::uint8_t>(line, line + size), kPause300};
}

BuiltCommand Fixed(std::span<const std::uint8_t> bytes) {
    return {std::vector<std::uint8_t>(bytes.begin(), bytes.end()), kPause300};
}

constexpr auto kJbin35 = CommandBytes("$JBIN,35,1\r\n");
constexpr auto kJbin65 = CommandBytes("$JBIN,65,1\r\n");
constexpr auto kJbin95 = CommandBytes("$JBIN,95,1\r\n");

std::vector<BuiltCommand> HemisphereRawLog(int recordInterval, int cutoffAngleDeg) {
    const double rate = HemisphereRawRateSeconds(recordInterval);
    return {
        Fixed(kJoff),
        FormatLine("$JMASK,%d\r\n", cutoffAngleDeg),
        Fixed(kJbin35),
        Fixed(kJbin65),
        Fixed(kJbin95),
        FormatLine("$JBIN,36,%.1f\r\n", rate),
        FormatLine("$JBIN,66,%.1f\r\n", rate),
        FormatLine("$JBIN,76,%.1f\r\n", rate),
    };
}

// The make's lead-in record, then the raw-output packet twice.
std::vector<BuiltCommand> TrimbleFamilyRawLog(std::span<const std::uint8_t> leadIn, int portCode,
                                              int recordInterval, int cutoffAngleDeg) {
    const auto packet = BuildTrimbleRawOutputPacket(cutoffAngleDeg, portCode, recordInterval);
    return {Fixed(leadIn), Fixed(packet), Fixed(packet)};
}

std::vector<BuiltCommand> TrimbleRawLog(int recordInterval, int cutoffAngleDeg) {
    return TrimbleFamilyRawLog(kTrimbleRawLeadIn, 2, recordInterval, cutoffAngleDeg);
}
std::vector<BuiltCommand> DaVoRawLog(int recordInterval, int cutoffAngleDeg) {
    return TrimbleFamilyRawLog(kDaVoRawLeadIn, 1, recordInterval, cutoffAngleDeg);
}
std::vector<BuiltCommand> DorirRawLog(int recordInterval, int cutoffAngleDeg) {
    return TrimbleFamilyRawLog(kDorirRawLeadIn, 0, recordInterval, cutoffAngleDeg);
}

template <typename Decoder>
std::unique_ptr<GnssDecoder> New(GnssState* state) {
    return std::make_unique<Decoder>(state);
}

// Input results and filled tables, as each decoder class is written.
constexpr DecoderProfile kNovatelProfile = {0, true, false};
constexpr DecoderProfile kCompassProfile = {0, false, false};
constexpr DecoderProfile kGsofProfile = {0, true, true};
constexpr DecoderProfile kNmeaProfile = {1, true, false};
constexpr DecoderProfile kNmeaFourSystemsProfile = {1, true, true};

}  // namespace

// clang-format off
const ReceiverMake kReceiverMakes[kReceiverTypeCount] = {
    {.type = enNovtel, .configName = "enNovtel", .listName = "NovAtel", .aboutName = "NovAtel",
     .decoder = New<NovatelDecoder>, .decoderProfile = kNovatelProfile,
     .startup = kNovatelStartup, .rawLog = kNovatelRawLog, .rawLogBuilt = nullptr,
     .rawPortBaud = kNovatelRawPortBaud, .diffInput = kNovatelDiffInput, .diffMode = kNoDiffMode,
     .probe = kNovatelDetection, .reset = {"FRESET\r\n", 9600}, .restore = RestoreFlow::kNovatel,
     .dialect = CommandDialect::kNovatelAscii, .consoleCommands = kNovatelConsole},
    {.type = enCompass, .configName = "enCompass", .listName = "Compass", .aboutName = "Compass",
     .decoder = New<NovatelDecoderCompass>, .decoderProfile = kCompassProfile,
     .startup = kCompassStartup, .rawLog = kNovatelRawLog, .rawLogBuilt = nullptr,
     .rawPortBaud = kNovatelRawPortBaud, .diffInput = kNovatelDiffInput, .diffMode = kNoDiffMode,
     .probe = kNovatelDetection, .reset = {"FRESET\r\n", 115200}, .restore = RestoreFlow::kCompass,
     .dialect = CommandDialect::kCompassAscii, .consoleCommands = kCompassConsole},
    {.type = enHemis, .configName = "enHemis", .listName = "Hemisphere", .aboutName = "Hemisphere",
     .decoder = New<NmeaParserHemis>, .decoderProfile = kNmeaProfile,
     .startup = kHemisphereStartup, .rawLog = {}, .rawLogBuilt = HemisphereRawLog,
     .rawPortBaud = kHemisphereRawPortBaud, .diffInput = kHemisphereDiffInput, .diffMode = kHemisphereDiffMode,
     .probe = kHemisphereDetection, .reset = {"$JRESET\r\n", 19200}, .restore = RestoreFlow::kHemisphere,
     .dialect = CommandDialect::kHemisphere, .consoleCommands = kHemisphereConsole},
    {.type = enBlox6T, .configName = "enBlox6T", .listName = "uBlox6T", .aboutName = "uBlox 6T",
     .decoder = New<NmeaParserBlox>, .decoderProfile = kNmeaProfile,
     .startup = kUbloxStartup, .rawLog = {}, .rawLogBuilt = nullptr,
     .rawPortBaud = {}, .diffInput = kOtherDiffInput, .diffMode = kUbloxDiffMode,
     .probe = kAnyByte, .reset = kNoReset, .restore = RestoreFlow::kProbeOnly,
     .dialect = CommandDialect::kNone, .consoleCommands = {}},
    {.type = enBlox8T, .configName = "enBlox8T", .listName = "uBlox8T", .aboutName = "uBlox 8T",
     .decoder = New<NmeaParserBlox>, .decoderProfile = kNmeaProfile,
     .startup = kUbloxStartup, .rawLog = {}, .rawLogBuilt = nullptr,
     .rawPortBaud = {}, .diffInput = kOtherDiffInput, .diffMode = kUbloxDiffMode,
     .probe = kAnyByte, .reset = kNoReset, .restore = RestoreFlow::kProbeOnly,
     .dialect = CommandDialect::kNone, .consoleCommands = {}},
    {.type = enTrimble, .configName = "enTrimble", .listName = "Trimble", .aboutName = "Trimble",
     .decoder = New<GsofDecoder>, .decoderProfile = kGsofProfile,
     .startup = kTrimbleStartup, .rawLog = {}, .rawLogBuilt = TrimbleRawLog,
     .rawPortBaud = kTrimbleRawPortBaud, .diffInput = kOtherDiffInput, .diffMode = kNoDiffMode,
     .probe = kTrimbleDetection, .reset = kNoReset, .restore = RestoreFlow::kLeaveAlone,
     .dialect = CommandDialect::kTrimblePacket, .consoleCommands = {}},
    {.type = enTrimbleNMEA, .configName = "enTrimbleNMEA", .listName = "Trimble(NMEA)", .aboutName = "Trimble NMEA",
     .decoder = New<NmeaParserTrimble>, .decoderProfile = kNmeaProfile,
     .startup = kTrimbleNmeaStartup, .rawLog = {}, .rawLogBuilt = TrimbleRawLog,
     .rawPortBaud = kTrimbleRawPortBaud, .diffInput = kOtherDiffInput, .diffMode = kNoDiffMode,
     .probe = kAnyByte, .reset = kNoReset, .restore = RestoreFlow::kProbeOnly,
     .dialect = CommandDialect::kTrimblePacket, .consoleCommands = {}},
    {.type = enSkyTraq, .configName = "enSkyTraq", .listName = "SkyTraq", .aboutName = "Skytraq",
     .decoder = New<NmeaParserStd>, .decoderProfile = kNmeaProfile,
     .startup = kSkyTraqStartup, .rawLog = {}, .rawLogBuilt = nullptr,
     .rawPortBaud = {}, .diffInput = kOtherDiffInput, .diffMode = kNoDiffMode,
     .probe = kAnyByte, .reset = kNoReset, .restore = RestoreFlow::kProbeOnly,
     .dialect = CommandDialect::kNone, .consoleCommands = {}},
    {.type = enOther, .configName = "enOther", .listName = "NMEA", .aboutName = "NMEA",
     .decoder = New<NmeaParserStd>, .decoderProfile = kNmeaProfile,
     .startup = {}, .rawLog = {}, .rawLogBuilt = nullptr,
     .rawPortBaud = {}, .diffInput = kOtherDiffInput, .diffMode = kNoDiffMode,
     .probe = kAnyByte, .reset = kNoReset, .restore = RestoreFlow::kProbeOnly,
     .dialect = CommandDialect::kNone, .consoleCommands = {}},
    {.type = enDA_Vo, .configName = "enDA_Vo", .listName = "DA_VO", .aboutName = "DA_Vo",
     .decoder = New<GsofDecoder>, .decoderProfile = kGsofProfile,
     .startup = kTrimbleStartup, .rawLog = {}, .rawLogBuilt = DaVoRawLog,
     .rawPortBaud = {}, .diffInput = kOtherDiffInput, .diffMode = kNoDiffMode,
     .probe = kAnyByte, .reset = kNoReset, .restore = RestoreFlow::kProbeOnly,
     .dialect = CommandDialect::kTrimblePacket, .consoleCommands = {}},
    {.type = enDorir_Iv, .configName = "enDorir_Iv", .listName = "Zore_RE", .aboutName = "Dorir_Iv",
     .decoder = New<GsofDecoder>, .decoderProfile = kGsofProfile,
     .startup = kDorirStartup, .rawLog = {}, .rawLogBuilt = DorirRawLog,
     .rawPortBaud = {}, .diffInput = kOtherDiffInput, .diffMode = kNoDiffMode,
     .probe = kAnyByte, .reset = kNoReset, .restore = RestoreFlow::kProbeOnly,
     .dialect = CommandDialect::kTrimblePacket, .consoleCommands = {}},
    {.type = enBlox9P, .configName = "enBlox9P", .listName = "uBlox9P", .aboutName = "uBlox 9P",
     .decoder = New<NmeaParserBlox9>, .decoderProfile = kNmeaFourSystemsProfile,
     .startup = {}, .rawLog = {}, .rawLogBuilt = nullptr,
     .rawPortBaud = {}, .diffInput = kOtherDiffInput, .diffMode = kNoDiffMode,
     .probe = kAnyByte, .reset = kNoReset, .restore = RestoreFlow::kProbeOnly,
     .dialect = CommandDialect::kNone, .consoleCommands = {}},
};
// clang-format on

const ReceiverMake& ReceiverMakeOf(std::int32_t code) {
    return kReceiverMakes[IsKnownReceiverType(code) ? code : kDefaultReceiverType];
}

ReceiverType ReceiverTypeFromConfigName(std::string_view name) {
    for (const ReceiverMake& make : kReceiverMakes) {
        if (make.configName == name) return make.type;
    }
    return kDefaultReceiverType;
}

std::string_view ConfigNameOf(std::int32_t code) {
    return ReceiverMakeOf(code).configName;
}
std::string_view AboutNameOf(std::int32_t code) {
    return ReceiverMakeOf(code).aboutName;
}
std::string_view ListNameOf(std::int32_t code) {
    return ReceiverMakeOf(code).listName;
}

std::array<std::uint8_t, kTrimbleRawOutputPacketBytes> BuildTrimbleRawOutputPacket(int cutoffAngleDeg,
                                                                                   int portCode,
                                                                                   int recordInterval) {
    auto packet = kTrimbleRawOutputTemplate;
    // One byte each on the wire; settings outside 0..255 keep their low byte.
    packet[kRawCutoffByte] = static_cast<std::uint8_t>(cutoffAngleDeg);
    packet[kRawPortByte] = static_cast<std::uint8_t>(portCode);
    packet[kRawIntervalByte] = static_cast<std::uint8_t>(recordInterval);
    unsigned sum = 0;
    for (std::size_t i = 1; i < kRawChecksumByte; ++i) sum += packet[i];
    packet[kRawChecksumByte] = static_cast<std::uint8_t>(sum);
    return packet;
}

double HemisphereRawRateSeconds(int recordInterval) {
    switch (recordInterval) {
        case 2: return 0.5;
        case 5: return 0.2;
        default: return 0.1;
    }
}

}  // namespace sextara
