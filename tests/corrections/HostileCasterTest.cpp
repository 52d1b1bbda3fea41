// Casters that refuse, drop, reset, break their coding, go silent or trickle:
// one scripted caster per row, the link's answer checked against the rows.

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <string>
#include <vector>

#include "app/NtripPageModel.h"
#include "corrections/LinkFixture.h"

namespace sextara::corrections {
namespace {

using test::LoopbackCaster;
using test::ReadData;
using test::WaitUntil;
using namespace std::chrono_literals;

class HostileCaster : public test::LinkFixture {
protected:
    // Every gap between two connections, in the link's clock seconds.
    std::vector<double> Gaps(const LoopbackCaster& caster) const {
        const auto times = caster.AcceptTimes();
        std::vector<double> gaps;
        for (std::size_t i = 1; i < times.size(); ++i) gaps.push_back(ClockSeconds(times[i] - times[i - 1]));
        return gaps;
    }
    static bool StatusSaid(const test::RecordingMessages& messages, const std::string& words) {
        for (const auto& text : messages.Texts(platform::MSG_LINK_STATUS)) {
            if (text.find(words) != std::string::npos) return true;
        }
        return false;
    }
};

// Wrong credentials, a mount point the caster does not have: the caster's
// answer stays the same however often it is asked, so it is asked once.
TEST_F(HostileCaster, RefusalsThatCannotChangeAreNotRetried) {
    const struct {
        const char* name;
        std::string reply;
        ConnectResult result;
        std::string status;
    } cases[] = {
        {"source table instead of the stream", ReadData("ntrip/rtklib-caster/05-unknown-mount.txt"),
         ConnectResult::MountNotFound, "Mount point NOPE is not on the caster!"},
        {"404", "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n", ConnectResult::MountNotFound,
         "Mount point NOPE is not on the caster!"},
        {"401", ReadData("ntrip/rtklib-caster/03-bad-password.txt"), ConnectResult::Unauthorized, "Unauthorized!"},
        {"bad password", "ERROR - Bad Password\r\n", ConnectResult::BadPassword, "ERROR - Bad Password!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::RecordingMessages messages;
        messages.status = [this] { return link_.StatusText(); };
        LoopbackCaster caster([&](int fd, LoopbackCaster& k) {
            k.ReadRequest(fd);
            LoopbackCaster::SendText(fd, c.reply);
        });
        UseCaster(caster.Port(), "127.0.0.1", "NOPE");
        CasterSettings typed = link_.Settings();
        typed.useTypedPosition = true;
        link_.SetSettings(typed);
        NtripPageModel page(NtripPageModel::Deps{
            .link = link_, .ensureNetwork = {}, .sendDiffInput = {}, .state = {}, .saveOnStart = false});
        page.Open(false, 1, &messages);
        ASSERT_FALSE(page.Start("NOPE").has_value());
        ASSERT_TRUE(WaitUntil([&] { return messages.Count(platform::MSG_LINK_DOWN) == 1; }));
        EXPECT_FALSE(link_.Active());
        EXPECT_EQ(link_.StatusText(), c.status);
        EXPECT_EQ(link_.LastResult(), c.result);
        EXPECT_EQ(link_.Health().state, "idle");
        EXPECT_EQ(link_.Health().lastError.find(c.status), 0u);
        EXPECT_NE(link_.Health().lastError.find("NOPE"), std::string::npos);  // the mount point it was for
        // The page keeps the cause in view below its "DisConnect from Server!".
        page.OnMessage(platform::MSG_LINK_DOWN);
        EXPECT_EQ(page.GetView().status, "DisConnect from Server!\r\n" + link_.Health().lastError);
        page.Close();
        std::this_thread::sleep_for(300ms);  // three first retry waits of the clock
        EXPECT_EQ(caster.Connections(), 1);
        EXPECT_TRUE(caster.AfterRequests().empty());  // no GGA
        EXPECT_TRUE(receiver_.Bytes().empty());
    }
}

// Casters that accept and then fail: retried, on the doubling schedule (never
// within 8 s of each other), with the reason in words.
TEST_F(HostileCaster, DropsAreRetriedOnTheScheduleAndNamed) {
    const std::string data = ReadData("rtcm3/testglo.rtcm3").substr(0, 600);
    const struct {
        const char* name;
        std::string reply;
        bool reset;  // end with a reset instead of a close or silence
        bool hold;   // stay silent
        std::string words;
    } cases[] = {
        {"ICY then drop", "ICY 200 OK\r\n" + data, false, false, "connection closed by the caster"},
        {"reset mid-stream", "ICY 200 OK\r\n" + data, true, false, "connection reset by the caster"},
        {"broken chunk coding", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nabcd\r\nzz\r\n", false,
         true, "broken chunk coding"},
        {"silence after the reply", "ICY 200 OK\r\n", false, true, "Receive No Data ! (no data for"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::RecordingMessages messages;
        messages.status = [this] { return link_.StatusText(); };
        LoopbackCaster caster([&](int fd, LoopbackCaster& k) {
            k.ReadRequest(fd);
            LoopbackCaster::SendText(fd, c.reply);
            if (c.reset) {
                k.ReadSome(fd, 20ms);
                const linger reset{1, 0};
                ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            } else if (c.hold) {
                k.HoldOpen(fd);
            } else {
                // An orderly close: a GGA still unread when the socket closes
                // would turn the close into a reset.
                ::shutdown(fd, SHUT_WR);
                k.HoldOpen(fd);
            }
        });
        UseCaster(caster.Port());
        ASSERT_TRUE(link_.StartNtrip(&messages));
        ASSERT_TRUE(WaitUntil([&] { return caster.Connections() >= 3; }));
        link_.StopLink();
        EXPECT_TRUE(StatusSaid(messages, c.words)) << log_.All();
        EXPECT_TRUE(StatusSaid(messages, "Reconnect the server, Times 2 in "));
        const auto gaps = Gaps(caster);
        ASSERT_GE(gaps.size(), 2u);
        EXPECT_GE(gaps[0], 8.0);
        EXPECT_GE(gaps[1], 16.0);  // 20 s less its jitter
    }
}

// A TCP server that drops is connected to again, as long as it takes, and
// every byte of every connection reaches the receiver in order.
TEST_F(HostileCaster, TcpServerThatDropsIsReconnectedUntilStopped) {
    int served = 0;
    std::string sent;
    std::mutex sentLock;
    LoopbackCaster server([&](int fd, LoopbackCaster&) {
        const std::string piece = "piece " + std::to_string(served++) + ";";
        {
            std::lock_guard<std::mutex> hold(sentLock);
            sent += piece;
        }
        LoopbackCaster::SendText(fd, piece);
    });
    UseCaster(server.Port());
    ASSERT_TRUE(link_.StartTcp(&messages_));
    ASSERT_TRUE(WaitUntil([&] { return server.Connections() >= 4; }));
    ASSERT_TRUE(WaitUntil([&] {
        std::lock_guard<std::mutex> hold(sentLock);
        return receiver_.Bytes().size() >= sent.size() && link_.Connects() >= 4;
    }));
    link_.StopLink();
    {
        std::lock_guard<std::mutex> hold(sentLock);
        EXPECT_EQ(receiver_.Bytes().substr(0, sent.size()), sent);
    }
    EXPECT_EQ(messages_.Count(platform::MSG_LINK_UP), 1);
    EXPECT_TRUE(log_.Contains("Reconnect: 3"));
    EXPECT_TRUE(StatusSaid(messages_, "Connect TCP Server Successfully!"));  // back from the wait
    for (const double gap : Gaps(server)) EXPECT_GE(gap, 8.0);
}

// A table that comes a line at a time and never ends: what came within 30 s
// is kept, and the page is told it is cut.
TEST_F(HostileCaster, TrickledTableEndsAfterThirtySecondsAndSaysSo) {
    LoopbackCaster caster([&](int fd, LoopbackCaster& k) {
        k.ReadRequest(fd);
        LoopbackCaster::SendText(fd, "SOURCETABLE 200 OK\r\nContent-Type: text/plain\r\n\r\n");
        for (int i = 0; !k.Stopping(); ++i) {
            const std::string line = "STR;T" + std::to_string(i) + ";x;RTCM 3.2;;2;GPS;N;DEU;50;8;1;0;\r\n";
            if (::send(fd, line.data(), line.size(), MSG_NOSIGNAL) <= 0) return;  // the client gave up
            std::this_thread::sleep_for(20ms);
        }
    });
    UseCaster(caster.Port());
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(link_.StartSourceTableUpdate(&messages_));
    ASSERT_TRUE(WaitUntil([&] { return messages_.Count(platform::MSG_SOURCETABLE_DONE) == 1; }));
    EXPECT_GE(ClockSeconds(std::chrono::steady_clock::now() - start), 30.0);
    EXPECT_GT(link_.Entries().size(), 3u);
    EXPECT_EQ(link_.SourceTableCutNote(), "no end of the table after 30 s");
    EXPECT_TRUE(log_.Contains("SourceTable cut: no end of the table after 30 s"));
}

std::string BigTable(int mounts, std::size_t padTo) {
    std::string table = "SOURCETABLE 200 OK\r\nServer: test\r\nContent-Type: text/plain\r\n\r\n";
    table += "CAS;caster.example;2101;TEST;Org;0;DEU;50.0;8.0;0.0.0.0;0;http://example\r\n";
    for (int i = 0; i < mounts; ++i) {
        std::string line = "STR;M" + std::to_string(i) + ";Station " + std::to_string(i) +
                           ";RTCM 3.2;1004(1),1005(10),1012(1),1077(1),1087(1),1097(1),1127(1);2;GPS+GLO+GAL+BDS;NET;DEU;" +
                           std::to_string(47 + i % 8) + "." + std::to_string(i % 100) + ";" +
                           std::to_string(6 + i % 9) + ".5;1;0;sNTRIP;none;B;N;9600;";
        line += std::string(padTo > line.size() ? padTo - line.size() : 0, 'x') + "\r\n";
        table += line;
    }
    return table + "ENDSOURCETABLE\r\n";
}

// A real caster's table runs to hundreds of kilobytes: all of it is kept,
// stored and listed. Past 8 MB it is cut, and says so.
TEST_F(HostileCaster, WholeTableOfSixHundredMountPointsAndACutOneOverEightMegabytes) {
    const struct {
        int mounts;
        std::size_t lineBytes;
        bool cut;
    } cases[] = {{600, 400, false}, {21000, 400, true}};
    for (const auto& c : cases) {
        const std::string table = BigTable(c.mounts, c.lineBytes);
        LoopbackCaster caster([&](int fd, LoopbackCaster& k) {
            k.ReadRequest(fd);
            LoopbackCaster::SendText(fd, table);
        });
        UseCaster(caster.Port());
        const int done = messages_.Count(platform::MSG_SOURCETABLE_DONE);
        ASSERT_TRUE(link_.StartSourceTableUpdate(&messages_));
        ASSERT_TRUE(WaitUntil([&] { return messages_.Count(platform::MSG_SOURCETABLE_DONE) == done + 1; }));
        const std::string stored = test::ReadBytes(platform::DataPath("SourceTable.dat"));
        if (!c.cut) {
            EXPECT_GT(table.size(), 200000u);
            EXPECT_TRUE(stored == table);
            ASSERT_EQ(link_.Entries().size(), 600u);
            EXPECT_EQ(link_.Entries()[599].mountPoint, "M599");
            EXPECT_EQ(link_.SourceTableCutNote(), "");
        } else {
            EXPECT_EQ(stored.size(), kSourceTableBytes);
            EXPECT_TRUE(stored == table.substr(0, kSourceTableBytes));
            // The records whose whole line came before the cut.
            std::size_t whole = 0;
            for (std::size_t at = stored.find("\nSTR;"); at != std::string::npos; at = stored.find("\nSTR;", at + 1)) {
                whole += stored.find("\r\n", at + 1) != std::string::npos ? 1 : 0;
            }
            EXPECT_EQ(link_.Entries().size(), whole);
            EXPECT_GT(whole, 20000u);
            EXPECT_EQ(link_.SourceTableCutNote(), "it reached 8 MB before its end");
        }
        // What the next start reads back is the same table.
        platform::RegistryStore otherStore(dir_.File("other.ini"), {});
        CorrectionLink fresh(otherStore, {});
        EXPECT_TRUE(fresh.LoadSourceTableFile());
        EXPECT_EQ(fresh.Entries().size(), link_.Entries().size());
    }
}

}  // namespace
}  // namespace sextara::corrections
