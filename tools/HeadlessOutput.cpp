#include "HeadlessOutput.h"

#include <cstdarg>
#include <cstdio>

#include "record/RecordFormat.h"

namespace sextara::tools {
namespace {

bool gJson = false;

nlohmann::json OrNull(const std::optional<double>& value) {
    return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

}  // namespace

void SetJsonOutput(bool on) {
    gJson = on;
}

bool JsonOutput() {
    return gJson;
}

void Say(const char* format, ...) {
    std::FILE* to = gJson ? stderr : stdout;
    va_list args;
    va_start(args, format);
    std::vfprintf(to, format, args);
    va_end(args);
    std::fputc('\n', to);
    std::fflush(to);
}

void Emit(const nlohmann::json& object) {
    // Invalid UTF-8 in a caster's text is replaced rather than refused.
    const std::string line = object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

nlohmann::json StatusJson(const GnssState& s, const StatusInputs& in) {
    const bool fix = s.fixQuality > 0;
    const CalendarTime shown = fix ? CalendarTime{s.year, s.month, s.day, s.hour, s.minute, s.second} : in.deviceUtc;
    return {
        {"class", "STATUS"},
        {"lat", s.latitude},
        {"lon", s.longitude},
        {"alt", s.altitude},
        {"time", shown.hour * 3600 + shown.minute * 60 + shown.second},
        {"date", shown.year * 10000 + shown.month * 100 + shown.day},
        {"fix", s.fixQuality},
        {"pdop", s.pdop},
        {"svs", s.satellitesTotal},
        {"rms", s.hrms},
        {"ntrip", in.ntripConnected ? 1 : 0},
        {"vrms", s.vrms},
        {"diffAge", s.differentialAge},
        {"receiverLost", in.receiverLost},
    };
}

nlohmann::json CorrectionsJson(const corrections::LinkHealth& health) {
    nlohmann::json types = nlohmann::json::object();
    for (const auto& [type, count] : health.stream.types) types[std::to_string(type)] = count;
    nlohmann::json base = nullptr;
    if (health.stream.base) {
        const corrections::BaseStation& b = *health.stream.base;
        base = {{"station", b.stationId}, {"lat", b.latDeg}, {"lon", b.lonDeg}, {"height", b.heightM}};
    }
    return {
        {"class", "CORRECTIONS"},
        {"state", health.state},
        {"bytes", health.bytes},
        {"rate", health.stream.bytesPerSecond},
        {"age", OrNull(health.stream.ageSeconds)},
        {"rtcm", {{"frames", health.stream.frames}, {"crcErrors", health.stream.crcErrors}, {"types", types}}},
        {"base", base},
        {"baselineKm", OrNull(health.baselineKm)},
        {"connects", health.connects},
        {"lastError", health.lastError.empty() ? nlohmann::json(nullptr) : nlohmann::json(health.lastError)},
        {"status", health.status},
    };
}

nlohmann::json MountPointJson(const corrections::SourceTableEntry& e) {
    return {
        {"class", "MOUNTPOINT"}, {"mount", e.mountPoint}, {"identifier", e.identifier},
        {"format", e.format},    {"formatDetails", e.formatDetails}, {"carrier", e.carrier},
        {"navSystem", e.navSystem}, {"network", e.network}, {"country", e.country},
        {"lat", e.latitude},     {"lon", e.longitude},  {"nmea", e.nmea},
        {"solution", e.solution},
    };
}

void RecordPrinter::Print(const RawRecorder& recorder) {
    if (recorder.IsRecording()) {
        Say("Record %-12s %s %s", RecordStatusText("Recording", phase_).c_str(),
            RecordDurationText(recorder.Seconds()).c_str(), RecordSizeText(recorder.ByteCount()).c_str());
    } else if (!endShown_) {
        endShown_ = true;
        // What went into a file that is gone is not on the card: no size.
        Say("Record stopped: %s (%s%s)", recorder.LastEnd().c_str(), RecordDurationText(recorder.Seconds()).c_str(),
            recorder.FileGone() ? "" : (", " + RecordSizeText(recorder.ByteCount())).c_str());
    }
}

}  // namespace sextara::tools
