#include "gpsd/SentenceCutter.h"

#include <cctype>

namespace sextara::gpsd {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool HasAddress(const std::string& s) {
    std::size_t i = 1;
    while (i < s.size() && i <= 6 && (std::isupper(static_cast<unsigned char>(s[i])) ||
                                     std::isdigit(static_cast<unsigned char>(s[i])))) {
        ++i;
    }
    return i >= 3 && i < s.size() && s[i] == ',';
}

// "*HH" at the end: the XOR of everything between '$' and '*'. A sentence
// without one passes, as older receivers send them.
bool ChecksumHolds(const std::string& s) {
    const std::size_t star = s.rfind('*');
    if (star == std::string::npos) return true;
    if (star + 3 != s.size()) return false;
    const int high = HexValue(s[star + 1]);
    const int low = HexValue(s[star + 2]);
    if (high < 0 || low < 0) return false;
    unsigned sum = 0;
    for (std::size_t i = 1; i < star; ++i) sum ^= static_cast<unsigned char>(s[i]);
    return sum == static_cast<unsigned>(high * 16 + low);
}

}  // namespace

void SentenceCutter::Feed(const std::uint8_t* bytes, std::size_t count, std::vector<std::string>& out) {
    for (std::size_t i = 0; i < count; ++i) {
        const char c = static_cast<char>(bytes[i]);
        if (c == '$') {
            if (inSentence_) Drop();
            inSentence_ = true;
            tooLong_ = false;
            line_.assign(1, c);
        } else if (!inSentence_) {
            ++counters_.droppedBytes;
        } else if (c == '\n') {
            Finish(out);
        } else if (c == '\r' || (c >= 0x20 && c <= 0x7E)) {
            if (line_.size() < kMaxSentence) {
                line_ += c;
            } else {
                tooLong_ = true;
                ++counters_.droppedBytes;
            }
        } else {
            Drop();
            ++counters_.droppedBytes;
        }
    }
}

void SentenceCutter::Finish(std::vector<std::string>& out) {
    if (tooLong_) {
        Drop();
        ++counters_.droppedBytes;  // the line end
        return;
    }
    inSentence_ = false;
    const std::size_t taken = line_.size() + 1;  // with the line end
    while (!line_.empty() && line_.back() == '\r') line_.pop_back();
    const bool whole = HasAddress(line_) && line_.find('\r') == std::string::npos;
    if (whole && ChecksumHolds(line_)) {
        ++counters_.frames;
        out.push_back(line_ + "\r\n");
    } else {
        if (whole) ++counters_.checksumErrors;
        counters_.droppedBytes += taken;
    }
    line_.clear();
}

void SentenceCutter::Drop() {
    if (tooLong_) ++counters_.oversize;
    counters_.droppedBytes += line_.size();
    line_.clear();
    inSentence_ = false;
    tooLong_ = false;
}

void SentenceCutter::Reset() {
    line_.clear();
    inSentence_ = false;
    tooLong_ = false;
}

}  // namespace sextara::gpsd
