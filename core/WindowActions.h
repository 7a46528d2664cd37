// Closing and minimising other programs' top-level windows chosen by a
// fragment of their title (used on the download manager's windows).
#pragma once

#include <string>
#include <string_view>

#include "core/DesktopApi.h"

namespace rm {

// The fragment of the latest action; the per-window callbacks read it from
// here. Keeps its value after the action returns.
extern std::string titleFragment;

// Asks every top-level window whose title contains `fragment` to close. Returns
// after every window has been examined and each matching one got the request.
void CloseWindowsByTitle(WindowSystem& windows, std::string_view fragment);
// Minimises every top-level window whose title contains `fragment`.
void MinimizeWindowsByTitle(WindowSystem& windows, std::string_view fragment);

// Per-window callbacks of the two actions: act on `w` when its title (its first
// 255 characters) contains `titleFragment`. Always 1: go on to the next window.
int CloseIfTitleMatches(WindowSystem& windows, WindowSystem::WindowId w);
int MinimizeIfTitleMatches(WindowSystem& windows, WindowSystem::WindowId w);

}  // namespace rm
