#include <gtest/gtest.h>

#include <cmath>

#include "decode/NmeaFields.h"

namespace sextara::nmea {
namespace {

TEST(NmeaFields, NumbersReadTheLeadingRunOfDigitsAndPeriods) {
    struct Case {
        const char* text;
        double number;
        std::int32_t integer;
        double signedNumber;
    };
    const Case cases[] = {
        {"4807.038,N", 4807.038, 4807, 4807.038},
        {"", 0, 0, 0},
        {",5", 0, 0, 0},
        {"-33.8,M", 0, 0, -33.8},  // a plain Number stops at the sign
        {"+2.5", 0, 0, 2.5},
        {"12.7*47", 12.7, 12, 12.7},
        {".5", 0.5, 0, 0.5},
        {"1.2.3", 1.2, 1, 1.2},
        {"007", 7, 7, 7},
        {"99999999999", 99999999999.0, 2147483647, 99999999999.0},
        {"-", 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_DOUBLE_EQ(c.number, Number(c.text));
        EXPECT_EQ(c.integer, Integer(c.text));
        EXPECT_DOUBLE_EQ(c.signedNumber, SignedNumber(c.text));
        EXPECT_FALSE(std::signbit(SignedNumber(c.text)) && SignedNumber(c.text) == 0);
    }
    EXPECT_EQ(-2, SignedInteger("-2,049"));
    EXPECT_EQ(-2147483647, SignedInteger("-99999999999"));
}

TEST(NmeaFields, DecimalTakesSignSpacesAndExponentButNotSpecialValues) {
    EXPECT_DOUBLE_EQ(-12.5, Decimal(" -12.5"));
    EXPECT_DOUBLE_EQ(545.4, Decimal("545.4,M"));
    EXPECT_DOUBLE_EQ(1000, Decimal("1e3"));
    EXPECT_DOUBLE_EQ(5, Decimal("+5"));
    for (const char* junk : {"", "M", "nan", "inf", "-infinity", "1e999", "+-5", "0x10"}) {
        EXPECT_EQ(0.0, Decimal(junk)) << junk;
    }
}

TEST(NmeaFields, FieldsAreCountedFromTheCommas) {
    const Sentence s("$GPGSA,A,3,,04*2C");
    EXPECT_EQ(4, s.CountCommas());
    EXPECT_EQ("A,3,,04*2C", s.Field(1));
    EXPECT_EQ(",04*2C", s.Field(3));
    EXPECT_EQ("$GPGSA,A,3,,04*2C", s.Field(5));  // past the last comma: the whole line
    EXPECT_EQ(0, Integer(s.Field(5)));
    EXPECT_EQ("GP", s.Talker());
    EXPECT_EQ('\0', s.At(100));

    std::string many = "$GPTXT";
    for (int i = 1; i <= 30; ++i) many += "," + std::to_string(i);
    const Sentence wide(many);
    EXPECT_EQ(30, wide.CountCommas());
    EXPECT_EQ(19, Integer(wide.Field(19)));
    EXPECT_EQ(30, Integer(wide.Field(30)));
}

TEST(NmeaFields, ChecksumIsTheXorBetweenDollarAndTheLastStar) {
    struct Case {
        const char* line;
        bool carried;
        bool matches;
    };
    const Case cases[] = {
        {"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47", true, true},
        {"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*48", true, false},
        {"$GPVTG,,T,,M,,N,,K,N*2c", true, true},  // lower-case hex
        {"$GPVTG,,T,,M,,N,,K,N", false, true},
        {"$GPVTG,,T,,M,,N,,K,N*2", false, true},
        {"$GPVTG,,T,,M,,N,,K,N*zz", false, true},
        {"$GPGSA,A,1,,,,,,,,,,,,,,,*1E*43", true, false},  // a glued tail: the outer sum decides
    };
    for (const Case& c : cases) {
        const Sentence s(c.line);
        EXPECT_EQ(c.carried, s.HasChecksum()) << c.line;
        EXPECT_EQ(c.matches, s.ChecksumMatches()) << c.line;
    }
}

}  // namespace
}  // namespace sextara::nmea
