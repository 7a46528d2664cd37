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

class WindowsSoundOutput : public SoundOutput {
  public:
    void PlayAsync(const std::string& path) override {
        if (path.empty()) return;
        const std::wstring wide = WideFromUtf8(path);
        // A NUL inside would name another file than the one shown.
        if (wide.find(L'\0') != std::wstring::npos) return;
        sndPlaySoundW(wide.c_str(), SND_ASYNC | SND_NODEFAULT);
    }
};

}  // namespace

std::unique_ptr<SoundOutput> MakeWindowsSoundOutput() {
    return std::make_unique<WindowsSoundOutput>();
}

}  // namespace rm
