#include "corrections/TlsChannel.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>

#include <cerrno>

#include "corrections/CasterAddress.h"

namespace sextara::corrections {
namespace {

using Clock = std::chrono::steady_clock;

// The newest error OpenSSL queued on this thread, in its own words.
std::string OpenSslReason(const char* fallback) {
    unsigned long last = 0;
    while (const unsigned long e = ::ERR_get_error()) last = e;
    const char* text = last != 0 ? ::ERR_reason_error_string(last) : nullptr;
    return text != nullptr ? text : fallback;
}

std::chrono::milliseconds Left(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? left : std::chrono::milliseconds(0);
}

// Trust and host check on a new session: the name is sent as SNI (never an
// address, which SNI does not carry) and must match the certificate.
bool Configure(ssl_st* ssl, const std::string& host) {
    if (IsAddressLiteral(host)) {
        return ::X509_VERIFY_PARAM_set1_ip_asc(::SSL_get0_param(ssl), host.c_str()) == 1;
    }
    return ::SSL_set_tlsext_host_name(ssl, host.c_str()) == 1 && ::SSL_set1_host(ssl, host.c_str()) == 1;
}

}  // namespace

TlsChannel::~TlsChannel() {
    Reset();
}

void TlsChannel::Reset() {
    if (ssl_ != nullptr) ::SSL_free(ssl_);
    if (context_ != nullptr) ::SSL_CTX_free(context_);
    ssl_ = nullptr;
    context_ = nullptr;
}

LinkSocket::Io TlsChannel::WaitFor(LinkSocket& socket, int sslError, std::chrono::milliseconds timeout) {
    return socket.Wait(sslError == SSL_ERROR_WANT_WRITE ? POLLOUT : POLLIN, timeout);
}

TlsChannel::Handshake TlsChannel::Start(LinkSocket& socket, std::string_view host, const std::string& caFile,
                                        std::chrono::milliseconds timeout, std::string& reason) {
    Reset();
    ::ERR_clear_error();
    context_ = ::SSL_CTX_new(::TLS_client_method());
    if (context_ == nullptr) {
        reason = OpenSslReason("no TLS context");
        return Handshake::Failed;
    }
    ::SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
    ::SSL_CTX_set_verify(context_, SSL_VERIFY_PEER, nullptr);
    // A caster that closes without close_notify has still ended its stream.
    ::SSL_CTX_set_options(context_, SSL_OP_IGNORE_UNEXPECTED_EOF);
    const bool trusted = caFile.empty() ? ::SSL_CTX_set_default_verify_paths(context_) == 1
                                        : ::SSL_CTX_load_verify_locations(context_, caFile.c_str(), nullptr) == 1;
    if (!trusted) {
        reason = "CA file " + caFile + " not loaded: " + OpenSslReason("unreadable");
        return Handshake::CertificateRefused;
    }
    const std::string name(BareHost(host));
    ssl_ = ::SSL_new(context_);
    if (ssl_ == nullptr || !Configure(ssl_, name) || ::SSL_set_fd(ssl_, socket.Descriptor()) != 1) {
        reason = OpenSslReason("TLS set-up failed");
        return Handshake::Failed;
    }
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        ::ERR_clear_error();
        const int result = ::SSL_connect(ssl_);
        if (result == 1) return Handshake::Ok;
        const int error = ::SSL_get_error(ssl_, result);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
            const LinkSocket::Io ready = WaitFor(socket, error, Left(deadline));
            if (ready == LinkSocket::Io::Data) continue;
            if (ready == LinkSocket::Io::Interrupted) return Handshake::Interrupted;
            reason = "no answer";
            return Handshake::Failed;
        }
        if (socket.Interrupted()) return Handshake::Interrupted;
        const long verified = ::SSL_get_verify_result(ssl_);
        if (verified != X509_V_OK) {
            reason = ::X509_verify_cert_error_string(verified);
            return Handshake::CertificateRefused;
        }
        if (error == SSL_ERROR_SYSCALL && ::ERR_peek_error() == 0) {
            reason = errno != 0 ? SocketErrorText(errno) : "the caster closed the connection";
        } else {
            reason = OpenSslReason("refused");
        }
        return Handshake::Failed;
    }
}

LinkSocket::Io TlsChannel::Read(LinkSocket& socket, std::uint8_t* buffer, std::size_t room,
                                std::chrono::milliseconds timeout, std::size_t& got, std::string& reason) {
    got = 0;
    bool waited = false;
    for (;;) {
        if (socket.Interrupted()) return LinkSocket::Io::Interrupted;
        ::ERR_clear_error();
        const int count = ::SSL_read(ssl_, buffer, static_cast<int>(room));
        if (count > 0) {
            got = static_cast<std::size_t>(count);
            return LinkSocket::Io::Data;
        }
        const int error = ::SSL_get_error(ssl_, count);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
            // Records already decrypted were taken above; only then is the socket waited on.
            if (waited) return LinkSocket::Io::TimedOut;
            const LinkSocket::Io ready = WaitFor(socket, error, timeout);
            if (ready != LinkSocket::Io::Data) return ready;
            waited = true;
            continue;
        }
        if (socket.Interrupted()) return LinkSocket::Io::Interrupted;
        if (error == SSL_ERROR_ZERO_RETURN) return LinkSocket::Io::Closed;
        if (error == SSL_ERROR_SYSCALL && ::ERR_peek_error() == 0) {
            if (errno == 0) return LinkSocket::Io::Closed;
            reason = SocketErrorText(errno);
            return LinkSocket::Io::Error;
        }
        reason = "TLS error: " + OpenSslReason("broken record");
        return LinkSocket::Io::Error;
    }
}

bool TlsChannel::Write(LinkSocket& socket, std::string_view bytes, std::chrono::milliseconds timeout) {
    while (!bytes.empty()) {
        ::ERR_clear_error();
        const int sent = ::SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size()));
        if (sent > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        const int error = ::SSL_get_error(ssl_, sent);
        if ((error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) ||
            WaitFor(socket, error, timeout) != LinkSocket::Io::Data) {
            return false;
        }
    }
    return true;
}

}  // namespace sextara::corrections
