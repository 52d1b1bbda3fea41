#include "decode/NmeaCoordinates.h"

#include <gtest/gtest.h>

namespace sextara {
namespace {

TEST(NmeaCoordinates, DegreesAndMinutesCarryTheirRounding) {
    const struct {
        double degrees;
        int digits;
        const char* text;
    } rows[] = {
        {31.5, 2, "3130.0000000"},
        {-121.25, 3, "12115.0000000"},
        {5.05, 2, "0503.0000000"},
        {31.23, 2, "3113.8000000"},
        {10.99999999999, 2, "1100.0000000"},   // minutes round to 60
        {179.999999999999, 3, "18000.0000000"},
        {0.1666666666, 2, "0010.0000000"},     // minutes round to 10: still two digits
        {0.0, 3, "00000.0000000"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(FormatNmeaDegreesMinutes(row.degrees, row.digits), row.text) << row.degrees;
    }
}

}  // namespace
}  // namespace sextara
