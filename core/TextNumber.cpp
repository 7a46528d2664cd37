// Number reading of text boxes; see TextNumber.h.
#include "core/TextNumber.h"

#include <algorithm>
#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace rm {

namespace {

bool IsSkipped(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

int DigitValue(char c, int radix) {
    int v = -1;
    if (c >= '0' && c <= '9')
        v = c - '0';
    else if (c >= 'a' && c <= 'f')
        v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        v = c - 'A' + 10;
    return v < radix ? v : -1;
}

// &H / &O numbers are typed values: up to 16 bits they read as a 16-bit signed
// integer, up to 32 bits as a 32-bit one (&HFFFF is -1, &H10000 is 65536).
double RadixValue(std::string_view s, int radix) {
    double value = 0;
    bool any = false;
    for (char c : s) {
        int d = DigitValue(c, radix);
        if (d < 0) break;
        value = value * radix + d;
        any = true;
    }
    if (!any) return 0;
    if (value <= 0xFFFF) return static_cast<int16_t>(static_cast<uint16_t>(value));
    if (value <= 0xFFFFFFFFu) return static_cast<int32_t>(static_cast<uint32_t>(value));
    return value;
}

}  // namespace

double ReadNumber(std::string_view text) {
    // Every character that can take part in a number is ASCII, so the UTF-8
    // bytes of any other character simply end the number.
    std::string s;
    s.reserve(std::min<size_t>(text.size(), 4096));
    for (char c : text) {
        if (!IsSkipped(c)) s.push_back(c);
        // Nothing past a few hundred significant characters can change the value
        // except exponent digits, which saturate long before that.
        if (s.size() >= 4096) break;
    }

    if (s.size() >= 2 && s[0] == '&') {
        const char p = s[1];
        if (p == 'H' || p == 'h') return RadixValue(std::string_view(s).substr(2), 16);
        if (p == 'O' || p == 'o') return RadixValue(std::string_view(s).substr(2), 8);
        return 0;
    }

    // Collect the longest prefix of the form [sign] digits [. digits] [E|D [sign] digits].
    std::string num;
    size_t i = 0;
    auto digits = [&] {
        size_t start = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') num.push_back(s[i++]);
        return i > start;
    };
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) num.push_back(s[i++]);
    bool mantissa = digits();
    if (i < s.size() && s[i] == '.') {
        num.push_back('.');
        ++i;
        mantissa = digits() || mantissa;
    }
    if (!mantissa) return 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        std::string keep = num;
        size_t keepI = i;
        num.push_back('e');
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) num.push_back(s[i++]);
        if (!digits()) {
            num = keep;
            i = keepI;
        }
    }
    return std::strtod(num.c_str(), nullptr);
}

int32_t ToInt32(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    double r = std::nearbyint(value);
    std::fesetround(saved);
    return static_cast<int32_t>(r);
}

bool ParseInt32Argument(std::string_view text, int32_t& out) {
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && p == end && !text.empty();
}

}  // namespace rm
