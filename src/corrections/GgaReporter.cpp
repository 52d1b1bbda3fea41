#include "corrections/GgaReporter.h"

#include "corrections/GgaSentence.h"

namespace sextara::corrections {

void GgaReporter::Build(const GnssState& state, const CasterSettings& settings) {
    SetSentence(BuildGgaSentence(state, &settings.typed, settings.useTypedPosition));
}

void GgaReporter::Refresh(const GnssState& state, const CasterSettings& settings) {
    if (!settings.resendCurrentPosition || state.fixQuality < kFixSingle) return;
    SetSentence(BuildGgaSentence(state, nullptr, false));
}

void GgaReporter::SetSentence(std::string sentence) {
    std::lock_guard<std::mutex> hold(lock_);
    sentence_ = std::move(sentence);
}

std::string GgaReporter::Sentence() const {
    std::lock_guard<std::mutex> hold(lock_);
    return sentence_;
}

}  // namespace sextara::corrections
