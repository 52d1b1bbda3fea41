#pragma once

#include <chrono>
#include <cstdint>

#include "decode/GnssState.h"

namespace sextara::gpsd {

// Decides, from the snapshot taken after each decoded chunk, when an epoch
// goes out to the clients: one TPV and one SKY per epoch, an epoch being one
// time of day of the receiver.
//
// The TPV goes with the first snapshot of a new time: the sentence or log
// that brings the time brings the position and the fix with it (GGA,
// BESTPOS, the GSOF position record), so it is whole at once. The SKY goes
// with the first snapshot of that epoch in which no GSV group is half
// received, as the main view keeps its tables (ui/SatelliteHold). A receiver
// that never closes a group must not silence its sky: after
// kMaxEpochsWithoutSky epochs in a row without a whole moment the tables go
// out as they stand.
//
// A receiver whose time stands still while it keeps sending (no time yet on
// a cold start, with satellites already in view; a replay of one epoch in a
// loop) still shows: once kStillTime has passed since the last TPV and new
// frames were decoded since, the record goes out again.
class EpochGate {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    static constexpr int kMaxEpochsWithoutSky = 3;
    // Longer than a 1 Hz receiver's spread between the first and the last
    // sentence of its epoch, so a steady receiver never gets a repeat.
    static constexpr std::chrono::milliseconds kStillTime{1500};

    struct Decision {
        bool tpv = false;
        bool sky = false;
    };

    // `frames`: the decoder's frame count so far; `now`: the decoder
    // thread's clock. May correct the snapshot's date, see below.
    Decision Offer(GnssState& snapshot, std::uint64_t frames, TimePoint now);

private:
    // GGA brings the time of day, RMC or ZDA the date: a receiver that sends
    // GGA first has a new day's 00:00:00 under the old date until its RMC
    // comes. Within an epoch that went from 23:xx to 00:xx under an unchanged
    // date, that date is taken as the next day's.
    void CorrectDate(GnssState& snapshot, bool newEpoch);

    int lastTimeOfDay_ = 0;  // seconds; the zero-filled record counts as sent
    int lastHour_ = 0;
    std::int32_t lastDate_ = 0;   // yyyymmdd of the last TPV as sent
    std::int32_t staleDate_ = -1; // this epoch's date when it is corrected
    std::uint64_t framesAtTpv_ = 0;
    TimePoint tpvAt_{};
    bool skyPending_ = false;
    int epochsWithoutSky_ = 0;
};

}  // namespace sextara::gpsd
