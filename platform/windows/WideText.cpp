// Done by hand rather than with MultiByteToWideChar(CP_UTF8): the result for
// broken input is then the same as on Linux, one U+FFFD per bad byte.
#include "platform/windows/WideText.h"

#include "core/Utf8.h"

namespace rm {

std::wstring WideFromUtf8(std::string_view utf8) {
    const std::u32string chars = DecodeUtf8(utf8);
    std::wstring out;
    out.reserve(chars.size());
    for (char32_t c : chars) {
        if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
        if (c < 0x10000) {
            out.push_back(wchar_t(c));
        } else if (c <= 0x10FFFF) {
            c -= 0x10000;
            out.push_back(wchar_t(0xD800 + (c >> 10)));
            out.push_back(wchar_t(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(wchar_t(0xFFFD));
        }
    }
    return out;
}

std::string Utf8FromWide(std::wstring_view wide) {
    std::u32string chars;
    chars.reserve(wide.size());
    for (size_t i = 0; i < wide.size(); ++i) {
        const char32_t c = char16_t(wide[i]);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size()) {
            const char32_t low = char16_t(wide[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                chars.push_back(0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        chars.push_back(c >= 0xD800 && c <= 0xDFFF ? char32_t(0xFFFD) : c);
    }
    return EncodeUtf8(chars);
}

}  // namespace rm
