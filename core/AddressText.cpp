// Conversions between IPv4 values, IPv4 text and MAC text. InetAddr follows the
// C library's inet_addr (glibc) rule for rule, so that every text reads as it
// did when the system's own function read it.
#include "core/AddressText.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace rm {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexValue(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The C locale's blanks, which may follow an address.
bool IsCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// One part as strtoul(…, 0) reads it: 0x hexadecimal, leading 0 octal, else
// decimal. False when it does not fit in 32 bits.
bool ReadPart(std::string_view s, size_t* at, uint64_t* value) {
    size_t i = *at;
    int base = 10;
    if (s[i] == '0') {
        if (i + 2 < s.size() && (s[i + 1] == 'x' || s[i + 1] == 'X') && HexValue(s[i + 2]) >= 0) {
            base = 16;
            i += 2;
        } else {
            base = 8;
        }
    }
    uint64_t v = 0;
    for (; i < s.size(); ++i) {
        const int d = HexValue(s[i]);
        if (d < 0 || d >= base) break;
        v = v * uint64_t(base) + uint64_t(d);
        if (v > 0xFFFFFFFFull) return false;
    }
    *at = i;
    *value = v;
    return true;
}

}  // namespace

std::string Ipv4ToText(const uint8_t value[4]) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) text += '.';
        text += std::to_string(value[i]);
    }
    return text;
}

std::string MacBytesToText(const uint8_t* bytes, uint32_t count) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(size_t(count) * 3);
    for (uint32_t i = 0; i < count; ++i) {
        if (i > 0) text += '-';
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

uint32_t InetAddr(std::string_view text) {
    // The text crosses into the resolver as a C string: it ends at the first NUL.
    text = text.substr(0, std::min(text.size(), text.find('\0')));
    static constexpr uint64_t kMax[4] = {0xFFFFFFFFull, 0xFFFFFFull, 0xFFFFull, 0xFFull};
    std::array<uint8_t, 4> bytes{};
    size_t parts = 0;
    size_t i = 0;
    uint64_t value = 0;
    for (;;) {
        if (i >= text.size() || !IsDigit(text[i])) return kInaddrNone;
        if (!ReadPart(text, &i, &value)) return kInaddrNone;
        if (i < text.size() && text[i] == '.') {
            // a.b.c.d, a.b.c (c takes 16 bits), a.b (b takes 24 bits)
            if (parts > 2 || value > 0xFF) return kInaddrNone;
            bytes[parts++] = uint8_t(value);
            ++i;
        } else {
            break;
        }
    }
    if (i < text.size() && !IsCSpace(text[i])) return kInaddrNone;
    if (value > kMax[parts]) return kInaddrNone;
    // The last part fills the remaining bytes, most significant first.
    for (size_t k = 3; k >= parts && k < 4; --k) {
        bytes[k] |= uint8_t(value & 0xFF);
        value >>= 8;
        if (k == 0) break;
    }
    uint32_t out = 0;
    std::memcpy(&out, bytes.data(), 4);
    return out;
}

bool ParseDottedQuad(std::string_view text, uint32_t& value) {
    uint8_t bytes[4] = {};
    size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (at >= text.size() || text[at] != '.') return false;
            ++at;
        }
        const size_t begin = at;
        unsigned number = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - begin < 3)
            number = number * 10 + unsigned(text[at++] - '0');
        const size_t digits = at - begin;
        if (digits == 0 || number > 255 || (digits > 1 && text[begin] == '0')) return false;
        bytes[part] = uint8_t(number);
    }
    if (at != text.size()) return false;
    std::memcpy(&value, bytes, 4);  // network byte order is memory order
    return true;
}

}  // namespace rm
