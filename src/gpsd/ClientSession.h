#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "gpsd/GpsdJson.h"

namespace sextara::gpsd {

// What the answers to a client's requests are made of, gathered by the
// server when the client's bytes arrive.
struct ServerView {
    const DeviceInfo& device;
    const std::string& lastTpv;  // as last sent; empty: none yet
    const std::string& lastSky;
    const std::string& lastTime;  // the receiver's time of the last TPV
};

// One client's side of the protocol: cuts what it sends into requests,
// answers them and keeps what it watches. Pure: bytes in, answer lines out.
//
// A request is "?" and a name, then ";" or "=" and a JSON object, ending at
// ";" or a line end ("?WATCH={\"enable\":true,\"json\":true};" from gpspipe,
// the same without ";" and with LF from python3-gps). An unknown name or a
// bad argument is answered with an ERROR object, as the protocol does. A
// client that sends anything else (bytes that are not printable ASCII, text
// that is not a request) or a request longer than kMaxRequest is junk: the
// server drops it.
class ClientSession {
public:
    // The protocol allows 80 characters; room is left for a WATCH that names
    // a long /dev/serial/by-id path.
    static constexpr std::size_t kMaxRequest = 1024;

    struct Answer {
        std::string lines;  // objects, each ending in CR LF
        bool drop = false;
        std::string why;    // for the event log when dropped
    };

    Answer OnInput(const std::uint8_t* bytes, std::size_t count, const ServerView& view);
    const WatchPolicy& Policy() const { return policy_; }

private:
    // False when the request is junk.
    bool Handle(std::string_view request, const ServerView& view, std::string& lines);
    std::string Watch(std::string_view argument, const ServerView& view);

    std::string pending_;
    WatchPolicy policy_;
};

}  // namespace sextara::gpsd
