#include "gpsd/GpsdServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

#include "gpsd/ClientSession.h"
#include "platform/Debug.h"
#include "platform/ThreadName.h"

namespace sextara::gpsd {
namespace {

// The event log gets a line for each of the first drops; a client that
// reconnects and misbehaves in a loop must not fill a small board's card.
constexpr std::uint64_t kLoggedDrops = 20;

std::string PeerName(const sockaddr_storage& address) {
    char host[INET6_ADDRSTRLEN] = "?";
    int port = 0;
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        ::inet_ntop(AF_INET, &v4.sin_addr, host, sizeof host);
        port = ntohs(v4.sin_port);
        return std::string(host) + ":" + std::to_string(port);
    }
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
    ::inet_ntop(AF_INET6, &v6.sin6_addr, host, sizeof host);
    port = ntohs(v6.sin6_port);
    return "[" + std::string(host) + "]:" + std::to_string(port);
}

// A listening socket on the address and port; -1 with `why` on failure.
int Listen(const std::string& address, int port, int& boundPort, std::string& why) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const std::string shown = address + ":" + service;
    if (const int error = ::getaddrinfo(address.c_str(), service.c_str(), &hints, &found); error != 0) {
        why = "cannot listen on " + shown + ": " + ::gai_strerror(error);
        return -1;
    }
    int fd = -1;
    for (addrinfo* a = found; a != nullptr && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (a->ai_family == AF_INET6) ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, 16) != 0) {
            why = "cannot listen on " + shown + ": " + std::strerror(errno);
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    if (fd < 0) return -1;
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    boundPort = ntohs(bound.ss_family == AF_INET ? reinterpret_cast<sockaddr_in&>(bound).sin_port
                                                 : reinterpret_cast<sockaddr_in6&>(bound).sin6_port);
    return fd;
}

}  // namespace

struct Server::Client {
    int fd = -1;
    std::string name;
    ClientSession session;
    std::string out;
    std::size_t sent = 0;  // bytes of `out` already written
    bool closed = false;
};

Server::Server(ServerOptions options) : options_(std::move(options)) {}

Server::~Server() { Stop(); }

std::string Server::Start() {
    if (Running()) return {};
    std::string why;
    listenFd_ = Listen(options_.listenAddress, options_.port, boundPort_, why);
    if (listenFd_ < 0) return why;
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) {
        ::close(listenFd_);
        listenFd_ = -1;
        return std::string("no wake-up descriptor: ") + std::strerror(errno);
    }
    stop_ = false;
    try {
        thread_ = std::thread([this] {
            platform::NameThisThread("gpsd server");
            Loop();
        });
        std::lock_guard<std::mutex> hold(inboxMutex_);
        accepting_ = true;
    } catch (const std::system_error& error) {
        ::close(listenFd_);
        ::close(wakeFd_);
        listenFd_ = wakeFd_ = -1;
        return std::string("server thread not started: ") + error.what();
    }
    return {};
}

void Server::Stop() {
    if (!thread_.joinable()) return;
    {
        // Under the lock: no post is then between its check and its wake-up,
        // so none writes to the wake-up descriptor once it is closed.
        std::lock_guard<std::mutex> hold(inboxMutex_);
        accepting_ = false;
        stop_ = true;
        Wake();
    }
    thread_.join();
    for (auto& client : clients_) ::close(client->fd);
    clients_.clear();
    clientCount_ = 0;
    wantsBytes_ = false;
    ::close(listenFd_);
    ::close(wakeFd_);
    listenFd_ = wakeFd_ = -1;
}

void Server::Wake() {
    const std::uint64_t one = 1;
    // Only a full counter fails, and that wakes the thread as well.
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

void Server::PostBytes(const std::uint8_t* bytes, std::size_t count) {
    if (count == 0) return;
    std::lock_guard<std::mutex> hold(inboxMutex_);
    if (!accepting_) return;
    if (inbox_.bytes.size() + count > kInboxBytes) {
        inboxDrops_ += count;
        return;
    }
    inbox_.bytes.insert(inbox_.bytes.end(), bytes, bytes + count);
    Wake();
}

void Server::PostEpoch(const GnssState& snapshot, EpochGate::Decision decision) {
    std::lock_guard<std::mutex> hold(inboxMutex_);
    if (!accepting_) return;
    if (inbox_.epochs.size() >= kInboxEpochs) inbox_.epochs.pop_front();
    inbox_.epochs.push_back({snapshot, decision});
    Wake();
}

void Server::SetDevice(const DeviceInfo& device) {
    std::lock_guard<std::mutex> hold(inboxMutex_);
    inbox_.device = std::make_unique<DeviceInfo>(device);
    if (accepting_) Wake();
}

ServerStatus Server::Status() const { return {clientCount_.load(), drops_.load()}; }

void Server::Loop() {
    TakeInbox();  // what was set before the start (the device)
    std::vector<pollfd> fds;
    while (!stop_.load()) {
        fds.clear();
        fds.push_back({wakeFd_, POLLIN, 0});
        fds.push_back({listenFd_, POLLIN, 0});
        for (const auto& c : clients_) {
            fds.push_back({c->fd, static_cast<short>(POLLIN | (c->out.size() > c->sent ? POLLOUT : 0)), 0});
        }
        if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) {
            SEXTARA_DEBUG("gpsd server poll: %s\n", std::strerror(errno));
            break;
        }
        if (stop_.load()) break;
        // Clients first: the indexes of fds match clients_ only until
        // Accept or TakeInbox change what is served.
        for (std::size_t i = 2; i < fds.size(); ++i) {
            if (fds[i].revents != 0) Serve(*clients_[i - 2], fds[i].revents);
        }
        if (fds[0].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);
            TakeInbox();
        }
        if (fds[1].revents & POLLIN) Accept();
        Sweep();
    }
}

void Server::TakeInbox() {
    Inbox taken;
    {
        std::lock_guard<std::mutex> hold(inboxMutex_);
        std::swap(taken, inbox_);
    }
    if (taken.device) device_ = *taken.device;
    if (!taken.bytes.empty()) Broadcast(taken.bytes);
    for (const Epoch& epoch : taken.epochs) Publish(epoch);
}

void Server::Publish(const Epoch& epoch) {
    std::string tpv;
    std::string sky;
    if (epoch.decision.tpv) {
        lastTpv_ = TpvJson(epoch.state, device_);
        lastTime_ = IsoTime(epoch.state);
        tpv = lastTpv_ + "\r\n";
    }
    if (epoch.decision.sky) {
        lastSky_ = SkyJson(epoch.state, device_);
        sky = lastSky_ + "\r\n";
    }
    for (auto& c : clients_) {
        if (c->closed || !c->session.Policy().WantsReports()) continue;
        Enqueue(*c, tpv + sky);
    }
}

void Server::Broadcast(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::string> sentences;
    cutter_.Feed(bytes.data(), bytes.size(), sentences);
    std::string text;
    for (const std::string& s : sentences) text += s;
    const std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    for (auto& c : clients_) {
        if (c->closed) continue;
        const WatchPolicy& policy = c->session.Policy();
        if (policy.WantsBytes()) {
            Enqueue(*c, raw);
        } else if (policy.WantsSentences() && !text.empty()) {
            Enqueue(*c, text);
        }
    }
}

void Server::Accept() {
    for (;;) {
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;  // EAGAIN: all taken; anything else: the peer is gone already
        auto client = std::make_unique<Client>();
        client->fd = fd;
        client->name = PeerName(peer);
        clients_.push_back(std::move(client));
        Client& added = *clients_.back();
        if (static_cast<int>(clients_.size()) > options_.maxClients) {
            Drop(added, "more than " + std::to_string(options_.maxClients) + " clients");
            continue;
        }
        Enqueue(added, VersionJson() + "\r\n");
    }
}

void Server::Serve(Client& client, short events) {
    if (client.closed) return;
    if (events & POLLIN) {
        std::uint8_t buffer[kReadChunk];
        const ssize_t n = ::recv(client.fd, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            client.closed = true;  // gone: not a drop
            return;
        }
        if (n > 0) {
            const ServerView view{device_, lastTpv_, lastSky_, lastTime_};
            ClientSession::Answer answer = client.session.OnInput(buffer, static_cast<std::size_t>(n), view);
            if (!answer.lines.empty()) Enqueue(client, answer.lines);
            if (answer.drop) Drop(client, answer.why);
        }
    } else if (events & (POLLHUP | POLLERR | POLLNVAL)) {
        client.closed = true;
        return;
    }
    if (events & POLLOUT) Flush(client);
}

void Server::Enqueue(Client& client, std::string_view text) {
    if (client.closed || text.empty()) return;
    if (client.out.size() - client.sent + text.size() > options_.clientQueueBytes) {
        Drop(client, "stopped reading (" + std::to_string(options_.clientQueueBytes) + " bytes waiting)");
        return;
    }
    client.out.append(text);
    Flush(client);
}

void Server::Flush(Client& client) {
    while (!client.closed && client.sent < client.out.size()) {
        const ssize_t n = ::send(client.fd, client.out.data() + client.sent, client.out.size() - client.sent,
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno != EAGAIN && errno != EINTR) client.closed = true;
            if (errno != EINTR) break;
            continue;
        }
        client.sent += static_cast<std::size_t>(n);
    }
    if (client.sent == client.out.size()) {
        client.out.clear();
        client.sent = 0;
    } else if (client.sent > options_.clientQueueBytes / 2) {
        client.out.erase(0, client.sent);
        client.sent = 0;
    }
}

void Server::Drop(Client& client, const std::string& why) {
    if (client.closed) return;
    client.closed = true;
    const std::uint64_t count = ++drops_;
    if (count <= kLoggedDrops) {
        Log("gpsd client " + client.name + " dropped: " + why);
    } else if (count == kLoggedDrops + 1) {
        Log("gpsd clients dropped from now on are only counted");
    }
}

void Server::Log(const std::string& line) {
    SEXTARA_DEBUG("%s\n", line.c_str());
    if (options_.log) options_.log(line.c_str());
}

void Server::Sweep() {
    bool following = false;
    for (auto it = clients_.begin(); it != clients_.end();) {
        if ((*it)->closed) {
            ::close((*it)->fd);
            it = clients_.erase(it);
            continue;
        }
        const WatchPolicy& policy = (*it)->session.Policy();
        following = following || policy.WantsBytes() || policy.WantsSentences();
        ++it;
    }
    // A sentence half seen before anyone followed the stream is not whole.
    if (following && !wantsBytes_.load()) cutter_.Reset();
    wantsBytes_ = following;
    clientCount_ = static_cast<int>(clients_.size());
}

}  // namespace sextara::gpsd
