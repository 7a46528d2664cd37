// Number reading of text boxes; see TextNumber.h.
#include "TextNumber.h"

#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace rm {

namespace {

bool IsSkipped(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

int DigitValue(QChar c, int radix) {
    int v = -1;
    if (c >= u'0' && c <= u'9') v = c.unicode() - u'0';
    else if (c >= u'a' && c <= u'f') v = c.unicode() - u'a' + 10;
    else if (c >= u'A' && c <= u'F') v = c.unicode() - u'A' + 10;
    return v < radix ? v : -1;
}

// &H / &O numbers are typed values: up to 16 bits they read as a 16-bit signed
// integer, up to 32 bits as a 32-bit one (&HFFFF is -1, &H10000 is 65536).
double RadixValue(const QString& s, int radix) {
    double value = 0;
    bool any = false;
    for (QChar c : s) {
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

double ReadNumber(const QString& text) {
    QString s;
    s.reserve(std::min<qsizetype>(text.size(), 4096));
    for (QChar c : text) {
        if (!IsSkipped(c)) s.append(c);
        // Nothing past a few hundred significant characters can change the value
        // except exponent digits, which saturate long before that.
        if (s.size() >= 4096) break;
    }

    if (s.size() >= 2 && s[0] == u'&') {
        QChar p = s[1].toUpper();
        if (p == u'H') return RadixValue(s.mid(2), 16);
        if (p == u'O') return RadixValue(s.mid(2), 8);
        return 0;
    }

    // Collect the longest prefix of the form [sign] digits [. digits] [E|D [sign] digits].
    std::string num;
    qsizetype i = 0;
    auto digits = [&] {
        qsizetype start = i;
        while (i < s.size() && s[i] >= u'0' && s[i] <= u'9') num.push_back(char(s[i++].unicode()));
        return i > start;
    };
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) num.push_back(char(s[i++].unicode()));
    bool mantissa = digits();
    if (i < s.size() && s[i] == u'.') {
        num.push_back('.');
        ++i;
        mantissa = digits() || mantissa;
    }
    if (!mantissa) return 0;
    if (i < s.size() && (s[i] == u'e' || s[i] == u'E' || s[i] == u'd' || s[i] == u'D')) {
        std::string keep = num;
        qsizetype keepI = i;
        num.push_back('e');
        ++i;
        if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) num.push_back(char(s[i++].unicode()));
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

}  // namespace rm
