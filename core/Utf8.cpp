// UTF-8 decoding by hand: the core carries no text library.
#include "core/Utf8.h"

namespace rm {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Length of the valid sequence at the start of `s` and its code point; 0 when
// the first byte starts none (overlong, surrogate and out-of-range forms included).
size_t SequenceAt(std::string_view s, char32_t* cp) {
    const auto b = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char c = b(0);
    if (c < 0x80) {
        *cp = c;
        return 1;
    }
    size_t len = 0;
    char32_t v = 0, min = 0;
    if ((c & 0xE0) == 0xC0) {
        len = 2, v = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3, v = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4, v = c & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (s.size() < len) return 0;
    for (size_t i = 1; i < len; ++i) {
        if ((b(i) & 0xC0) != 0x80) return 0;
        v = (v << 6) | (b(i) & 0x3F);
    }
    if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0;
    *cp = v;
    return len;
}

bool IsSpace(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

}  // namespace

std::string_view FirstCharacters(std::string_view text, size_t chars) {
    size_t at = 0;
    for (size_t n = 0; n < chars && at < text.size(); ++n) {
        char32_t cp = 0;
        const size_t len = SequenceAt(text.substr(at), &cp);
        at += len == 0 ? 1 : len;
    }
    return text.substr(0, at);
}

bool IsBlank(std::string_view text) {
    for (size_t at = 0; at < text.size();) {
        char32_t cp = 0;
        const size_t len = SequenceAt(text.substr(at), &cp);
        if (len == 0 || !IsSpace(cp)) return false;
        at += len;
    }
    return true;
}

std::u32string DecodeUtf8(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        char32_t cp = 0;
        const size_t len = SequenceAt(text.substr(at), &cp);
        out.push_back(len == 0 ? kReplacement : cp);
        at += len == 0 ? 1 : len;
    }
    return out;
}

std::string EncodeUtf8(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text) {
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = kReplacement;
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string Utf16FromUtf8(std::string_view utf8) {
    const std::u32string chars = DecodeUtf8(utf8);
    std::u16string out;
    out.reserve(chars.size());
    for (char32_t c : chars) {
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = kReplacement;
        if (c < 0x10000) {
            out.push_back(char16_t(c));
        } else {
            c -= 0x10000;
            out.push_back(char16_t(0xD800 + (c >> 10)));
            out.push_back(char16_t(0xDC00 + (c & 0x3FF)));
        }
    }
    return out;
}

std::string Utf8FromUtf16(std::u16string_view utf16) {
    std::u32string chars;
    chars.reserve(utf16.size());
    for (size_t i = 0; i < utf16.size(); ++i) {
        const char32_t c = utf16[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size()) {
            const char32_t low = utf16[i + 1];
            if (low >= 0xDC00 && low <= 0xDFFF) {
                chars.push_back(0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        chars.push_back(c >= 0xD800 && c <= 0xDFFF ? kReplacement : c);
    }
    return EncodeUtf8(chars);
}

bool HasControlCharacter(std::string_view text) {
    for (char32_t c : DecodeUtf8(text))
        if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) return true;
    return false;
}

}  // namespace rm
