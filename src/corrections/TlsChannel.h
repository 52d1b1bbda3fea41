#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "corrections/LinkSocket.h"

// OpenSSL's types, kept out of every includer.
struct ssl_ctx_st;
struct ssl_st;

namespace sextara::corrections {

// TLS over a connected LinkSocket: the caster's certificate is checked
// against the system's trusted certificates (or one PEM file of a private
// CA) and against the host name or address typed, with the name sent as SNI.
// A failure never falls back to plain text: the caller gets the reason and
// decides. Used by the one thread that holds the connection; a stop reaches
// it through the socket's Interrupt.
class TlsChannel {
public:
    enum class Handshake { Ok, Failed, CertificateRefused, Interrupted };

    TlsChannel() = default;
    ~TlsChannel();
    TlsChannel(const TlsChannel&) = delete;
    TlsChannel& operator=(const TlsChannel&) = delete;

    // reason holds the words of a failure ("certificate has expired").
    Handshake Start(LinkSocket& socket, std::string_view host, const std::string& caFile,
                    std::chrono::milliseconds timeout, std::string& reason);
    // As LinkSocket::Receive; a protocol error gives Io::Error with reason.
    LinkSocket::Io Read(LinkSocket& socket, std::uint8_t* buffer, std::size_t room, std::chrono::milliseconds timeout,
                        std::size_t& got, std::string& reason);
    bool Write(LinkSocket& socket, std::string_view bytes, std::chrono::milliseconds timeout);
    // Forgets the session; before the socket closes.
    void Reset();
    bool Active() const { return ssl_ != nullptr; }

private:
    // Waits for what OpenSSL asked for; false when the wait did not end ready.
    static LinkSocket::Io WaitFor(LinkSocket& socket, int sslError, std::chrono::milliseconds timeout);

    ssl_ctx_st* context_ = nullptr;
    ssl_st* ssl_ = nullptr;
};

}  // namespace sextara::corrections
