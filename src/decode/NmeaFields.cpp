#include "decode/NmeaFields.h"

#include "decode/ByteWords.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>

namespace sextara::nmea {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string_view DropSign(std::string_view text, bool& negative) {
    negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    return text;
}

std::uint8_t FoldXor(std::uint64_t word) {
    word ^= word >> 32;
    word ^= word >> 16;
    word ^= word >> 8;
    return static_cast<std::uint8_t>(word);
}

// Exact doubles: a whole number below 2^53 divided by one of them is the
// correctly rounded value of its decimal, as from_chars would give it.
constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr std::uint64_t kExactMantissa = std::uint64_t{1} << 53;

// Digits with at most one period, from the start of the text, as a number
// (the period may come first or last: ".5", "5."); `used` is how many
// characters it took. False when there is no digit or the number needs more
// than one exact division (then from_chars reads it, more slowly, to the
// same value): the decoders read thousands of these a second.
bool ShortDecimal(std::string_view text, double& value, std::size_t& used) {
    constexpr int kMaxDigits = 19;  // below 2^64 whatever they are
    std::uint64_t mantissa = 0;
    int digits = 0;
    int fractionDigits = 0;
    bool period = false;
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (IsDigit(c)) {
            if (digits == kMaxDigits) return false;
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
            ++digits;
            fractionDigits += period ? 1 : 0;
        } else if (c == '.' && !period) {
            period = true;
        } else {
            break;
        }
    }
    if (digits == 0 || mantissa > kExactMantissa ||
        fractionDigits >= static_cast<int>(std::size(kExactPowersOfTen)))
        return false;
    value = static_cast<double>(mantissa) / kExactPowersOfTen[fractionDigits];
    used = i;
    return true;
}

// The last "*": two sentences glued by a lost line end carry two, and only
// the outer checksum covers the whole line. Nearly every line ends "*hh".
std::size_t LastStar(std::string_view text) {
    const std::size_t size = text.size();
    if (size >= 4 && text[size - 3] == '*' && text[size - 2] != '*' && text[size - 1] != '*') return size - 3;
    const void* found = size > 1 ? memrchr(text.data() + 1, '*', size - 1) : nullptr;
    return found ? static_cast<std::size_t>(static_cast<const char*>(found) - text.data()) : size;
}

}  // namespace

[[gnu::always_inline]] inline void Sentence::AddComma(std::size_t position) {
    if (commaCount_ < kIndexedCommas) commas_[commaCount_] = static_cast<std::uint32_t>(position);
    ++commaCount_;
}

// Bytes i.. of a word (the lower ones were positions before i) into the
// checksum and the comma list.
// Bytes i.. of a word (the lower ones were positions before i) into the
// checksum and, when asked, the comma list.
template <bool kCommas>
[[gnu::always_inline]] inline void Sentence::ScanWord(std::uint64_t word, std::size_t i, std::uint64_t& sumWord) {
    sumWord ^= word;
    if constexpr (kCommas) {
        for (std::uint64_t commas = bytewords::Matches(word, ','); commas != 0; commas &= commas - 1) {
            AddComma(i + bytewords::LowestByte(commas));
        }
    }
}

Sentence::Sentence(std::string_view text) : text_(text) {
    Scan<true>();
}

Sentence::Sentence(std::string_view text, ChecksumOnly) : text_(text) {
    Scan<false>();
}

bool Sentence::ChecksumMatchesOf(std::string_view text) {
    return Sentence(text, ChecksumOnly{}).ChecksumMatches();
}

template <bool kCommas>
void Sentence::Scan() {
    const std::string_view text = text_;
    const std::size_t size = text.size();
    const std::size_t star = LastStar(text);
    // The "$" at position 0 is outside the checksum and never a comma. The
    // checksum of a run of words is the XOR of the words, folded.
    std::uint64_t sumWord = 0;
    std::size_t i = 1;
    if constexpr (bytewords::kEnabled) {
        for (; i + bytewords::kWordBytes <= star; i += bytewords::kWordBytes) {
            ScanWord<kCommas>(bytewords::Load(text.data() + i), i, sumWord);
        }
        // The last bytes before the "*" as the top of the word that ends
        // there; the bytes below them were scanned already.
        const std::size_t left = star - i;
        if (left > 0 && i > 1) {
            const std::uint64_t last = bytewords::Load(text.data() + star - bytewords::kWordBytes);
            ScanWord<kCommas>(last >> (8 * (bytewords::kWordBytes - left)), i, sumWord);
            i = star;
        }
    }
    std::uint8_t sum = 0;
    for (; i < star; ++i) {
        sum ^= static_cast<std::uint8_t>(text[i]);
        if (kCommas && text[i] == ',') AddComma(i);
    }
    sum ^= FoldXor(sumWord);
    if constexpr (kCommas) {
        for (; i < size; ++i) {
            if (text[i] == ',') AddComma(i);
        }
    }
    if (star < size && size - star >= 3) {
        const int high = HexValue(text[star + 1]);
        const int low = HexValue(text[star + 2]);
        if (high >= 0 && low >= 0) {
            hasChecksum_ = true;
            computed_ = sum;
            carried_ = static_cast<std::uint8_t>(high * 16 + low);
        }
    }
}

// The commas past the indexed ones are counted again; no handler reads there.
std::string_view Sentence::FieldPastIndex(int n) const {
    int seen = 0;
    for (std::size_t i = 0; i < text_.size(); ++i) {
        if (text_[i] == ',' && ++seen == n) return text_.substr(i + 1);
    }
    return text_;
}

double Number(std::string_view text) {
    double value = 0;
    std::size_t used = 0;
    if (ShortDecimal(text, value, used)) return value;
    std::size_t length = 0;
    while (length < text.size() && (IsDigit(text[length]) || text[length] == '.')) ++length;
    const auto result = std::from_chars(text.data(), text.data() + length, value, std::chars_format::fixed);
    return result.ec == std::errc() ? value : 0.0;
}

double SignedNumber(std::string_view text) {
    bool negative = false;
    const double value = Number(DropSign(text, negative));
    return negative && value != 0 ? -value : value;
}

double Decimal(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return 0;
    }
    double value = 0;
    const std::size_t sign = !text.empty() && text.front() == '-' ? 1 : 0;
    std::size_t used = 0;
    // An exponent after the digits is from_chars' to read.
    if (ShortDecimal(text.substr(sign), value, used)) {
        const std::size_t end = sign + used;
        if (end == text.size() || (text[end] != 'e' && text[end] != 'E')) return sign != 0 ? -value : value;
    }
    const auto result =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (result.ec != std::errc() || !std::isfinite(value)) return 0;
    return value;
}

}  // namespace sextara::nmea
