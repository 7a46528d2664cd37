// The message pumps: the main loop and the pumps of the monitor's waits, all
// serving the window's keyboard navigation the same way.
#include <string>

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

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring out(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), out.data(), n);
    return out;
}

std::string Narrow(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), out.data(), n, nullptr, nullptr);
    return out;
}

}  // namespace rm
