#pragma once

#include <string>

#include "corrections/CorrectionLink.h"

namespace sextara {

// The NTRIP page's health box, three short lines (English when language is
// not 0):
//   Age 0.4 s  Rate 2.13 KB/s  CRC errors 0
//   1004:120 1005:12 1012:120
//   Base 1234: 48.10000 11.50000 512.3 m  3.2 km
// "No corrections yet" until the first byte of a connection.
std::string FormatHealthBox(const corrections::LinkHealth& health, int language);

}  // namespace sextara
