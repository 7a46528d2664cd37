// Property tests of the line reader and the codec over many seeded random
// inputs: any bytes load without harm, pieces read like the whole, and any
// single-line text survives a save and a load.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "core/Utf8.h"
#include "platform/linux/SettingsFile.h"

namespace rm {
namespace {

constexpr int kByteInputs = 400000;
constexpr int kTextInputs = 150000;

// Bytes as hex digits, to show a failing input.
std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

// Random file contents, biased towards what matters: line ends, NULs, GBK lead
// bytes, GB18030 four-byte second bytes and plain ASCII.
std::string RandomBytes(std::mt19937& rng) {
    static const char kPool[] = {'\r',   '\n',   '\0',   'a',    '0',    '9',    ' ',    '\x80',
                                 '\x81', '\xFE', '\xFF', '\x30', '\x39', '\x40', '\x7F', '\xA1'};
    std::uniform_int_distribution<int> len(0, 48), pick(0, 3), pool(0, sizeof kPool - 1),
        any(0, 255);
    std::string out;
    for (int i = len(rng); i > 0; --i) out += pick(rng) == 0 ? char(any(rng)) : kPool[pool(rng)];
    return out;
}

// Random single-line text from the ranges users type and beyond: ASCII, Latin,
// CJK, GB18030-only characters, the private use area and the astral planes.
// Left out: U+E766..U+E864, private-use code points of which GB18030 has given
// some codes to standard characters, so that no narrow code is left for them.
std::string RandomText(std::mt19937& rng) {
    static const std::pair<char32_t, char32_t> kRanges[] = {
        {0x20, 0x7E},       {0xA0, 0x2FF},    {0x2E80, 0x2FFF}, {0x4E00, 0x9FFF},
        {0xE000, 0xE765},   {0xE865, 0xF8FF}, {0xFF00, 0xFFFD}, {0x10000, 0x1FFFF},
        {0x20000, 0x2FFFF}, {0x1, 0xC},       {0xE, 0x1F}};
    std::uniform_int_distribution<int> len(0, 24), range(0, std::size(kRanges) - 1);
    std::u32string s;
    for (int i = len(rng); i > 0; --i) {
        const auto [lo, hi] = kRanges[range(rng)];
        s.push_back(std::uniform_int_distribution<char32_t>(lo, hi)(rng));
    }
    return EncodeUtf8(s);
}

TEST(SettingsFuzz, AnyBytesLoadAndReadTheSameInPieces) {
    std::mt19937 rng(20240608);
    for (int n = 0; n < kByteInputs; ++n) {
        const std::string content = RandomBytes(rng);
        const std::string line = LastLine(content);
        ASSERT_EQ(line.find('\r'), std::string::npos) << Hex(content);
        ASSERT_NE(content.find(line), std::string::npos) << Hex(content);

        // Split into three random pieces: the reader must not care.
        std::uniform_int_distribution<size_t> cut(0, content.size());
        size_t a = cut(rng), b = cut(rng);
        if (a > b) std::swap(a, b);
        const std::string_view whole(content);
        LastLineReader reader;
        reader.Feed(whole.substr(0, a));
        reader.Feed(whole.substr(a, b - a));
        reader.Feed(whole.substr(b));
        ASSERT_EQ(reader.Value(), line) << Hex(content);

        // Whatever was loaded saves and loads again as the same text.
        // At most one character a byte, each a whole character.
        const std::string value = DecodeNarrow(line);
        const std::u32string chars = DecodeUtf8(value);
        ASSERT_LE(chars.size(), line.size()) << Hex(content);
        ASSERT_EQ(EncodeUtf8(chars), value) << Hex(content);
        ASSERT_EQ(SettingsFileValue(SettingsFileBytes(value)), value) << Hex(content);
    }
    RecordProperty("inputs", kByteInputs);
}

TEST(SettingsFuzz, AnySingleLineTextSurvivesSaveAndLoad) {
    std::mt19937 rng(936);
    for (int n = 0; n < kTextInputs; ++n) {
        const std::string text = RandomText(rng);
        const std::string bytes = SettingsFileBytes(text);
        ASSERT_TRUE(bytes.ends_with("\r\n"));
        ASSERT_EQ(SettingsFileValue(bytes), text) << text;
    }
    RecordProperty("inputs", kTextInputs);
}

}  // namespace
}  // namespace rm
