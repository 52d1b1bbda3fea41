#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace sextara::nmea {

// One sentence as cut from the stream: "$" up to, not including, the line
// end. Scanned once on construction (commas and checksum), so the handlers
// pick fields without searching again.
class Sentence {
public:
    explicit Sentence(std::string_view text);
    // The checksum rule alone, for a line whose fields nobody reads.
    static bool ChecksumMatchesOf(std::string_view text);

    std::string_view Text() const { return text_; }
    // Character i of the line, 0 past its end (fixed-column reads like the GGA time).
    char At(std::size_t i) const { return i < text_.size() ? text_[i] : '\0'; }
    // The text just after the n-th comma (n from 1) up to the end of the line.
    // With fewer than n commas, the whole line: it starts with "$", so every
    // number read from it is 0.
    std::string_view Field(int n) const {
        if (n <= 0 || n > commaCount_) return text_;
        if (n > kIndexedCommas) return FieldPastIndex(n);
        // A comma lies inside the text: at most the empty view after its end.
        const std::size_t at = commas_[n - 1] + 1;
        return std::string_view(text_.data() + at, text_.size() - at);
    }
    int CountCommas() const { return commaCount_; }
    // Two characters after the "$": "GP", "GL", "GN", ...
    std::string_view Talker() const { return text_.size() >= 3 ? text_.substr(1, 2) : std::string_view{}; }

    // "*hh" after the data (the last "*" in the line, followed by two hex
    // digits): XOR of every byte between "$" and that "*".
    bool HasChecksum() const { return hasChecksum_; }
    bool ChecksumMatches() const { return !hasChecksum_ || computed_ == carried_; }

private:
    // The highest field any handler reads is 19 (the fourth satellite's SNR of
    // GSV); positions of later commas are found by a scan when asked for.
    static constexpr int kIndexedCommas = 24;

    struct ChecksumOnly {};
    Sentence(std::string_view text, ChecksumOnly);
    template <bool kCommas>
    void Scan();
    template <bool kCommas>
    void ScanWord(std::uint64_t word, std::size_t i, std::uint64_t& sumWord);
    std::string_view FieldPastIndex(int n) const;
    void AddComma(std::size_t position);

    std::string_view text_;
    // Positions of the first commas; only the first commaCount_ are set.
    std::uint32_t commas_[kIndexedCommas];
    int commaCount_ = 0;
    bool hasChecksum_ = false;
    std::uint8_t computed_ = 0;
    std::uint8_t carried_ = 0;
};

// The leading run of digits and periods as a decimal number; an empty run
// gives 0. A sign, a letter or the "*" of the checksum ends the run.
double Number(std::string_view text);
// The leading run of digits as an integer (saturating at the int32 maximum);
// "12.7" gives 12, an empty run 0. Inline: the satellite handlers read
// dozens of fields a sentence.
inline std::int32_t Integer(std::string_view text) {
    constexpr std::uint64_t kMax = 0x7FFFFFFF;
    constexpr std::size_t kSafeDigits = 9;  // never past kMax
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned digit = static_cast<unsigned>(static_cast<unsigned char>(text[i])) - '0';
        if (digit > 9) break;
        value = value * 10 + digit;
        if (i >= kSafeDigits && value > kMax) return static_cast<std::int32_t>(kMax);
    }
    return static_cast<std::int32_t>(value);
}
// As Number and Integer, after an optional leading "-" or "+", for fields
// that a receiver may send negative (geoid separation, elevation).
double SignedNumber(std::string_view text);
inline std::int32_t SignedInteger(std::string_view text) {
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        const std::int32_t value = Integer(text.substr(1));
        return text.front() == '-' ? -value : value;
    }
    return Integer(text);
}
// A decimal number with optional spaces and sign in front and an optional
// exponent, read up to the first character that does not fit; anything that
// is not a finite number gives 0.
double Decimal(std::string_view text);

}  // namespace sextara::nmea
