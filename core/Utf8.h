// Small operations on UTF-8 text that count characters, not bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace rm {

// The first `chars` characters of `text`; a character is never split. A byte
// that starts no valid sequence counts as one character.
std::string_view FirstCharacters(std::string_view text, size_t chars);

// True when `text` holds nothing but white space (Unicode separators, tab, line
// breaks), or nothing at all.
bool IsBlank(std::string_view text);

// The characters of `text`, one code point each; invalid bytes give U+FFFD.
std::u32string DecodeUtf8(std::string_view text);
// True when `text` holds a C0 control character (NUL, line breaks …), DEL or a
// C1 control: none belongs in a path typed into a one-line box, and a NUL
// would start the program named by the part before it.
bool HasControlCharacter(std::string_view text);
std::string EncodeUtf8(std::u32string_view text);

// UTF-8 to UTF-16 and back, as the Windows calls take text. Broken input gives
// one U+FFFD per bad byte or lone surrogate, the same on every system.
std::u16string Utf16FromUtf8(std::string_view utf8);
std::string Utf8FromUtf16(std::u16string_view utf16);

}  // namespace rm
