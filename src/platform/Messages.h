#pragma once

#include <cstdint>

namespace sextara::platform {

// Message numbers that worker threads post or send to the window that started
// them. They keep the WM_USER-based numbering of window messages, so a trace
// shows the same numbers on every front end.
constexpr std::uint32_t kWmUser = 0x0400;  // WM_USER

// The detection and restore workers report with one message number and say
// what happened in wParam.
constexpr std::uint32_t kMsgWorkerProgress = kWmUser + 1000;  // 2024
static_assert(kMsgWorkerProgress == 2024);

// wParam codes of kMsgWorkerProgress; lParam as noted.
constexpr std::intptr_t kWorkerStatusText = 2025;   // text: the status line; lParam: its string-table
                                                    // id; sent
constexpr std::intptr_t kWorkerDetectDone = 2026;   // lParam: 1 found, 0 not; posted
constexpr std::intptr_t kWorkerRestoreDone = 2027;  // lParam: 1 success, 0 failure; posted
constexpr std::intptr_t kWorkerUnused2028 = 2028;   // inside the range, but no worker sends it
constexpr std::intptr_t kWorkerBaudFound = 2029;    // lParam: the baud rate found; sent
constexpr std::intptr_t kWorkerGpsReopened = 2030;  // lParam: 1 GPS port reopened, 0 not; posted

// The correction threads' messages.
constexpr std::uint32_t MSG_SOURCETABLE_DONE = kWmUser + 400;    // 1424
constexpr std::uint32_t MSG_SOURCETABLE_FAILED = kWmUser + 401;  // 1425
constexpr std::uint32_t MSG_LINK_DOWN = kWmUser + 402;           // 1426
constexpr std::uint32_t MSG_LINK_UP = kWmUser + 403;             // 1427
constexpr std::uint32_t MSG_LINK_STATUS = kWmUser + 404;         // 1428

}  // namespace sextara::platform
