#include "corrections/CasterAddress.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace sextara::corrections {
namespace {

CasterEndpoint EndpointOf(const sockaddr* address, socklen_t length) {
    CasterEndpoint endpoint;
    std::memcpy(&endpoint.address, address, length);
    endpoint.length = length;
    endpoint.family = address->sa_family;
    char text[INET6_ADDRSTRLEN] = {};
    const void* raw = address->sa_family == AF_INET6
                          ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr)
                          : static_cast<const void*>(&reinterpret_cast<const sockaddr_in*>(address)->sin_addr);
    ::inet_ntop(address->sa_family, raw, text, sizeof text);
    endpoint.text = text;
    return endpoint;
}

std::string ErrnoText(int error) {
    char buffer[128];
    // The GNU form: the text may or may not be the buffer.
    return ::strerror_r(error, buffer, sizeof buffer);
}

}  // namespace

std::string_view BareHost(std::string_view host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') return host.substr(1, host.size() - 2);
    return host;
}

bool IsAddressLiteral(std::string_view host) {
    const std::string bare(BareHost(host));
    in6_addr scratch{};
    return ::inet_pton(AF_INET, bare.c_str(), &scratch) == 1 || ::inet_pton(AF_INET6, bare.c_str(), &scratch) == 1;
}

std::string HostHeaderName(std::string_view host) {
    const std::string bare(BareHost(host));
    in6_addr scratch{};
    if (::inet_pton(AF_INET6, bare.c_str(), &scratch) == 1) return "[" + bare + "]";
    return bare;
}

namespace {

bool IsInvalidTld(std::string_view name) {
    if (!name.empty() && name.back() == '.') name.remove_suffix(1);
    constexpr std::string_view kTld = "invalid";
    if (name.size() < kTld.size()) return false;
    const std::string_view tail = name.substr(name.size() - kTld.size());
    const bool same = std::equal(tail.begin(), tail.end(), kTld.begin(),
                                 [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
    return same && (name.size() == kTld.size() || name[name.size() - kTld.size() - 1] == '.');
}

}  // namespace

std::vector<CasterEndpoint> ResolveCaster(std::string_view host, std::uint16_t port, std::string& reason) {
    std::vector<CasterEndpoint> endpoints;
    const std::string bare(BareHost(host));
    if (bare.empty() || bare.find('\0') != std::string::npos) {
        reason = "no caster address";
        return endpoints;
    }
    // "invalid" names never exist (RFC 6761); asking the resolver would only
    // send a query off the machine for an answer known beforehand.
    if (IsInvalidTld(bare)) {
        reason = ::gai_strerror(EAI_NONAME);
        return endpoints;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    // A literal is taken as it is; a name goes to the resolver.
    hints.ai_flags = IsAddressLiteral(bare) ? AI_NUMERICHOST : 0;
    addrinfo* results = nullptr;
    const int status = ::getaddrinfo(bare.c_str(), std::to_string(port).c_str(), &hints, &results);
    if (status != 0) {
        reason = status == EAI_SYSTEM ? ErrnoText(errno) : ::gai_strerror(status);
        return endpoints;
    }
    for (const addrinfo* entry = results; entry != nullptr; entry = entry->ai_next) {
        if ((entry->ai_family == AF_INET || entry->ai_family == AF_INET6) &&
            entry->ai_addrlen <= sizeof(sockaddr_storage)) {
            endpoints.push_back(EndpointOf(entry->ai_addr, entry->ai_addrlen));
        }
    }
    ::freeaddrinfo(results);
    if (endpoints.empty()) reason = "no IPv4 or IPv6 address";
    return endpoints;
}

std::string SocketErrorText(int error) {
    switch (error) {
        case ECONNRESET: return "connection reset by the caster";
        case ECONNREFUSED: return "connection refused";
        case ECONNABORTED: return "connection aborted";
        case EPIPE: return "connection closed by the caster";
        case ETIMEDOUT: return "timed out";
        case EHOSTUNREACH: return "host unreachable";
        case ENETUNREACH: return "network unreachable";
        case ENETDOWN: return "network down";
        case EADDRNOTAVAIL: return "address not available";
        case EAFNOSUPPORT: return "address family not supported";
        default: return ErrnoText(error);
    }
}

}  // namespace sextara::corrections
