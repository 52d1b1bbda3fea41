#include "platform/BuildDate.h"

#ifndef SEXTARA_BUILD_DATE
#error "SEXTARA_BUILD_DATE (yyyymmdd) comes from the build"
#endif

namespace sextara::platform {

UtcTime BuildDate() {
    constexpr long kDate = SEXTARA_BUILD_DATE;
    UtcTime date;
    date.year = static_cast<int>(kDate / 10000);
    date.month = static_cast<int>(kDate / 100 % 100);
    date.day = static_cast<int>(kDate % 100);
    return date;
}

}  // namespace sextara::platform
