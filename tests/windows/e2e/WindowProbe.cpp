// rm-window-probe.exe: reads and drives the monitor's window from inside Wine
// for the end-to-end test, where X tools see pixels only. Writes UTF-8 lines
// to OUTFILE:
//   controls TITLE OUTFILE  "focus X Y" (the focused control's place, or
//                           "focus none"), then "X Y W H TEXT" for each
//                           visible control, in client pixels, then "tip TEXT"
//                           for each tool tip of the window's program on show
//   save TITLE OUTFILE      presses 保存全部设置 and times the answer: "answered
//                           MS" when the monitor's message box appears, its
//                           text as "text ...", and closes the box
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& w) {
    if (w.empty()) return {};
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

// A control's text, asked of its own thread (its copy is the one it shows).
std::wstring TextOf(HWND hwnd) {
    wchar_t text[512] = {};
    DWORD_PTR got = 0;
    SendMessageTimeoutW(hwnd, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                        2000, &got);
    return text;
}

RECT ClientRect(HWND parent, HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> found;
    EnumChildWindows(
        parent,
        [](HWND h, LPARAM p) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// The top-level windows of process `pid` of window class `cls`.
std::vector<HWND> WindowsOf(DWORD pid, const wchar_t* cls) {
    struct Search {
        DWORD pid;
        const wchar_t* cls;
        std::vector<HWND> found;
    } search{pid, cls, {}};
    EnumWindows(
        [](HWND h, LPARAM p) -> BOOL {
            auto* s = reinterpret_cast<Search*>(p);
            DWORD owner = 0;
            GetWindowThreadProcessId(h, &owner);
            wchar_t name[32] = {};
            GetClassNameW(h, name, 32);
            if (owner == s->pid && lstrcmpiW(name, s->cls) == 0) s->found.push_back(h);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

int Controls(HWND window, FILE* out) {
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    const DWORD thread = GetWindowThreadProcessId(window, nullptr);
    if (GetGUIThreadInfo(thread, &gui) && gui.hwndFocus && IsChild(window, gui.hwndFocus)) {
        const RECT r = ClientRect(window, gui.hwndFocus);
        std::fprintf(out, "focus %ld %ld\n", r.left, r.top);
    } else {
        std::fprintf(out, "focus none\n");
    }
    for (HWND h : Children(window)) {
        if (!IsWindowVisible(h) || GetParent(h) != window) continue;
        const RECT r = ClientRect(window, h);
        std::fprintf(out, "%ld %ld %ld %ld %s\n", r.left, r.top, r.right - r.left, r.bottom - r.top,
                     Utf8(TextOf(h)).c_str());
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    for (HWND tip : WindowsOf(pid, L"tooltips_class32"))
        if (IsWindowVisible(tip)) std::fprintf(out, "tip %s\n", Utf8(TextOf(tip)).c_str());
    return 0;
}

HWND MessageBoxOf(DWORD pid) {
    const std::vector<HWND> boxes = WindowsOf(pid, L"#32770");
    return boxes.empty() ? nullptr : boxes.front();
}

int Save(HWND window, FILE* out) {
    HWND button = nullptr;
    for (HWND h : Children(window))
        if (TextOf(h) == L"保存全部设置") button = h;
    if (!button) return 4;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    const auto start = std::chrono::steady_clock::now();
    PostMessageW(button, BM_CLICK, 0, 0);
    HWND box = nullptr;
    while (!(box = MessageBoxOf(pid))) {
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(10)) return 5;
        Sleep(1);
    }
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    std::fprintf(out, "answered %lld\n", static_cast<long long>(took.count()));
    Sleep(300);  // its text is set as it is made
    for (HWND h : Children(box)) {
        const std::wstring text = TextOf(h);
        if (!text.empty()) std::fprintf(out, "text %s\n", Utf8(text).c_str());
    }
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) return 2;
    const std::wstring command = argv[1];
    const HWND window = FindWindowW(nullptr, argv[2]);
    if (!window) return 3;
    FILE* out = _wfopen(argv[3], L"wb");
    if (!out) return 2;
    const int rc = command == L"controls" ? Controls(window, out)
                   : command == L"save"   ? Save(window, out)
                                          : 2;
    std::fclose(out);
    return rc;
}
