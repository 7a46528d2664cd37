// Top-level windows through EnumWindows. A WindowId is the HWND. The monitor's
// own windows (every window of this process, and any the front end names) are
// never listed, so that no title rule can ever close or minimise the monitor.
#include <windows.h>

#include <algorithm>
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

    std::string TitleOf(WindowId w) override {
        const HWND hwnd = Handle(w);
        if (!IsWindow(hwnd)) return {};
        // GetWindowTextW sends WM_GETTEXT to a window of another process and
        // waits for it; a hung program would hang the monitor. The bounded
        // message gives up after a while and leaves the title empty.
        DWORD_PTR length = 0;
        if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kLimitMs, &length))
            return {};
        length = std::min<DWORD_PTR>(length, 32767);
        std::wstring title(size_t(length) + 1, L'\0');
        const int n = GetWindowTextW(hwnd, title.data(), int(title.size()));
        title.resize(size_t(std::max(n, 0)));
        return Utf8FromWide(title);
    }

    // Posted, not sent: a program that asks "save changes?" must not block us.
    void RequestClose(WindowId w) override {
        if (IsOurs(w)) return;
        PostMessageW(Handle(w), WM_CLOSE, 0, 0);
    }

    void Minimize(WindowId w) override {
        if (IsOurs(w)) return;
        ShowWindow(Handle(w), SW_MINIMIZE);
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

    static constexpr UINT kLimitMs = 500;
    WindowsOwnWindowsFn own_;
};

}  // namespace

std::unique_ptr<WindowSystem> MakeWindowsWindowSystem(WindowsOwnWindowsFn ownWindows) {
    return std::make_unique<WindowsWindowSystem>(std::move(ownWindows));
}

}  // namespace rm
