// The settings files' narrow text: code page 936 (GBK), as the files have
// always been written, and GB18030 for the characters 936 has no code for.
// Windows's 936 knows a few codes glibc's does not (A8BF is U+E7C8 here, ǹ in
// GB18030), and Wine has no 54936 at all, so GB18030's own codes come from a
// table made from glibc's converter first: both builds then write and read the
// same bytes. 54936 is the last resort where the system has it. Conversion goes
// one character at a time, so a bad byte costs one U+FFFD, never the line.
#include <windows.h>

#include <string>

#include "core/Utf8.h"
#include "platform/windows/Gb18030Table.h"
#include "platform/windows/WindowsPlatform.h"

namespace rm {

namespace {

constexpr UINT kGbk = 936;
constexpr UINT kGb18030 = 54936;
constexpr char32_t kReplacement = 0xFFFD;

// One character of `cp` in exactly `len` bytes, or 0 when those bytes are no
// single character of that code page.
char32_t DecodeOne(UINT cp, const char* p, int len) {
    wchar_t wide[4];
    const int n = MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, p, len, wide, 4);
    if (n == 1 && !(wide[0] >= 0xD800 && wide[0] <= 0xDFFF)) return char16_t(wide[0]);
    if (n == 2 && wide[0] >= 0xD800 && wide[0] <= 0xDBFF && wide[1] >= 0xDC00 && wide[1] <= 0xDFFF)
        return 0x10000 + ((char32_t(wide[0]) - 0xD800) << 10) + (char32_t(wide[1]) - 0xDC00);
    return 0;
}

// Wine has no code page 54936: there GB18030 comes from the table.
bool HaveGb18030() {
    static const bool have = IsValidCodePage(kGb18030) != FALSE;
    return have;
}

uint32_t FourByteLinear(const unsigned char* b) {
    return (((uint32_t(b[0]) - 0x81) * 10 + (b[1] - 0x30)) * 126 + (b[2] - 0x81)) * 10 +
           (b[3] - 0x30);
}

void FourByteCode(uint32_t linear, uint8_t first, char* out) {
    out[3] = char(0x30 + linear % 10);
    linear /= 10;
    out[2] = char(0x81 + linear % 126);
    linear /= 126;
    out[1] = char(0x30 + linear % 10);
    out[0] = char(first + linear / 10);
}

char32_t DecodeGb18030Table(const char* p, int len) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    if (len == 2) {
        const uint16_t code = uint16_t(b[0] << 8 | b[1]);
        for (const auto& run : gb18030::kTwoByteRuns)
            if (code >= run.code && code < run.code + run.count)
                return char32_t(run.codePoint + (code - run.code));
        return 0;
    }
    if (b[0] < 0x81 || b[0] > 0xFE || b[1] < 0x30 || b[1] > 0x39 || b[2] < 0x81 || b[2] > 0xFE ||
        b[3] < 0x30 || b[3] > 0x39)
        return 0;
    if (b[0] >= 0x90) {
        unsigned char shifted[4] = {uint8_t(b[0] - 0x90 + 0x81), b[1], b[2], b[3]};
        const uint32_t c = 0x10000 + FourByteLinear(shifted);
        return c <= 0x10FFFF ? c : 0;
    }
    const uint32_t linear = FourByteLinear(b);
    for (const auto& run : gb18030::kFourByteRuns)
        if (linear >= run.linear && linear < run.linear + run.count)
            return char32_t(run.codePoint + (linear - run.linear));
    return 0;
}

// The GB18030 bytes of `c`, which 936 has no code for; 0 when there are none.
int EncodeGb18030Table(char32_t c, char* out) {
    if (c >= 0x10000 && c <= 0x10FFFF) {
        FourByteCode(c - 0x10000, 0x90, out);
        return 4;
    }
    for (const auto& run : gb18030::kTwoByteRuns) {
        if (c >= run.codePoint && c < char32_t(run.codePoint) + run.count) {
            const uint16_t code = uint16_t(run.code + (c - run.codePoint));
            out[0] = char(code >> 8);
            out[1] = char(code & 0xFF);
            return 2;
        }
    }
    for (const auto& run : gb18030::kFourByteRuns) {
        if (c >= run.codePoint && c < char32_t(run.codePoint) + run.count) {
            FourByteCode(run.linear + (c - run.codePoint), 0x81, out);
            return 4;
        }
    }
    return 0;
}

char32_t DecodeGb18030(const char* p, int len) {
    const char32_t c = DecodeGb18030Table(p, len);
    return c != 0 || !HaveGb18030() ? c : DecodeOne(kGb18030, p, len);
}

class WindowsNarrowCodec : public NarrowCodec {
  public:
    std::string Decode(std::string_view narrow) override {
        std::u32string out;
        out.reserve(narrow.size());
        const char* p = narrow.data();
        size_t left = narrow.size();
        while (left > 0) {
            const auto b = static_cast<unsigned char>(*p);
            if (b < 0x80) {
                out.push_back(b);
                ++p;
                --left;
                continue;
            }
            // GB18030's four-byte codes have a digit as their second byte; GBK's
            // two-byte codes never do. Two-byte codes GBK leaves unassigned may
            // still be GB18030 characters.
            size_t used = 0;
            char32_t c = 0;
            if (left >= 4 && p[1] >= '0' && p[1] <= '9') {
                c = DecodeGb18030(p, 4);
                used = 4;
            } else if (left >= 2) {
                c = DecodeGb18030Table(p, 2);
                if (c == 0) c = DecodeOne(kGbk, p, 2);
                if (c == 0 && HaveGb18030()) c = DecodeOne(kGb18030, p, 2);
                used = 2;
            }
            if (c == 0) {
                c = DecodeOne(kGbk, p, 1);  // 0x80 is the euro sign in 936
                used = 1;
            }
            if (c == 0) c = kReplacement;
            out.push_back(c);
            p += used;
            left -= used;
        }
        return EncodeUtf8(out);
    }

    std::string Encode(std::string_view utf8) override {
        const std::u32string chars = DecodeUtf8(utf8);  // bad UTF-8 gives U+FFFD
        std::string out;
        out.reserve(chars.size() * 2);
        for (char32_t c : chars) {
            if (c < 0x80) {
                out.push_back(char(c));
                continue;
            }
            wchar_t wide[2];
            int wlen = 1;
            if (c >= 0xD800 && c <= 0xDFFF) c = kReplacement;
            if (c >= 0x10000 && c <= 0x10FFFF) {
                wide[0] = wchar_t(0xD800 + ((c - 0x10000) >> 10));
                wide[1] = wchar_t(0xDC00 + ((c - 0x10000) & 0x3FF));
                wlen = 2;
            } else {
                wide[0] = wchar_t(c > 0x10FFFF ? kReplacement : c);
            }
            char bytes[8];
            int n = EncodeGb18030Table(c, bytes);
            if (n == 0) {
                BOOL usedDefault = FALSE;
                // No best fit: a character 936 lacks must not become a look-alike.
                n = WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, wide, wlen, bytes, sizeof bytes,
                                        nullptr, &usedDefault);
                // A code GB18030 gives another character would read back as that one.
                if (usedDefault || (n == 2 && DecodeGb18030Table(bytes, 2) != 0)) n = 0;
            }
            if (n <= 0 && HaveGb18030()) {
                // 54936 takes no default-character arguments; it codes everything.
                n = WideCharToMultiByte(kGb18030, 0, wide, wlen, bytes, sizeof bytes, nullptr,
                                        nullptr);
            }
            if (n > 0)
                out.append(bytes, size_t(n));
            else
                out.append("\x84\x31\xA4\x37", 4);  // U+FFFD in GB18030
        }
        return out;
    }
};

}  // namespace

std::unique_ptr<NarrowCodec> MakeWindowsNarrowCodec() {
    return std::make_unique<WindowsNarrowCodec>();
}

}  // namespace rm
