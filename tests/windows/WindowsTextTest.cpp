// The settings files' code page through the system's converters, and the
// UTF-16 text of the W functions. The expected bytes are those the Linux build
// writes (glibc's CP936 and GB18030), so that a settings folder moves between
// the two unchanged.
#include <gtest/gtest.h>

#include <string>

#include "core/Utf8.h"
#include "platform/windows/WideText.h"
#include "platform/windows/WindowsPlatform.h"

namespace rm {
namespace {

struct Sample {
    const char* utf8;
    std::string narrow;
};

class NarrowCodecTest : public ::testing::Test {
  protected:
    std::unique_ptr<NarrowCodec> codec = MakeWindowsNarrowCodec();
};

TEST_F(NarrowCodecTest, CharactersOfGbkAndGb18030OnlyGiveTheLinuxBuildsBytes) {
    const Sample samples[] = {
        {"192.168.1.1", "192.168.1.1"},
        {"Orla网监视", "Orla\xCD\xF8\xBC\xE0\xCA\xD3"},
        {"\xE2\x82\xAC", "\x80"},                  // euro sign, 936's 0x80
        {"\xC3\xA9\xC2\xB7", "\xA8\xA6\xA1\xA4"},  // é and middle dot
        {"\xC4\x80", "\x81\x30\x8B\x38"},          // Ā: GB18030 only
        {"\xE2\x82\xB9", "\x81\x36\xB4\x34"},      // rupee sign: GB18030 only
        {"\xF0\x9F\x98\x80", "\x94\x39\xFC\x36"},  // emoji, outside the BMP
        {"\xF0\xA0\x80\x80", "\x95\x32\x82\x36"},  // CJK extension B
        {"C:\\迅雷\\Thunder.exe", "C:\\\xD1\xB8\xC0\xD7\\Thunder.exe"},
    };
    for (const Sample& s : samples) {
        EXPECT_EQ(codec->Encode(s.utf8), s.narrow) << s.utf8;
        EXPECT_EQ(codec->Decode(s.narrow), s.utf8) << s.utf8;
    }
}

TEST_F(NarrowCodecTest, EveryCharacterSurvivesTheRoundTrip) {
    const std::string text =
        "a\xC4\x80"
        "b网\xF0\x9F\x98\x80\xE2\x82\xAC\xE2\x82\xB9\xF0\xA0\x80\x80 z";
    const std::string narrow = codec->Encode(text);
    EXPECT_EQ(codec->Decode(narrow), text);
    EXPECT_EQ(codec->Encode(codec->Decode(narrow)), narrow);
}

TEST_F(NarrowCodecTest, EveryCharacterOfTheBasicPlaneComesBackOrIsTheReplacement) {
    const std::string replacement = "\x84\x31\xA4\x37";
    int replaced = 0;
    for (char32_t c = 0x80; c <= 0xFFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        const std::string text = EncodeUtf8(std::u32string(1, c));
        const std::string narrow = codec->Encode(text);
        if (narrow == replacement && c != 0xFFFD) {
            ++replaced;
            continue;
        }
        ASSERT_EQ(codec->Decode(narrow), text) << std::hex << uint32_t(c);
    }
    // Only the private-use characters glibc's GB18030 leaves without a code.
    EXPECT_LT(replaced, 200);
}

TEST_F(NarrowCodecTest, BadBytesCostOneReplacementEachAndNotTheRest) {
    const std::string fffd = "\xEF\xBF\xBD";
    EXPECT_EQ(codec->Decode("\xFF"), fffd);
    EXPECT_EQ(codec->Decode("a\x81"), "a" + fffd);     // lead byte cut off by the end
    EXPECT_EQ(codec->Decode("\x81\x30"), fffd + "0");  // four-byte code cut short
    EXPECT_EQ(codec->Decode("\xFF\xCD\xF8"), fffd + "网");
    EXPECT_EQ(codec->Decode("\xCD\xF8\xFF\xBC\xE0"), "网" + fffd + "监");
    // Broken UTF-8 is written as U+FFFD in GB18030, as on Linux.
    EXPECT_EQ(codec->Encode("x\xFFy"), "x\x84\x31\xA4\x37y");
    EXPECT_EQ(codec->Encode(""), "");
    EXPECT_EQ(codec->Decode(""), "");
}

TEST(WideTextTest, Utf16RoundTripKeepsSurrogatePairsAndReplacesBrokenText) {
    const std::string text = "迅雷\xF0\x9F\x98\x80!";
    const std::wstring wide = WideFromUtf8(text);
    ASSERT_EQ(wide.size(), 5u);
    EXPECT_EQ(wide[0], L'\u8FC5');
    EXPECT_EQ(wide[2], wchar_t(0xD83D));
    EXPECT_EQ(wide[3], wchar_t(0xDE00));
    EXPECT_EQ(Utf8FromWide(wide), text);

    EXPECT_EQ(WideFromUtf8("a\xFF"), std::wstring(L"a\uFFFD"));
    const wchar_t lone[] = {L'x', wchar_t(0xD800), L'y', 0};
    EXPECT_EQ(Utf8FromWide(lone), "x\xEF\xBF\xBDy");
    const wchar_t lowFirst[] = {wchar_t(0xDE00), wchar_t(0xD83D), 0};
    EXPECT_EQ(Utf8FromWide(lowFirst), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

}  // namespace
}  // namespace rm
