// The number-reading rule of the window's text boxes: the number a text begins
// with (blanks, tabs and line breaks skipped anywhere, sign, fraction, exponent,
// &H / &O prefixes; 0 when there is none) and its conversion to a 32-bit whole
// number with halves going to the even neighbour.
#pragma once

#include <cstdint>
#include <string_view>

namespace rm {

// The value of the number the text begins with; 0 when it begins with none.
double ReadNumber(std::string_view text);

// Nearest 32-bit signed whole number, halves to even (2.5 -> 2, 3.5 -> 4).
// Values beyond the 32-bit range are clamped to it; NaN reads as 0.
int32_t ToInt32(double value);

// A command-line argument that is one decimal whole number and nothing else
// ("-3", "254"; not "", " 1", "1x", "1.0"), within 32 bits.
bool ParseInt32Argument(std::string_view text, int32_t& out);

// ToInt32(ReadNumber(text)).
inline int32_t ReadWholeNumber(std::string_view text) {
    return ToInt32(ReadNumber(text));
}

}  // namespace rm
