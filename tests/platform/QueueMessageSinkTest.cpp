#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/Messages.h"
#include "platform/QueueMessageSink.h"

namespace sextara::platform {
namespace {

// Generous: only a broken sink waits this long; a working one never does.
constexpr std::chrono::seconds kPatience{30};

void WaitUntilPending(const QueueMessageSink& sink, std::size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (sink.Pending() < count && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    ASSERT_GE(sink.Pending(), count);
}

TEST(QueueMessageSink, SendReturnsOnlyAfterTheHandlerRan) {
    std::atomic<bool> sendReturned{false};
    std::vector<Message> handled;
    std::string seenText;
    QueueMessageSink sink([&](const Message& message) {
        EXPECT_FALSE(sendReturned.load());
        seenText = message.text;
        handled.push_back(message);
    });

    std::thread worker([&] {
        sink.Send({kMsgWorkerProgress, kWorkerStatusText, 77, "扫描波特率9600..."});
        sendReturned = true;
    });
    std::size_t count = 0;
    while (count == 0) {
        count = sink.WaitAndDispatch(kPatience);
    }
    worker.join();

    EXPECT_TRUE(sendReturned.load());
    ASSERT_EQ(handled.size(), 1u);
    EXPECT_EQ(handled[0].message, 2024u);
    EXPECT_EQ(handled[0].wParam, 2025);
    EXPECT_EQ(seenText, "扫描波特率9600...");
}

TEST(QueueMessageSink, EveryQueuedMessageNotifiesTheArrivalWake) {
    WakeFd wake;
    std::vector<std::uint32_t> handled;
    QueueMessageSink sink([&](const Message& message) { handled.push_back(message.message); });
    sink.SetArrivalWake(&wake);
    sink.Post({MSG_LINK_UP, 0, 0, {}});
    EXPECT_TRUE(wake.Notified());
    wake.Reset();
    std::thread worker([&] { sink.Send({MSG_LINK_DOWN, 0, 0, {}}); });
    // The receiver's loop: one wait on the descriptor, then Pump.
    ASSERT_TRUE(wake.WaitUntil(std::chrono::steady_clock::now() + kPatience));
    wake.Reset();
    EXPECT_EQ(sink.Pump(), 2u);
    worker.join();
    EXPECT_EQ(handled, (std::vector<std::uint32_t>{MSG_LINK_UP, MSG_LINK_DOWN}));
    sink.SetArrivalWake(nullptr);
    sink.Post({MSG_LINK_UP, 0, 0, {}});
    EXPECT_FALSE(wake.Notified());
}

TEST(QueueMessageSink, PostReturnsAtOnceAndArrivesInOrder) {
    std::vector<Message> handled;
    QueueMessageSink sink([&](const Message& message) { handled.push_back(message); });

    sink.Post({kMsgWorkerProgress, kWorkerDetectDone, 1, {}});
    sink.Post({MSG_LINK_UP, 0, 0, {}});
    sink.Post({kMsgWorkerProgress, kWorkerGpsReopened, 0, {}});
    EXPECT_TRUE(handled.empty());
    EXPECT_EQ(sink.Pending(), 3u);

    EXPECT_EQ(sink.Pump(), 3u);
    ASSERT_EQ(handled.size(), 3u);
    EXPECT_EQ(handled[0].wParam, 2026);
    EXPECT_EQ(handled[0].lParam, 1);
    EXPECT_EQ(handled[1].message, 1427u);
    EXPECT_EQ(handled[2].wParam, 2030);
    EXPECT_EQ(sink.Pump(), 0u);
}

TEST(QueueMessageSink, ShutdownReleasesABlockedSend) {
    int handledCount = 0;
    QueueMessageSink sink([&](const Message&) { ++handledCount; });
    std::thread worker([&] { sink.Send({kMsgWorkerProgress, kWorkerBaudFound, 115200, {}}); });
    WaitUntilPending(sink, 1);

    sink.Shutdown();
    worker.join();

    EXPECT_EQ(handledCount, 0);
    EXPECT_EQ(sink.Pending(), 0u);
    // Once shut down nothing waits and nothing queues.
    sink.Send({kMsgWorkerProgress, kWorkerStatusText, 0, "x"});
    sink.Post({kMsgWorkerProgress, kWorkerDetectDone, 0, {}});
    EXPECT_EQ(sink.Pending(), 0u);
    EXPECT_EQ(sink.WaitAndDispatch(kPatience), 0u);
    EXPECT_EQ(handledCount, 0);
}

// A handler that sends to its own window must not wait on its own loop.
TEST(QueueMessageSink, SendFromTheReceivingThreadIsHandledAtOnce) {
    std::vector<std::intptr_t> order;
    QueueMessageSink* self = nullptr;
    QueueMessageSink sink([&](const Message& message) {
        order.push_back(message.wParam);
        if (message.wParam == kWorkerRestoreDone) {
            self->Send({kMsgWorkerProgress, kWorkerStatusText, 0, {}});
        }
    });
    self = &sink;
    sink.Post({kMsgWorkerProgress, kWorkerRestoreDone, 1, {}});
    EXPECT_EQ(sink.Pump(), 1u);
    EXPECT_EQ(order, (std::vector<std::intptr_t>{2027, 2025}));
}

// The worker reuses one buffer for every status line and posts far faster
// than the receiver handles them; each line still arrives whole, in order.
TEST(QueueMessageSink, PostedTextsSurviveTheWorkerReusingItsBuffer) {
    constexpr int kLines = 2000;
    std::vector<std::string> seen;
    std::atomic<bool> workerDone{false};
    QueueMessageSink sink([&](const Message& message) {
        // Slow at first, so that most of the lines wait in the queue while
        // the worker overwrites its buffer.
        if (!workerDone.load()) std::this_thread::sleep_for(std::chrono::microseconds(200));
        seen.push_back(message.text);
    });
    auto lineOf = [](int i) {
        // Longer than any small-string buffer, different lengths.
        return "扫描波特率 " + std::to_string(i) + std::string(static_cast<std::size_t>(i % 40), '.');
    };
    std::thread receiver([&] {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (seen.size() < static_cast<std::size_t>(kLines) && std::chrono::steady_clock::now() < deadline) {
            sink.WaitAndDispatch(std::chrono::milliseconds(100));
        }
    });
    std::string buffer;
    for (int i = 0; i < kLines; ++i) {
        buffer = lineOf(i);
        sink.Post({kMsgWorkerProgress, kWorkerStatusText, 77, buffer});
        buffer.assign(buffer.size(), '#');
    }
    workerDone = true;
    receiver.join();

    ASSERT_EQ(seen.size(), static_cast<std::size_t>(kLines));
    for (int i = 0; i < kLines; ++i) ASSERT_EQ(seen[static_cast<std::size_t>(i)], lineOf(i)) << i;
}

}  // namespace
}  // namespace sextara::platform
