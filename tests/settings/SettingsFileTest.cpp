// The settings-file format and the narrow-text codec against known bytes: what
// the Windows program writes and reads, and what it must never lose.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include "app/SettingsFile.h"

namespace rm {
namespace {

QByteArray Bytes(const char* s, qsizetype n) {
    return QByteArray(s, n);
}

struct LineCase {
    const char* name;
    QByteArray content;
    QByteArray value;
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
    const QByteArray content("15\r\n30\r\n\r45\r");
    for (qsizetype cut = 0; cut <= content.size(); ++cut) {
        LastLineReader reader;
        reader.Feed(QByteArrayView(content).first(cut));
        reader.Feed(QByteArrayView(content).sliced(cut));
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
    EXPECT_EQ(EncodeNarrow(QStringLiteral("迅雷")), QByteArray("\xD1\xB8\xC0\xD7"));
    EXPECT_EQ(EncodeNarrow(QStringLiteral("路由器使用监视器")),
              QByteArray("\xC2\xB7\xD3\xC9\xC6\xF7\xCA\xB9\xD3\xC3\xBC\xE0\xCA\xD3\xC6\xF7"));
    EXPECT_EQ(EncodeNarrow(QStringLiteral("€")), QByteArray("\x80"));
    EXPECT_EQ(DecodeNarrow("\xD1\xB8\xC0\xD7.exe"), QStringLiteral("迅雷.exe"));
    EXPECT_EQ(DecodeNarrow("\x80"), QStringLiteral("€"));
    EXPECT_EQ(SettingsFileValue("C:\\\xD1\xB8\xC0\xD7\\Thunder.exe\r\n"),
              QStringLiteral("C:\\迅雷\\Thunder.exe"));
}

TEST(NarrowText, WhatCodePage936LacksIsStoredInGb18030) {
    // U+2E81 and U+20087 have two-byte GB18030 codes, U+1F600 a four-byte one.
    EXPECT_EQ(EncodeNarrow(QStringLiteral("⺁")), QByteArray("\xFE\x50"));
    EXPECT_EQ(EncodeNarrow(QString::fromUcs4(U"\U00020087")), QByteArray("\xFE\x51"));
    EXPECT_EQ(EncodeNarrow(QString::fromUcs4(U"a\U0001F600b")), QByteArray("a\x94\x39\xFC\x36"
                                                                           "b"));
    EXPECT_EQ(DecodeNarrow("\xFE\x50"), QStringLiteral("⺁"));
    EXPECT_EQ(DecodeNarrow("\x94\x39\xFC\x36"), QString::fromUcs4(U"\U0001F600"));
    const QString mixed = QString::fromUcs4(U"迅雷 ⺁ \U0001F600 é ß Ω ﬁ \U00020087 €");
    EXPECT_EQ(SettingsFileValue(SettingsFileBytes(mixed)), mixed);
}

TEST(NarrowText, BrokenBytesBecomeReplacementCharacters) {
    const QString fffd(QChar(0xFFFD));
    EXPECT_EQ(DecodeNarrow("\xFF"), fffd);
    EXPECT_EQ(DecodeNarrow("ab\x81"), QStringLiteral("ab") + fffd);  // cut short
    EXPECT_EQ(DecodeNarrow("\x81\x30z"), fffd + QStringLiteral("0z"));
    EXPECT_EQ(DecodeNarrow("\xD1\xB8\xFF\xC0\xD7"),
              QStringLiteral("迅") + fffd + QStringLiteral("雷"));
    const QString withNul = DecodeNarrow(QByteArray("a\0b", 3));
    ASSERT_EQ(withNul.size(), 3);
    EXPECT_EQ(withNul[1], QChar(0));
    // An unpaired surrogate cannot be stored; it is written as U+FFFD.
    const QString lone(QChar(0xD800));
    EXPECT_EQ(DecodeNarrow(EncodeNarrow(lone)), fffd);
    // Nor can the private-use characters whose codes GB18030 gave to standard
    // characters (FE51 is now U+20087, no longer U+E816).
    EXPECT_EQ(DecodeNarrow(EncodeNarrow(QString(QChar(0xE816)))), fffd);
}

}  // namespace
}  // namespace rm
