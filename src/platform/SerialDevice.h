#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "platform/WakeFd.h"

namespace sextara::platform {

// "COMn:" names map to device paths; the application fills the map from the
// COMMAP section of config.ini ("COM3=/dev/ttyUSB0"). Without an entry COMn
// maps to /dev/ttyS(n-1).
std::string ComDevicePath(int portNumber);
void SetComDevicePath(int portNumber, const std::string& path);
// Adds every entry of a map read from config.ini (an entry replaces one
// already there for the same number).
void InstallComDevicePaths(const std::map<int, std::string>& paths);
void ClearComDevicePaths();

// Why the last open of a device failed, for the log beside the user's message.
enum class OpenError {
    None,
    NoSuchDevice,     // nothing at the path (an adapter not plugged in, a wrong COM map)
    PermissionDenied, // the user is not allowed on the line (not in group dialout)
    InUse,            // held by another program or another port of this one
    NotSerialLine,    // a file or a device that has no line settings
    RateNotSupported, // the line refuses the rate, or it is none the makes use
    Other,
};
// A short English text: "no such device", "permission denied", ...
const char* OpenErrorText(OpenError error);

// One serial device opened exclusively (TIOCEXCL, O_NOCTTY), raw 8N1, no
// hardware or software flow control, DTR on, RTS off. Any device path works:
// /dev/ttyUSB0, /dev/ttyACM0, /dev/serial/by-id/..., a pty. A second open of
// the same device by this program fails too, even as root (a lock).
//
// Threads: one reader (Read, PurgeReceive) and one writer (Write) may work
// at once, and SetBaud, Available and Interrupt may come from a third;
// OpenPath and Close only while no other thread uses the device.
class SerialDevice {
public:
    SerialDevice() = default;
    ~SerialDevice();
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // False at once when the device is missing, in use or not a serial line.
    bool Open(int portNumber);
    bool OpenPath(const std::string& path);
    // One of the rates the makes use (9600 ... 115200, also 4800 and 230400);
    // false for any other rate or when the line cannot be set.
    bool SetBaud(int baud);
    // Why the last Open, OpenPath or SetBaud failed; None after a success.
    OpenError LastError() const { return lastError_; }
    // The reason as text, with the path: "/dev/ttyUSB0: no such device".
    std::string LastErrorText() const;
    // Waits until everything written has left the line (tcdrain); false on
    // error or while closed.
    bool Drain();
    // Waits at most timeoutMs for the first byte (a negative time-out: until
    // one comes, the device goes or Interrupt); after that returns once the
    // line has been idle for the read-interval time-out (0: with what the
    // driver holds now) or max bytes came. Returns the count read, 0 on
    // time-out or interrupt, -1 on error (device gone).
    long Read(std::uint8_t* buffer, std::size_t max, int timeoutMs);
    // Writes everything; -1 on error. Waits while the line is busy, until
    // everything went out or Interrupt is called (then the count written).
    long Write(const std::uint8_t* bytes, std::size_t length);
    void SetReadIntervalMs(int ms) { readIntervalMs_ = ms; }
    // Discards both directions and clears a break.
    void Purge();
    void PurgeReceive();
    // Bytes waiting in the receive buffer of the driver, -1 when closed.
    long Available() const;
    // Wakes a Read or Write blocked on another thread and makes every later
    // one return at once, until the device is closed. This is how a reader or
    // writer thread is stopped without waiting for the line; the device is
    // closed only after those threads have been joined.
    void Interrupt();
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    int Baud() const { return baud_; }
    const std::string& Path() const { return path_; }
    // The file descriptor while open, -1 otherwise.
    int Descriptor() const { return fd_; }

private:
    bool ApplyLine(int baud);
    bool Interrupted() const;

    int fd_ = -1;
    WakeFd wake_;  // what Interrupt makes readable
    // Set by Interrupt beside the wake-up, so that a read that finds bytes
    // needs no poll to know it must not go on.
    std::atomic<bool> interrupted_{false};
    int baud_ = 0;
    int readIntervalMs_ = 100;
    std::string path_;
    OpenError lastError_ = OpenError::None;
    std::string lastErrorPath_;
};

}  // namespace sextara::platform
