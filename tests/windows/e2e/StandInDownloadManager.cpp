// rm-standin-downloader.exe: plays the download manager for the tests under
// Wine. One top-level window with a given title (the first argument, else the
// default below), shown with the show command it was started with, and gone on
// WM_CLOSE. Each start, WM_CLOSE and WM_SYSCOMMAND/SC_MINIMIZE appends one line
// to "standin.log" beside the executable, so a test can tell a fresh start from
// a window left behind and see which requests arrived. With "--hung" as the
// second argument it never reads its messages once its window is shown, as a
// program stuck in a long task.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

constexpr wchar_t kDefaultTitle[] = L"E2E迅雷 下载中";

std::wstring OwnFolder() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return L"";
    std::wstring p(path, n);
    const auto cut = p.find_last_of(L"\\/");
    return cut == std::wstring::npos ? L"" : p.substr(0, cut);
}

// One line per event and the process id, in ASCII.
void Log(const char* event, int show = -1) {
    const std::wstring folder = OwnFolder();
    if (folder.empty()) return;
    const std::wstring log = folder + L"\\standin.log";
    HANDLE f = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    char line[64];
    const unsigned long pid = GetCurrentProcessId();
    const int len =
        show >= 0 ? std::snprintf(line, sizeof line, "%s pid=%lu show=%d\r\n", event, pid, show)
                  : std::snprintf(line, sizeof line, "%s pid=%lu\r\n", event, pid);
    DWORD written = 0;
    if (len > 0) WriteFile(f, line, static_cast<DWORD>(len), &written, nullptr);
    CloseHandle(f);
}

LRESULT CALLBACK WndProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_CLOSE) Log("close");
    if (m == WM_SYSCOMMAND && (w & 0xFFF0) == SC_MINIMIZE) Log("minimize");
    if (m == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(h, m, w, l);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const std::wstring title = argv && argc > 1 && argv[1][0] ? argv[1] : kDefaultTitle;
    const bool hung = argv && argc > 2 && std::wstring(argv[2]) == L"--hung";
    if (argv) LocalFree(argv);

    // The C runtime hands over STARTUPINFO's show command (or SW_SHOWDEFAULT);
    // Wine 8 would not apply it to the first ShowWindow by itself, so the
    // window is shown with it explicitly: what the starter asked for.
    Log("start", show);

    WNDCLASSW wc{};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"RmStandInDownloader";
    if (!RegisterClassW(&wc)) return 2;
    const HWND hwnd = CreateWindowExW(0, wc.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW, 40,
                                      500, 320, 160, nullptr, nullptr, instance, nullptr);
    if (!hwnd) return 3;
    ShowWindow(hwnd, show);
    UpdateWindow(hwnd);
    if (hung) {
        Log("hung");
        for (;;) Sleep(INFINITE);
    }

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
