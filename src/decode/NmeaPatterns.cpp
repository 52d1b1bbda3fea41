#include "decode/NmeaPatterns.h"

#include <algorithm>
#include <cstring>

#include "decode/ByteWords.h"

namespace sextara::nmea {
namespace {

// The (up to) eight bytes from position i as a word like KeyOf makes; past
// the end of the line the bytes are 0, which no pattern holds.
std::uint64_t WordAt(std::string_view line, std::size_t i) {
    const std::size_t left = line.size() - i;
    if (bytewords::kEnabled && left >= bytewords::kWordBytes) return bytewords::Load(line.data() + i);
    return KeyOf(line.substr(i, std::min(left, kMaxPatternLength)));
}

bool IsLeadingLetter(char c) {
    static_assert(std::size(kLeadingLetters) == 3);
    return c == kLeadingLetters[0] || c == kLeadingLetters[1] || c == kLeadingLetters[2];
}

}  // namespace

// The header (talker and type) names the pattern of nearly every line, so it
// is looked at first; the rest of the line is then searched only for the
// letters that begin a pattern before the one found, which for most
// sentences is one letter that the rest of the line never holds.
const Pattern* FirstPattern(std::string_view line, const PatternTable& table) {
    const std::span<const Pattern> patterns = table.Patterns();
    std::size_t best = patterns.size();
    // The lowest pattern before the best so far that begins at i.
    auto matchAt = [&](std::size_t i) {
        const std::uint64_t word = WordAt(line, i);
        for (std::size_t k = 0; k < best; ++k) {
            if ((word & patterns[k].mask) == patterns[k].key) {
                best = k;
                return;
            }
        }
    };
    constexpr std::size_t kHeader = 6;  // "$GPGSV"
    const std::size_t head = std::min(line.size(), kHeader);
    for (std::size_t i = 0; i < head && best != 0; ++i) {
        if (IsLeadingLetter(line[i])) matchAt(i);
    }
    for (std::size_t letter = 0; letter < std::size(kLeadingLetters); ++letter) {
        // Patterns from the best one on cannot change the result.
        for (std::size_t from = head; table.FirstWithLetter(letter) < best && from < line.size();) {
            const void* found = std::memchr(line.data() + from, kLeadingLetters[letter], line.size() - from);
            if (found == nullptr) break;
            const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(found) - line.data());
            matchAt(at);
            from = at + 1;
        }
    }
    return best < patterns.size() ? &patterns[best] : nullptr;
}

}  // namespace sextara::nmea
