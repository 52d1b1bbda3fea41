// How the simulated receiver answers what the program writes: the probes,
// the commands of each make's language, resets and rate changes.

#include <termios.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <span>

#include "decode/ReceiverMakes.h"
#include "platform/Debug.h"
#include "sim/ReceiverSim.h"
#include "sim/SimLink.h"

namespace sextara::sim {
namespace {

using namespace std::chrono_literals;

// The probes this board answers: those of every make that speaks its
// command language (the Trimble NMEA, DA_Vo and Dorir_Iv boards answer the
// Trimble make's probe, though their own detection sends none).
std::vector<std::span<const std::uint8_t>> BinaryProbesOf(CommandDialect dialect) {
    std::vector<std::span<const std::uint8_t>> probes;
    for (const ReceiverMake& make : kReceiverMakes) {
        if (make.dialect == dialect && !make.probe.command.empty()) probes.push_back(make.probe.command);
    }
    return probes;
}

// The word that names the make's reset command ("FRESET", "JRESET"), or
// empty when it has none.
std::string_view ResetWordOf(const ReceiverMake& make) {
    std::string_view word = make.reset.command;
    if (!word.empty() && word.front() == '$') word.remove_prefix(1);
    return word.substr(0, word.find_first_of(" ,\r\n"));
}

// NovAtel ASCII logs end in "*" and the CRC-32 (reflected 0xEDB88320, no
// initial or final inversion) of everything between '#' and '*'.
std::uint32_t NovatelCrc32(std::string_view text) {
    std::uint32_t crc = 0;
    for (unsigned char c : text) {
        crc ^= c;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1u) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return crc;
}

std::string NmeaSentence(std::string_view body) {
    unsigned sum = 0;
    for (unsigned char c : body) sum ^= c;
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum & 0xFFu);
    return "$" + std::string(body) + tail;
}

// Shaped like a real OEM7 answer: the abbreviated-ASCII acknowledgement and
// port prompt, then the VERSIONA log with its CRC.
std::string NovatelVersionReply(bool compass) {
    const std::string body =
        "VERSIONA,COM1,0,62.0,FINESTEERING,2209,155406.000,02000000,3681,16248;1,GPSCARD,"
        "\"FFNRNNCBES1\",\"BMHR15470120X\",\"OEM719-1.01\",\"OM7CR0800RN0000\","
        "\"OM7BR0000RBG000\",\"2021/Mar/16\",\"13:40:45\"";
    char crc[16];
    std::snprintf(crc, sizeof crc, "*%08x\r\n", NovatelCrc32(body));
    const std::string ack = compass ? "OK!\r\n" : "\r\n<OK\r\n[COM1]";
    return ack + "#" + body + crc;
}

std::string HemisphereShowReply(int baud) {
    const std::string rate = std::to_string(baud);
    return "$>JSHOW,BAUD," + rate + "\r\n" + "$>JSHOW,BAUD,57600,OTHER\r\n" +
           "$>JSHOW,ASC,GPGGA,1.0,OTHER\r\n" + "$>JSHOW,DIFF,WAAS\r\n" + "$>JSHOW,ALT,NEVER\r\n" +
           "$>JSHOW,LTN,10\r\n" + "$>JSHOW,MASK,5\r\n" + "$>JSHOW,POWER,ON\r\n";
}

std::string TrimbleGgkReply() {
    return NmeaSentence("PTNL,GGK,102939.00,051299,3723.4658770,N,12202.2695786,W,3,07,1.8,EHT-6.777,M");
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::vector<std::string> Split(std::string_view text, std::string_view separators) {
    std::vector<std::string> out;
    std::string word;
    for (char c : text) {
        if (separators.find(c) != std::string_view::npos) {
            if (!word.empty()) out.push_back(std::move(word));
            word.clear();
        } else {
            word.push_back(c);
        }
    }
    if (!word.empty()) out.push_back(std::move(word));
    return out;
}

int ParseBaud(const std::string& text) {
    if (text.empty() || text.size() > 7) return 0;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + (c - '0');
    }
    return SpeedCodeOf(value) != 0 ? value : 0;
}

}  // namespace

void ReceiverSim::Receive(Link& link, const std::uint8_t* bytes, std::size_t count) {
    // The bytes were written before this look at the line; a program sets
    // the rate before it writes, so this sees the rate they were sent at. The
    // look comes before the recording, which a waiting test may take as the
    // sign that the program can go on to the next rate.
    termios tio{};
    const int lineBaud = ::tcgetattr(link.master, &tio) == 0 ? BaudOfCode(::cfgetospeed(&tio)) : 0;
    Record(link, bytes, count);
    const auto now = Clock::now();
    if (link.resetting && now >= link.resetEnds) {
        link.resetting = false;
        SwitchBaud(link, link.baudAfterReset);
    }
    const CommandDialect dialect = ReceiverMakeOf(options_.make).dialect;
    const auto probes = dialect == CommandDialect::kTrimblePacket
                            ? BinaryProbesOf(dialect)
                            : std::vector<std::span<const std::uint8_t>>{};
    std::size_t longestProbe = 0;
    for (const auto& probe : probes) longestProbe = std::max(longestProbe, probe.size());
    std::uint64_t ignored = 0;
    for (std::size_t i = 0; i < count; ++i) {
        // A command can change the receiver's rate, and with it whether the
        // rest of this read is understood at all.
        if (link.resetting || (lineBaud != link.baud && link.lastLineBaud != link.baud)) {
            ++ignored;
            link.line.clear();
            link.lineOverflow = false;
            link.binaryTail.clear();
            continue;
        }
        const std::uint8_t b = bytes[i];
        if (dialect == CommandDialect::kTrimblePacket) {
            link.binaryTail.push_back(b);
            if (link.binaryTail.size() > longestProbe) link.binaryTail.erase(link.binaryTail.begin());
            for (const auto& probe : probes) {
                if (link.binaryTail.size() < probe.size() ||
                    !std::equal(probe.begin(), probe.end(),
                                link.binaryTail.end() - static_cast<std::ptrdiff_t>(probe.size()))) {
                    continue;
                }
                link.binaryTail.clear();
                SEXTARA_DEBUG("sextara-sim: Trimble probe at %d\n", lineBaud);
                Reply(link, TrimbleGgkReply(), true);
                break;
            }
            continue;
        }
        if (dialect == CommandDialect::kNone) continue;
        if (b == '\r' || b == '\n') {
            if (!link.line.empty() && !link.lineOverflow) {
                const std::string command = std::move(link.line);
                link.line.clear();
                HandleCommand(link, command);
            }
            link.line.clear();
            link.lineOverflow = false;
        } else if (link.line.size() < kMaxCommandLine) {
            link.line.push_back(static_cast<char>(b));
        } else {
            link.lineOverflow = true;
        }
    }
    link.lastLineBaud = lineBaud;
    Bump([&](ReceiverSimStats& s) {
        s.bytesIgnored += ignored;
        s.lineBaud = lineBaud;
    });
}

void ReceiverSim::HandleCommand(Link& link, std::string_view line) {
    SEXTARA_DEBUG("sextara-sim: <- '%.*s' at %d\n", static_cast<int>(line.size()), line.data(), link.baud);
    switch (ReceiverMakeOf(options_.make).dialect) {
        case CommandDialect::kNovatelAscii:
        case CommandDialect::kCompassAscii: HandleNovatel(link, line); break;
        case CommandDialect::kHemisphere: HandleHemisphere(link, line); break;
        default: break;
    }
}

// "log version", "unlogall", "com com1 57600": case-insensitive words,
// separated by spaces or commas.
void ReceiverSim::HandleNovatel(Link& link, std::string_view line) {
    const ReceiverMake& make = ReceiverMakeOf(options_.make);
    const bool compass = make.dialect == CommandDialect::kCompassAscii;
    const auto words = Split(Lower(line), " ,\t");
    if (words.empty()) return;
    const std::string ok = compass ? "OK!\r\n" : "\r\n<OK\r\n[COM1]";
    const std::string& verb = words[0];
    if (verb == "log" && std::find(words.begin(), words.end(), "version") != words.end()) {
        Reply(link, NovatelVersionReply(compass), true);
    } else if (!ResetWordOf(make).empty() && verb == Lower(ResetWordOf(make))) {
        BeginReset(link, make.reset.baudAfter);
    } else if (verb == "com") {
        // "com com1 57600", "com thisport 57600" or "com 57600": the port the
        // command came in on is COM1.
        std::string port = "thisport";
        std::size_t rateAt = 1;
        if (words.size() > 2 && ParseBaud(words[1]) == 0) {
            port = words[1];
            rateAt = 2;
        }
        const int rate = rateAt < words.size() ? ParseBaud(words[rateAt]) : 0;
        if (rate == 0) {
            Reply(link, compass ? "ERROR!\r\n" : "\r\n<ERROR:Invalid Parameter\r\n[COM1]", false);
        } else if (port == "com1" || port == "thisport") {
            SwitchBaud(link, rate);
        } else {
            Reply(link, ok, false);
        }
    } else if (verb == "log" || verb == "unlog" || verb == "unlogall" || verb == "nmeatalker" ||
               verb == "saveconfig" || verb == "interfacemode") {
        Reply(link, ok, false);
    } else {
        Reply(link, compass ? "ERROR!\r\n" : "\r\n<ERROR:Invalid Command Name\r\n[COM1]", false);
    }
}

// "$JSHOW", "$JBAUD,57600,OTHER": the command starts at the last '$' of the
// line, so stray bytes ahead of it do not hide it.
void ReceiverSim::HandleHemisphere(Link& link, std::string_view line) {
    const std::size_t dollar = line.rfind('$');
    if (dollar == std::string_view::npos) return;
    const std::string body = Upper(line.substr(dollar + 1));
    const auto fields = Split(body, ",");
    if (fields.empty() || fields[0].empty() || fields[0][0] != 'J') return;
    const std::string& name = fields[0];
    if (name == "JSHOW") {
        Reply(link, HemisphereShowReply(link.baud), true);
    } else if (const ReceiverMake& make = ReceiverMakeOf(options_.make);
               !ResetWordOf(make).empty() && name == Upper(ResetWordOf(make))) {
        BeginReset(link, make.reset.baudAfter);
    } else if (name == "JBAUD" && fields.size() == 2 && ParseBaud(fields[1]) != 0) {
        // Only the two-field form is about this port; "$JBAUD,57600,OTHER"
        // sets the other one.
        SwitchBaud(link, ParseBaud(fields[1]));
    } else if (name == "JSAVE") {
        Reply(link, "$>Saving Configuration.  Please Wait...\r\n$> Save Complete\r\n", false);
    } else {
        Reply(link, "$>" + body + "\r\n", false);
    }
}

void ReceiverSim::Reply(Link& link, std::string_view text, bool probe) {
    link.replies.append(text);
    Bump([probe](ReceiverSimStats& s) {
        if (probe) {
            ++s.probesAnswered;
        } else {
            ++s.commandsAnswered;
        }
    });
}

void ReceiverSim::BeginReset(Link& link, int baudAfter) {
    if (baudAfter == 0) return;
    link.resetting = true;
    link.resetEnds = Clock::now() + options_.resetDelay;
    link.baudAfterReset = baudAfter;
    link.replies.clear();
    link.staged.clear();
    Bump([](ReceiverSimStats& s) { ++s.resets; });
    if (options_.resetDelay <= 0ms) {
        link.resetting = false;
        SwitchBaud(link, baudAfter);
    }
}

void ReceiverSim::SwitchBaud(Link& link, int baud) {
    if (baud == link.baud) return;
    SEXTARA_DEBUG("sextara-sim: now at %d baud\n", baud);
    link.baud = baud;
    // What was queued at the old rate would arrive as noise at the new one.
    link.replies.clear();
    link.staged.clear();
    if (options_.bytesPerSecond == 0) {
        link.bytesPerSecond = static_cast<std::uint32_t>(baud / 10);
        link.pacer = BytePacer(link.bytesPerSecond, kMaxBurst);
    }
    link.pacer.Restart(Clock::now());
    Bump([baud](ReceiverSimStats& s) {
        s.baud = baud;
        ++s.baudChanges;
    });
}

}  // namespace sextara::sim
