// The correction pages' logic without widgets, and the PORT client between
// two ptys with no page open.

#include "app/ByteCount.h"
#include "app/CasterSettingsModel.h"
#include "app/CorrectionMenuRule.h"
#include "app/MountPointOrder.h"

#include <gtest/gtest.h>

#include "app/PortClient.h"
#include "platform/SerialDevice.h"
#include "support/PtyPair.h"
#include "support/WaitUntil.h"

namespace sextara {
namespace {

using namespace std::chrono_literals;
using Page = CorrectionMenuDecision::Page;

TEST(CorrectionPages, ByteCounterTexts) {
    const struct {
        std::uint32_t total;
        const char* text;
    } cases[] = {
        {0, "  0 B"}, {1024, "  1024 B"}, {1025, "  1.00 KB"}, {1048575, "  1024.00 KB"}, {1048576, "  1.000 MB"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatByteTotal(c.total), c.text) << c.total;
}

TEST(CorrectionPages, MenuRuleOneKindOfCorrectionAtATime) {
    const struct {
        MenuAction action;
        bool active;
        CorrectionMode mode;
        bool clientPortOpen;
        Page page;
        int refusal;
    } cases[] = {
        {MenuAction::NtripClient, false, CorrectionMode::None, false, Page::Ntrip, 0},
        {MenuAction::NtripClient, true, CorrectionMode::Tcp, false, Page::None, 91},  // TCP runs
        {MenuAction::NtripClient, true, CorrectionMode::Ntrip, false, Page::Ntrip,
         0},  // reopened on its own connection
        {MenuAction::NtripClient, false, CorrectionMode::Port, true, Page::None, 0},  // PORT client port open
        {MenuAction::TcpClient, true, CorrectionMode::Ntrip, false, Page::None, 92},
        {MenuAction::TcpClient, false, CorrectionMode::Ntrip, false, Page::Tcp, 0},
        {MenuAction::TcpClient, false, CorrectionMode::Port, true, Page::None, 0},
        {MenuAction::PortClient, true, CorrectionMode::Ntrip, false, Page::None, 0},
        {MenuAction::PortClient, false, CorrectionMode::Ntrip, true, Page::Port, 0},
    };
    for (const auto& c : cases) {
        const CorrectionMenuDecision d = DecideCorrectionMenu(c.action, c.active, c.mode, c.clientPortOpen);
        EXPECT_EQ(d.open, c.page) << static_cast<int>(c.action) << " " << c.active << static_cast<int>(c.mode)
                                  << c.clientPortOpen;
        EXPECT_EQ(d.refusalString, c.refusal);
        if (d.open != Page::None) {
            EXPECT_EQ(static_cast<int>(d.correctionMode), static_cast<int>(d.open));
        }
    }
}

TEST(CorrectionPages, MountPointsNearestFirstWithDistanceTableUnchanged) {
    std::vector<corrections::SourceTableEntry> entries(3);
    entries[0].mountPoint = "FAR";
    entries[0].latitude = 10;
    entries[1].mountPoint = "NEAR";
    entries[1].latitude = 52.5;
    entries[1].longitude = 13.4;
    entries[2].mountPoint = "MID";
    entries[2].latitude = 48;
    entries[2].longitude = 11;
    const auto unknown = MountPointListItems(entries, std::nullopt);
    EXPECT_EQ(unknown, (std::vector<std::string>{"Update SourceTable", "FAR", "NEAR", "MID"}));
    const auto sorted = MountPointListItems(entries, std::make_pair(52.52, 13.40));
    ASSERT_EQ(sorted.size(), 4u);
    EXPECT_EQ(sorted[1], "NEAR  2.2 km");
    EXPECT_EQ(MountPointOfListText(sorted[1]), "NEAR");
    EXPECT_EQ(MountPointOfListText(sorted[2]).substr(0, 3), "MID");
    EXPECT_EQ(MountPointOfListText(sorted[3]), "FAR");
    EXPECT_EQ(MountPointOfListText("TYPED"), "TYPED");
    EXPECT_EQ(entries[0].mountPoint, "FAR");
}

TEST(CorrectionPages, InformationLineInBothLanguages) {
    std::vector<corrections::SourceTableEntry> entries(1);
    entries[0].mountPoint = "VRS";
    entries[0].navSystem = "GPS+GLO";
    entries[0].format = "RTCM 3.2";
    entries[0].formatDetails = "1004(1)";
    entries[0].nmea = 1;
    EXPECT_EQ(MountPointInfoLine(entries, "VRS", 1), "Send GGA:YES; Base:GPS+GLO\n DiffType:RTCM 3.2,1004(1)\n");
    EXPECT_EQ(MountPointInfoLine(entries, "VRS", 0), "发送GGA:是;基准站:GPS+GLO\n差分格式:RTCM 3.2,1004(1)\n");
    EXPECT_EQ(MountPointInfoLine(entries, "NONE", 1), "Send GGA:NO; Base:\n DiffType:,\n");
}

TEST(CorrectionPages, CasterDialogRefusesUnusableValues) {
    corrections::CasterSettings current;
    current.mountPoint = "KEEP";
    CasterDialogValues good;
    good.address = "caster.example.net";
    good.port = "2101";
    good.user = "u";
    good.password = "p";
    good.useTypedPosition = true;
    good.latitude = "52.5";
    good.longitude = "13.25";
    good.south = true;
    good.resendCurrentPosition = true;
    corrections::CasterSettings out;
    ASSERT_FALSE(SettingsFromDialog(current, good, out));
    EXPECT_EQ(out.mountPoint, "KEEP");
    EXPECT_EQ(out.port, 2101u);
    EXPECT_EQ(out.typed.northSouth, "S");
    EXPECT_EQ(out.typed.eastWest, "E");
    EXPECT_TRUE(out.resendCurrentPosition);
    const struct {
        void (*change)(CasterDialogValues&);
        const char* message;
    } refused[] = {
        {[](CasterDialogValues& v) { v.port = "0"; }, "Port must be 1 to 65535!"},
        {[](CasterDialogValues& v) { v.port = "65536"; }, "Port must be 1 to 65535!"},
        {[](CasterDialogValues& v) { v.port = "21o1"; }, "Port must be 1 to 65535!"},
        {[](CasterDialogValues& v) { v.address = " "; }, "Caster address is empty!"},
        {[](CasterDialogValues& v) { v.latitude = "90.5"; }, "Latitude must be 0 to 90 degrees!"},
        {[](CasterDialogValues& v) { v.longitude = "x"; }, "Longitude must be 0 to 180 degrees!"},
        {[](CasterDialogValues& v) { v.password = std::string(64, 'p'); }, "Password is longer than 63 characters!"},
    };
    for (const auto& r : refused) {
        CasterDialogValues v = good;
        r.change(v);
        corrections::CasterSettings untouched;
        const auto message = SettingsFromDialog(current, v, untouched);
        EXPECT_EQ(message.value_or(""), r.message);
        EXPECT_TRUE(untouched.casterAddress.empty());
    }
    // A typed position that is not used is not read.
    CasterDialogValues receiver = good;
    receiver.useTypedPosition = false;
    receiver.latitude = "not a number";
    EXPECT_FALSE(SettingsFromDialog(current, receiver, out));
    // TLS with the port left empty: 443.
    CasterDialogValues tls = good;
    tls.useTls = true;
    tls.port = "";
    ASSERT_FALSE(SettingsFromDialog(current, tls, out));
    EXPECT_TRUE(out.useTls);
    EXPECT_EQ(out.port, 443u);
}

// Corrections from a radio on one pty reach the receiver on another with no
// page open, all of them, faster than a tick's 1024 bytes; closing the client
// port stops them; bytes for a closed receiver port are dropped, not kept.
TEST(PortClientTest, MovesEveryByteBetweenTwoPtysWithoutAPage) {
    test::PtyPair radio, receiver;
    ASSERT_TRUE(radio.Ok() && receiver.Ok());
    constexpr int kRadioPort = 45, kReceiverPort = 46;
    platform::SetComDevicePath(kRadioPort, radio.SlavePath());
    platform::SetComDevicePath(kReceiverPort, receiver.SlavePath());
    SerialPort clientPort, gpsPort;
    ASSERT_EQ(gpsPort.Open(kReceiverPort, 115200), 1);
    ASSERT_EQ(gpsPort.StartThreads(), 1);
    OpenPortGate gate(gpsPort);
    PortClient client(clientPort, gate);
    ASSERT_TRUE(client.Open(kRadioPort, 19200));
    EXPECT_TRUE(client.IsOpen());

    // Bursts of several times the 1024 bytes that a page tick once moved,
    // each well within the port's receive limit; each arrives whole long
    // before a 1024-bytes-a-second mover could have passed it on.
    const test::Bytes data = test::CountingBytes(18000);
    for (std::size_t at = 0; at < data.size(); at += 6000) {
        const test::Bytes burst(data.begin() + static_cast<std::ptrdiff_t>(at),
                                data.begin() + static_cast<std::ptrdiff_t>(at + 6000));
        ASSERT_TRUE(radio.Send(burst));
        ASSERT_EQ(receiver.Receive(burst.size(), 3s), burst) << at;
    }
    // The count follows the write, so the receiver may see the last bytes first.
    EXPECT_TRUE(test::WaitUntil([&] { return client.BytesMoved() == data.size(); })) << client.BytesMoved();
    EXPECT_EQ(client.BytesReceived(), data.size());

    gpsPort.Stop();
    ASSERT_TRUE(radio.Send(test::CountingBytes(300)));
    ASSERT_TRUE(test::WaitUntil([&] { return client.BytesMoved() == data.size() + 300; }));
    EXPECT_EQ(gate.Dropped(), 300u);
    EXPECT_EQ(gpsPort.QueuedTxBytes(), 0u);

    client.Close();
    EXPECT_FALSE(client.IsOpen());
    ASSERT_TRUE(client.Open(kRadioPort, 19200));  // a closed client port opens again
    client.Close();
    platform::ClearComDevicePaths();
}

}  // namespace
}  // namespace sextara
