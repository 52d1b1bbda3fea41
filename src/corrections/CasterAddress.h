#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sextara::corrections {

// One address a caster can be reached at.
struct CasterEndpoint {
    sockaddr_storage address{};
    socklen_t length = 0;
    int family = AF_UNSPEC;
    std::string text;  // numeric, without brackets: "127.0.0.1", "::1"
};

// The caster address as typed, without the brackets an IPv6 literal may
// carry ("[::1]" and "::1" are the same caster).
std::string_view BareHost(std::string_view host);
// True for a dotted IPv4 or an IPv6 literal: used as it is, never resolved.
bool IsAddressLiteral(std::string_view host);
// The name for the Host header: an IPv6 literal goes in brackets there.
std::string HostHeaderName(std::string_view host);

// Every address of the caster, in the resolver's order (IPv6 and IPv4 alike):
// a literal directly, a name through the resolver. Empty, with the reason in
// words, when there is none.
std::vector<CasterEndpoint> ResolveCaster(std::string_view host, std::uint16_t port, std::string& reason);

// A socket error in the words a field user reads ("connection reset by the
// caster"), for the status line and the log.
std::string SocketErrorText(int error);

}  // namespace sextara::corrections
