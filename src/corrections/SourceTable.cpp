#include "corrections/SourceTable.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace sextara::corrections {
namespace {

constexpr std::string_view kEndMarker = "ENDSOURCETABLE";

void StoreText(std::string& slot, std::string_view field, std::size_t width) {
    slot.assign(field.substr(0, width - 1));
}

std::int32_t ToInt(std::string_view field) {
    while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
    if (!field.empty() && field.front() == '+') field.remove_prefix(1);
    long long value = 0;
    std::from_chars(field.data(), field.data() + field.size(), value);
    return static_cast<std::int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

double ToDouble(std::string_view field) {
    while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
    if (!field.empty() && field.front() == '+') field.remove_prefix(1);
    double value = 0;
    std::from_chars(field.data(), field.data() + field.size(), value);
    return std::isfinite(value) ? value : 0;
}

// Fields are stored at each ";": text behind the last one is not a field,
// and fields past number 12 are not kept.
void FillEntry(std::string_view line, SourceTableEntry& entry) {
    entry = SourceTableEntry{};
    int number = 0;
    std::size_t start = 0;
    for (std::size_t semicolon = line.find(';'); semicolon != std::string_view::npos && number <= 12;
         semicolon = line.find(';', start)) {
        const std::string_view field = line.substr(start, semicolon - start);
        start = semicolon + 1;
        if (!field.empty()) {
            switch (number) {
                case 0: StoreText(entry.type, field, SourceTableEntry::kTypeWidth); break;
                case 1: StoreText(entry.mountPoint, field, SourceTableEntry::kMountPointWidth); break;
                case 2: StoreText(entry.identifier, field, SourceTableEntry::kIdentifierWidth); break;
                case 3: StoreText(entry.format, field, SourceTableEntry::kFormatWidth); break;
                case 4: StoreText(entry.formatDetails, field, SourceTableEntry::kFormatDetailsWidth); break;
                case 5: entry.carrier = ToInt(field); break;
                case 6: StoreText(entry.navSystem, field, SourceTableEntry::kNavSystemWidth); break;
                case 7: StoreText(entry.network, field, SourceTableEntry::kNetworkWidth); break;
                case 8: StoreText(entry.country, field, SourceTableEntry::kCountryWidth); break;
                case 9: entry.latitude = ToDouble(field); break;
                case 10: entry.longitude = ToDouble(field); break;
                case 11: entry.nmea = ToInt(field); break;
                case 12: entry.solution = ToInt(field); break;
                default: break;
            }
        }
        ++number;
    }
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::size_t ParseSourceTable(std::string_view raw, std::vector<SourceTableEntry>& entries) {
    entries.clear();
    std::size_t start = 0;
    while (start < raw.size() && entries.size() < kMaxSourceTableEntries) {
        const std::size_t end = raw.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            break;  // a line cut by the end of the bytes is not a record
        }
        const std::string_view line = raw.substr(start, end - start);
        start = end + 1;
        if (StartsWith(line, "STR")) {
            entries.emplace_back();
            FillEntry(line, entries.back());
        }
    }
    return entries.size();
}

void SourceTableReceiver::Keep(std::string_view bytes) {
    const std::size_t room = kSourceTableBytes - stored_.size();
    if (bytes.size() > room) cut_ = true;
    stored_.append(bytes.substr(0, room));
}

void SourceTableReceiver::Body(std::string_view bytes) {
    Keep(bytes);
    // The marker and the record check only need a few bytes of context. The
    // table ends with the marker's line, wherever the reads cut it.
    tail_.append(bytes);
    for (const std::string_view record : {"STR;", "CAS;", "NET;"}) {
        if (tail_.find(record) != std::string::npos) sawRecord_ = true;
    }
    if (!sawMarker_) {
        const std::size_t marker = tail_.find(kEndMarker);
        if (marker != std::string::npos) {
            sawMarker_ = true;
            tail_.erase(0, marker + kEndMarker.size());
        }
    }
    if (sawMarker_) {
        sawEnd_ = sawEnd_ || tail_.find('\n') != std::string::npos;
        tail_.clear();
    } else if (tail_.size() > kEndMarker.size()) {
        tail_.erase(0, tail_.size() - kEndMarker.size());
    }
}

bool SourceTableReceiver::Feed(const std::uint8_t* bytes, std::size_t count) {
    std::string_view piece(reinterpret_cast<const char*>(bytes), count);
    if (!headerDone_) {
        const std::size_t room = NtripReplyReader::kMaxReplyHeader + 1 - header_.size();
        const std::size_t kept = std::min(room, piece.size());
        header_.append(piece.substr(0, kept));
        std::size_t end = reply::HeaderEnd(header_);
        if (end == 0) {
            if (header_.size() > NtripReplyReader::kMaxReplyHeader) {
                headerTooLong_ = true;
                return true;
            }
            return false;
        }
        headerDone_ = true;
        chunked_ = reply::ContainsNoCase(reply::FieldValue(header_, "Transfer-Encoding"), "chunked");
        // Bytes of this piece behind the header belong to the body.
        const std::size_t behind = header_.size() - end;
        header_.resize(end);
        Keep(header_);
        piece = piece.substr(kept - behind);
    }
    if (chunked_) {
        std::string decoded;
        const auto status =
            decoder_.Feed(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size(), decoded);
        Body(decoded);
        if (status != ChunkedDecoder::Status::Ok) return true;
    } else {
        Body(piece);
    }
    return sawEnd_ || cut_;
}

void SourceTableReceiver::Closed() {
    sawEnd_ = sawEnd_ || sawMarker_;
    // Some casters send the table straight behind the status line, without
    // header fields or the empty line.
    if (!headerDone_ && !headerTooLong_ && StartsWith(reply::FirstLine(header_), "SOURCETABLE 200 OK")) {
        headerDone_ = true;
        const std::string whole = header_;
        Body(whole);
    }
}

bool SourceTableReceiver::IsSourceTable() const {
    if (!headerDone_) return false;
    const std::string_view first = reply::FirstLine(header_);
    if (StartsWith(first, "SOURCETABLE 200 OK")) return true;
    if (reply::HttpStatus(first) != 200) return false;
    return reply::ContainsNoCase(reply::FieldValue(header_, "Content-Type"), "gnss/sourcetable") || sawEnd_ ||
           sawRecord_;
}

double GreatCircleKm(double latitude1Deg, double longitude1Deg, double latitude2Deg, double longitude2Deg) {
    constexpr double kEarthRadiusKm = 6371.0088;  // mean radius
    constexpr double kRadPerDeg = 3.14159265358979323846 / 180.0;
    const double phi1 = latitude1Deg * kRadPerDeg;
    const double phi2 = latitude2Deg * kRadPerDeg;
    const double dPhi = phi2 - phi1;
    const double dLambda = (longitude2Deg - longitude1Deg) * kRadPerDeg;
    const double a = std::sin(dPhi / 2) * std::sin(dPhi / 2) +
                     std::cos(phi1) * std::cos(phi2) * std::sin(dLambda / 2) * std::sin(dLambda / 2);
    return 2 * kEarthRadiusKm * std::asin(std::sqrt(std::clamp(a, 0.0, 1.0)));
}

std::vector<MountPointDistance> MountPointsByDistance(const std::vector<SourceTableEntry>& entries,
                                                      double latitudeDeg, double longitudeDeg) {
    std::vector<MountPointDistance> result;
    result.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        result.push_back({i, GreatCircleKm(latitudeDeg, longitudeDeg, entries[i].latitude, entries[i].longitude)});
    }
    std::stable_sort(result.begin(), result.end(), [](const MountPointDistance& a, const MountPointDistance& b) {
        return a.distanceKm < b.distanceKm;
    });
    return result;
}

}  // namespace sextara::corrections
