#include <gtest/gtest.h>

#include "NmeaTestSupport.h"

namespace sextara::test {
namespace {

// Which constellations' GSV group is in progress after each sentence.
TEST(GsvGroup, MarkedFromFirstToLastMessage) {
    const struct {
        std::int32_t make;
        const char* sentence;
        std::uint8_t inProgress;
    } steps[] = {
        {enBlox9P, "GPGSV,3,1,12,05,06,110,19,10,24,284,34,13,37,124,29,15,63,083,11,1", kGsvGps},
        {enBlox9P, "GAGSV,2,1,05,02,00,179,,04,09,322,,07,11,134,11,11,09,227,,7", kGsvGps | kGsvGalileo},
        {enBlox9P, "GPGSV,3,3,12,26,04,276,,27,15,218,31,29,24,004,13,30,00,159,,1", kGsvGalileo},
        {enBlox9P, "GAGSV,2,2,05,12,61,237,31,7", 0},
        {enBlox9P, "GLGSV,1,1,02,87,14,030,17,88,62,024,,1", 0},  // a one-message group never is
        // This make restarts all three counts at any message 1; the others stay
        // at 0 until their own groups, which is no group in progress.
        {enTrimbleNMEA, "GPGSV,2,1,05,05,06,110,19,10,24,284,34,13,37,124,29,15,63,083,11", kGsvGps},
        {enTrimbleNMEA, "GLGSV,1,1,02,65,53,144,30,66,58,305,32", kGsvGps},
        {enTrimbleNMEA, "GPGSV,2,2,05,16,11,248,10", 0},
        {enOther, "GPGSV,3,1,11,05,06,110,19,10,24,284,34,13,37,124,29,15,63,083,11", kGsvGps},
        {enOther, "GPGSV,3,3,11,36,04,276,,27,15,218,31,29,24,004,13", 0},  // skipped (SBAS), yet the group ended
    };
    std::unique_ptr<Parser> parser;
    std::int32_t make = -1;
    for (const auto& step : steps) {
        if (step.make != make) parser = std::make_unique<Parser>(make = step.make);
        parser->Feed(Nmea(step.sentence));
        EXPECT_EQ(parser->state.gsvInProgress, step.inProgress) << step.sentence;
    }
}

}  // namespace
}  // namespace sextara::test
