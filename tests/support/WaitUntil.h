#pragma once

#include <chrono>
#include <thread>

namespace sextara::test {

// Polls a condition until it holds or a generous deadline passes. The
// deadline only ends a failing test; it is never what a test measures.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds deadline = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace sextara::test
