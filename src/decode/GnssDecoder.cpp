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
    if (IsKnownReceiverType(make)) fresh = MakeDecoder(make, store_.Raw(), scriptClock_);
    {
        std::lock_guard<std::mutex> hold(decoderMutex_);
        make_ = make;
        if (!IsKnownReceiverType(make)) return;
        fresh.swap(decoder_);
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

void DecoderHost::ScriptClock::SleepFor(std::chrono::milliseconds duration) {
    if (script_ != nullptr) {
        script_->push_back(CommandStep{{}, duration});
    } else {
        clock_.SleepFor(duration);
    }
}

std::uint32_t DecoderHost::ScriptSink::Write(const std::uint8_t* bytes, std::uint32_t length) {
    if (bytes != nullptr && length != 0) script_.push_back(CommandStep{{bytes, bytes + length}, {}});
    return length;
}

void DecoderHost::SetDiffMode(ByteSink& port, std::int32_t mode) {
    std::vector<CommandStep> script;
    {
        std::lock_guard<std::mutex> hold(decoderMutex_);
        if (!decoder_) return;
        ScriptSink sink(script);
        scriptClock_.script_ = &script;
        decoder_->SetDiffMode(sink, mode);
        scriptClock_.script_ = nullptr;
    }
    for (const CommandStep& step : script) {
        if (!step.bytes.empty()) {
            port.Write(step.bytes.data(), static_cast<std::uint32_t>(step.bytes.size()));
        } else {
            clock_.SleepFor(step.pause);
        }
    }
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
