#pragma once

// A simulated receiver on a real pseudo-terminal, for tests and the demo. The
// program under test opens the slave side like any serial device; the
// simulator streams capture files at the byte rate of its baud, answers the
// detection probes of its make and follows the reset and baud commands, but
// only while the line is set to the rate the simulated receiver is at: on
// Linux a pty master reports the line settings the program made on the slave,
// which is what makes a wrong baud rate observable here.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "decode/ReceiverType.h"

namespace sextara::sim {

// Hands out the bytes a line of a given rate carries between two looks at
// the clock, without losing the fractions between slices (at 9600 baud a
// 10 ms slice carries 9.6 bytes). A stall is not made up for beyond
// maxBurst: a receiver does not send faster after the reader was away.
class BytePacer {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    BytePacer(std::uint32_t bytesPerSecond, std::chrono::milliseconds maxBurst);
    // Starts counting afresh from now; owed fractions are dropped.
    void Restart(TimePoint now);
    // Bytes due since the previous call (or Restart).
    std::size_t Take(TimePoint now);

private:
    std::uint64_t bytesPerSecond_;
    std::chrono::nanoseconds maxBurst_;
    TimePoint last_{};
    std::uint64_t owedByteNanos_ = 0;  // bytes x 1e9, below one byte
};

// Where each epoch of an NMEA capture begins: an epoch is the run of
// sentences that carry one UTC time (GGA, RMC, GLL, ZDA, GST, GNS, GBS carry
// it; the sentences between them belong to the epoch before). Offsets are
// ascending and start with 0; empty when the capture has fewer than two
// epochs (binary captures, a single fix), which then go by byte rate.
std::vector<std::size_t> EpochStarts(const std::vector<std::uint8_t>& capture);

// Releases one epoch per period, in the receiver's own rhythm: a capture
// plays back in real time, whatever the line's byte rate.
class EpochPacer {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    EpochPacer(std::vector<std::size_t> starts, std::size_t captureSize,
               std::chrono::milliseconds period = std::chrono::seconds(1));
    bool Active() const { return !starts_.empty(); }
    // The next epoch is due at once.
    void Restart(TimePoint now);
    // When an epoch is due: the bytes from position up to the next epoch
    // start (or the capture's end), and the following one is due a period
    // later. Otherwise 0.
    std::size_t Take(TimePoint now, std::size_t position);

private:
    std::vector<std::size_t> starts_;
    std::size_t captureSize_;
    std::chrono::milliseconds period_;
    TimePoint due_{};
};

struct ReceiverSimOptions {
    ReceiverType make = enOther;
    // The rate the simulated receiver is at now; reset and baud commands
    // change it while it runs.
    int baud = 115200;
    // Streamed one after the other, then again from the first, for as long
    // as the simulator runs. captureBytes follows the files.
    std::vector<std::string> captureFiles;
    std::vector<std::uint8_t> captureBytes;
    // Every byte received is appended here, at whatever rate it came.
    std::string recordPath;
    // The simulator stops by itself after this long.
    std::chrono::milliseconds duration{std::chrono::minutes(10)};
    // Optional symbolic link to the slave device, removed at stop.
    std::string linkPath;
    // 0: the line's own rate, baud / 10 bytes per second (8N1 spends ten
    // bit times per byte).
    std::uint32_t bytesPerSecond = 0;
    // Stream an NMEA capture one epoch a second instead (EpochStarts),
    // each epoch at once, as a receiver sends its burst after the fix.
    bool epochs = false;
    // How long a receiver is silent and deaf after a factory reset before it
    // talks at its maker's default rate.
    std::chrono::milliseconds resetDelay{300};
};

struct ReceiverSimStats {
    bool running = false;
    int baud = 0;      // the simulated receiver's rate
    int lineBaud = 0;  // the rate the program had set at the last look; 0 unknown
    std::uint64_t bytesSent = 0;
    std::uint64_t bytesRecorded = 0;
    std::uint64_t bytesIgnored = 0;  // received at another rate or during a reset
    std::uint64_t slices = 0;
    std::uint64_t idleSlices = 0;  // slices with the line at another rate
    std::uint64_t captureLoops = 0;
    std::uint32_t probesAnswered = 0;
    std::uint32_t commandsAnswered = 0;
    std::uint32_t resets = 0;
    std::uint32_t baudChanges = 0;
};

class ReceiverSim {
public:
    explicit ReceiverSim(ReceiverSimOptions options);
    ~ReceiverSim();
    ReceiverSim(const ReceiverSim&) = delete;
    ReceiverSim& operator=(const ReceiverSim&) = delete;

    // Opens the pty and starts the simulator; returns the slave device path,
    // or an empty string with Error() telling why.
    std::string Start();
    // Ends the simulator thread and closes the pty; safe to call twice.
    void Stop();

    const std::string& Error() const { return error_; }
    const std::string& DevicePath() const { return devicePath_; }

    bool Running() const;
    int Baud() const;
    std::uint64_t BytesRecorded() const;
    // Everything received so far (the first kMaxRecordedInMemory bytes).
    std::vector<std::uint8_t> RecordedBytes() const;
    ReceiverSimStats Stats() const;

    // Each returns false when the time ran out first.
    bool WaitForRecorded(std::uint64_t count, std::chrono::milliseconds timeout) const;
    bool WaitForRecorded(std::uint64_t count, std::chrono::steady_clock::time_point deadline) const;
    bool WaitFor(const std::function<bool(const ReceiverSimStats&)>& done,
                 std::chrono::milliseconds timeout) const;
    bool WaitForExit(std::chrono::milliseconds timeout) const;

    // The program's writes are command sets of a few kilobytes; the copy kept
    // for tests stops here so that a runaway writer cannot grow it.
    static constexpr std::size_t kMaxRecordedInMemory = 4u << 20;

private:
    // The simulator thread's own state: the pty, the capture, the protocol.
    // Only that thread touches it while it runs.
    struct Link;
    // Start's steps; each sets error_ when it fails.
    bool LoadCaptures(Link& link);
    bool OpenPty(Link& link);
    bool LinkDevice(Link& link);
    bool OpenStopPipe();
    void Run(Link& link);
    void Drain(Link& link);
    void Record(Link& link, const std::uint8_t* bytes, std::size_t count);
    void Receive(Link& link, const std::uint8_t* bytes, std::size_t count);
    void Slice(Link& link, std::chrono::steady_clock::time_point now);
    void HandleCommand(Link& link, std::string_view line);
    void HandleNovatel(Link& link, std::string_view line);
    void HandleHemisphere(Link& link, std::string_view line);
    void Reply(Link& link, std::string_view text, bool probe);
    void BeginReset(Link& link, int baudAfter);
    void SwitchBaud(Link& link, int baud);
    void Bump(const std::function<void(ReceiverSimStats&)>& change);

    ReceiverSimOptions options_;
    std::string error_;
    std::string devicePath_;
    int stopPipe_[2] = {-1, -1};
    std::unique_ptr<Link> link_;
    std::thread thread_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    ReceiverSimStats stats_;
    std::vector<std::uint8_t> recorded_;
};

// The speed_t of a rate the simulator and the makes use, or 0.
unsigned SpeedCodeOf(int baud);

}  // namespace sextara::sim
