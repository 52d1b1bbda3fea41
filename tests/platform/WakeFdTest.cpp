#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/WakeFd.h"

namespace sextara::platform {
namespace {

using Steady = std::chrono::steady_clock;
// A deadline no passing test reaches: the wait must end by the wake alone.
constexpr auto kFar = std::chrono::hours(1);

WakeFd* gSignalled = nullptr;
void NotifyFromHandler(int) { gSignalled->Notify(); }

TEST(WakeFdTest, WaitEndsByNotifyOrDeadlineAndStaysNotifiedUntilReset) {
    WakeFd wake;
    ASSERT_TRUE(wake.Ok());
    EXPECT_FALSE(wake.Notified());
    EXPECT_FALSE(wake.WaitUntil(Steady::now() - std::chrono::seconds(1))) << "a passed deadline only looks";

    std::thread notifier([&] { wake.Notify(); });
    EXPECT_TRUE(wake.WaitUntil(Steady::now() + kFar));
    notifier.join();
    EXPECT_TRUE(wake.WaitUntil(Steady::now() + kFar)) << "the wake stays until Reset";
    wake.Reset();
    EXPECT_FALSE(wake.Notified());
}

// What the headless runner relies on for SIGINT and SIGTERM: a handler's
// Notify ends a sleep that would otherwise last until the next tick.
TEST(WakeFdTest, SignalHandlerEndsTheWait) {
    WakeFd wake;
    gSignalled = &wake;
    struct sigaction action {};
    struct sigaction before {};
    action.sa_handler = NotifyFromHandler;
    ASSERT_EQ(sigaction(SIGUSR1, &action, &before), 0);
    // Aimed at the waiting thread: a signal to the process may land on the
    // sender, and a sanitizer defers a handler to that thread's next call,
    // which never comes once it has ended. The deadline bounds a failure.
    const pthread_t waiter = ::pthread_self();
    std::thread sender([waiter] { ::pthread_kill(waiter, SIGUSR1); });
    EXPECT_TRUE(wake.WaitUntil(Steady::now() + std::chrono::seconds(60)));
    sender.join();
    sigaction(SIGUSR1, &before, nullptr);
    gSignalled = nullptr;
}

}  // namespace
}  // namespace sextara::platform
