#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/Clock.h"
#include "platform/SerialDevice.h"
#include "receiver/ReceiverCommands.h"
#include "receiver/ReceiverCommandsGolden.h"
#include "receiver/SerialPort.h"
#include "sim/ReceiverSim.h"
#include "support/SimReceiver.h"

namespace sextara {
namespace {

using namespace std::chrono_literals;

constexpr int kPort = 8;

// The start-up set of every make goes through the receiver's real port path
// (write queue, writer thread, pty) and the simulated receiver records what
// arrives: nothing may be lost, reordered or split differently in content.
TEST(StartupSetThroughSerialPort, SimulatorRecordsEveryMakesSetByteExact) {
    for (const auto& make : golden::StartupGoldens()) {
        SCOPED_TRACE(make.name);
        sim::ReceiverSim sim(test::SimReceiver(static_cast<ReceiverType>(make.type), 115200, 1min));
        ASSERT_TRUE(test::StartOnPort(sim, kPort));

        SerialPort port;
        ASSERT_EQ(1, port.Open(kPort, 115200));
        ASSERT_EQ(1, port.StartThreads());
        platform::ManualClock clock;
        EXPECT_EQ(1, SendStartupCommands(make.type, port, clock));

        const golden::Bytes expected = golden::Concat(make.writes);
        if (expected.empty()) {
            EXPECT_EQ(0u, port.QueuedTxBytes());
        } else {
            EXPECT_TRUE(sim.WaitForRecorded(expected.size(), 10s));
        }
        port.Stop();
        sim.Stop();
        EXPECT_EQ(golden::Show(expected), golden::Show(sim.RecordedBytes()));
        platform::ClearComDevicePaths();
    }
}

}  // namespace
}  // namespace sextara
