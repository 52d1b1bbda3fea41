#include "receiver/SerialPort.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/Debug.h"
#include "platform/SerialDevice.h"
#include "platform/ThreadName.h"

namespace sextara {
namespace {

// The reader waits for the line without a time-out: a silent line costs no
// wake-ups, and a stop wakes it through the device at once.
constexpr int kWaitForBytes = -1;
// A read takes what the driver holds and returns; the gathering is done by
// the pause after it, not by waiting for the line to go idle.
constexpr int kReadIntervalMs = 0;

}  // namespace

SerialPort::SerialPort(platform::LogFunction log, platform::Clock& clock) : log_(std::move(log)), clock_(clock) {}

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

std::uint64_t SerialPort::DroppedTxWrites() const {
    return droppedTxWrites_.load();
}

std::string SerialPort::LastOpenError() const {
    std::lock_guard<std::recursive_mutex> control(controlMutex_);
    return lastOpenError_;
}

bool SerialPort::ReaderRunning() const {
    return readerRunning_.load();
}

// The device is the one Open chose for the port number; the line format is
// always 8N1, whatever is asked.
int SerialPort::Configure(int /*portNumber*/, int baudRate, std::uint32_t /*lineFormat*/) {
    std::lock_guard<std::recursive_mutex> control(controlMutex_);
    if (!device_.IsOpen() || !device_.SetBaud(baudRate)) {
        lastOpenError_ = device_.LastErrorText();
        StopLocked();
        return kInvalidHandle;
    }
    return handle_.load();
}

int SerialPort::Open(int portNumber, int baudRate) {
    std::lock_guard<std::recursive_mutex> control(controlMutex_);
    if (released_) return 0;
    StopLocked();
    lastOpenError_.clear();
    if (!device_.Open(portNumber)) {
        lastOpenError_ = device_.LastErrorText();
        return 0;
    }
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
    if (IsOpen()) lastOpenError_ = device_.LastErrorText();
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
            readerThread_ = std::thread([this] {
                NameThread("reader");
                ReaderLoop();
            });
        } catch (const std::system_error&) {
            readerRunning_ = false;
            return 0;
        }
    }
    if (!writerThread_.joinable()) {
        try {
            writerThread_ = std::thread([this] {
                NameThread("writer");
                WriterLoop();
            });
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
    // Drops while closed are told once the port runs again and drains.
    const bool wasOpen = device_.IsOpen();
    bytesReceived_ = 0;
    rxStopEvent_.Set();
    txStopEvent_.Set();
    device_.Interrupt();
    if (readerThread_.joinable()) readerThread_.join();
    if (writerThread_.joinable()) writerThread_.join();
    device_.Close();
    handle_ = kInvalidHandle;
    if (wasOpen) LogDroppedBurst();
}

std::uint32_t SerialPort::Write(const std::uint8_t* bytes, std::uint32_t length) {
    if (bytes == nullptr || length == 0) return length;
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (length > kTxQueueCap) {
            // Could never go out whole; the queue keeps what it has.
            ++burstWrites_;
            burstBytes_ += length;
            ++droppedTxWrites_;
            droppedTxBytes_ += length;
        } else {
            while (txQueue_.size() + length > kTxQueueCap && !txWrites_.empty()) {
                const std::uint32_t oldest = txWrites_.front();
                txWrites_.pop_front();
                txQueue_.erase(txQueue_.begin(), txQueue_.begin() + static_cast<std::ptrdiff_t>(oldest));
                ++burstWrites_;
                burstBytes_ += oldest;
                ++droppedTxWrites_;
                droppedTxBytes_ += oldest;
            }
            txQueue_.insert(txQueue_.end(), bytes, bytes + length);
            txWrites_.push_back(length);
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

// One pass takes everything the driver holds, in 512-byte reads, then the
// reader pauses: a serial driver hands bytes over in small pieces (a FIFO's
// worth, a USB packet, a simulator's 10 ms slice), and waking for each piece
// would cost a context switch every few milliseconds all day. The pause
// bounds the reader to 1000 / kReadPause wake-ups a second whatever the line
// delivers; what arrives meanwhile waits in the driver.
void SerialPort::ReaderLoop() {
    while (IsOpen()) {
        std::memset(rxBuffer_, 0, sizeof rxBuffer_);
        long n = device_.Read(rxBuffer_, kReadChunk, kWaitForBytes);
        std::size_t pass = 0;
        while (n > 0) {
            QueueReceived(static_cast<std::size_t>(n));
            pass += static_cast<std::size_t>(n);
            // A short read found the driver empty. A pass never takes more
            // than the queue keeps, so a line faster than any receiver still
            // lets the pause (and a stop) come.
            if (static_cast<std::size_t>(n) < kReadChunk || pass >= kRxQueueLimit) break;
            n = device_.Read(rxBuffer_, kReadChunk, 0);
        }
        if (pass > 0) {
            if (platform::Event* received = receivedEvent_.load()) received->Set();
        }
        if (n < 0) {
            // The device is gone (a pty whose master closed, an adapter
            // pulled out): every further read would fail at once, so the
            // reader ends instead of spinning. The line stays allocated until
            // the owner stops or reopens the port.
            handle_ = kInvalidHandle;
            SEXTARA_DEBUG("COM%d device lost\n", portNumber_.load());
            LogLine("COM%d device lost, reader stopped (%s)", portNumber_.load(),
                    platform::ComDevicePath(portNumber_.load()).c_str());
            break;
        }
        if (clock_.SleepUnless(rxStopEvent_, kReadPause)) break;
    }
    device_.PurgeReceive();
    readerRunning_ = false;
}

void SerialPort::QueueReceived(std::size_t count) {
    bytesReceived_ += static_cast<std::uint32_t>(count);
    std::lock_guard<std::mutex> hold(lock_);
    if (rxQueue_.size() > kRxQueueLimit) {
        droppedRxBytes_ += rxQueue_.size();
        rxQueue_.clear();
    }
    rxQueue_.insert(rxQueue_.end(), rxBuffer_, rxBuffer_ + count);
}

void SerialPort::WriterLoop() {
    std::vector<std::uint8_t> out;
    std::deque<std::uint32_t> writes;
    for (;;) {
        if (platform::WaitAny(txReadyEvent_, txStopEvent_) != 0) return;
        {
            std::lock_guard<std::mutex> hold(lock_);
            out.assign(txQueue_.begin(), txQueue_.end());
            txQueue_.clear();
            writes.swap(txWrites_);
            txWrites_.clear();
        }
        // The queue drained: a burst of drops, if there was one, is over.
        LogDroppedBurst();
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
            // first in the queue for the next open, still as its writes (the
            // first one only its unsent tail).
            std::size_t skip = static_cast<std::size_t>(sent);
            while (!writes.empty() && skip >= writes.front()) {
                skip -= writes.front();
                writes.pop_front();
            }
            if (!writes.empty()) writes.front() -= static_cast<std::uint32_t>(skip);
            std::lock_guard<std::mutex> hold(lock_);
            txQueue_.insert(txQueue_.begin(), out.begin() + sent, out.end());
            txWrites_.insert(txWrites_.begin(), writes.begin(), writes.end());
        }
    }
}

void SerialPort::NameThread(const char* role) const {
    char name[16];
    std::snprintf(name, sizeof name, "COM%d %s", portNumber_.load(), role);
    platform::NameThisThread(name);
}

void SerialPort::LogLine(const char* format, ...) const {
    if (!log_) return;
    char line[160];
    std::va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    log_(line);
}

// One line per burst rather than per drop: a correction stream into a dead
// writer drops a frame every second and would flood the log.
void SerialPort::LogDroppedBurst() {
    std::uint64_t writes = 0;
    std::uint64_t bytes = 0;
    {
        std::lock_guard<std::mutex> hold(lock_);
        std::swap(writes, burstWrites_);
        std::swap(bytes, burstBytes_);
    }
    if (writes == 0) return;
    LogLine("COM%d send queue full: %llu writes (%llu bytes) dropped", portNumber_.load(),
            static_cast<unsigned long long>(writes), static_cast<unsigned long long>(bytes));
}

}  // namespace sextara
