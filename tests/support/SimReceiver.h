#pragma once

// The simulated receiver as the tests that talk to one over a real pty set it
// up: which make at which rate, what it streams, and the program's port
// mapped to its device.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "decode/ReceiverType.h"
#include "platform/SerialDevice.h"
#include "sim/ReceiverSim.h"

namespace sextara::test {

// The capture the live tests stream: a SkyTraq receiver with a DGPS fix.
inline std::string SkyTraqCapture() { return std::string(SEXTARA_TEST_DATA) + "/nmea/gpsd/skytraq-dgps.log"; }

// A receiver of `make` at `baud` that stops by itself after `duration` and
// streams `captures` one after the other (none: it only answers), at the
// line's rate unless the caller sets another.
inline sim::ReceiverSimOptions SimReceiver(ReceiverType make, int baud, std::chrono::milliseconds duration,
                                           std::vector<std::string> captures = {}) {
    sim::ReceiverSimOptions options;
    options.make = make;
    options.baud = baud;
    options.duration = duration;
    options.captureFiles = std::move(captures);
    return options;
}

// Starts the simulator and maps COM`port` to its device, where the program
// then finds its receiver; a failure says why the simulator did not start.
inline ::testing::AssertionResult StartOnPort(sim::ReceiverSim& sim, int port) {
    const std::string device = sim.Start();
    if (device.empty()) return ::testing::AssertionFailure() << "the simulator did not start: " << sim.Error();
    platform::SetComDevicePath(port, device);
    return ::testing::AssertionSuccess();
}

}  // namespace sextara::test
