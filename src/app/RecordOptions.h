#pragma once

#include "app/Settings.h"
#include "record/RecordFormat.h"

namespace sextara {

// The recording options page's three values: data type index (0 raw, 1
// normal), interval index (0..7, "1s".."300s") and cut-off in degrees.
struct RecordOptionValues {
    int dataTypeIndex = 0;
    int intervalIndex = 0;
    int cutoff = 10;
};

// Stores them as LOGTYPE, INTERVAL (the code of the index; 3 for an unknown
// one) and CUTOFF (10 outside 0..90).
inline void SetRecordOptions(RegistrySettings& settings, const RecordOptionValues& values) {
    settings.recordDataType = values.dataTypeIndex != 0 ? kRecordNormal : kRecordRaw;
    settings.recordInterval = IntervalCodeOf(values.intervalIndex);
    settings.cutoffAngle = ClampCutoff(values.cutoff);
}

// An interval code outside the list reads as index 0.
inline RecordOptionValues GetRecordOptions(const RegistrySettings& settings) {
    return {settings.recordDataType, IntervalIndexOf(settings.recordInterval), settings.cutoffAngle};
}

}  // namespace sextara
