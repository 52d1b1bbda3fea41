#include "decode/GnssDecoder.h"

#include "decode/ReceiverMakes.h"

namespace sextara {

void GnssDecoder::SetDiffMode(ByteSink& port, std::int32_t mode) {
    if (diffMode_ != nullptr && diffModeClock_ != nullptr)
        SendCommands(diffMode_->For(mode), port, *diffModeClock_);
}

void GnssDecoder::UseDiffModeCommands(const DiffModeCommands& commands, platform::Clock& clock) {
    diffMode_ = &commands;
    diffModeClock_ = &clock;
}

std::unique_ptr<GnssDecoder> MakeDecoder(std::int32_t make, GnssState* state, platform::Clock& clock) {
    if (!IsKnownReceiverType(make)) return nullptr;
    const ReceiverMake& row = kReceiverMakes[make];
    auto decoder = row.decoder(state);
    if (decoder) decoder->UseDiffModeCommands(row.diffMode, clock);
    return decoder;
}

void DecoderHost::CreateDecoder(std::int32_t make) {
    std::unique_ptr<GnssDecoder> fresh;
    if (IsKnownReceiverType(make)) fresh = MakeDecoder(make, store_.Raw(), clock_);
    {
        std::lock_guard<std::mutex> hold(decoderMutex_);
        make_ = make;
        if (!IsKnownReceiverType(make)) return;
        fresh.swap(decoder_);
        decoderMake_ = make;
    }
    // `fresh` now holds the replaced decoder; no Input can be running on it.
}

void DecoderHost::Feed(const std::uint8_t* bytes, std::uint32_t count) {
    if (bytes == nullptr || count == 0) return;
    std::lock_guard<std::mutex> hold(decoderMutex_);
    if (!decoder_) return;
    std::lock_guard<std::mutex> stateHold(store_.Mutex());
    decoder_->Input(bytes, count);
}

void DecoderHost::SetDiffMode(ByteSink& port, std::int32_t mode) {
    std::int32_t make = 0;
    {
        std::lock_guard<std::mutex> hold(decoderMutex_);
        if (!decoder_) return;
        make = decoderMake_;
    }
    // The same commands the decoder's own SetDiffMode sends, from the row.
    SendCommands(kReceiverMakes[make].diffMode.For(mode), port, clock_);
}

void DecoderHost::Destroy() {
    std::unique_ptr<GnssDecoder> old;
    std::lock_guard<std::mutex> hold(decoderMutex_);
    old.swap(decoder_);
}

std::int32_t DecoderHost::Make() const {
    std::lock_guard<std::mutex> hold(decoderMutex_);
    return make_;
}

bool DecoderHost::HasDecoder() const {
    std::lock_guard<std::mutex> hold(decoderMutex_);
    return decoder_ != nullptr;
}

DecoderCounters DecoderHost::Counters() const {
    std::lock_guard<std::mutex> hold(decoderMutex_);
    return decoder_ ? decoder_->Counters() : DecoderCounters{};
}

}  // namespace sextara
