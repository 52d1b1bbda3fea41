#pragma once

#include "platform/SystemTime.h"

namespace sextara::platform {

// The UTC day this program was built, at 00:00:00. A receiver that reports a
// time before it is replaying an old capture or has a week-rollover fault.
UtcTime BuildDate();

}  // namespace sextara::platform
