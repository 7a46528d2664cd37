// Closing and minimising windows by a title fragment: the enumeration runs to
// the last window so that every match is acted on, not only the first.
#include "core/WindowActions.h"

#include "core/Utf8.h"

namespace rm {

std::string titleFragment;

namespace {

// A title is read into a 256-character buffer, so only its first 255
// characters can ever match.
constexpr size_t kTitleChars = 255;

std::string ReadTitle(WindowSystem& windows, WindowSystem::WindowId w) {
    // Counted in characters, not bytes, and never split inside one.
    return std::string(FirstCharacters(windows.TitleOf(w), kTitleChars));
}

bool TitleMatches(WindowSystem& windows, WindowSystem::WindowId w) {
    // An empty fragment, or one of blanks only, would select every titled
    // window on the desktop; it selects none.
    if (IsBlank(titleFragment)) return false;
    return ReadTitle(windows, w).find(titleFragment) != std::string::npos;
}

void EnumerateWindows(WindowSystem& windows,
                      int (*callback)(WindowSystem&, WindowSystem::WindowId)) {
    for (WindowSystem::WindowId w : windows.TopLevelWindows())
        if (!callback(windows, w)) break;
}

}  // namespace

int CloseIfTitleMatches(WindowSystem& windows, WindowSystem::WindowId w) {
    if (TitleMatches(windows, w)) windows.RequestClose(w);
    return 1;
}

int MinimizeIfTitleMatches(WindowSystem& windows, WindowSystem::WindowId w) {
    if (TitleMatches(windows, w)) windows.Minimize(w);
    return 1;
}

void CloseWindowsByTitle(WindowSystem& windows, std::string_view fragment) {
    titleFragment = std::string(fragment);
    EnumerateWindows(windows, CloseIfTitleMatches);
}

void MinimizeWindowsByTitle(WindowSystem& windows, std::string_view fragment) {
    titleFragment = std::string(fragment);
    EnumerateWindows(windows, MinimizeIfTitleMatches);
}

}  // namespace rm
