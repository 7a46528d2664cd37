// The message pumps: the main loop and the pumps of the monitor's waits, all
// serving the window's keyboard navigation the same way.
#include <string>

#include "core/Utf8.h"
#include "gui/win32/Win32FrontEnd.h"

namespace rm {

namespace {
HWND g_dialogWindow = nullptr;
}

void SetDialogWindow(HWND hwnd) {
    g_dialogWindow = hwnd;
}

void DispatchOne(MSG& msg) {
    if (g_dialogWindow && IsWindow(g_dialogWindow) && IsDialogMessageW(g_dialogWindow, &msg))
        return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

bool PumpPending() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // A wait must not swallow the end of the program: the main loop sees it too.
            PostQuitMessage(int(msg.wParam));
            return false;
        }
        DispatchOne(msg);
    }
    return true;
}

int RunMessageLoop() {
    MSG msg;
    BOOL got;
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) != 0) {
        if (got == -1) return 1;
        DispatchOne(msg);
    }
    return int(msg.wParam);
}

void RegisterWindowClassOnce(WNDCLASSEXW wc) {
    wc.cbSize = sizeof wc;
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (!GetClassInfoExW(wc.hInstance, wc.lpszClassName, &existing)) RegisterClassExW(&wc);
}

std::wstring Wide(const std::string& utf8) {
    const std::u16string text = Utf16FromUtf8(utf8);
    return std::wstring(text.begin(), text.end());
}

std::string Narrow(const std::wstring& wide) {
    return Utf8FromUtf16(std::u16string(wide.begin(), wide.end()));
}

}  // namespace rm
