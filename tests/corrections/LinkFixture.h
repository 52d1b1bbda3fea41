#pragma once

// One correction link against loopback casters, on a clock 100 times as fast
// as real time: the 10 s first retry wait takes 100 ms, far longer than the
// twelve 5 ms receive waits of the empty-receive rule.

#include <gtest/gtest.h>

#include <string>

#include "corrections/CorrectionLink.h"
#include "corrections/LinkHarness.h"
#include "platform/Messages.h"
#include "platform/Paths.h"
#include "support/WaitUntil.h"

namespace sextara::test {

class LinkFixture : public ::testing::Test {
protected:
    static constexpr int kScale = 100;

    LinkFixture() : store_(dir_.File("registry.ini"), {}), link_(store_, log_.Function(), clock_) {
        platform::SetDataFolder(dir_.Path());
        link_.SetReceiveTimeout(std::chrono::milliseconds(5));
        link_.SetReceiverPort(&receiver_);
        messages_.status = [this] { return link_.StatusText(); };
    }
    ~LinkFixture() override {
        link_.StopLink();
        platform::SetDataFolder("");
    }
    void UseCaster(std::uint16_t port, const std::string& host = "127.0.0.1", const std::string& mount = "TEST") {
        corrections::CasterSettings s;
        s.casterAddress = host;
        s.port = port;
        s.mountPoint = mount;
        s.user = "user";
        s.password = "secret-pass";
        link_.SetSettings(s);
    }
    // Real time as the link's clock counts it.
    static double ClockSeconds(std::chrono::steady_clock::duration real) {
        return std::chrono::duration<double>(real).count() * kScale;
    }

    TempDir dir_;
    ScaledClock clock_{kScale};
    RecordingLog log_;
    RecordingSink receiver_;
    RecordingMessages messages_;
    platform::RegistryStore store_;
    corrections::CorrectionLink link_;
};

}  // namespace sextara::test
