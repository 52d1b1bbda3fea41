#include "corrections/NetworkBringUp.h"

#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace sextara::corrections {

bool IsLoopbackAddress(std::string_view address) {
    return address == "localhost" || address == "::1" || address.substr(0, 4) == "127.";
}

bool HasNetworkInterface(const ifaddrs* interfaces) {
    for (const ifaddrs* entry = interfaces; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || (entry->ifa_flags & IFF_UP) == 0 ||
            (entry->ifa_flags & IFF_LOOPBACK) != 0) {
            continue;
        }
        const int family = entry->ifa_addr->sa_family;
        if (family == AF_INET || family == AF_INET6) {
            return true;
        }
    }
    return false;
}

bool EnsureNetwork(std::string_view casterAddress) {
    if (IsLoopbackAddress(casterAddress)) {
        return true;
    }
    ifaddrs* interfaces = nullptr;
    if (::getifaddrs(&interfaces) != 0) {
        return false;
    }
    const bool up = HasNetworkInterface(interfaces);
    ::freeifaddrs(interfaces);
    return up;
}

}  // namespace sextara::corrections
