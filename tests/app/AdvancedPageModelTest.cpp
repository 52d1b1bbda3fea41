// The advanced setup page's logic without widgets: the restore's hold and the
// differential mode the program keeps.

#include "app/AdvancedPageModel.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/AppCore.h"
#include "platform/Messages.h"
#include "platform/Paths.h"
#include "platform/QueueMessageSink.h"
#include "platform/SerialDevice.h"
#include "support/FastReceiverClock.h"
#include "support/TempFiles.h"

namespace sextara {
namespace {

using namespace std::chrono_literals;

class AdvancedPageLogic : public ::testing::Test {
protected:
    void SetUp() override { platform::SetDataFolder(home_.Path()); }
    void TearDown() override {
        core_.Shutdown();
        platform::SetDataFolder("");
        platform::ClearComDevicePaths();
    }
    std::string Str(int id) const { return app_.strings.String(id); }

    test::TempDir home_;
    test::FastReceiverClock clock_;
    AppContext app_{clock_, 5ms};
    AppCore core_{app_};
};

// The hold ends with the second of the two reports, whichever comes first;
// status texts and other messages only change the status line.
TEST_F(AdvancedPageLogic, RestoreHoldsUntilBothReportsInEitherOrder) {
    using platform::Message;
    constexpr std::uint32_t kProgress = platform::kMsgWorkerProgress;
    const Message restored{kProgress, platform::kWorkerRestoreDone, 1, {}};
    const Message notRestored{kProgress, platform::kWorkerRestoreDone, 0, {}};
    const Message reopened{kProgress, platform::kWorkerGpsReopened, 1, {}};
    const Message notReopened{kProgress, platform::kWorkerGpsReopened, 0, {}};
    const Message text{kProgress, platform::kWorkerStatusText, 80, "resetting"};
    const Message detected{kProgress, platform::kWorkerDetectDone, 1, {}};
    const Message otherNumber{platform::MSG_LINK_DOWN, platform::kWorkerRestoreDone, 1, {}};
    struct Case {
        std::vector<Message> messages;
        std::vector<std::string> statuses;  // "-": the line stays
    };
    const Case cases[] = {
        {{text, restored, reopened}, {"resetting", Str(82), "-"}},
        {{notReopened, detected, otherNumber, notRestored}, {Str(68), "-", "-", Str(81)}},
    };
    app_.config.receiverType = enNovtel;
    for (const Case& c : cases) {
        AdvancedPageModel model(core_);
        ASSERT_TRUE(model.RestoreQuestion());
        EXPECT_EQ(Str(80), model.HoldForRestore());
        for (std::size_t i = 0; i < c.messages.size(); ++i) {
            EXPECT_TRUE(model.Restoring()) << i;
            EXPECT_FALSE(model.RestoreQuestion()) << "no second restore while held";
            EXPECT_FALSE(model.SyncClock());
            EXPECT_EQ(c.statuses[i], model.OnWorkerMessage(c.messages[i]).value_or("-")) << i;
        }
        EXPECT_FALSE(model.Restoring());
        EXPECT_FALSE(model.OnWorkerMessage(text)) << "nothing reaches a page no longer held";
    }
}

// Through the core's worker to a port that does not exist: the reports come,
// the hold ends, and the last line says the GPS port did not reopen.
TEST_F(AdvancedPageLogic, FailedRestoreEndsTheHoldWithTheReopenFailure) {
    platform::SetComDevicePath(6, home_.File("no-such-port"));
    app_.config.receiverType = enNovtel;
    app_.config.GPSPort = 6;
    AdvancedPageModel model(core_);
    std::vector<std::string> statuses;
    platform::QueueMessageSink sink([&](const platform::Message& m) {
        if (auto status = model.OnWorkerMessage(m)) statuses.push_back(*status);
    });
    model.HoldForRestore();
    ASSERT_FALSE(model.StartRestore(sink));
    const auto giveUp = std::chrono::steady_clock::now() + 20s;
    while (model.Restoring() && std::chrono::steady_clock::now() < giveUp) sink.WaitAndDispatch(20ms);
    EXPECT_FALSE(model.Restoring());
    ASSERT_GE(statuses.size(), 2u);
    EXPECT_EQ(Str(81), statuses[statuses.size() - 2]);
    EXPECT_EQ(Str(68), statuses.back());
}

// The mode applied stays with the program, not with the page; other makes
// apply none.
TEST_F(AdvancedPageLogic, DiffModeOnlyForHemisphereAndKeptAcrossPages) {
    app_.config.receiverType = enNovtel;
    EXPECT_FALSE(AdvancedPageModel(core_).ApplyDiffMode(DiffMode::Sbas));
    EXPECT_EQ(DiffMode::ExternalSource, app_.diffMode);
    app_.config.receiverType = enHemis;
    EXPECT_EQ(Str(63), AdvancedPageModel(core_).ApplyDiffMode(DiffMode::Sbas).value_or(""));
    EXPECT_EQ(DiffMode::Sbas, AdvancedPageModel(core_).AppliedDiffMode());
}

}  // namespace
}  // namespace sextara
