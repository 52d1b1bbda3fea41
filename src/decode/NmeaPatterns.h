#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <string_view>

namespace sextara::nmea {

enum class Kind : std::uint8_t { kGga, kGsa, kGsv, kRmc, kGst, kZda };

// Every pattern begins with one of these letters: only they can start a match.
inline constexpr char kLeadingLetters[] = {'G', 'R', 'Z'};
// The longest pattern: one word of bytes holds it.
inline constexpr std::size_t kMaxPatternLength = 8;

// The bytes of a text as a little-endian word: byte j in bits 8j..8j+7.
constexpr std::uint64_t KeyOf(std::string_view text) {
    std::uint64_t key = 0;
    for (std::size_t j = 0; j < text.size() && j < kMaxPatternLength; ++j) {
        key |= std::uint64_t{static_cast<std::uint8_t>(text[j])} << (8 * j);
    }
    return key;
}

// Searched for anywhere in the line, in table order; the first found decides.
// A GSV pattern that names its talker also names the table (-1: the talker
// of the line decides).
struct Pattern {
    std::string_view text;
    Kind kind;
    int gsvTable;
    // The text as a word and the mask of its bytes: one compare tests a position.
    std::uint64_t key = KeyOf(text);
    std::uint64_t mask = text.size() >= kMaxPatternLength ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * text.size())) - 1;
};

// The patterns of a parser, in search order, with what the search needs to
// know about them beforehand.
class PatternTable {
public:
    template <std::size_t N>
    constexpr PatternTable(const Pattern (&patterns)[N]) : PatternTable(std::span<const Pattern>(patterns)) {}
    constexpr explicit PatternTable(std::span<const Pattern> patterns) : patterns_(patterns) {
        for (std::size_t letter = 0; letter < std::size(kLeadingLetters); ++letter) {
            firstWithLetter_[letter] = patterns.size();
            for (std::size_t k = 0; k < patterns.size(); ++k) {
                if (patterns[k].text.front() == kLeadingLetters[letter]) {
                    firstWithLetter_[letter] = k;
                    break;
                }
            }
        }
    }

    // True when every pattern of the table can be found by FirstPattern.
    constexpr bool Searchable() const {
        for (const Pattern& p : patterns_) {
            if (p.text.empty() || p.text.size() > kMaxPatternLength) return false;
            bool leads = false;
            for (char letter : kLeadingLetters) leads = leads || p.text.front() == letter;
            if (!leads) return false;
        }
        return true;
    }

    constexpr std::span<const Pattern> Patterns() const { return patterns_; }
    // Index of the first pattern that begins with kLeadingLetters[letter],
    // the table's size when none does.
    constexpr std::size_t FirstWithLetter(std::size_t letter) const { return firstWithLetter_[letter]; }

private:
    std::span<const Pattern> patterns_;
    std::size_t firstWithLetter_[std::size(kLeadingLetters)]{};
};

// The first pattern of the table that occurs anywhere in the line (what
// searching for each in turn would find), or null.
const Pattern* FirstPattern(std::string_view line, const PatternTable& table);

}  // namespace sextara::nmea
