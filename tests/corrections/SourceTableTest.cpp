#include <gtest/gtest.h>

#include <random>

#include "corrections/LinkHarness.h"
#include "corrections/SourceTable.h"

namespace sextara::corrections {
namespace {

using test::ReadData;

TEST(SourceTableParse, RecordedTablesWithCrLfAndBareLf) {
    std::vector<SourceTableEntry> entries;
    // The gpsd copy of a SAPOS reply: bare LF line ends, comment lines before it.
    ASSERT_EQ(ParseSourceTable(ReadData("ntrip/ntrip_sourcetable.log"), entries), 4u);
    const SourceTableEntry& vrs = entries[0];
    EXPECT_EQ(vrs.type, "STR");
    EXPECT_EQ(vrs.mountPoint, "VRS_3_2G");
    EXPECT_EQ(vrs.identifier, "SAPOS_VRS_3");
    EXPECT_EQ(vrs.format, "RTCM3.1");
    EXPECT_EQ(vrs.formatDetails, "1004(1), 1005/1006, 1007/1008, 1012(1), 1021, 1023, 1025, 1030, 1031, 1032, 1033");
    EXPECT_EQ(vrs.carrier, 2);
    EXPECT_EQ(vrs.navSystem, "GPS+GLO");
    EXPECT_EQ(vrs.network, "SAPOS-AdV");
    EXPECT_EQ(vrs.country, "DEU");
    EXPECT_DOUBLE_EQ(vrs.latitude, 52.48);
    EXPECT_DOUBLE_EQ(vrs.longitude, 13.30);
    EXPECT_EQ(vrs.nmea, 1);
    EXPECT_EQ(vrs.solution, 1);
    EXPECT_EQ(entries[3].mountPoint, "EPS");
    EXPECT_EQ(entries[3].carrier, 0);

    // A real caster's CR LF reply with header lines and the end marker.
    ASSERT_EQ(ParseSourceTable(ReadData("ntrip/rtklib-caster/06-sourcetable-ntrip2.txt"), entries), 1u);
    EXPECT_EQ(entries[0].mountPoint, "TEST");
    EXPECT_EQ(entries[0].format, "RTCM 3.2");
    EXPECT_DOUBLE_EQ(entries[0].latitude, 48.10);
    EXPECT_DOUBLE_EQ(entries[0].longitude, 11.50);
    EXPECT_EQ(entries[0].nmea, 0);
}

TEST(SourceTableParse, BoundsAndClearing) {
    std::vector<SourceTableEntry> entries;
    std::string many;
    const int lines = static_cast<int>(kMaxSourceTableEntries) + 44;
    for (int i = 0; i < lines; ++i) many += "STR;M" + std::to_string(i) + ";id;RTCM 3;;2;GPS;N;DEU;1;2;0;0;\r\n";
    EXPECT_EQ(ParseSourceTable(many, entries), kMaxSourceTableEntries);
    EXPECT_EQ(entries.back().mountPoint, "M" + std::to_string(kMaxSourceTableEntries - 1));

    const std::string wide = "STR;" + std::string(150, 'm') + ";" + std::string(300, 'i') + ";" + std::string(70, 'f') +
                             ";" + std::string(140, 'd') + ";1;" + std::string(40, 'n') + ";" + std::string(40, 'w') +
                             ";DEUX;1;2;1;0;\r\n";
    ASSERT_EQ(ParseSourceTable(wide, entries), 1u);
    EXPECT_EQ(entries[0].mountPoint, std::string(99, 'm'));
    EXPECT_EQ(entries[0].identifier, std::string(255, 'i'));
    EXPECT_EQ(entries[0].format, std::string(63, 'f'));
    EXPECT_EQ(entries[0].formatDetails, std::string(127, 'd'));
    EXPECT_EQ(entries[0].navSystem, std::string(31, 'n'));
    EXPECT_EQ(entries[0].network, std::string(31, 'w'));
    EXPECT_EQ(entries[0].country, "DEU");

    // An empty field of a later table leaves nothing of the earlier one.
    ASSERT_EQ(ParseSourceTable("STR;A;;RTCM;;0;;;;0;0;0;0;\r\n", entries), 1u);
    EXPECT_EQ(entries[0].identifier, "");
    EXPECT_EQ(entries[0].nmea, 0);

    // A last line without its end is not a record; the marker is none either.
    EXPECT_EQ(ParseSourceTable("STR;A;x;\r\nENDSOURCETABLE\r\nSTR;B;y;", entries), 1u);
}

struct ReplyCase {
    const char* name;
    std::string reply;
    bool isTable;
    std::string stored;
};

TEST(SourceTableReply, OnlyATableIsATable) {
    const std::string recorded = ReadData("ntrip/rtklib-caster/06-sourcetable-ntrip2.txt");
    const std::string table = "STR;A;x;RTCM;;0;;;;0;0;1;0;\r\nENDSOURCETABLE\r\n";
    std::string chunkedTable = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Type: gnss/sourcetable\r\n\r\n";
    const std::string header = chunkedTable;
    chunkedTable += "10\r\n" + table.substr(0, 16) + "\r\n";
    chunkedTable += "1d\r\n" + table.substr(16) + "\r\n0\r\n\r\n";
    const std::vector<ReplyCase> cases = {
        {"recorded SOURCETABLE 200 OK", recorded, true, recorded},
        {"recorded 401", ReadData("ntrip/rtklib-caster/03-bad-password.txt"), false, ""},
        {"HTML page", "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<html>login</html>", false, ""},
        {"HTTP error", "HTTP/1.1 500 Internal Server Error\r\n\r\nSTR;A;\r\n", false, ""},
        {"NTRIP 2 chunked table, stored decoded", chunkedTable, true, header + table},
        {"table without header fields", "SOURCETABLE 200 OK\r\n" + table, true, "SOURCETABLE 200 OK\r\n" + table},
    };
    std::mt19937 random(3);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (int pieces = 0; pieces < 2; ++pieces) {
            SourceTableReceiver receiver;
            std::size_t at = 0;
            bool done = false;
            while (at < c.reply.size() && !done) {
                const std::size_t size = pieces == 0 ? c.reply.size() : std::min<std::size_t>(1 + random() % 3, c.reply.size() - at);
                done = receiver.Feed(reinterpret_cast<const std::uint8_t*>(c.reply.data() + at), size);
                at += size;
            }
            if (!done) receiver.Closed();
            EXPECT_EQ(receiver.IsSourceTable(), c.isTable);
            if (c.isTable) {
                EXPECT_EQ(receiver.Stored(), c.stored);
            }
        }
    }
}

TEST(SourceTableReply, LongTableIsCutAtItsBuffer) {
    std::string reply = "SOURCETABLE 200 OK\r\nContent-Type: text/plain\r\n\r\n";
    while (reply.size() < 100 * 1024) reply += "STR;MOUNT" + std::to_string(reply.size()) + ";id;RTCM 3.2;1004;2;GPS;NET;DEU;50.00;8.00;1;0;\r\n";
    reply += "ENDSOURCETABLE\r\n";
    SourceTableReceiver receiver;
    bool done = false;
    for (std::size_t at = 0; at < reply.size() && !done; at += 256) {
        done = receiver.Feed(reinterpret_cast<const std::uint8_t*>(reply.data() + at), std::min<std::size_t>(256, reply.size() - at));
    }
    EXPECT_TRUE(done);
    EXPECT_TRUE(receiver.SawEndMarker());
    EXPECT_EQ(receiver.Stored(), reply.substr(0, kSourceTableBytes));
    std::vector<SourceTableEntry> entries;
    const std::size_t count = ParseSourceTable(receiver.Stored(), entries);
    EXPECT_GT(count, 100u);
    EXPECT_EQ(entries.back().nmea, 1);  // the line cut by the buffer end is not among them
}

TEST(SourceTableDistance, NearestFirst) {
    std::vector<SourceTableEntry> entries(3);
    entries[0].latitude = 52.52, entries[0].longitude = 13.40;  // Berlin
    entries[1].latitude = 48.10, entries[1].longitude = 11.50;  // Munich
    entries[2].latitude = 0.0, entries[2].longitude = 1.0;
    const auto sorted = MountPointsByDistance(entries, 48.14, 11.58);
    ASSERT_EQ(sorted.size(), 3u);
    EXPECT_EQ(sorted[0].entryIndex, 1u);
    EXPECT_EQ(sorted[1].entryIndex, 0u);
    EXPECT_NEAR(sorted[1].distanceKm, 504.0, 5.0);
    // One degree along the equator: 2 pi 6371.0088 / 360 km.
    EXPECT_NEAR(GreatCircleKm(0, 0, 0, 1), 111.19508, 1e-4);
}

}  // namespace
}  // namespace sextara::corrections
