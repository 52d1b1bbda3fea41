#pragma once

#include "decode/GnssState.h"

namespace sextara {

// Keeps the satellite tables that the view draws whole. A snapshot taken
// while a constellation's GSV group is being received holds that group's new
// count with its later entries still empty or old; drawn as it stands, bars
// and markers would blink out and back. So per constellation the view shows
// the table of the last snapshot taken outside a group.
//
// A receiver that never closes a group (a lost last message every time, a
// constellation that a make switch left marked) must not freeze the picture:
// after kMaxHeldSnapshots snapshots in a row inside a group the live table is
// shown again.
class SatelliteHold {
public:
    static constexpr int kMaxHeldSnapshots = 3;

    // The snapshot with the table and count of every constellation inside a
    // group replaced by the held ones; everything else as it came.
    GnssState Apply(const GnssState& snapshot);

private:
    struct Held {
        bool valid = false;
        int heldInARow = 0;
        std::int32_t count = 0;
        SatelliteEntry sats[kSatTableSize]{};
    };
    Held held_[4];
};

}  // namespace sextara
