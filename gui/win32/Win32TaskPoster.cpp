// Win32TaskPoster: the task travels as a heap pointer in the message; whoever
// takes the message off the queue (the window procedure, or the destructor's
// drain) owns it.
#include "gui/win32/Win32TaskPoster.h"

#include <memory>

#include "gui/win32/Win32FrontEnd.h"

namespace rm {

namespace {
constexpr wchar_t kClassName[] = L"RouterMonitorTaskPoster";
constexpr UINT kTaskMessage = WM_APP + 3;
}  // namespace

Win32TaskPoster::Win32TaskPoster(HINSTANCE instance) {
    if (!instance) instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kClassName;
    RegisterWindowClassOnce(wc);
    hwnd_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance,
                            nullptr);
}

Win32TaskPoster::~Win32TaskPoster() {
    if (!hwnd_) return;
    MSG msg;
    while (PeekMessageW(&msg, hwnd_, kTaskMessage, kTaskMessage, PM_REMOVE))
        delete reinterpret_cast<std::function<void()>*>(msg.lParam);
    DestroyWindow(hwnd_);
}

bool Win32TaskPoster::Post(std::function<void()> task) {
    if (!hwnd_ || !task) return false;
    auto owned = std::make_unique<std::function<void()>>(std::move(task));
    if (!PostMessageW(hwnd_, kTaskMessage, 0, reinterpret_cast<LPARAM>(owned.get()))) return false;
    owned.release();
    return true;
}

LRESULT CALLBACK Win32TaskPoster::WindowProc(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
    if (message == kTaskMessage) {
        std::unique_ptr<std::function<void()>> task(reinterpret_cast<std::function<void()>*>(l));
        (*task)();
        return 0;
    }
    return DefWindowProcW(hwnd, message, w, l);
}

}  // namespace rm
