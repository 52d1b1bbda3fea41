#pragma once

#include <functional>

namespace sextara::platform {

// Where the platform layer writes its event-log lines. The application passes
// its AppendLog; the platform layer cannot call it itself, since the event
// log belongs to the application shell above it.
using LogFunction = std::function<void(const char* message)>;

}  // namespace sextara::platform
