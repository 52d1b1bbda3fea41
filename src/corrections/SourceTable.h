#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "corrections/NtripProtocol.h"

namespace sextara::corrections {

// The caster's reply as kept in memory and in "SourceTable.dat": a real
// caster's table runs to hundreds of kilobytes, and all of it is kept up to
// 8 MB; a longer reply is cut here (the line walk drops the cut line). The
// entries are bounded too: 8 MB of the shortest STR lines would otherwise
// make millions of records.
inline constexpr std::size_t kSourceTableBytes = 8u << 20;
inline constexpr std::size_t kMaxSourceTableEntries = 65536;
inline constexpr const char* kSourceTableFileName = "SourceTable.dat";

// One "STR" record of a caster's source table:
//   STR;VRS_3_2G;SAPOS_VRS_3;RTCM3.1;1004(1), 1005/1006;2;GPS+GLO;SAPOS-AdV;DEU;52.48;13.30;1;1;...
// Texts are cut to their slot width less one, as the page shows them.
struct SourceTableEntry {
    static constexpr std::size_t kTypeWidth = 4;
    static constexpr std::size_t kMountPointWidth = 100;
    static constexpr std::size_t kIdentifierWidth = 256;
    static constexpr std::size_t kFormatWidth = 64;
    static constexpr std::size_t kFormatDetailsWidth = 128;
    static constexpr std::size_t kNavSystemWidth = 32;
    static constexpr std::size_t kNetworkWidth = 32;
    static constexpr std::size_t kCountryWidth = 4;

    std::string type;           // field 0, "STR"
    std::string mountPoint;     // 1
    std::string identifier;     // 2
    std::string format;         // 3, "RTCM 3.2"
    std::string formatDetails;  // 4, message types and rates
    std::int32_t carrier = 0;   // 5: 0 none, 1 L1, 2 L1+L2
    std::string navSystem;      // 6, "GPS+GLO"
    std::string network;        // 7
    std::string country;        // 8, ISO 3166 alpha-3
    double latitude = 0;        // 9, degrees north
    double longitude = 0;       // 10, degrees east
    std::int32_t nmea = 0;      // 11: 1 when the mount wants the client's GGA
    std::int32_t solution = 0;  // 12: 0 single base, 1 network
};

// Fills entries (at most kMaxSourceTableEntries, each cleared first) from
// the STR lines of a raw table; header lines, CAS and NET records and the
// end marker are skipped. A line ends at CR or LF; a last line without its
// end is dropped. Returns the entry count.
std::size_t ParseSourceTable(std::string_view raw, std::vector<SourceTableEntry>& entries);

// Collects the reply to the source table request. The bytes kept are the
// reply as received (a chunked body is stored decoded behind its header),
// until the end marker, the end of a chunked body or kSourceTableBytes (then
// Cut()).
class SourceTableReceiver {
public:
    // True once nothing more needs to be read.
    bool Feed(const std::uint8_t* bytes, std::size_t count);
    // The caster closed the connection: whatever came is the reply.
    void Closed();
    // A reply is a source table when it starts "SOURCETABLE 200 OK", or is an
    // HTTP 200 whose body is a table (gnss/sourcetable, or STR/CAS/NET lines
    // or the end marker).
    bool IsSourceTable() const;
    const std::string& Stored() const { return stored_; }
    bool SawEndMarker() const { return sawMarker_; }
    bool HeaderTooLong() const { return headerTooLong_; }
    // The reply reached kSourceTableBytes before its end.
    bool Cut() const { return cut_; }

private:
    void Keep(std::string_view bytes);
    void Body(std::string_view bytes);

    std::string header_;
    bool headerDone_ = false;
    bool headerTooLong_ = false;
    bool chunked_ = false;
    ChunkedDecoder decoder_;
    std::string stored_;
    std::string tail_;  // the last bytes of the body, for a marker cut between reads
    bool sawMarker_ = false;
    bool sawEnd_ = false;
    bool sawRecord_ = false;
    bool cut_ = false;
};

// Mount points nearest first from a position, by great-circle distance.
struct MountPointDistance {
    std::size_t entryIndex = 0;
    double distanceKm = 0;
};
std::vector<MountPointDistance> MountPointsByDistance(const std::vector<SourceTableEntry>& entries,
                                                      double latitudeDeg, double longitudeDeg);
double GreatCircleKm(double latitude1Deg, double longitude1Deg, double latitude2Deg, double longitude2Deg);

}  // namespace sextara::corrections
