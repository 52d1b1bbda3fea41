#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "decode/ByteSink.h"
#include "platform/Clock.h"
#include "platform/Event.h"
#include "platform/LogFunction.h"
#include "platform/SerialDevice.h"

namespace sextara {

// One serial port with queued writes and a reader thread; serves the GPS
// receiver, the raw-data port, the data output and the PORT correction
// client alike. Write only queues, so the window thread never touches the
// line; the writer thread sends. The reader thread moves every received byte
// into a queue that its user takes with Read.
//
// Open, SetBaud, Stop and Close are meant for one controlling thread at a
// time (they are serialised anyway); Write, Read and the queries may come
// from any thread.
class SerialPort : public ByteSink {
public:
    static constexpr int kInvalidHandle = -1;
    // Byte size in bits 0-7, parity in bits 8-15, stop bits in 16-23
    // (0 none and 0 one stop bit): 8N1.
    static constexpr std::uint32_t kLine8N1 = 8;

    // Event-log lines (a lost device, a failed write, dropped writes) go to
    // `log`; without one they are not kept. The reader's pause goes through
    // `clock`.
    explicit SerialPort(platform::LogFunction log = {}, platform::Clock& clock = platform::SystemClock());
    // Stops and joins both threads and closes the line.
    ~SerialPort() override;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // The line's descriptor, kInvalidHandle while closed or after the device
    // went away.
    virtual int GetHandle() const;
    // Applies the rate and the line settings, which are always raw 8N1
    // without flow control (the format argument is accepted, not used).
    // Returns the handle, or kInvalidHandle after closing the port.
    virtual int Configure(int portNumber, int baudRate, std::uint32_t lineFormat);
    // Queues the bytes for the writer thread and returns the length at once,
    // also while the port is closed: queued bytes go out with the first write
    // after the next Open. Past kTxQueueCap whole writes are dropped, oldest
    // first (a write larger than the cap is dropped itself), so a command or
    // a correction frame is sent whole or not at all.
    std::uint32_t Write(const std::uint8_t* bytes, std::uint32_t length) override;
    // Takes up to `maximum` received bytes, oldest first.
    virtual std::uint16_t Read(std::uint8_t* buffer, std::uint32_t maximum);
    // Final close: after it the port cannot be opened again.
    virtual void Close();
    // Stops and joins both threads and closes the line; the queues stay and
    // the port can be opened again.
    virtual void Stop();
    virtual void WriterLoop();
    virtual void ReaderLoop();
    // 1 on success; 0 when the rate cannot be set, and the port is then closed.
    virtual int SetBaud(int baudRate);
    // Opens "COMn:" (through the COM map of the platform layer) and sets the
    // line; 1 on success, 0 at once when the device is missing, in use or
    // not a serial line.
    virtual int Open(int portNumber, int baudRate);
    // 1 when both threads run; 0 when the port is not open.
    virtual int StartThreads();

    bool IsOpen() const;
    // False while closed; otherwise the number and rate last opened.
    bool GetPortParams(int& portNumber, int& baudRate) const;
    std::uint32_t GetBytesReceived() const;
    // Why the last Open or SetBaud failed, with the device: "/dev/ttyUSB0: no
    // such device", "/dev/ttyS2 at 1234 baud: baud rate not supported".
    std::string LastOpenError() const;

    // For the console and tests: how many bytes wait in each queue.
    std::size_t QueuedRxBytes() const;
    std::size_t QueuedTxBytes() const;
    // Writes, and their bytes, that txQueue discarded by its cap.
    std::uint64_t DroppedTxBytes() const;
    std::uint64_t DroppedTxWrites() const;
    // Received bytes discarded because nobody took them before the receive
    // queue passed kRxQueueLimit.
    std::uint64_t DroppedRxBytes() const { return droppedRxBytes_.load(); }
    // True from StartThreads until the reader thread has ended (on a stop or
    // when the device went away).
    bool ReaderRunning() const;
    // Set by the reader after each pass that queued bytes (null: none), so a
    // user of the bytes can sleep until there are some. The event must stay
    // until this is called again or the port is stopped.
    void SetReceivedEvent(platform::Event* event) { receivedEvent_ = event; }

    // One read call of the reader: the 512-byte driver buffers the port
    // asks for.
    static constexpr std::size_t kReadChunk = 512;
    // The reader's rest after each pass over the line: at most 20 wake-ups a
    // second, and at 230400 baud about 1.2 kB waiting in the driver, far
    // below what it holds (4 kB and more).
    static constexpr std::chrono::milliseconds kReadPause{50};
    // Beyond this the receive queue is emptied before the next append: the
    // user has stopped reading and only the newest bytes are worth keeping.
    static constexpr std::size_t kRxQueueLimit = 8192;
    // A port whose writer has died (or that stays closed) while a correction
    // stream keeps writing would otherwise grow without end; 64 KiB is far
    // more than any command set and some seconds of corrections.
    static constexpr std::size_t kTxQueueCap = 64 * 1024;

private:
    void StopLocked();
    // Appends `count` bytes of rxBuffer_ to the receive queue under its cap.
    void QueueReceived(std::size_t count);
    // "COM3 reader": the port's number beside the thread's role.
    void NameThread(const char* role) const;
    // One line to the event log.
    void LogLine(const char* format, ...) const __attribute__((format(printf, 2, 3)));
    // Logs the writes dropped since the last such line, if any.
    void LogDroppedBurst();

    const platform::LogFunction log_;
    platform::Clock& clock_;
    std::deque<std::uint8_t> rxQueue_;
    std::deque<std::uint8_t> txQueue_;
    // Length of each write in txQueue_, oldest first; they add up to its size.
    std::deque<std::uint32_t> txWrites_;
    std::uint8_t rxBuffer_[kReadChunk]{};
    platform::Event rxStopEvent_;
    platform::Event txStopEvent_;
    platform::Event txReadyEvent_;
    mutable std::mutex lock_;  // guards both queues, only while bytes move
    std::atomic<int> portNumber_{2};
    std::atomic<int> baudRate_{2};
    std::atomic<int> handle_{kInvalidHandle};
    std::thread readerThread_;
    std::thread writerThread_;
    std::atomic<std::uint32_t> bytesReceived_{0};

    platform::SerialDevice device_;
    // Serialises Open, Configure, SetBaud, StartThreads, Stop and Close;
    // recursive because Open configures through the virtual Configure.
    mutable std::recursive_mutex controlMutex_;
    std::atomic<bool> readerRunning_{false};
    std::atomic<platform::Event*> receivedEvent_{nullptr};
    std::atomic<std::uint64_t> droppedTxBytes_{0};
    std::atomic<std::uint64_t> droppedTxWrites_{0};
    std::atomic<std::uint64_t> droppedRxBytes_{0};
    // Drops not yet logged; guarded by lock_.
    std::uint64_t burstWrites_ = 0;
    std::uint64_t burstBytes_ = 0;
    std::string lastOpenError_;  // guarded by controlMutex_
    bool released_ = false;  // after Close
};

}  // namespace sextara
