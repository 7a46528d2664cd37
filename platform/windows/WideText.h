// UTF-8 (the core's text) to and from UTF-16 (the W functions' text).
#pragma once

#include <string>
#include <string_view>

namespace rm {

// Bytes that are no UTF-8 become U+FFFD.
std::wstring WideFromUtf8(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string Utf8FromWide(std::wstring_view wide);

}  // namespace rm
