#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

#include "platform/SerialDevice.h"
#include "support/HomeFolderTest.h"
#include "support/PtyPair.h"
#include "support/WaitUntil.h"

namespace sextara::test {

// A test's own data folder (for the event log) and a pty mapped to COM`Port`:
// the code under test opens the slave as the receiver's port, the test plays
// the receiver on the master. A fixture that owns the port closes it in its
// own TearDown before this one's.
template <int Port>
class PtyPortTest : public HomeFolderTest {
protected:
    void SetUp() override {
        ASSERT_FALSE(home_.Path().empty());
        HomeFolderTest::SetUp();
        ASSERT_TRUE(pty_.Ok());
        platform::SetComDevicePath(Port, pty_.SlavePath());
    }

    PtyPair pty_;
};

// Everything `read(buffer, size)` gave, once `count` bytes have come.
template <typename Read>
Bytes ReadAtLeast(std::size_t count, Read read) {
    Bytes got;
    EXPECT_TRUE(WaitUntil([&] {
        std::uint8_t buffer[1024];
        const auto n = read(buffer, static_cast<std::uint32_t>(sizeof buffer));
        got.insert(got.end(), buffer, buffer + n);
        return got.size() >= count;
    }));
    return got;
}

}  // namespace sextara::test
