#include "corrections/CasterSession.h"

#include <cerrno>

namespace sextara::corrections {

CasterSession::Opened CasterSession::Fail(Opened kind, std::string text, int code) {
    failure_ = std::move(text);
    failureCode_ = code;
    Close();
    return kind;
}

bool CasterSession::ConnectTo(const CasterEndpoint& endpoint, const AddressNotes& notes) {
    if (notes.trying) notes.trying(endpoint);
    int error = 0;
    if (!socket_.Open(endpoint.family)) {
        error = errno;
    } else {
        const Io io = socket_.Connect(reinterpret_cast<const sockaddr*>(&endpoint.address), endpoint.length,
                                      kConnectTimeout, error);
        if (io == Io::Data) return true;
        if (io == Io::Interrupted) return false;
    }
    failure_ = SocketErrorText(error);
    failureCode_ = error;
    if (notes.failed) notes.failed(endpoint, error);
    socket_.Close();
    return false;
}

CasterSession::Opened CasterSession::Open(const SessionTarget& target, const AddressNotes& notes) {
    Close();
    failure_.clear();
    failureCode_ = 0;
    std::string reason;
    const auto endpoints = ResolveCaster(target.host, target.port, reason);
    if (endpoints.empty()) return Fail(Opened::NotResolved, "name not resolved: " + reason, 0);
    bool connected = false;
    for (const CasterEndpoint& endpoint : endpoints) {
        if (socket_.Interrupted()) break;
        connected = ConnectTo(endpoint, notes);
        if (connected) break;
    }
    if (socket_.Interrupted()) return Fail(Opened::Interrupted, "stopped", 0);
    if (!connected) return Fail(Opened::ConnectFailed, failure_, failureCode_);
    if (!target.useTls) return Opened::Ok;
    switch (tls_.Start(socket_, target.host, target.caFile, kHandshakeTimeout, reason)) {
        case TlsChannel::Handshake::Ok: return Opened::Ok;
        case TlsChannel::Handshake::Interrupted: return Fail(Opened::Interrupted, "stopped", 0);
        case TlsChannel::Handshake::CertificateRefused:
            return Fail(Opened::TlsRefused, "TLS handshake failed: " + reason, 0);
        case TlsChannel::Handshake::Failed: break;
    }
    return Fail(Opened::TlsFailed, "TLS handshake failed: " + reason, 0);
}

bool CasterSession::Send(std::string_view bytes) {
    errno = 0;
    const bool sent = tls_.Active() ? tls_.Write(socket_, bytes, kSendTimeout) : socket_.SendAll(bytes, kSendTimeout);
    if (!sent) {
        failureCode_ = errno != 0 ? errno : EPIPE;
        failure_ = SocketErrorText(failureCode_);
    }
    return sent;
}

CasterSession::Io CasterSession::Receive(std::uint8_t* buffer, std::size_t room, std::chrono::milliseconds timeout,
                                         std::size_t& got) {
    failure_.clear();
    failureCode_ = 0;
    if (tls_.Active()) {
        const Io io = tls_.Read(socket_, buffer, room, timeout, got, failure_);
        if (io == Io::Error) failureCode_ = EPROTO;
        return io;
    }
    int error = 0;
    const Io io = socket_.Receive(buffer, room, timeout, got, error);
    if (io == Io::Error) {
        failureCode_ = error;
        failure_ = SocketErrorText(error);
    }
    return io;
}

void CasterSession::Close() {
    tls_.Reset();
    socket_.Close();
}

}  // namespace sextara::corrections
