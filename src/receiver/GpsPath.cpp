#include "receiver/GpsPath.h"

#include <algorithm>
#include <array>
#include <string>
#include <system_error>
#include <utility>

#include "platform/Debug.h"
#include "platform/ThreadName.h"

namespace sextara {
namespace {

// Port numbers are "COM%d:" with one byte's worth of number.
constexpr int kPortNumberModulo = 256;

template <typename Queue>
std::size_t TakeFront(Queue& queue, std::uint8_t* out, std::size_t maximum) {
    const std::size_t count = std::min(queue.size(), maximum);
    std::copy_n(queue.begin(), count, out);
    queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(count));
    return count;
}

}  // namespace

GpsPath::GpsPath(SerialPort& gpsPort, DecoderHost& decoder, std::chrono::milliseconds pumpPeriod,
                 platform::LogFunction log, platform::Clock& clock)
    : gpsPort_(gpsPort), decoder_(decoder), pumpPeriod_(pumpPeriod), log_(std::move(log)), clock_(clock) {}

GpsPath::~GpsPath() {
    CloseGpsPort();
}

int GpsPath::OpenGpsPort(int portNumber, int baudRate) {
    std::lock_guard<std::mutex> control(controlMutex_);
    gpsPortNumber_ = portNumber;
    gpsBaud_ = baudRate;
    if (gpsPort_.Open(portNumber % kPortNumberModulo, baudRate) == 0) {
        // The reason beside the message: "no such device" and "permission
        // denied" need different fixes from the user.
        const std::string line = "Can't Open GPS Port! (COM" + std::to_string(portNumber) + " " +
                                 gpsPort_.LastOpenError() + ")";
        SEXTARA_DEBUG("%s\n", line.c_str());
        if (log_) log_(line.c_str());
        return 0;
    }
    gpsPortOpen_ = 1;
    StartLocked();
    return 1;
}

void GpsPath::StartGpsPath() {
    std::lock_guard<std::mutex> control(controlMutex_);
    StartLocked();
}

void GpsPath::StartLocked() {
    gpsPort_.SetReceivedEvent(&arrivedEvent_);
    gpsPort_.StartThreads();
    try {
        if (!pumpThread_.joinable()) {
            pumpStopEvent_.Reset();
            pumpThread_ = std::thread([this] {
                platform::NameThisThread("gps pump");
                PumpLoop();
            });
        }
        if (!decodeThread_.joinable()) {
            decodeDataEvent_.Reset();
            decodeQuitEvent_.Reset();
            decodeThread_ = std::thread([this] {
                platform::NameThisThread("gps decoder");
                DecodeLoop();
            });
        }
    } catch (const std::system_error& error) {
        SEXTARA_DEBUG("GPS path thread not started: %s\n", error.what());
        if (log_) log_("GPS path thread not started");
    }
}

void GpsPath::CloseGpsPort() {
    std::lock_guard<std::mutex> control(controlMutex_);
    gpsPortOpen_ = 0;
    {
        std::lock_guard<std::mutex> hold(consoleLock_);
        consoleQueue_.clear();
    }
    gpsPort_.Stop();
    gpsPort_.SetReceivedEvent(nullptr);
    pumpStopEvent_.Set();
    if (pumpThread_.joinable()) pumpThread_.join();
    {
        std::lock_guard<std::mutex> hold(decodeLock_);
        decodeQueue_.clear();
    }
    decodeQuitEvent_.Set();
    if (decodeThread_.joinable()) decodeThread_.join();
    // The pump may have passed on a last batch between the first emptying
    // and its join; nothing of a closed session stays for the console.
    std::lock_guard<std::mutex> hold(consoleLock_);
    consoleQueue_.clear();
}

std::uint32_t GpsPath::ReadConsoleBytes(std::uint8_t* buffer, std::uint32_t maximum) {
    if (buffer == nullptr) return 0;
    std::lock_guard<std::mutex> hold(consoleLock_);
    return static_cast<std::uint32_t>(TakeFront(consoleQueue_, buffer, maximum));
}

void GpsPath::SetRecordHook(RecordHook hook) {
    std::lock_guard<std::mutex> hold(hookMutex_);
    recordHook_ = std::move(hook);
}

void GpsPath::SetTap(Tap* tap) {
    std::lock_guard<std::mutex> hold(tapMutex_);
    tap_ = tap;
}

void GpsPath::Distribute(const std::uint8_t* bytes, std::size_t count) {
    if (bytes == nullptr || count == 0) return;
    {
        std::lock_guard<std::mutex> hold(decodeLock_);
        decodeQueue_.insert(decodeQueue_.end(), bytes, bytes + count);
    }
    // Set after the bytes are queued, so the decoder thread cannot miss them.
    decodeDataEvent_.Set();
    {
        std::lock_guard<std::mutex> hold(consoleLock_);
        // Dropping as many blocks as needed (not just one) bounds the queue
        // even for batches larger than a block, which a serial line cannot
        // deliver in one pump period but a caller of Distribute could.
        while (consoleQueue_.size() > kConsoleLimit) {
            consoleQueue_.erase(consoleQueue_.begin(), consoleQueue_.begin() + kConsoleDrop);
        }
        consoleQueue_.insert(consoleQueue_.end(), bytes, bytes + count);
    }
    std::lock_guard<std::mutex> hold(tapMutex_);
    if (tap_ != nullptr) tap_->OnReceived(bytes, count);
}

void GpsPath::NotifyDecoded() {
    std::lock_guard<std::mutex> hold(tapMutex_);
    if (tap_ != nullptr) tap_->OnDecoded();
}

std::size_t GpsPath::QueuedDecodeBytes() const {
    std::lock_guard<std::mutex> hold(decodeLock_);
    return decodeQueue_.size();
}

std::size_t GpsPath::QueuedConsoleBytes() const {
    std::lock_guard<std::mutex> hold(consoleLock_);
    return consoleQueue_.size();
}

// A pass every period while bytes come; a line that has gone quiet costs no
// wake-ups: the pump then sleeps until the reader has queued bytes, and takes
// them at once, so they still reach the decoder within one period.
void GpsPath::PumpLoop() {
    std::array<std::uint8_t, kPumpChunk> batch{};
    do {
        // What the reader told of so far is taken by this read; bytes queued
        // after it tell of themselves again.
        arrivedEvent_.Reset();
        std::size_t count = gpsPort_.Read(batch.data(), kPumpChunk);
        if (count == 0) {
            if (platform::WaitAny(pumpStopEvent_, arrivedEvent_) == 0) return;
            count = gpsPort_.Read(batch.data(), kPumpChunk);
        }
        if (count == 0) continue;
        Distribute(batch.data(), count);
        std::lock_guard<std::mutex> hold(hookMutex_);
        if (recordHook_) recordHook_(batch.data(), count);
    } while (!clock_.SleepUnless(pumpStopEvent_, pumpPeriod_));
}

// Each wake-up drains the queue completely, chunk by chunk: a burst larger
// than one chunk is decoded at once instead of its tail waiting for the next
// bytes from the receiver.
void GpsPath::DecodeLoop() {
    std::array<std::uint8_t, kDecodeChunk> chunk{};
    while (platform::WaitAny(decodeDataEvent_, decodeQuitEvent_) == 0) {
        for (;;) {
            std::size_t count = 0;
            {
                std::lock_guard<std::mutex> hold(decodeLock_);
                count = TakeFront(decodeQueue_, chunk.data(), kDecodeChunk);
            }
            if (count == 0) break;
            decoder_.Feed(chunk.data(), static_cast<std::uint32_t>(count));
            NotifyDecoded();
        }
    }
}

}  // namespace sextara
