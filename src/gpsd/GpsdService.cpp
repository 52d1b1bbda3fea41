#include "gpsd/GpsdService.h"

#include <utility>

namespace sextara::gpsd {

Service::Service(GpsPath& path, GnssStateStore& store, const DecoderHost& decoders, platform::Clock& clock,
                 ServerOptions options)
    : path_(path), store_(store), decoders_(decoders), clock_(clock), server_(std::move(options)) {}

Service::~Service() { Stop(); }

std::string Service::Start() {
    std::string why = server_.Start();
    if (!why.empty()) return why;
    path_.SetTap(this);
    tapped_ = true;
    return {};
}

void Service::Stop() {
    if (tapped_) path_.SetTap(nullptr);
    tapped_ = false;
    server_.Stop();
}

void Service::OnReceived(const std::uint8_t* bytes, std::size_t count) {
    if (server_.WantsBytes()) server_.PostBytes(bytes, count);
}

void Service::OnDecoded() {
    // Only the decoder thread writes the record, so this copy holds exactly
    // the chunk just decoded.
    GnssState snapshot = store_.Snapshot();
    const EpochGate::Decision decision = gate_.Offer(snapshot, decoders_.Counters().frames, clock_.Now());
    if (decision.tpv || decision.sky) server_.PostEpoch(snapshot, decision);
}

}  // namespace sextara::gpsd
