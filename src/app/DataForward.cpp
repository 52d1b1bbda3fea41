#include "app/DataForward.h"

#include <cmath>
#include <cstdio>

#include "app/AppContext.h"
#include "app/EventLog.h"
#include "corrections/GgaSentence.h"
#include "decode/NmeaCoordinates.h"
#include "platform/Debug.h"

namespace sextara {
namespace {

std::string Checked(const std::string& body) { return "$" + body + "*" + corrections::NmeaChecksum(body) + "\r\n"; }

double Finite(double value) { return std::isfinite(value) ? value : 0.0; }

bool OpenDataPort(AppContext& app) {
    if (!app.dataPort.Open(kDataPortNumber, kDataPortBaud)) return false;
    app.dataPort.StartThreads();
    return true;
}

}  // namespace

std::string BuildForwardGga(const GnssState& state, int utcHour, int utcMinute, int utcSecond) {
    const bool fix = state.fixQuality >= 1;
    char field[96];
    std::string body = "GPGGA,";
    std::snprintf(field, sizeof field, "%02d%02d%02d.00,", fix ? state.hour % 100 : utcHour % 100,
                  fix ? state.minute % 100 : utcMinute % 100, fix ? state.second % 100 : utcSecond % 100);
    body += field;
    const double latitude = Finite(state.latitude);
    const double longitude = Finite(state.longitude);
    body += FormatNmeaDegreesMinutes(std::fabs(latitude), 2);
    body += latitude < 0.0 ? ",S," : ",N,";
    body += FormatNmeaDegreesMinutes(std::fabs(longitude), 3);
    body += longitude < 0.0 ? ",W," : ",E,";
    const int quality = state.fixQuality >= 0 && state.fixQuality <= 9 ? state.fixQuality : 0;
    const int satellites = state.satellitesTotal >= 0 && state.satellitesTotal <= 99 ? state.satellitesTotal : 0;
    std::snprintf(field, sizeof field, "%d,%02d,%.1f,%.2f,M,%.2f,M,%d,0000", quality, satellites,
                  std::fmin(std::fabs(Finite(state.hdop)), 99.9), std::fmax(std::fmin(Finite(state.altitude), 99999.0), -9999.0),
                  std::fmax(std::fmin(Finite(state.geoidSeparation), 9999.0), -9999.0),
                  state.differentialAge >= 0 && state.differentialAge <= 9999 ? state.differentialAge : 0);
    body += field;
    return Checked(body);
}

std::string BuildForwardGga(const GnssState& state) {
    // NMEA times are UTC: a device downstream reading local time would be
    // hours off.
    const corrections::UtcTimeOfDay now = corrections::CurrentUtcTimeOfDay();
    return BuildForwardGga(state, now.hour, now.minute, now.second);
}

ForwardSwitch SetForwarding(AppContext& app, bool on) {
    if (!on) {
        app.registry.dataTransfer = 0;
        return ForwardSwitch::Off;
    }
    if (app.recorder.IsRecording()) return ForwardSwitch::RefusedRecording;
    if (!app.dataPort.IsOpen() && !OpenDataPort(app)) {
        AppendLog("Open COM1 Port Failed!");
        return ForwardSwitch::OpenFailed;
    }
    app.registry.dataTransfer = 1;
    return ForwardSwitch::On;
}

std::string ForwardGgaStep(AppContext& app) {
    if (app.dataPort.IsOpen()) {
        const std::string gga = BuildForwardGga(app.gnss.Snapshot());
        SEXTARA_DEBUG("CurrentGGA: %s", gga.c_str());
        app.dataPort.Write(reinterpret_cast<const std::uint8_t*>(gga.data()), static_cast<std::uint32_t>(gga.size()));
        return gga;
    }
    if (app.recorder.IsRecording()) return {};
    if (!OpenDataPort(app)) {
        AppendLog("Open Data Transf Failed!");
        app.registry.dataTransfer = 0;
    }
    return {};
}

}  // namespace sextara
