#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "decode/GnssDecoder.h"
#include "platform/Clock.h"
#include "platform/Event.h"
#include "platform/LogFunction.h"
#include "receiver/SerialPort.h"

namespace sextara {

// The GPS data path: the receiver's port with its reader and writer, a pump
// thread that moves received bytes into the decoder queue and the console
// queue, and the decoder thread that hands them to the active decoder (the
// only writer of the GNSS state). The application context owns one; the
// port and the decoder host must outlive it.
class GpsPath {
public:
    // Called on the pump thread with every batch of received bytes, for the
    // normal-data record file. It runs under a lock that SetRecordHook also
    // takes, so once SetRecordHook(nullptr) returns the old hook is done and
    // its file may be closed.
    using RecordHook = std::function<void(const std::uint8_t* bytes, std::size_t count)>;

    // Watches the path for an outside consumer (the gpsd-protocol server):
    // every batch of received bytes on the pump thread, and the end of each
    // decoded chunk on the decoder thread. Both calls must return at once:
    // the path's threads never wait for a consumer.
    class Tap {
    public:
        virtual ~Tap() = default;
        virtual void OnReceived(const std::uint8_t* bytes, std::size_t count) = 0;
        virtual void OnDecoded() = 0;
    };

    static constexpr std::chrono::milliseconds kPumpPeriod{100};
    // Bytes the pump takes from the port per pass: 6144 per 100 ms is more
    // than twice what 230400 baud delivers.
    static constexpr std::size_t kPumpChunk = 6144;
    // Bytes per decoder Input call, the most any decoder is handed at once.
    static constexpr std::size_t kDecodeChunk = 2048;
    // The console queue keeps its newest bytes: beyond the limit the oldest
    // kConsoleDrop go before the next append.
    static constexpr std::size_t kConsoleLimit = 8192;
    static constexpr std::size_t kConsoleDrop = 4096;

    // The pump period is a parameter so that tests run the path fast; its
    // rest goes through `clock`. Event-log lines go to `log`; without one
    // they are not kept.
    GpsPath(SerialPort& gpsPort, DecoderHost& decoder, std::chrono::milliseconds pumpPeriod = kPumpPeriod,
            platform::LogFunction log = {}, platform::Clock& clock = platform::SystemClock());
    // Closes the path (joins every thread).
    ~GpsPath();
    GpsPath(const GpsPath&) = delete;
    GpsPath& operator=(const GpsPath&) = delete;

    // Records the port number and rate (GpsPortNumber, GpsBaud, for the
    // settings), opens the port and starts the path: 1. On failure logs
    // "Can't Open GPS Port!" with the reason the device gave and returns 0 at
    // once, without threads.
    int OpenGpsPort(int portNumber, int baudRate);
    // Starts the port's threads, the pump and the decoder thread; threads
    // that already run are kept.
    void StartGpsPath();
    // Stops the path: the flag, the console queue, the port, the pump, the
    // decoder queue, the decoder thread, in that order, each thread joined.
    // Closing the record file and stopping the data port are the caller's.
    void CloseGpsPort();

    // For the port setup console: takes up to `maximum` bytes, oldest first.
    std::uint32_t ReadConsoleBytes(std::uint8_t* buffer, std::uint32_t maximum);
    // 1 while the path runs, 0 otherwise.
    std::int32_t GpsPortOpen() const { return gpsPortOpen_.load(); }
    // True while the path runs on a device that has gone away (a USB
    // receiver pulled out, a pty whose far end closed): the port's reader
    // has ended and nothing more arrives until the path is opened again.
    bool DeviceLost() const { return gpsPortOpen_.load() != 0 && !gpsPort_.IsOpen(); }
    // The values of the last OpenGpsPort call, successful or not.
    int GpsPortNumber() const { return gpsPortNumber_.load(); }
    int GpsBaud() const { return gpsBaud_.load(); }
    SerialPort& Port() { return gpsPort_; }

    void SetRecordHook(RecordHook hook);
    // Null removes it. Like SetRecordHook, it returns once no call into the
    // old tap runs, so the tap may be destroyed then.
    void SetTap(Tap* tap);

    // One pump step: queues the bytes for the decoder thread, wakes it,
    // appends them to the console queue under its cap and shows them to the tap.
    void Distribute(const std::uint8_t* bytes, std::size_t count);

    std::size_t QueuedDecodeBytes() const;
    std::size_t QueuedConsoleBytes() const;

private:
    void StartLocked();
    void PumpLoop();
    void DecodeLoop();
    void NotifyDecoded();

    SerialPort& gpsPort_;
    DecoderHost& decoder_;
    const std::chrono::milliseconds pumpPeriod_;
    const platform::LogFunction log_;
    platform::Clock& clock_;

    std::deque<std::uint8_t> decodeQueue_;
    mutable std::mutex decodeLock_;
    std::deque<std::uint8_t> consoleQueue_;
    mutable std::mutex consoleLock_;
    std::atomic<std::int32_t> gpsPortOpen_{0};
    std::atomic<int> gpsPortNumber_{0};
    std::atomic<int> gpsBaud_{0};

    platform::Event pumpStopEvent_;
    // Set by the port's reader after each pass that queued bytes.
    platform::Event arrivedEvent_;
    std::thread pumpThread_;
    platform::Event decodeDataEvent_;
    platform::Event decodeQuitEvent_;
    std::thread decodeThread_;

    std::mutex hookMutex_;
    RecordHook recordHook_;
    std::mutex tapMutex_;
    Tap* tap_ = nullptr;

    std::mutex controlMutex_;  // serialises open, start and close
};

}  // namespace sextara
