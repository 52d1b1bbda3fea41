#pragma once

#include <optional>
#include <string>

#include "corrections/CasterSettings.h"

namespace sextara {

// What the caster settings dialog holds when OK is pressed, as entered.
struct CasterDialogValues {
    std::string address;
    std::string port;
    std::string user;
    std::string password;
    bool useTypedPosition = false;
    std::string latitude;
    std::string longitude;
    bool south = false;
    bool west = false;
    bool resendCurrentPosition = false;
    bool useTls = false;
    std::string caFile;  // empty: the system's trusted certificates
};
// The dialog's values for a set of settings (position with "%.8f").
CasterDialogValues DialogValuesOf(const corrections::CasterSettings& settings);
// The settings the values make, starting from current (the mount point and
// the values the dialog does not show stay); a message instead when a value
// cannot be used. The typed position is read only when it is chosen; with
// TLS an empty port means 443.
std::optional<std::string> SettingsFromDialog(const corrections::CasterSettings& current,
                                              const CasterDialogValues& values,
                                              corrections::CasterSettings& out);

}  // namespace sextara
