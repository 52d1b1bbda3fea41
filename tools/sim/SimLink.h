#pragma once

// The simulator's own parts, shared by its three source files: the thread's
// state (ReceiverSim::Link) and the constants of its rhythm. ReceiverSim.cpp
// starts, runs and stops the thread; SimStream.cpp paces what it sends;
// SimCommands.cpp answers what the program writes.

#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/ReceiverSim.h"

namespace sextara::sim {

using Clock = std::chrono::steady_clock;

// Short enough that a probe answer leaves well inside the detector's 50 ms
// polls, long enough that the thread costs nothing at 115200 baud.
inline constexpr std::chrono::milliseconds kSlicePeriod{10};
// After a stall (reader away, machine busy) at most this much is sent at once.
inline constexpr std::chrono::milliseconds kMaxBurst{100};
// At the end the program gets this long after its last read to take what is
// still in the pty: the hang-up discards it, and the serial port's reader
// rests up to 50 ms between two passes over the line.
inline constexpr std::chrono::milliseconds kDrainPatience{200};
// One read of the master; the program's longest single write is a 96-byte
// u-blox block, its commands a few dozen bytes.
inline constexpr std::size_t kReadChunk = 4096;
// The detector copies at most 512 bytes per send; a "line" longer than that
// is not a command but binary data without a line end.
inline constexpr std::size_t kMaxCommandLine = 512;
// A wrong path (a disk image) must not fill the memory: real captures are
// megabytes at most.
inline constexpr std::size_t kMaxCaptureBytes = 256u << 20;

// The rate of a speed_t code, 0 for none the simulator knows.
int BaudOfCode(speed_t code);

inline void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

struct ReceiverSim::Link {
    Link(std::uint32_t bytesPerSecond, int startBaud) : pacer(bytesPerSecond, kMaxBurst), baud(startBaud) {}
    ~Link() { Close(); }

    // Ends the device: the program reading the slave sees a hang-up, like a
    // receiver unplugged.
    void Close() {
        CloseFd(master);
        CloseFd(holder);
        CloseFd(record);
        if (!linkPath.empty()) {
            char target[256];
            const ssize_t n = ::readlink(linkPath.c_str(), target, sizeof target);
            if (n > 0 && std::string_view(target, static_cast<std::size_t>(n)) == slavePath) {
                ::unlink(linkPath.c_str());
            }
            linkPath.clear();
        }
    }

    int master = -1;
    // The simulator keeps one slave descriptor of its own for its whole life,
    // so that the program closing and reopening the port never leaves the
    // master in a hung-up state that poll would report over and over.
    int holder = -1;
    int record = -1;
    std::string slavePath;
    std::string linkPath;  // set once the link exists, so that only ours is removed

    std::vector<std::uint8_t> capture;
    std::size_t capturePos = 0;
    BytePacer pacer;
    std::uint32_t bytesPerSecond = 0;
    EpochPacer epochPacer{{}, 0};

    std::vector<std::uint8_t> staged;  // bytes for the line that it would not take yet
    std::string replies;               // answers waiting for a frame boundary
    std::size_t repliesDeferredBytes = 0;

    int baud;
    // The line's rate when the simulator last looked. A pty has no wire, so
    // a program that writes and then changes the rate may have done both
    // before the bytes are read: they count as sent at either rate.
    int lastLineBaud = 0;
    bool resetting = false;
    Clock::time_point resetEnds{};
    int baudAfterReset = 0;

    std::string line;  // command text since the last CR or LF
    bool lineOverflow = false;
    std::vector<std::uint8_t> binaryTail;  // last bytes, for the Trimble probe

    std::uint64_t recordedInMemory = 0;
};

}  // namespace sextara::sim
