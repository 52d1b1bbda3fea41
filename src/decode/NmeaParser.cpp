#include "decode/NmeaParser.h"

#include <algorithm>
#include <cstring>

#include "decode/NmeaFields.h"
#include "decode/NmeaProfile.h"

namespace sextara {
namespace nmea {
namespace {

// NMEA 0183 allows 82 characters a sentence, but receivers go past it with
// proprietary and high-precision sentences. Each make's parser takes lines up
// to its own buffer size, 512 or 1024 bytes; anything longer is not a sentence.
constexpr std::size_t kShortLineCap = 512;
constexpr std::size_t kLongLineCap = 1024;
static_assert(kLongLineCap <= NmeaParser::kMaxLineCap);

constexpr Pattern kAllSentences[] = {
    {"GGA", Kind::kGga, -1}, {"GSA", Kind::kGsa, -1}, {"GSV", Kind::kGsv, -1},
    {"RMC", Kind::kRmc, -1}, {"GST", Kind::kGst, -1}, {"ZDA", Kind::kZda, -1},
};
constexpr Pattern kBloxSentences[] = {
    {"GGA", Kind::kGga, -1},         {"GSA", Kind::kGsa, -1},        {"GPGSV", Kind::kGsv, kGps},
    {"GLGSV", Kind::kGsv, kGlonass}, {"GBGSV", Kind::kGsv, kBeidou}, {"RMC", Kind::kRmc, -1},
    {"GST", Kind::kGst, -1},
};
constexpr Pattern kBlox9Sentences[] = {
    {"GGA", Kind::kGga, -1},         {"GSA", Kind::kGsa, -1},        {"GPGSV", Kind::kGsv, kGps},
    {"GLGSV", Kind::kGsv, kGlonass}, {"GBGSV", Kind::kGsv, kBeidou}, {"GAGSV", Kind::kGsv, kGalileo},
    {"RMC", Kind::kRmc, -1},         {"GST", Kind::kGst, -1},
};

static_assert(PatternTable(kAllSentences).Searchable() && PatternTable(kBloxSentences).Searchable() &&
              PatternTable(kBlox9Sentences).Searchable());

// NMEA 4.10 GSA system ids.
constexpr SystemId kThreeSystems[] = {{1, kGps}, {2, kGlonass}, {4, kBeidou}};
constexpr SystemId kFourSystems[] = {{1, kGps}, {2, kGlonass}, {3, kGalileo}, {4, kBeidou}};

constexpr Profile kStdProfile{
    .lineCap = kShortLineCap,
    .lfFallback = true,
    .patterns = kAllSentences,
    .quality9IsDgps = true,
    .gsv = GsvRule::kIndexed,
    .gpsGsvGuard = true,
    .clearAtFirst = Bit(kGps) | Bit(kGlonass) | Bit(kBeidou),
    .gsvMarksUsed = Bit(kGps) | Bit(kGlonass) | Bit(kBeidou),
    .total = TotalRule::kGpsSumsThree,
    .secondGroupSnr2 = false,
    .gsa = GsaRule::kByTalker,
    .systemIds = kThreeSystems,
    .traceGga = true,
    .traceGst = false,
};

constexpr Profile kHemisProfile{
    .lineCap = kShortLineCap,
    .lfFallback = true,
    .patterns = kAllSentences,
    .quality9IsDgps = false,
    .gsv = GsvRule::kIndexed,
    .gpsGsvGuard = false,
    .clearAtFirst = Bit(kBeidou),
    .gsvMarksUsed = Bit(kGlonass) | Bit(kBeidou),
    .total = TotalRule::kGpsSumsThree,
    .secondGroupSnr2 = false,
    .gsa = GsaRule::kByFirstPrn,
    .systemIds = {},
    .traceGga = false,
    .traceGst = false,
};

constexpr Profile kBloxProfile{
    .lineCap = kLongLineCap,
    .lfFallback = false,
    .patterns = kBloxSentences,
    .quality9IsDgps = false,
    .gsv = GsvRule::kIndexed,
    .gpsGsvGuard = false,
    .clearAtFirst = 0,
    .gsvMarksUsed = Bit(kGlonass) | Bit(kBeidou),
    .total = TotalRule::kGpsOwnCount,
    .secondGroupSnr2 = false,
    .gsa = GsaRule::kSystemIdElseGpsOnly,
    .systemIds = kThreeSystems,
    .traceGga = false,
    .traceGst = true,
};

constexpr Profile kBlox9Profile{
    .lineCap = kLongLineCap,
    .lfFallback = false,
    .patterns = kBlox9Sentences,
    .quality9IsDgps = false,
    .gsv = GsvRule::kIndexed,
    .gpsGsvGuard = false,
    .clearAtFirst = 0,
    .gsvMarksUsed = Bit(kGlonass) | Bit(kBeidou) | Bit(kGalileo),
    .total = TotalRule::kEverySumsFour,
    .secondGroupSnr2 = true,
    .gsa = GsaRule::kSystemIdElseFirstPrn,
    .systemIds = kFourSystems,
    .traceGga = false,
    .traceGst = true,
};

constexpr Profile kTrimbleProfile{
    .lineCap = kLongLineCap,
    .lfFallback = false,
    .patterns = kAllSentences,
    .quality9IsDgps = true,
    .gsv = GsvRule::kAppended,
    .gpsGsvGuard = false,
    .clearAtFirst = 0,
    .gsvMarksUsed = Bit(kGlonass) | Bit(kBeidou),
    .total = TotalRule::kGroupEndSumsThree,
    .secondGroupSnr2 = false,
    .gsa = GsaRule::kCombined,
    .systemIds = kThreeSystems,
    .traceGga = false,
    .traceGst = false,
};

}  // namespace
}  // namespace nmea

NmeaParser::NmeaParser(GnssState* state, const nmea::Profile& profile)
    : GnssDecoder(state), profile_(profile) {}

NmeaParserStd::NmeaParserStd(GnssState* state) : NmeaParser(state, nmea::kStdProfile) {}
NmeaParserHemis::NmeaParserHemis(GnssState* state) : NmeaParser(state, nmea::kHemisProfile) {}
NmeaParserBlox::NmeaParserBlox(GnssState* state) : NmeaParser(state, nmea::kBloxProfile) {}
NmeaParserBlox9::NmeaParserBlox9(GnssState* state) : NmeaParser(state, nmea::kBlox9Profile) {}
NmeaParserTrimble::NmeaParserTrimble(GnssState* state) : NmeaParser(state, nmea::kTrimbleProfile) {}

// ---------------------------------------------------------------------------
// Framing

std::int32_t NmeaParser::Input(const std::uint8_t* bytes, std::uint32_t count) {
    if (bytes == nullptr || count == 0) return 1;
    const char* next = reinterpret_cast<const char*>(bytes);
    std::size_t left = count;
    while (left > 0) {
        const std::size_t n = std::min(left, kInputSlice);
        std::string_view text;
        if (pendingSize_ == 0) {
            text = std::string_view(next, n);
        } else {
            std::memcpy(work_.data() + pendingSize_, next, n);
            text = std::string_view(work_.data(), pendingSize_ + n);
        }
        Keep(text, Process(text));
        next += n;
        left -= n;
    }
    return 1;
}

// Takes every complete sentence out of the text; returns where the unfinished
// one begins (a "$" with no line end after it), or the size when none is left.
std::size_t NmeaParser::Process(std::string_view text) {
    constexpr auto npos = std::string_view::npos;
    std::size_t pos = 0;
    if (skipping_) {
        pos = std::min(text.find('$'), text.size());
        counters_.droppedBytes += pos;
        if (pos == text.size()) return pos;
        skipping_ = false;
    }

    // Line ends are searched from the "$" to the end of the text; the first
    // match stays valid for every later "$" before it, and "none" for all.
    bool crlfKnown = false, lfKnown = false;
    std::size_t crlf = npos, lf = npos;
    auto findCrLf = [&](std::size_t from) {
        if (crlfKnown && (crlf == npos || crlf >= from)) return crlf;
        crlfKnown = true;
        for (crlf = text.find('\r', from); crlf != npos; crlf = text.find('\r', crlf + 1)) {
            if (crlf + 1 < text.size() && text[crlf + 1] == '\n') break;
        }
        return crlf;
    };
    auto findLf = [&](std::size_t from) {
        if (lfKnown && (lf == npos || lf >= from)) return lf;
        lfKnown = true;
        lf = text.find('\n', from);
        return lf;
    };

    for (;;) {
        const std::size_t dollar = text.find('$', pos);
        if (dollar == npos) {
            counters_.droppedBytes += text.size() - pos;
            return text.size();
        }
        counters_.droppedBytes += dollar - pos;
        // "\r\n" anywhere after the "$" wins over an earlier lone "\n".
        std::size_t end = findCrLf(dollar);
        std::size_t next = end + 2;
        if (end == npos && profile_.lfFallback) {
            end = findLf(dollar);
            next = end + 1;
        }
        if (end == npos) return dollar;
        Cut(text, dollar, end, next);
        pos = next;
    }
}

// A "$" inside a line means the sentence before it was cut short (a receiver
// restarting its output, a dropped byte run); the line starts at the last "$".
void NmeaParser::Cut(std::string_view text, std::size_t dollar, std::size_t end, std::size_t next) {
    const auto* last = static_cast<const char*>(memrchr(text.data() + dollar, '$', end - dollar));
    const std::size_t start = static_cast<std::size_t>(last - text.data());
    DropFragments(text.substr(dollar, start - dollar));
    const std::string_view line = text.substr(start, end - start);
    if (line.size() > profile_.lineCap) {
        ++counters_.oversize;
        counters_.droppedBytes += next - start;
        return;
    }
    if (!Handle(line)) counters_.droppedBytes += next - start;
}

// Each piece runs from a "$" to the next; one longer than the line cap plus a
// possible "\r" could never have become a sentence and counts as oversize,
// whichever Input calls it arrived in.
void NmeaParser::DropFragments(std::string_view fragments) {
    counters_.droppedBytes += fragments.size();
    while (!fragments.empty()) {
        const std::size_t piece = std::min(fragments.find('$', 1), fragments.size());
        if (piece > profile_.lineCap + 1) ++counters_.oversize;
        fragments.remove_prefix(piece);
    }
}

// Keeps the unfinished sentence for the next call: only from its last "$",
// and only while it can still become a line within the cap.
void NmeaParser::Keep(std::string_view text, std::size_t tail) {
    pendingSize_ = 0;
    if (tail >= text.size()) return;
    const std::size_t start = text.rfind('$');
    DropFragments(text.substr(tail, start - tail));
    const std::size_t length = text.size() - start;
    if (length > profile_.lineCap + 1) {
        ++counters_.oversize;
        counters_.droppedBytes += length;
        skipping_ = true;
        return;
    }
    std::memmove(work_.data(), text.data() + start, length);
    pendingSize_ = length;
}

// Lines no handler reads (VTG, GLL, TXT, proprietary ones) are only checked
// against their checksum: their fields are never split up.
bool NmeaParser::Handle(std::string_view line) {
    const nmea::Pattern* pattern = nmea::FirstPattern(line, profile_.patterns);
    if (pattern == nullptr) {
        if (!nmea::Sentence::ChecksumMatchesOf(line)) {
            ++counters_.checksumErrors;
            return false;
        }
        ++counters_.frames;
        return true;
    }
    const nmea::Sentence s(line);
    if (!s.ChecksumMatches()) {
        ++counters_.checksumErrors;
        return false;
    }
    ++counters_.frames;
    switch (pattern->kind) {
        case nmea::Kind::kGga: OnGga(s); break;
        case nmea::Kind::kGsa: OnGsa(s); break;
        case nmea::Kind::kGsv:
            if (profile_.gsv == nmea::GsvRule::kAppended) {
                OnGsvAppended(s);
            } else {
                OnGsv(s, pattern->gsvTable >= 0 ? pattern->gsvTable : nmea::ConstellationOfTalker(s.Talker()));
            }
            break;
        case nmea::Kind::kRmc: OnRmc(s); break;
        case nmea::Kind::kGst: OnGst(s); break;
        case nmea::Kind::kZda: OnZda(s); break;
    }
    return true;
}

}  // namespace sextara
