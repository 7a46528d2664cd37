// The window system and the launcher against a real second Wine program: this
// executable started again as a stand-in download manager (RM_STAND_IN_TITLE
// names its window's title). EnumWindows under Wine sees only Wine's windows,
// so the stand-in has to be a Windows program itself.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "core/WindowActions.h"
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

// The download manager's stand-in of the end-to-end test, copied to a folder of
// its own (its log goes beside it) and started with a title, optionally hung.
class StandIns {
  public:
    StandIns() {
        std::filesystem::create_directories(folder_);
        const std::wstring from = rm::WideFromUtf8(rm::MakeWindowsProgramFolder()->Path()) +
                                  L"\\rm-standin-downloader.exe";
        copied_ = CopyFileW(from.c_str(), Exe().c_str(), FALSE) != FALSE;
    }
    ~StandIns() {
        for (HANDLE p : processes_) {
            TerminateProcess(p, 0);
            WaitForSingleObject(p, 5000);
            CloseHandle(p);
        }
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    bool Start(const std::wstring& title, bool hung) {
        std::wstring line = L"\"" + Exe() + L"\" \"" + title + L"\"" + (hung ? L" --hung" : L"");
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!copied_ || !CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                        nullptr, &si, &pi))
            return false;
        CloseHandle(pi.hThread);
        processes_.push_back(pi.hProcess);
        return true;
    }
    std::string Log() const {
        std::ifstream f(folder_ / L"standin.log", std::ios::binary);
        return {std::istreambuf_iterator<char>(f), {}};
    }

  private:
    std::wstring Exe() const { return (folder_ / L"rm-standin-downloader.exe").wstring(); }
    const std::filesystem::path folder_ = std::filesystem::temp_directory_path() /
                                          (L"rm-standin-" + std::to_wstring(GetCurrentProcessId()));
    bool copied_ = false;
    std::vector<HANDLE> processes_;
};

template <typename F>
std::chrono::milliseconds Timed(F f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start);
}

// Both requests are the window's own messages, handled when the action
// returns; a program that never reads its messages holds each action for about
// a second, and its title is read without asking it.
TEST(WindowsWindowSystemTest, TheTwoRequestsAreSentAndAHungProgramHoldsThemAboutASecond) {
    StandIns standIns;
    ASSERT_TRUE(standIns.Start(L"迅雷 answering", false));
    ASSERT_TRUE(standIns.Start(L"迅雷 hung", true));
    auto windows = rm::MakeWindowsWindowSystem();
    const auto answering = FindByTitle(*windows, "迅雷 answering");
    const auto hung = FindByTitle(*windows, "迅雷 hung");
    ASSERT_NE(answering, 0u);
    ASSERT_NE(hung, 0u);
    const HWND answeringHwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(answering));
    // The hung one has stopped reading once its log says so.
    for (int i = 0; i < 100 && standIns.Log().find("hung") == std::string::npos; ++i) Sleep(50);

    std::string title;
    EXPECT_LT(Timed([&] { title = windows->TitleOf(hung); }), std::chrono::milliseconds(100));
    EXPECT_EQ(title, "迅雷 hung");

    const auto minimising = Timed([&] { rm::MinimizeWindowsByTitle(*windows, "迅雷"); });
    EXPECT_TRUE(IsIconic(answeringHwnd)) << "not minimised when the action returned";
    EXPECT_NE(standIns.Log().find("minimize pid="), std::string::npos) << standIns.Log();
    const auto closing = Timed([&] { rm::CloseWindowsByTitle(*windows, "迅雷"); });
    EXPECT_FALSE(IsWindow(answeringHwnd)) << "not closed when the action returned";
    EXPECT_NE(standIns.Log().find("close pid="), std::string::npos) << standIns.Log();
    for (auto took : {minimising, closing}) {
        EXPECT_GE(took, std::chrono::milliseconds(900));
        EXPECT_LT(took, std::chrono::milliseconds(1500));
    }
}

}  // namespace

int main(int argc, char** argv) {
    wchar_t title[256];
    const DWORD n = GetEnvironmentVariableW(kTitleVariable, title, 256);
    if (n > 0 && n < 256) return RunStandIn(title);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
