#include "decode/NmeaFields.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
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

}  // namespace

Sentence::Sentence(std::string_view text) : text_(text) {
    const std::size_t size = text.size();
    // The last "*": two sentences glued by a lost line end carry two, and
    // only the outer checksum covers the whole line.
    const void* found = size > 1 ? memrchr(text.data() + 1, '*', size - 1) : nullptr;
    const std::size_t star =
        found ? static_cast<std::size_t>(static_cast<const char*>(found) - text.data()) : size;
    // Every position is stored, and the slot moves on only at a comma: no
    // branch per byte. The "$" at position 0 is outside the checksum.
    std::uint8_t sum = 0;
    std::size_t i = 1;
    for (; i < star; ++i) {
        const char c = text[i];
        sum ^= static_cast<std::uint8_t>(c);
        commas_[std::min(commaCount_, kIndexedCommas)] = i;
        commaCount_ += c == ',';
    }
    for (; i < size; ++i) {
        commas_[std::min(commaCount_, kIndexedCommas)] = i;
        commaCount_ += text[i] == ',';
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

std::string_view Sentence::Field(int n) const {
    if (n <= 0) return text_;
    if (n <= kIndexedCommas) {
        if (n > commaCount_) return text_;
        return text_.substr(commas_[n - 1] + 1);
    }
    int seen = 0;
    for (std::size_t i = 0; i < text_.size(); ++i) {
        if (text_[i] == ',' && ++seen == n) return text_.substr(i + 1);
    }
    return text_;
}

double Number(std::string_view text) {
    std::size_t length = 0;
    while (length < text.size() && (IsDigit(text[length]) || text[length] == '.')) ++length;
    double value = 0;
    const auto result = std::from_chars(text.data(), text.data() + length, value, std::chars_format::fixed);
    return result.ec == std::errc() ? value : 0.0;
}

std::int32_t Integer(std::string_view text) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    std::int64_t value = 0;
    for (char c : text) {
        if (!IsDigit(c)) break;
        value = value * 10 + (c - '0');
        if (value > kMax) value = kMax;
    }
    return static_cast<std::int32_t>(value);
}

double SignedNumber(std::string_view text) {
    bool negative = false;
    const double value = Number(DropSign(text, negative));
    return negative && value != 0 ? -value : value;
}

std::int32_t SignedInteger(std::string_view text) {
    bool negative = false;
    const std::int32_t value = Integer(DropSign(text, negative));
    return negative ? -value : value;
}

double Decimal(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return 0;
    }
    double value = 0;
    const auto result =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (result.ec != std::errc() || !std::isfinite(value)) return 0;
    return value;
}

}  // namespace sextara::nmea
