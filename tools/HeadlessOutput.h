#pragma once

// What sextara-headless writes. Normally every line is text for a person on
// standard output. With --json, standard output carries only JSON objects,
// one a line, and the texts for a person go to standard error.

#include <nlohmann/json.hpp>

#include "app/AppCore.h"
#include "corrections/CorrectionLink.h"
#include "corrections/SourceTable.h"
#include "decode/GnssState.h"
#include "record/RawRecorder.h"
#include "ui/StatusFormat.h"

namespace sextara::tools {

void SetJsonOutput(bool on);
bool JsonOutput();

// A line for a person (newline added), flushed.
void Say(const char* format, ...) __attribute__((format(printf, 1, 2)));
// One JSON object as one line of standard output, flushed.
void Emit(const nlohmann::json& object);

// {"class":"STATUS", ...}: the main view's ten values as numbers, in panel
// order: lat, lon (degrees), alt (m), time (UTC seconds of the day), date
// (yyyymmdd), fix (quality code), pdop, svs (satellites used), rms
// (horizontal, m), ntrip (1 connected, 0 not); then vrms,
// diffAge and receiverLost.
nlohmann::json StatusJson(const GnssState& state, const StatusInputs& inputs);
// {"class":"CORRECTIONS","state":...,"bytes":N,"rate":B_per_s,"age":s|null,
//  "rtcm":{"frames":N,"crcErrors":N,"types":{"1005":n,...}},
//  "base":{"station":id,"lat":deg,"lon":deg,"height":m}|null,
//  "baselineKm":km|null,"connects":N,"lastError":text|null,"status":text}
nlohmann::json CorrectionsJson(const corrections::LinkHealth& health);
// One mount point: {"class":"MOUNTPOINT","mount":...,"identifier":..., ...}.
nlohmann::json MountPointJson(const corrections::SourceTableEntry& entry);

// The recording page's three values, once a second: status with its dots,
// duration, size; and once why a recording ended by itself.
class RecordPrinter {
public:
    void Print(const RawRecorder& recorder);

private:
    int phase_ = 0;
    bool endShown_ = false;
};

}  // namespace sextara::tools
