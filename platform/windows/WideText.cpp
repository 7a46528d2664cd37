#include "platform/windows/WideText.h"

#include "core/Utf8.h"

namespace rm {

// wchar_t is UTF-16 on Windows; the conversion itself is the core's, so that
// broken text reads the same as on Linux.
std::wstring WideFromUtf8(std::string_view utf8) {
    const std::u16string text = Utf16FromUtf8(utf8);
    return std::wstring(text.begin(), text.end());
}

std::string Utf8FromWide(std::wstring_view wide) {
    return Utf8FromUtf16(std::u16string(wide.begin(), wide.end()));
}

}  // namespace rm
