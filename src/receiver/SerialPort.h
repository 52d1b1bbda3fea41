#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

#include "decode/ByteSink.h"
#include "platform/Event.h"
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

    SerialPort();
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
    // after the next Open.
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

    // For the console and tests: how many bytes wait in each queue.
    std::size_t QueuedRxBytes() const;
    std::size_t QueuedTxBytes() const;
    // Bytes of txQueue discarded by its cap.
    std::uint64_t DroppedTxBytes() const;
    // True from StartThreads until the reader thread has ended (on a stop or
    // when the device went away).
    bool ReaderRunning() const;

    // One read call of the reader: the 512-byte driver buffers the port
    // asks for.
    static constexpr std::size_t kReadChunk = 512;
    // Beyond this the receive queue is emptied before the next append: the
    // user has stopped reading and only the newest bytes are worth keeping.
    static constexpr std::size_t kRxQueueLimit = 8192;
    // A port whose writer has died (or that stays closed) while a correction
    // stream keeps writing would otherwise grow without end; 64 KiB is far
    // more than any command set and some seconds of corrections.
    static constexpr std::size_t kTxQueueCap = 64 * 1024;

private:
    void StopLocked();
    // One line to the event log.
    static void LogLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

    std::deque<std::uint8_t> rxQueue_;
    std::deque<std::uint8_t> txQueue_;
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
    std::recursive_mutex controlMutex_;
    std::atomic<bool> readerRunning_{false};
    std::atomic<std::uint64_t> droppedTxBytes_{0};
    bool released_ = false;  // after Close
};

}  // namespace sextara
