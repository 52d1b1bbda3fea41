#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>

#include "decode/ByteSink.h"
#include "platform/Event.h"
#include "receiver/SerialPort.h"

namespace sextara {

// The PORT correction client: corrections from a second serial port (a radio
// modem) into the receiver. While the client port is open a thread of its own
// moves every byte the port's reader queued, after each of the reader's
// passes, whether or not the page is shown; so a radio at 115200 baud never
// backs up into the port's receive limit, closing the page does not stop the
// corrections, and a silent radio costs no wake-ups.
class PortClient {
public:
    static constexpr std::uint32_t kTransferBytes = 1024;

    PortClient(SerialPort& clientPort, ByteSink& receiver);
    // Stops the mover and the port.
    ~PortClient();
    PortClient(const PortClient&) = delete;
    PortClient& operator=(const PortClient&) = delete;

    // Opens the port, starts its threads and the mover; false (and closed)
    // when the port cannot be opened.
    bool Open(int portNumber, int baudRate);
    // Stops the mover and the port; the port can be opened again.
    void Close();
    bool IsOpen() const { return port_.IsOpen(); }
    // What the port received since it opened, and what went to the receiver.
    std::uint32_t BytesReceived() const { return port_.GetBytesReceived(); }
    std::uint64_t BytesMoved() const { return moved_.load(); }
    SerialPort& Port() { return port_; }

    // One pass of the mover: every byte queued now goes to the receiver.
    void MoveQueued();

private:
    void StopMover();

    SerialPort& port_;
    ByteSink& receiver_;
    std::mutex control_;  // Open and Close
    std::thread mover_;
    std::atomic<bool> moving_{false};
    platform::Event wake_;      // the stop
    platform::Event received_;  // the port's reader queued bytes
    std::atomic<std::uint64_t> moved_{0};
};

// The receiver's port as the correction clients see it: bytes go through
// while the port is open and are dropped while it is not. A closed
// SerialPort would queue them and send stale corrections on its next open.
class OpenPortGate final : public ByteSink {
public:
    explicit OpenPortGate(SerialPort& port) : port_(port) {}
    std::uint32_t Write(const std::uint8_t* bytes, std::uint32_t length) override;
    std::uint64_t Dropped() const { return dropped_.load(); }

private:
    SerialPort& port_;
    std::atomic<std::uint64_t> dropped_{0};
};

}  // namespace sextara
