#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/Paths.h"
#include "platform/SerialDevice.h"
#include "support/TempFiles.h"

namespace sextara::test {

// Every test gets its own data folder, so config.ini, the settings store and
// the event log never touch the real one; port paths set by a test end with it.
class HomeFolderTest : public ::testing::Test {
protected:
    void SetUp() override { platform::SetDataFolder(home_.Path()); }
    void TearDown() override {
        platform::SetDataFolder("");
        platform::ClearComDevicePaths();
    }
    // The event log the test has written so far.
    std::string Log() const { return ReadBytes(home_.File("Mylog.txt")); }

    TempDir home_;
};

}  // namespace sextara::test
