// The settings-file format and the narrow-text codec against known bytes: what
// the Windows program writes and reads, and what it must never lose.
#include <gtest/gtest.h>

#include <string>

#include "core/Utf8.h"
#include "platform/linux/SettingsFile.h"

namespace rm {
namespace {

std::string Bytes(const char* s, size_t n) {
    return std::string(s, n);
}

// UTF-8 of code points, for characters a source file shows badly.
std::string U8(std::u32string_view text) {
    return EncodeUtf8(text);
}

struct LineCase {
    const char* name;
    std::string content;
    std::string value;
};

TEST(LastLine, TakesTheLastLineEndedByCrWithOrWithoutLf) {
    const LineCase cases[] = {
        {"one line", "30\r\n", "30"},
        {"last of several", "15\r\n30\r\n", "30"},
        {"no line end", "15", "15"},
        {"lf alone is no line end", "15\n30\n", "15\n30\n"},
        {"cr alone ends a line", "15\r30", "30"},
        {"trailing cr", "abc\r", "abc"},
        {"extra blank line", "30\r\n\r\n", ""},
        {"only the line end", "\r\n", ""},
        {"lf after a cr lf starts the next line", "a\r\n\nb", "\nb"},
        {"cr cr lf", "a\r\r\nb", "b"},
        {"spaces kept", " x \r\n", " x "},
        {"zero bytes", "", ""},
        {"nul bytes kept", Bytes("a\0b\r\n", 5), Bytes("a\0b", 3)},
    };
    for (const auto& c : cases) EXPECT_EQ(LastLine(c.content), c.value) << c.name;
}

TEST(LastLine, SameResultWhenTheFileArrivesInPieces) {
    const std::string content("15\r\n30\r\n\r45\r");
    for (size_t cut = 0; cut <= content.size(); ++cut) {
        LastLineReader reader;
        reader.Feed(std::string_view(content).substr(0, cut));
        reader.Feed(std::string_view(content).substr(cut));
        EXPECT_EQ(reader.Value(), LastLine(content)) << "cut at " << cut;
    }
    LastLineReader split;  // a CR LF split across two reads is one line end
    split.Feed("15\r");
    split.Feed("\n");
    EXPECT_EQ(split.Value(), "15");
}

TEST(LastLine, KeepsOnlyTheFirstBytesOfAHugeLine) {
    LastLineReader reader(4);
    reader.Feed("abcdefgh\r\n12");
    EXPECT_EQ(reader.Value(), "12");
    reader.Feed("345678");
    EXPECT_EQ(reader.Value(), "1234");
}

TEST(NarrowText, ChineseIsStoredInCodePage936) {
    // Known bytes of the Windows code page: 迅雷 and the window's caption.
    EXPECT_EQ(EncodeNarrow(std::string("迅雷")), std::string("\xD1\xB8\xC0\xD7"));
    EXPECT_EQ(EncodeNarrow(std::string("路由器使用监视器")),
              std::string("\xC2\xB7\xD3\xC9\xC6\xF7\xCA\xB9\xD3\xC3\xBC\xE0\xCA\xD3\xC6\xF7"));
    EXPECT_EQ(EncodeNarrow(std::string("€")), std::string("\x80"));
    EXPECT_EQ(DecodeNarrow("\xD1\xB8\xC0\xD7.exe"), std::string("迅雷.exe"));
    EXPECT_EQ(DecodeNarrow("\x80"), std::string("€"));
    EXPECT_EQ(SettingsFileValue("C:\\\xD1\xB8\xC0\xD7\\Thunder.exe\r\n"),
              std::string("C:\\迅雷\\Thunder.exe"));
}

TEST(NarrowText, WhatCodePage936LacksIsStoredInGb18030) {
    // U+2E81 and U+20087 have two-byte GB18030 codes, U+1F600 a four-byte one.
    EXPECT_EQ(EncodeNarrow(std::string("⺁")), std::string("\xFE\x50"));
    EXPECT_EQ(EncodeNarrow(U8(U"\U00020087")), std::string("\xFE\x51"));
    EXPECT_EQ(EncodeNarrow(U8(U"a\U0001F600b")), std::string("a\x94\x39\xFC\x36"
                                                             "b"));
    EXPECT_EQ(DecodeNarrow("\xFE\x50"), std::string("⺁"));
    EXPECT_EQ(DecodeNarrow("\x94\x39\xFC\x36"), U8(U"\U0001F600"));
    const std::string mixed = U8(U"迅雷 ⺁ \U0001F600 é ß Ω ﬁ \U00020087 €");
    EXPECT_EQ(SettingsFileValue(SettingsFileBytes(mixed)), mixed);
}

TEST(NarrowText, BrokenBytesBecomeReplacementCharacters) {
    const std::string fffd("\uFFFD");
    EXPECT_EQ(DecodeNarrow("\xFF"), fffd);
    EXPECT_EQ(DecodeNarrow("ab\x81"), std::string("ab") + fffd);  // cut short
    EXPECT_EQ(DecodeNarrow("\x81\x30z"), fffd + std::string("0z"));
    EXPECT_EQ(DecodeNarrow("\xD1\xB8\xFF\xC0\xD7"), std::string("迅") + fffd + std::string("雷"));
    EXPECT_EQ(DecodeNarrow(std::string("a\0b", 3)), std::string("a\0b", 3));
    // An unpaired surrogate cannot be stored: its bytes are no UTF-8, and each
    // is written as U+FFFD.
    const std::string lone("\xED\xA0\x80");
    EXPECT_EQ(DecodeNarrow(EncodeNarrow(lone)), fffd + fffd + fffd);
    EXPECT_EQ(DecodeNarrow(EncodeNarrow("a\xFF")), "a" + fffd);
    // Nor can the private-use characters whose codes GB18030 gave to standard
    // characters (FE51 is now U+20087, no longer U+E816).
    EXPECT_EQ(DecodeNarrow(EncodeNarrow(U8(U"\uE816"))), fffd);
}

}  // namespace
}  // namespace rm
