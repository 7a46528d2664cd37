// The window system and the launcher against a real second Wine program: this
// executable started again as a stand-in download manager (RM_STAND_IN_TITLE
// names its window's title). EnumWindows under Wine sees only Wine's windows,
// so the stand-in has to be a Windows program itself.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "platform/windows/WideText.h"
#include "platform/windows/WindowsPlatform.h"

namespace {

constexpr wchar_t kTitleVariable[] = L"RM_STAND_IN_TITLE";

HWND MakeWindow(const std::wstring& title) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        if (m == WM_DESTROY) PostQuitMessage(0);
        return DefWindowProcW(h, m, w, l);
    };
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"RmTestWindow";
    RegisterClassW(&wc);
    return CreateWindowExW(0, wc.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW, 10, 10, 300,
                           200, nullptr, nullptr, wc.hInstance, nullptr);
}

// The stand-in: a window shown as the starter asked, until it is closed.
int RunStandIn(const std::wstring& title) {
    const HWND hwnd = MakeWindow(title);
    if (!hwnd) return 3;
    // Windows applies the starter's show state (STARTUPINFO) to the first
    // ShowWindow by itself; Wine 8 does not, so the stand-in applies it, which
    // still shows what the launcher asked for.
    STARTUPINFOW si{};
    si.cb = sizeof si;
    GetStartupInfoW(&si);
    ShowWindow(hwnd, (si.dwFlags & STARTF_USESHOWWINDOW) ? si.wShowWindow : SW_SHOWNORMAL);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

std::string SelfPath() {
    return rm::MakeWindowsProgramFolder()->Path() + "\\windows_window_tests.exe";
}

// The stand-in's window, waited for up to 20 s (a Wine process starts slowly).
rm::WindowSystem::WindowId FindByTitle(rm::WindowSystem& windows, const std::string& title) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        for (auto w : windows.TopLevelWindows())
            if (windows.TitleOf(w) == title) return w;
        Pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return 0;
}

bool WaitGone(rm::WindowSystem::WindowId w) {
    const HWND hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(w));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!IsWindow(hwnd)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

TEST(WindowsWindowSystemTest, ActsOnAnotherProgramsWindowAndNeverOnItsOwn) {
    const std::string title = "迅雷 stand-in";
    const HWND own = MakeWindow(rm::WideFromUtf8(title));
    ASSERT_TRUE(own);
    ShowWindow(own, SW_SHOWNORMAL);
    Pump();

    auto windows = rm::MakeWindowsWindowSystem();
    const auto listed = windows->TopLevelWindows();
    EXPECT_EQ(std::count(listed.begin(), listed.end(), reinterpret_cast<uintptr_t>(own)), 0)
        << "the monitor's own window is listed";
    // Even named directly, the own window is left alone.
    windows->Minimize(reinterpret_cast<uintptr_t>(own));
    windows->RequestClose(reinterpret_cast<uintptr_t>(own));
    Pump();
    EXPECT_TRUE(IsWindow(own));
    EXPECT_FALSE(IsIconic(own));

    // The stand-in, started as the monitor starts the download manager.
    SetEnvironmentVariableW(kTitleVariable, rm::WideFromUtf8(title).c_str());
    ASSERT_TRUE(rm::MakeWindowsProgramLauncher()->StartMinimized(SelfPath()));
    SetEnvironmentVariableW(kTitleVariable, nullptr);
    const auto other = FindByTitle(*windows, title);
    ASSERT_NE(other, 0u) << "the stand-in's window did not appear";
    const HWND otherHwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(other));
    EXPECT_TRUE(IsIconic(otherHwnd)) << "not started minimised";
    EXPECT_NE(GetForegroundWindow(), otherHwnd) << "started with the focus";

    ShowWindow(otherHwnd, SW_RESTORE);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_FALSE(IsIconic(otherHwnd));
    windows->Minimize(other);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(IsIconic(otherHwnd));

    windows->RequestClose(other);
    EXPECT_TRUE(WaitGone(other)) << "the stand-in did not close";
    EXPECT_TRUE(windows->TitleOf(other).empty());
    EXPECT_TRUE(IsWindow(own));
    DestroyWindow(own);
}

}  // namespace

int main(int argc, char** argv) {
    wchar_t title[256];
    const DWORD n = GetEnvironmentVariableW(kTitleVariable, title, 256);
    if (n > 0 && n < 256) return RunStandIn(title);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
