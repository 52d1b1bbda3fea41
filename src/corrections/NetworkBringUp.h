#pragma once

#include <ifaddrs.h>

#include <string_view>

namespace sextara::corrections {

// True when a network link is up: an interface other than loopback that is
// up and has an IPv4 or IPv6 address. A caster on a loopback address
// ("127.x.x.x", "localhost", "::1") is reachable without one. Linux keeps no
// dial-up or connection manager of its own for a program to bring up, so
// this only checks; the contract is that of the handheld's bring-up.
bool EnsureNetwork(std::string_view casterAddress = {});

// The interface check alone, over a list as getifaddrs gives it.
bool HasNetworkInterface(const ifaddrs* interfaces);
bool IsLoopbackAddress(std::string_view address);

}  // namespace sextara::corrections
