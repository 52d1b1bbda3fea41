#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "corrections/CasterAddress.h"
#include "corrections/LinkSocket.h"
#include "corrections/TlsChannel.h"

namespace sextara::corrections {

// Where a session goes.
struct SessionTarget {
    std::string host;  // as typed: a name, a dotted IPv4, an IPv6 literal with or without brackets
    std::uint16_t port = 0;
    bool useTls = false;
    std::string caFile;  // PEM; empty: the system's trusted certificates
};

// One connection to a caster or TCP server: the address resolved, each of its
// addresses tried in turn, TLS on top when asked, then bytes both ways.
// Used by the job's thread alone, except Interrupt, which any thread may call
// to end a wait, a connect or a handshake at once.
class CasterSession {
public:
    using Io = LinkSocket::Io;
    enum class Opened { Ok, NotResolved, ConnectFailed, TlsFailed, TlsRefused, Interrupted };

    // Per address; a caster that does not answer in this time is taken as down.
    static constexpr std::chrono::milliseconds kConnectTimeout{10000};
    static constexpr std::chrono::milliseconds kHandshakeTimeout{20000};
    static constexpr std::chrono::milliseconds kSendTimeout{10000};

    // Called for the log: before an address is tried, and when it failed
    // (with errno).
    struct AddressNotes {
        std::function<void(const CasterEndpoint&)> trying;
        std::function<void(const CasterEndpoint&, int error)> failed;
    };

    Opened Open(const SessionTarget& target, const AddressNotes& notes = {});
    // Why Open or the last Receive failed, in words ("connection refused").
    const std::string& FailureText() const { return failure_; }
    // The errno behind it, 0 when there is none.
    int FailureCode() const { return failureCode_; }

    bool Send(std::string_view bytes);
    // As LinkSocket::Receive, through TLS when it is on.
    Io Receive(std::uint8_t* buffer, std::size_t room, std::chrono::milliseconds timeout, std::size_t& got);

    void Close();
    bool IsOpen() const { return socket_.IsOpen(); }
    void Interrupt() { socket_.Interrupt(); }
    bool Interrupted() const { return socket_.Interrupted(); }

private:
    Opened Fail(Opened kind, std::string text, int code);
    bool ConnectTo(const CasterEndpoint& endpoint, const AddressNotes& notes);

    LinkSocket socket_;
    TlsChannel tls_;
    std::string failure_;
    int failureCode_ = 0;
};

}  // namespace sextara::corrections
