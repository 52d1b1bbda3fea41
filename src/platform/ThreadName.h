#pragma once

#include <pthread.h>

#include <cstdio>

namespace sextara::platform {

// Names the calling thread as `top -H`, /proc/PID/task/*/comm and a debugger
// show it: which of a process's threads wakes, and how often, is then plain.
// The kernel keeps 15 characters; a longer name is cut.
inline void NameThisThread(const char* name) {
    char cut[16];
    std::snprintf(cut, sizeof cut, "%s", name);
    pthread_setname_np(pthread_self(), cut);
}

}  // namespace sextara::platform
