#pragma once

#include <memory>
#include <string>

#include "decode/GnssDecoder.h"
#include "decode/GnssState.h"
#include "platform/Clock.h"
#include "gpsd/EpochGate.h"
#include "gpsd/GpsdServer.h"
#include "receiver/GpsPath.h"

namespace sextara::gpsd {

// The server fed from the GPS data path: the path's tap hands it the
// received bytes (only while a client follows them) and, after each decoded
// chunk, a snapshot of the record when the epoch gate lets one out.
class Service final : private GpsPath::Tap {
public:
    // The decoder host's frame count and the clock let a receiver whose time
    // stands still be shown (EpochGate).
    Service(GpsPath& path, GnssStateStore& store, const DecoderHost& decoders, platform::Clock& clock,
            ServerOptions options);
    // Stop().
    ~Service() override;

    // Listens and taps the path; empty on success, else why not.
    std::string Start();
    // Unhooks from the path first, so nothing is posted to a stopping server.
    void Stop();
    void SetDevice(const DeviceInfo& device) { server_.SetDevice(device); }
    ServerStatus Status() const { return server_.Status(); }
    int Port() const { return server_.Port(); }
    bool Running() const { return server_.Running(); }

private:
    void OnReceived(const std::uint8_t* bytes, std::size_t count) override;
    void OnDecoded() override;

    GpsPath& path_;
    GnssStateStore& store_;
    const DecoderHost& decoders_;
    platform::Clock& clock_;
    Server server_;
    EpochGate gate_;  // the decoder thread's
    bool tapped_ = false;
};

}  // namespace sextara::gpsd
