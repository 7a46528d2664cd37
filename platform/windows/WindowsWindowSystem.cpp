// Top-level windows through EnumWindows. A WindowId is the HWND. The monitor's
// own windows (every window of this process, and any the front end names) are
// never listed, so that no title rule can ever close or minimise the monitor.
#include <windows.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "platform/windows/WideText.h"
#include "platform/windows/WindowsPlatform.h"

namespace rm {

namespace {

HWND Handle(WindowSystem::WindowId w) {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(w));
}

class WindowsWindowSystem : public WindowSystem {
  public:
    explicit WindowsWindowSystem(WindowsOwnWindowsFn ownWindows) : own_(std::move(ownWindows)) {}

    std::vector<WindowId> TopLevelWindows() override {
        struct Walk {
            DWORD self;
            std::vector<WindowId> found;
        } walk{GetCurrentProcessId(), {}};
        EnumWindows(
            [](HWND hwnd, LPARAM p) -> BOOL {
                auto* walk = reinterpret_cast<Walk*>(p);
                DWORD pid = 0;
                GetWindowThreadProcessId(hwnd, &pid);
                if (pid != walk->self)
                    walk->found.push_back(WindowId(reinterpret_cast<uintptr_t>(hwnd)));
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&walk));
        if (own_) {
            const std::vector<WindowId> own = own_();
            std::erase_if(walk.found, [&](WindowId w) {
                return std::find(own.begin(), own.end(), w) != own.end();
            });
        }
        return walk.found;
    }

    // GetWindowTextW reads another program's title from the system's copy
    // without sending it anything, so a hung program cannot hold us here. The
    // buffer of 256 characters takes the first 255 of a longer title.
    std::string TitleOf(WindowId w) override {
        const HWND hwnd = Handle(w);
        if (!IsWindow(hwnd)) return {};
        wchar_t title[256];
        const int n = GetWindowTextW(hwnd, title, int(std::size(title)));
        return Utf8FromWide(std::wstring(title, size_t(std::clamp(n, 0, 255))));
    }

    // Both requests are sent, so that every matching window has handled its
    // request when the action returns; a program that does not answer within
    // the bound (hung, or asking "save changes?") is left to itself.
    void RequestClose(WindowId w) override {
        if (!IsOurs(w)) Send(Handle(w), WM_CLOSE, 0);
    }

    // The window's own minimise command: a program that goes to its tray when
    // minimised hears it as it hears its title-bar button.
    void Minimize(WindowId w) override {
        if (!IsOurs(w)) Send(Handle(w), WM_SYSCOMMAND, SC_MINIMIZE);
    }

  private:
    // A window id may come from anywhere in the core: check again before acting.
    bool IsOurs(WindowId w) {
        DWORD pid = 0;
        if (!GetWindowThreadProcessId(Handle(w), &pid)) return true;  // gone: nothing to do
        if (pid == GetCurrentProcessId()) return true;
        if (!own_) return false;
        const std::vector<WindowId> own = own_();
        return std::find(own.begin(), own.end(), w) != own.end();
    }

    static void Send(HWND hwnd, UINT message, WPARAM w) {
        DWORD_PTR result = 0;
        SendMessageTimeoutW(hwnd, message, w, 0, SMTO_ABORTIFHUNG, kLimitMs, &result);
    }

    static constexpr UINT kLimitMs = 1000;
    WindowsOwnWindowsFn own_;
};

}  // namespace

std::unique_ptr<WindowSystem> MakeWindowsWindowSystem(WindowsOwnWindowsFn ownWindows) {
    return std::make_unique<WindowsWindowSystem>(std::move(ownWindows));
}

}  // namespace rm
