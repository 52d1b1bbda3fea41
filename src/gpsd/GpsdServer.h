#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "decode/GnssState.h"
#include "gpsd/EpochGate.h"
#include "gpsd/GpsdJson.h"
#include "gpsd/SentenceCutter.h"
#include "platform/LogFunction.h"

namespace sextara::gpsd {

struct ServerOptions {
    std::string listenAddress = "127.0.0.1";
    // 0 takes a free port (tests); Port() says which.
    int port = 2947;
    // Output waiting for one client. A client that stops reading is dropped
    // when its queue would pass this: about 20 s of every byte of a 115200
    // baud receiver, many minutes of reports.
    std::size_t clientQueueBytes = 256 * 1024;
    int maxClients = 32;
    platform::LogFunction log;
};

struct ServerStatus {
    int clients = 0;
    std::uint64_t drops = 0;  // clients dropped: stopped reading, junk, over the limit
};

// The gpsd-protocol server: one thread serves every client with
// non-blocking sockets, waiting in poll() on the listening socket, the
// clients and a wake-up descriptor. The receiver's side only hands it work
// through a bounded inbox (PostBytes on the pump thread, PostEpoch on the
// decoder thread) and never waits for a client; a client that cannot keep
// up costs only itself.
class Server {
public:
    // Bytes of the receiver waiting for the server thread; beyond it new
    // bytes are dropped and counted (the thread is stuck, not a client).
    static constexpr std::size_t kInboxBytes = 64 * 1024;
    static constexpr std::size_t kInboxEpochs = 8;
    static constexpr std::size_t kReadChunk = 4096;

    explicit Server(ServerOptions options);
    // Stop().
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Listens and starts the thread. Empty on success, else why not
    // ("cannot listen on 127.0.0.1:2947: Address already in use").
    std::string Start();
    // Closes every client and the listening socket; joins the thread.
    void Stop();
    // For the thread that starts and stops it.
    bool Running() const { return thread_.joinable(); }
    int Port() const { return boundPort_; }

    // Any thread; none of them blocks on a client.
    void PostBytes(const std::uint8_t* bytes, std::size_t count);
    void PostEpoch(const GnssState& snapshot, EpochGate::Decision decision);
    void SetDevice(const DeviceInfo& device);
    // True while some client watches sentences or bytes: the receiver's
    // bytes are worth posting only then.
    bool WantsBytes() const { return wantsBytes_.load(std::memory_order_relaxed); }
    ServerStatus Status() const;
    std::uint64_t InboxDrops() const { return inboxDrops_.load(); }

private:
    struct Client;
    struct Epoch {
        GnssState state;
        EpochGate::Decision decision;
    };
    struct Inbox {
        std::vector<std::uint8_t> bytes;
        std::deque<Epoch> epochs;
        std::unique_ptr<DeviceInfo> device;
    };

    void Wake();
    void Loop();
    void TakeInbox();
    void Publish(const Epoch& epoch);
    void Broadcast(const std::vector<std::uint8_t>& bytes);
    void Accept();
    void Serve(Client& client, short events);
    void Enqueue(Client& client, std::string_view text);
    void Flush(Client& client);
    void Drop(Client& client, const std::string& why);
    void Log(const std::string& line);
    void Sweep();

    const ServerOptions options_;
    int listenFd_ = -1;
    int wakeFd_ = -1;
    int boundPort_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};

    mutable std::mutex inboxMutex_;
    bool accepting_ = false;  // under inboxMutex_: Start succeeded, Stop not begun
    Inbox inbox_;
    std::atomic<std::uint64_t> inboxDrops_{0};

    // The server thread's own.
    std::vector<std::unique_ptr<Client>> clients_;
    DeviceInfo device_;
    SentenceCutter cutter_;
    std::string lastTpv_;
    std::string lastSky_;
    std::string lastTime_;

    std::atomic<bool> wantsBytes_{false};
    std::atomic<int> clientCount_{0};
    std::atomic<std::uint64_t> drops_{0};
};

}  // namespace sextara::gpsd
