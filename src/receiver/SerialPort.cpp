#include "receiver/SerialPort.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <vector>

#include "app/EventLog.h"
#include "platform/Debug.h"

namespace sextara {
namespace {

// The reader's wait for a first byte. It only bounds how long the reader
// sleeps on a silent line; a stop wakes it at once through the device.
constexpr int kReaderWaitMs = 50;
// Once bytes flow, a read ends when the line has been idle this long. A
// longer gap would gather bigger bursts, but every millisecond of it is added
// to the time before the last sentence of a burst reaches the decoder; 10 ms
// is many character times even at 9600 baud.
constexpr int kReadIntervalMs = 10;

}  // namespace

SerialPort::SerialPort() = default;

SerialPort::~SerialPort() {
    std::lock_guard<std::recursive_mutex> control(controlMutex_);
    StopLocked();
}

int SerialPort::GetHandle() const {
    return handle_.load();
}

bool SerialPort::IsOpen() const {
    return handle_.load() != kInvalidHandle;
}

bool SerialPort::GetPortParams(int& portNumber, int& baudRate) const {
    if (!IsOpen()) return false;
    portNumber = portNumber_.load();
    baudRate = baudRate_.load();
    return true;
}

std::uint32_t SerialPort::GetBytesReceived() const {
    return bytesReceived_.load();
}

std::size_t SerialPort::QueuedRxBytes() const {
    std::lock_guard<std::mutex> hold(lock_);
    return rxQueue_.size();
}

std::size_t SerialPort::QueuedTxBytes() const {
    std::lock_guard<std::mutex> hold(lock_);
    return txQueue_.size();
}

std::uint64_t SerialPort::DroppedTxBytes() const {
    return droppedTxBytes_.load();
}

bool SerialPort::ReaderRunning() const {
    return readerRunning_.load();
}

// The device is the one Open chose for the port number; the line format is
// always 8N1, whatever is asked.
int SerialPort::Configure(int /*portNumber*/, int baudRate, std::uint32_t /*lineFormat*/) {
    std::lock_guard<std::recursive_mutex> control(controlMutex_);
    if (!device_.IsOpen() || !device_.SetBaud(baudRate)) {
        StopLocked();
        return kInvalidHandle;
    }
    return handle_.load();
}

int SerialPort::Open(int portNumber, int baudRate) {
    std::lock_guard<std::recursive_mutex> control(controlMutex_);
    if (released_) return 0;
    StopLocked();
    if (!device_.Open(portNumber)) return 0;
    rxStopEvent_.Reset();
    txStopEvent_.Reset();
    // Bytes queued while closed wait for the next Write to wake the writer.
    txReadyEvent_.Reset();
    portNumber_ = portNumber;
    baudRate_ = baudRate;
    bytesReceived_ = 0;
    handle_ = device_.Descriptor();
    if (Configure(portNumber, baudRate, kLine8N1) == kInvalidHandle) return 0;
    device_.SetReadIntervalMs(kReadIntervalMs);
    // Driver buffer sizes and the comm error state have no counterpart on a
    // tty; what is left is discarding whatever the line held before us.
    device_.Purge();
    return 1;
}

int SerialPort::SetBaud(int baudRate) {
    std::lock_guard<std::recursive_mutex> control(controlMutex_);
    if (IsOpen() && device_.SetBaud(baudRate)) return 1;
    StopLocked();
    return 0;
}

int SerialPort::StartThreads() {
    std::lock_guard<std::recursive_mutex> control(controlMutex_);
    if (!IsOpen()) return 0;
    if (readerThread_.joinable() && writerThread_.joinable()) return 1;
    if (!readerThread_.joinable()) {
        readerRunning_ = true;
        try {
            readerThread_ = std::thread([this] { ReaderLoop(); });
        } catch (const std::system_error&) {
            readerRunning_ = false;
            return 0;
        }
    }
    if (!writerThread_.joinable()) {
        try {
            writerThread_ = std::thread([this] { WriterLoop(); });
        } catch (const std::system_error&) {
            return 0;
        }
    }
    return 1;
}

void SerialPort::Stop() {
    std::lock_guard<std::recursive_mutex> control(controlMutex_);
    StopLocked();
}

void SerialPort::Close() {
    std::lock_guard<std::recursive_mutex> control(controlMutex_);
    StopLocked();
    released_ = true;
}

// Both threads are told through their events and woken out of a blocked read
// or write by the device, then joined; only then is the line closed, so no
// thread ever uses a closed descriptor.
void SerialPort::StopLocked() {
    bytesReceived_ = 0;
    rxStopEvent_.Set();
    txStopEvent_.Set();
    device_.Interrupt();
    if (readerThread_.joinable()) readerThread_.join();
    if (writerThread_.joinable()) writerThread_.join();
    device_.Close();
    handle_ = kInvalidHandle;
}

std::uint32_t SerialPort::Write(const std::uint8_t* bytes, std::uint32_t length) {
    if (bytes == nullptr || length == 0) return length;
    {
        std::lock_guard<std::mutex> hold(lock_);
        txQueue_.insert(txQueue_.end(), bytes, bytes + length);
        if (txQueue_.size() > kTxQueueCap) {
            const std::size_t drop = txQueue_.size() - kTxQueueCap;
            txQueue_.erase(txQueue_.begin(), txQueue_.begin() + static_cast<std::ptrdiff_t>(drop));
            droppedTxBytes_ += drop;
        }
    }
    txReadyEvent_.Set();
    return length;
}

std::uint16_t SerialPort::Read(std::uint8_t* buffer, std::uint32_t maximum) {
    if (buffer == nullptr) return 0;
    std::lock_guard<std::mutex> hold(lock_);
    // The count is returned as 16 bits: never take more than that can say.
    const std::size_t count = std::min<std::size_t>({rxQueue_.size(), maximum, 0xFFFF});
    std::copy_n(rxQueue_.begin(), count, buffer);
    rxQueue_.erase(rxQueue_.begin(), rxQueue_.begin() + static_cast<std::ptrdiff_t>(count));
    return static_cast<std::uint16_t>(count);
}

void SerialPort::ReaderLoop() {
    while (IsOpen()) {
        std::memset(rxBuffer_, 0, sizeof rxBuffer_);
        const long n = device_.Read(rxBuffer_, kReadChunk, kReaderWaitMs);
        if (n > 0) {
            bytesReceived_ += static_cast<std::uint32_t>(n);
            std::lock_guard<std::mutex> hold(lock_);
            if (rxQueue_.size() > kRxQueueLimit) rxQueue_.clear();
            rxQueue_.insert(rxQueue_.end(), rxBuffer_, rxBuffer_ + n);
        } else if (n < 0) {
            // The device is gone (a pty whose master closed, an adapter
            // pulled out): every further read would fail at once, so the
            // reader ends instead of spinning. The line stays allocated until
            // the owner stops or reopens the port.
            handle_ = kInvalidHandle;
            SEXTARA_DEBUG("COM%d device lost\n", portNumber_.load());
            LogLine("COM%d device lost, reader stopped", portNumber_.load());
            break;
        }
        if (rxStopEvent_.Wait(std::chrono::milliseconds(0))) break;
    }
    device_.PurgeReceive();
    readerRunning_ = false;
}

void SerialPort::WriterLoop() {
    std::vector<std::uint8_t> out;
    for (;;) {
        if (platform::WaitAny(txReadyEvent_, txStopEvent_) != 0) return;
        {
            std::lock_guard<std::mutex> hold(lock_);
            out.assign(txQueue_.begin(), txQueue_.end());
            txQueue_.clear();
        }
        if (out.empty()) continue;
        const long sent = device_.Write(out.data(), out.size());
        if (sent < 0) {
            const int error = errno;
            SEXTARA_DEBUG("------WriteThread Err %d\n", error);
            LogLine("COM%d WriteThread Err %d", portNumber_.load(), error);
            return;
        }
        if (static_cast<std::size_t>(sent) < out.size()) {
            // Stopped in the middle of a write: what did not go out stays
            // first in the queue for the next open.
            std::lock_guard<std::mutex> hold(lock_);
            txQueue_.insert(txQueue_.begin(), out.begin() + sent, out.end());
        }
    }
}

void SerialPort::LogLine(const char* format, ...) {
    char line[128];
    std::va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    AppendLog(line);
}

}  // namespace sextara
