// The settings files' narrow text through the system's own code pages: 936
// (GBK) first, as the files have always been written, and 54936 (GB18030) for
// the characters GBK has no code for. Conversion goes one character at a time
// so that a bad byte costs one U+FFFD and never the rest of the line, the same
// rule as the Linux build's, which keeps the files byte-identical between them.
#include <windows.h>

#include <string>

#include "core/Utf8.h"
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
                c = DecodeOne(kGb18030, p, 4);
                used = 4;
            } else if (left >= 2) {
                c = DecodeOne(kGbk, p, 2);
                if (c == 0) c = DecodeOne(kGb18030, p, 2);
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
            BOOL usedDefault = FALSE;
            // No best fit: a character GBK lacks must not become a look-alike.
            int n = WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, wide, wlen, bytes, sizeof bytes,
                                        nullptr, &usedDefault);
            if (n <= 0 || usedDefault) {
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
