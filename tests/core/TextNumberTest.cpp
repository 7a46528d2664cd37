// The number-reading rule of the text boxes and its whole-number conversion.
#include <gtest/gtest.h>

#include <limits>

#include "core/TextNumber.h"

using rm::ParseInt32Argument;
using rm::ReadNumber;
using rm::ReadWholeNumber;
using rm::ToInt32;

TEST(ReadNumber, ReadsTheNumberATextBeginsWith) {
    struct Case {
        const char* text;
        double value;
    } cases[] = {
        {"20", 20},    {"20s", 20},    {"", 0},        {"abc", 0},         {"2 0", 20},
        {" \t12", 12}, {"1\r\n5", 15}, {"-7", -7},     {"+7", 7},          {"--7", 0},
        {"2.5", 2.5},  {".5", 0.5},    {"-.5", -0.5},  {"1.2.3", 1.2},     {".", 0},
        {"1e3", 1000}, {"1E-2", 0.01}, {"1D2", 100},   {"1e", 1},          {"1e+", 1},
        {"&H1F", 31},  {"&h1f", 31},   {"&HFFFF", -1}, {"&H10000", 65536}, {"&O17", 15},
        {"&O8", 0},    {"&X1", 0},     {"&", 0},       {"- 3", -3},        {"12abc34", 12},
        {"０", 0},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(ReadNumber(c.text), c.value) << c.text;
    }
}

TEST(ReadNumber, SurvivesHugeAndOddInput) {
    EXPECT_DOUBLE_EQ(ReadNumber("-" + std::string(100000, '9')),
                     -std::numeric_limits<double>::infinity());
    EXPECT_DOUBLE_EQ(ReadNumber(std::string(100000, u' ') + std::string("42")), 42);
    EXPECT_DOUBLE_EQ(ReadNumber("1e999999"), std::numeric_limits<double>::infinity());
    EXPECT_DOUBLE_EQ(ReadNumber(std::string(1, '\0') + std::string("5")), 0);
}

TEST(ToInt32, RoundsHalvesToEvenAndClamps) {
    EXPECT_EQ(ToInt32(2.5), 2);
    EXPECT_EQ(ToInt32(3.5), 4);
    EXPECT_EQ(ToInt32(-2.5), -2);
    EXPECT_EQ(ToInt32(2.4999), 2);
    EXPECT_EQ(ToInt32(2.5001), 3);
    EXPECT_EQ(ToInt32(1e12), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(ToInt32(-1e12), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(ToInt32(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(ReadWholeNumber("20"), 20);
    EXPECT_EQ(ReadWholeNumber("abc"), 0);
}

// Command-line numbers are strict: what is not exactly one number is refused
// rather than read as the window would read it.
TEST(ParseInt32Argument, TakesOnlyAWholeDecimalNumber) {
    int32_t v = 7;
    EXPECT_TRUE(ParseInt32Argument("254", v));
    EXPECT_EQ(v, 254);
    EXPECT_TRUE(ParseInt32Argument("-3", v));
    EXPECT_EQ(v, -3);
    for (const char* bad : {"", " 1", "1 ", "1x", "1.0", "+1", "0x10", "2147483648", "&H1"})
        EXPECT_FALSE(ParseInt32Argument(bad, v)) << bad;
}
