// sndPlaySoundW in the background. SND_NODEFAULT: a missing or broken file is
// silence, not the system's default beep.
// The Windows headers need this order.
// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on

#include "platform/windows/WideText.h"
#include "platform/windows/WindowsPlatform.h"

namespace rm {

namespace {

// winmm opens a sound file by its name in the ANSI code page (Wine does so
// even behind sndPlaySoundW), so a name that code page cannot spell, such as
// 警告.wav on a Western system, would be silence. The short name of such a
// file is plain ASCII; where there is none the name is passed on unchanged.
std::wstring Playable(const std::wstring& path) {
    BOOL lost = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, path.c_str(), -1, nullptr, 0, nullptr, &lost);
    if (!lost) return path;
    std::wstring shortPath(MAX_PATH, L'\0');
    DWORD n = GetShortPathNameW(path.c_str(), shortPath.data(), DWORD(shortPath.size()));
    if (n >= shortPath.size()) {
        shortPath.resize(n);
        n = GetShortPathNameW(path.c_str(), shortPath.data(), DWORD(shortPath.size()));
    }
    if (n == 0 || n >= shortPath.size()) return path;
    shortPath.resize(n);
    return shortPath;
}

class WindowsSoundOutput : public SoundOutput {
  public:
    void PlayAsync(const std::string& path) override {
        if (path.empty()) return;
        const std::wstring wide = WideFromUtf8(path);
        // A NUL inside would name another file than the one shown.
        if (wide.find(L'\0') != std::wstring::npos) return;
        sndPlaySoundW(Playable(wide).c_str(), SND_ASYNC | SND_NODEFAULT);
    }
};

}  // namespace

std::unique_ptr<SoundOutput> MakeWindowsSoundOutput() {
    return std::make_unique<WindowsSoundOutput>();
}

}  // namespace rm
