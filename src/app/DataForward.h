#pragma once

#include <string>

#include "decode/GnssState.h"

namespace sextara {

class AppContext;

// The GGA sentence sent out of the data port once a second. Unlike the
// caster's GGA it reports the receiver's own fix quality, satellites, HDOP
// and altitude also without a fix (quality 0), so that a device downstream
// never takes a stale position for a fix. Without a fix the time is the
// device clock's UTC time of day (hour, minute, second given here).
std::string BuildForwardGga(const GnssState& state, int utcHour, int utcMinute, int utcSecond);
// The same with the device clock's UTC time.
std::string BuildForwardGga(const GnssState& state);

// The data port: COM1 at 57600 baud.
inline constexpr int kDataPortNumber = 1;
inline constexpr int kDataPortBaud = 57600;

enum class ForwardSwitch {
    On,
    Off,
    RefusedRecording,  // "Please stop data record firstly!"
    OpenFailed,        // "Open Data Transf Port Failed!"; dataTransfer unchanged
};

// The "Data to External Serial Port" box: ticking it while a recording runs
// is refused; otherwise the data port is opened (logging "Open COM1 Port
// Failed!" when it cannot be) and dataTransfer follows the box.
ForwardSwitch SetForwarding(AppContext& app, bool on);

// The one-second tick's forwarding step (dataTransfer set): the current GGA
// to the open data port; a closed port is opened when no recording runs, and
// when that fails the log gets "Open Data Transf Failed!" and dataTransfer is
// cleared. Returns the sentence written, empty when none.
std::string ForwardGgaStep(AppContext& app);

}  // namespace sextara
