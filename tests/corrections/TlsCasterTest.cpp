// TLS and IPv6 casters on loopback: a test CA made by openssl at test time,
// a TLS front before a scripted caster, and casters on ::1.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "app/NtripPageModel.h"
#include "corrections/CasterAddress.h"
#include "corrections/LinkFixture.h"
#include "corrections/TlsHarness.h"

namespace sextara::corrections {
namespace {

using test::LoopbackCaster;
using test::ReadData;
using test::WaitUntil;
using namespace std::chrono_literals;

class TlsCaster : public test::LinkFixture {
protected:
    void SetUp() override {
        if (!ca_.Ok()) GTEST_SKIP() << "the openssl command could not make the test CA";
    }
    void UseTls(std::uint16_t port, const std::string& host, const std::string& caFile) {
        UseCaster(port, host);
        CasterSettings s = link_.Settings();
        s.useTls = true;
        s.caFile = caFile;
        link_.SetSettings(s);
    }
    // A caster that sends the capture behind its reply and holds the connection.
    LoopbackCaster StreamingCaster() {
        return LoopbackCaster([this](int fd, LoopbackCaster& c) {
            c.ReadRequest(fd);
            LoopbackCaster::SendText(fd, "ICY 200 OK\r\n" + data_);
            c.HoldOpen(fd);
        });
    }

    test::TestCa ca_;
    const std::string data_ = ReadData("rtcm3/testglo.rtcm3");
};

// Through TLS by address and by name, over IPv4 and IPv6: the request, the
// GGA and every stream byte as in plain text.
TEST_F(TlsCaster, CasterSignedByTheGivenCaIsUsedByAddressAndByName) {
    const struct {
        const char* host;
        int family;
    } cases[] = {{"127.0.0.1", AF_INET}, {"localhost", AF_INET}, {"::1", AF_INET6}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host);
        receiver_.Clear();
        LoopbackCaster caster = StreamingCaster();
        test::TlsFront front(caster.Port(), ca_.Cert("right"), ca_.Key("right"), c.family);
        UseTls(front.Port(), c.host, ca_.CaFile());
        ASSERT_TRUE(link_.StartNtrip(&messages_));
        ASSERT_TRUE(WaitUntil([&] { return receiver_.Bytes().size() >= data_.size(); })) << log_.All();
        EXPECT_TRUE(receiver_.Bytes() == data_);
        ASSERT_FALSE(caster.Requests().empty());
        EXPECT_EQ(caster.Requests().front().substr(0, 16), "GET /TEST HTTP/1");
        EXPECT_TRUE(WaitUntil([&] { return caster.AfterRequests().find("$GPGGA") != std::string::npos; }));
        EXPECT_EQ(link_.Health().state, "connected");
        link_.StopLink();
    }
}

// An untrusted certificate or one for another host is refused: not retried,
// never a plain-text request instead, the reason in view.
TEST_F(TlsCaster, UntrustedOrWrongHostCertificateIsRefusedForGood) {
    const struct {
        const char* name;
        std::string cert;
        std::string caFile;  // empty: the system's trusted certificates
        std::string words;
    } cases[] = {
        {"system store only", "right", "", "TLS handshake failed: "},
        {"another CA", "right", ca_.OtherCaFile(), "TLS handshake failed: "},
        {"certificate for another host", "wrong", ca_.CaFile(), "mismatch"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::RecordingMessages messages;
        messages.status = [this] { return link_.StatusText(); };
        LoopbackCaster caster = StreamingCaster();
        test::TlsFront front(caster.Port(), ca_.Cert(c.cert), ca_.Key(c.cert));
        UseTls(front.Port(), "127.0.0.1", c.caFile);
        ASSERT_TRUE(link_.StartNtrip(&messages));
        ASSERT_TRUE(WaitUntil([&] { return messages.Count(platform::MSG_LINK_DOWN) == 1; })) << log_.All();
        EXPECT_EQ(link_.LastResult(), ConnectResult::CertificateRefused);
        EXPECT_NE(link_.StatusText().find(c.words), std::string::npos) << link_.StatusText();
        EXPECT_NE(link_.StatusText().find("mount point TEST"), std::string::npos) << link_.StatusText();
        std::this_thread::sleep_for(300ms);
        EXPECT_EQ(front.Connections(), 1);
        EXPECT_EQ(front.Handshakes(), 0);
        EXPECT_EQ(caster.Connections(), 0);
        EXPECT_TRUE(receiver_.Bytes().empty());
        link_.StopLink();  // joined before `messages` ends
    }
}

// TLS asked of a caster that speaks plain text: the handshake fails and is
// tried again later; the caster never sees the request in plain text.
TEST_F(TlsCaster, PlainCasterNeverGetsThePlainRequest) {
    LoopbackCaster plain([](int fd, LoopbackCaster& c) {
        c.ReadSome(fd, 200ms);
        LoopbackCaster::SendText(fd, "HTTP/1.1 400 Bad Request\r\n\r\n");
    });
    UseTls(plain.Port(), "127.0.0.1", ca_.CaFile());
    ASSERT_TRUE(link_.StartNtrip(&messages_));
    ASSERT_TRUE(WaitUntil([&] { return plain.Connections() >= 2; }));
    link_.StopLink();
    EXPECT_EQ(plain.AfterRequests().find("GET "), std::string::npos);
    EXPECT_EQ(plain.AfterRequests().substr(0, 1), "\x16");  // a TLS handshake record
    EXPECT_NE(log_.All().find("TLS handshake failed: "), std::string::npos) << log_.All();
}

TEST_F(TlsCaster, SourceTableOverTls) {
    LoopbackCaster caster([](int fd, LoopbackCaster& c) {
        c.ReadRequest(fd);
        LoopbackCaster::SendText(fd, ReadData("ntrip/rtklib-caster/06-sourcetable-ntrip2.txt"));
    });
    test::TlsFront front(caster.Port(), ca_.Cert("right"), ca_.Key("right"));
    UseTls(front.Port(), "localhost", ca_.CaFile());
    ASSERT_TRUE(link_.StartSourceTableUpdate(&messages_));
    ASSERT_TRUE(WaitUntil([&] { return messages_.Count(platform::MSG_SOURCETABLE_DONE) == 1; })) << log_.All();
    ASSERT_EQ(link_.Entries().size(), 1u);
    EXPECT_EQ(caster.Requests().front(), ComposeSourceTableRequest("localhost"));
}

class Ipv6Caster : public test::LinkFixture {};

// "::1" as typed, and "[::1]": the connection goes over IPv6 and the Host
// header carries the address in brackets; the TCP client reaches it too.
TEST_F(Ipv6Caster, LiteralAddressConnectsWithBracketsInTheHostHeader) {
    const std::string data = ReadData("rtcm3/testglo.rtcm3").substr(0, 3000);
    LoopbackCaster caster(
        [&](int fd, LoopbackCaster& c) {
            if (c.ReadSome(fd, 50ms).starts_with("GET ")) LoopbackCaster::SendText(fd, "ICY 200 OK\r\n");
            LoopbackCaster::SendText(fd, data);
            c.HoldOpen(fd);
        },
        8, AF_INET6);
    for (const char* host : {"::1", "[::1]"}) {
        receiver_.Clear();
        UseCaster(caster.Port(), host);
        NtripPageModel page(NtripPageModel::Deps{
            .link = link_, .ensureNetwork = {}, .sendDiffInput = {}, .state = {}, .saveOnStart = false});
        page.Open(false, 1, nullptr);
        EXPECT_EQ(page.GetView().address, "[::1]:" + std::to_string(caster.Port()));  // the port stands apart
        ASSERT_TRUE(link_.StartNtrip(&messages_));
        ASSERT_TRUE(WaitUntil([&] { return receiver_.Bytes().size() >= data.size(); })) << log_.All();
        EXPECT_TRUE(receiver_.Bytes() == data);
        link_.StopLink();
    }
    EXPECT_EQ(test::CountOf(caster.AfterRequests(), "GET /TEST HTTP/1.1\r\nHost: [::1]\r\n"), 2);
    EXPECT_TRUE(log_.Contains("IP:::1,Port:" + std::to_string(caster.Port())));
    receiver_.Clear();
    UseCaster(caster.Port(), "::1");
    ASSERT_TRUE(link_.StartTcp(&messages_));
    ASSERT_TRUE(WaitUntil([&] { return receiver_.Bytes().size() >= data.size(); }));
    link_.StopLink();
}

// A name with several addresses: each is tried in turn, so a caster that
// listens on IPv4 alone is reached through "localhost" whatever comes first.
TEST_F(Ipv6Caster, EveryAddressOfANameIsTriedInTurn) {
    std::string reason;
    const auto addresses = ResolveCaster("localhost", 2101, reason);
    ASSERT_FALSE(addresses.empty()) << reason;
    for (const int family : {AF_INET, AF_INET6}) {
        SCOPED_TRACE(family);
        LoopbackCaster caster(
            [](int fd, LoopbackCaster& c) {
                c.ReadRequest(fd);
                LoopbackCaster::SendText(fd, "ICY 200 OK\r\nabc");
                c.HoldOpen(fd);
            },
            8, family);
        const bool listed = std::any_of(addresses.begin(), addresses.end(),
                                        [&](const CasterEndpoint& e) { return e.family == family; });
        if (!listed) continue;  // this machine's localhost has no such address
        receiver_.Clear();
        UseCaster(caster.Port(), "localhost");
        ASSERT_TRUE(link_.StartNtrip(&messages_));
        ASSERT_TRUE(WaitUntil([&] { return receiver_.Bytes() == "abc"; })) << log_.All();
        EXPECT_EQ(caster.Requests().front().substr(0, 32), "GET /TEST HTTP/1.1\r\nHost: localh");
        link_.StopLink();
    }
}

}  // namespace
}  // namespace sextara::corrections
