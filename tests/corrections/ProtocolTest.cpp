#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include <netdb.h>

#include "corrections/CasterAddress.h"
#include "corrections/NtripProtocol.h"
#include "corrections/LinkHarness.h"

namespace sextara::corrections {
namespace {

using test::ReadData;

struct RequestCase {
    const char* name;
    std::string mount, host, user, password;
    std::optional<std::string> expected;  // none: refused, never cut
};

TEST(NtripRequest, BytesExactOrRefused) {
    const std::string fixed = "\r\nNtrip-Version: Ntrip/2.0\r\nUser-Agent: NTRIP NtripClientPOSIX/$Revision: 1.50 $\r\n"
                              "Connection: close\r\nAuthorization: Basic ";
    const std::vector<RequestCase> cases = {
        {"numeric caster", "TEST", "127.0.0.1", "user", "pass",
         "GET /TEST HTTP/1.1\r\nHost: 127.0.0.1" + fixed + "dXNlcjpwYXNz\r\n\r\n"},
        {"named caster, user of 3, no password", "RTCM3", "caster.example.net", "abc", "",
         "GET /RTCM3 HTTP/1.1\r\nHost: caster.example.net" + fixed + "YWJjOg==\r\n\r\n"},
        {"empty credentials still carry the colon", "M", "h", "", "",
         "GET /M HTTP/1.1\r\nHost: h" + fixed + "Og==\r\n\r\n"},
        // 144 fixed header bytes: mount + host of 71 fill the 215 the header may hold.
        {"header of 215 fits", std::string(62, 'm'), "127.0.0.1", "u", "p",
         "GET /" + std::string(62, 'm') + " HTTP/1.1\r\nHost: 127.0.0.1" + fixed + "dTpw\r\n\r\n"},
        {"header of 216 refused", std::string(63, 'm'), "127.0.0.1", "u", "p", std::nullopt},
        // Header 157: room for 94 Base64 characters, 69 credential bytes.
        {"credentials of 69 bytes fit", "TEST", "127.0.0.1", std::string(63, 'u'), "12345",
         "GET /TEST HTTP/1.1\r\nHost: 127.0.0.1" + fixed +
             "dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1OjEyMzQ1\r\n\r\n"},
        {"credentials of 70 bytes refused", "TEST", "127.0.0.1", std::string(63, 'u'), "123456", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto request = ComposeNtripRequest(c.mount, c.host, c.user, c.password);
        EXPECT_EQ(request, c.expected);
        if (request) {
            EXPECT_LE(request->size(), 255u);
        }
    }
}

TEST(NtripRequest, SourceTableRequestAsksForTheRoot) {
    EXPECT_EQ(ComposeSourceTableRequest("192.168.1.5"),
              "GET / HTTP/1.1\r\nHost: 192.168.1.5\r\nNtrip-Version: Ntrip/2.0\r\n"
              "User-Agent: NTRIP NtripClientPOSIX/$Revision: 1.50 $\r\nConnection: close\r\n\r\n");
}

TEST(NtripRequest, CredentialsWriteOnlyTheRoomGiven) {
    char out[16];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(EncodeBasicCredentials(out, 5, "user", "pass"), 12u);
    EXPECT_STREQ(out, "dXNl");
    EXPECT_EQ(out[5], '#');
    EXPECT_EQ(EncodeBasicCredentials(out, 0, "user", "pass"), 12u);
    EXPECT_EQ(out[5], '#');
}

TEST(NtripRequest, HostNameOrDottedAddress) {
    const std::pair<const char*, bool> cases[] = {
        {"", false}, {"127.0.0.1", false}, {"1.2.3", false}, {"caster.example", true}, {"1.2.3.4a", true}};
    for (const auto& [text, named] : cases) EXPECT_EQ(IsHostName(text), named) << text;
}

// Names that cannot exist are answered here, without a query leaving the
// machine; a name that merely contains the word still goes to the resolver.
TEST(CasterAddress, InvalidNamesAreRefusedWithoutTheResolver) {
    for (const char* name : {"invalid", "no-such-caster.invalid", "Caster.INVALID."}) {
        std::string reason;
        EXPECT_TRUE(ResolveCaster(name, 2101, reason).empty()) << name;
        EXPECT_EQ(reason, ::gai_strerror(EAI_NONAME)) << name;
    }
    std::string reason;
    EXPECT_FALSE(ResolveCaster("localhost", 2101, reason).empty()) << reason;
}

struct ReplyCase {
    const char* name;
    std::string reply;
    bool closeAfter;
    NtripReplyReader::Outcome outcome;
    ConnectResult result;
    std::string stream;  // what follows the header, as the receiver must get it
    bool chunked;
};

// Feeds a reply in pieces and then whatever is left as stream bytes.
void FeedInPieces(const ReplyCase& c, const std::vector<std::size_t>& sizes) {
    NtripReplyReader reader;
    std::size_t at = 0;
    std::size_t piece = 0;
    while (at < c.reply.size() && reader.CurrentOutcome() == NtripReplyReader::Outcome::NeedMore) {
        const std::size_t size = std::min(sizes[piece++ % sizes.size()], c.reply.size() - at);
        reader.Feed(reinterpret_cast<const std::uint8_t*>(c.reply.data() + at), size);
        at += size;
    }
    if (c.closeAfter) reader.Closed();
    EXPECT_EQ(reader.CurrentOutcome(), c.outcome);
    EXPECT_EQ(reader.Result(), c.result);
    if (c.outcome == NtripReplyReader::Outcome::Accepted) {
        EXPECT_EQ(reader.StreamBytes() + c.reply.substr(at), c.stream);
        EXPECT_EQ(reader.Chunked(), c.chunked);
    }
}

TEST(NtripReply, ClassesWholeAndInSmallPieces) {
    using O = NtripReplyReader::Outcome;
    const std::string good = ReadData("ntrip/rtklib-caster/01-good-ntrip2.txt");
    const std::vector<ReplyCase> cases = {
        {"recorded ICY 200 OK", good, false, O::Accepted, ConnectResult::None, good.substr(12), false},
        {"recorded 401", ReadData("ntrip/rtklib-caster/03-bad-password.txt"), true, O::Rejected,
         ConnectResult::Unauthorized, "", false},
        {"recorded source table for an unknown mount", ReadData("ntrip/rtklib-caster/05-unknown-mount.txt"), true,
         O::Rejected, ConnectResult::MountNotFound, "", false},
        {"recorded silent close", ReadData("ntrip/rtklib-caster/08-no-user-agent.txt"), true, O::Rejected,
         ConnectResult::None, "", false},
        {"closed after 3 bytes", "ICY", true, O::Rejected, ConnectResult::None, "", false},
        {"bad password", "ERROR - Bad Password\r\n", false, O::Rejected, ConnectResult::BadPassword, "", false},
        {"other error", "ERROR - Mount Point Taken or Invalid\r\n", false, O::Rejected, ConnectResult::None, "",
         false},
        {"HTTP 404", "HTTP/1.1 404 Not Found\r\n\r\n", false, O::Rejected, ConnectResult::MountNotFound, "", false},
        {"HTTP 200 with a source table", "HTTP/1.1 200 OK\r\nContent-Type: gnss/sourcetable\r\n\r\nSTR;A;\r\n", false,
         O::Rejected, ConnectResult::MountNotFound, "", false},
        {"HTTP 503", "HTTP/1.1 503 Service Unavailable\r\n\r\n", false, O::Rejected,
         ConnectResult::UnexpectedReply, "", false},
        {"NTRIP 2 chunked stream", "HTTP/1.1 200 OK\r\nContent-Type: gnss/data\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n",
         false, O::Accepted, ConnectResult::None, "5\r\nhello\r\n", true},
        {"NTRIP 2 plain stream, bare LF header", "HTTP/1.1 200 OK\nContent-Type: gnss/data\n\n\xd3\x00", false,
         O::Accepted, ConnectResult::None, "\xd3\x00", false},
        {"endless status line", std::string(5000, 'X'), false, O::Rejected, ConnectResult::UnexpectedReply, "",
         false},
        {"endless 200 header", "HTTP/1.1 200 OK\r\n" + std::string(5000, 'h'), false, O::Rejected,
         ConnectResult::UnexpectedReply, "", false},
    };
    std::mt19937 random(7);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FeedInPieces(c, {c.reply.size() + 1});
        FeedInPieces(c, {1});
        std::vector<std::size_t> sizes;
        for (int i = 0; i < 64; ++i) sizes.push_back(1 + random() % 3);
        FeedInPieces(c, sizes);
    }
}

std::string Decode(const std::string& body, const std::vector<std::size_t>& sizes, ChunkedDecoder::Status& status) {
    ChunkedDecoder decoder;
    std::string out;
    std::size_t at = 0;
    for (std::size_t piece = 0; at < body.size(); ++piece) {
        const std::size_t size = std::min(sizes[piece % sizes.size()], body.size() - at);
        status = decoder.Feed(reinterpret_cast<const std::uint8_t*>(body.data() + at), size, out);
        at += size;
    }
    return out;
}

TEST(ChunkedBody, RecordedCasterBodySplitAnywhere) {
    const std::string body = ReadData("ntrip/ntrip_chunked.bin");
    ASSERT_EQ(body.size(), 23950u);
    ChunkedDecoder::Status status{};
    const std::string whole = Decode(body, {body.size()}, status);
    EXPECT_EQ(status, ChunkedDecoder::Status::Ok);
    EXPECT_EQ(test::CountRtcm3Frames(whole), 109);  // the count the capture's origin gives
    EXPECT_EQ(whole.size(), 22469u);                 // 246 chunks; the capture ends inside the 247th
    // Two pieces split at every offset of the first chunks (size lines included) ...
    for (std::size_t split = 1; split < 300; ++split) {
        EXPECT_EQ(Decode(body, {split, body.size()}, status), whole) << split;
    }
    // ... and pieces of 1 to 3 bytes all through.
    std::mt19937 random(11);
    std::vector<std::size_t> sizes;
    for (int i = 0; i < 997; ++i) sizes.push_back(1 + random() % 3);
    EXPECT_EQ(Decode(body, sizes, status), whole);
}

TEST(ChunkedBody, EndsAndBreaks) {
    struct Case {
        const char* name;
        std::string body;
        ChunkedDecoder::Status status;
        std::string data;
    };
    const std::vector<Case> cases = {
        {"last chunk and trailer", "3;ext=1\r\nabc\r\n0\r\nX-T: 1\r\n\r\nmore", ChunkedDecoder::Status::Done, "abc"},
        {"size not hex", "zz\r\nabc\r\n", ChunkedDecoder::Status::Error, ""},
        {"endless size line", std::string(500, '1'), ChunkedDecoder::Status::Error, ""},
        {"data longer than its size", "2\r\nabc\r\n", ChunkedDecoder::Status::Error, "ab"},
        {"size beyond any caster's", "FFFFFFFFFFFF\r\n", ChunkedDecoder::Status::Error, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::size_t size : {c.body.size(), std::size_t{1}}) {
            ChunkedDecoder::Status status{};
            EXPECT_EQ(Decode(c.body, {size}, status), c.data);
            EXPECT_EQ(status, c.status);
        }
    }
}

}  // namespace
}  // namespace sextara::corrections
