#pragma once

#include <atomic>

namespace sextara::platform {

// The one channel for diagnostic lines (decoder traces, thread errors). It
// writes to stderr, never stdout, and is off unless SEXTARA_DEBUG is set to a
// non-empty value other than "0" at start, or switched on by SetDebugEnabled.
bool DebugEnabled();
void SetDebugEnabled(bool on);
void DebugPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace sextara::platform

// Skips argument evaluation entirely while the channel is off, so traces cost
// nothing on the decoding hot path.
#define SEXTARA_DEBUG(...)                                          \
    do {                                                            \
        if (::sextara::platform::DebugEnabled()) {                  \
            ::sextara::platform::DebugPrint(__VA_ARGS__);           \
        }                                                           \
    } while (0)
