#include "ui/SatelliteHold.h"

#include <algorithm>

#include "ui/ViewLayout.h"

namespace sextara {

GnssState SatelliteHold::Apply(const GnssState& snapshot) {
    GnssState shown = snapshot;
    for (int c = 0; c < 4; ++c) {
        Held& h = held_[c];
        SatelliteEntry* table = SatTable(shown, c);
        std::int32_t& count = SatCount(shown, c);
        const bool inGroup = (snapshot.gsvInProgress & (1u << c)) != 0;
        if (!inGroup) {
            h.valid = true;
            h.heldInARow = 0;
            h.count = count;
            std::copy(table, table + kSatTableSize, h.sats);
            continue;
        }
        if (!h.valid || h.heldInARow >= kMaxHeldSnapshots) continue;
        ++h.heldInARow;
        count = h.count;
        std::copy(h.sats, h.sats + kSatTableSize, table);
    }
    return shown;
}

}  // namespace sextara
