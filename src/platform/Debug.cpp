#include "platform/Debug.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sextara::platform {
namespace {

bool EnvSaysOn() {
    const char* value = std::getenv("SEXTARA_DEBUG");
    return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

std::atomic<bool>& Flag() {
    static std::atomic<bool> flag{EnvSaysOn()};
    return flag;
}

}  // namespace

bool DebugEnabled() { return Flag().load(std::memory_order_relaxed); }

void SetDebugEnabled(bool on) { Flag().store(on, std::memory_order_relaxed); }

void DebugPrint(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}

}  // namespace sextara::platform
