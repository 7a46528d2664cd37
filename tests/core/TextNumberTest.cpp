// The number-reading rule of the text boxes and its whole-number conversion.
#include <gtest/gtest.h>

#include <limits>

#include "core/TextNumber.h"

using namespace Qt::StringLiterals;

using rm::ReadNumber;
using rm::ReadWholeNumber;
using rm::ToInt32;

TEST(ReadNumber, ReadsTheNumberATextBeginsWith) {
    struct Case {
        const char16_t* text;
        double value;
    } cases[] = {
        {u"20", 20},     {u"20s", 20},     {u"", 0},          {u"abc", 0},     {u"2 0", 20},
        {u" \t12", 12},  {u"1\r\n5", 15},  {u"-7", -7},       {u"+7", 7},      {u"--7", 0},
        {u"2.5", 2.5},   {u".5", 0.5},     {u"-.5", -0.5},    {u"1.2.3", 1.2}, {u".", 0},
        {u"1e3", 1000},  {u"1E-2", 0.01},  {u"1D2", 100},     {u"1e", 1},      {u"1e+", 1},
        {u"&H1F", 31},   {u"&h1f", 31},    {u"&HFFFF", -1},   {u"&H10000", 65536},
        {u"&O17", 15},   {u"&O8", 0},      {u"&X1", 0},       {u"&", 0},       {u"- 3", -3},
        {u"12abc34", 12}, {u"０", 0},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(ReadNumber(QString::fromUtf16(c.text)), c.value)
            << QString::fromUtf16(c.text).toStdString();
    }
}

TEST(ReadNumber, SurvivesHugeAndOddInput) {
    EXPECT_DOUBLE_EQ(ReadNumber(QString(100000, u'9').prepend(QChar(u'-'))),
                     -std::numeric_limits<double>::infinity());
    EXPECT_DOUBLE_EQ(ReadNumber(QString(100000, u' ') + QStringLiteral("42")), 42);
    EXPECT_DOUBLE_EQ(ReadNumber(u"1e999999"_qs), std::numeric_limits<double>::infinity());
    EXPECT_DOUBLE_EQ(ReadNumber(QString(QChar(0)) + QStringLiteral("5")), 0);
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
    EXPECT_EQ(ReadWholeNumber(u"20"_qs), 20);
    EXPECT_EQ(ReadWholeNumber(u"abc"_qs), 0);
}
