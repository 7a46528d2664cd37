// Closing and minimising windows by a title fragment: the enumeration runs to
// the last window so that every match is acted on, not only the first.
#include "desktop/WindowActions.h"

namespace rm {

QString titleFragment;

namespace {

// A title is read into a 256-character buffer, so only its first 255
// characters can ever match.
constexpr int kTitleChars = 255;

QString ReadTitle(WindowSystem& windows, WindowSystem::WindowId w) {
    QString title = windows.TitleOf(w);
    // Counted in characters, not UTF-16 units, and never split inside one.
    int units = 0;
    for (int chars = 0; units < title.size() && chars < kTitleChars; ++chars)
        units += (title.at(units).isHighSurrogate() && units + 1 < title.size()) ? 2 : 1;
    title.truncate(units);
    return title;
}

bool TitleMatches(WindowSystem& windows, WindowSystem::WindowId w) {
    // An empty fragment, or one of blanks only, would select every titled
    // window on the desktop; it selects none.
    if (titleFragment.trimmed().isEmpty()) return false;
    return ReadTitle(windows, w).contains(titleFragment, Qt::CaseSensitive);
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

void CloseWindowsByTitle(WindowSystem& windows, const QString& fragment) {
    titleFragment = fragment;
    EnumerateWindows(windows, CloseIfTitleMatches);
}

void MinimizeWindowsByTitle(WindowSystem& windows, const QString& fragment) {
    titleFragment = fragment;
    EnumerateWindows(windows, MinimizeIfTitleMatches);
}

}  // namespace rm
