// The Win32 tray host of the program, driven line by line from a test script
// that looks at the X side (tray-dock.sh). Commands on stdin, one answer line
// each on stdout:
//   add window|picture1|picture2  -> "added 1|0"       (the record the window fills)
//   delete                        -> "deleted 1|0"
//   forget                        -> "forgot N"         (the shell drops the host's icons,
//                                                        as a restarting Explorer does)
//   broadcast                     -> "broadcast"        (Explorer's TaskbarCreated, to all)
//   tips                          -> "tip TEXT" per shown tooltip, then "tips N"
//   mouse                         -> "mouse M1 M2 ..."  (message numbers the icon reported)
//   quit                          -> "bye"
// Messages keep flowing between commands: the shell talks to the host's window.
#include <windows.h>
// after windows.h, whose types it uses
#include <shellapi.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/Tray.h"
#include "gui/win32/Win32FrontEnd.h"

namespace {

constexpr UINT kLineMessage = WM_APP + 50;

void Say(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

struct TipSearch {
    std::vector<std::wstring> texts;
};

// Tooltips of every process on the desktop (the shell's among them); the
// control answers WM_GETTEXT with the text it shows.
BOOL CALLBACK CollectTip(HWND hwnd, LPARAM param) {
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    if (lstrcmpiW(cls, L"tooltips_class32") != 0 || !IsWindowVisible(hwnd)) return TRUE;
    wchar_t text[256] = {};
    DWORD_PTR got = 0;
    if (SendMessageTimeoutW(hwnd, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                            1000, &got) &&
        text[0]) {
        reinterpret_cast<TipSearch*>(param)->texts.emplace_back(text);
    }
    return TRUE;
}

}  // namespace

int main() {
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // this thread's queue exists before posts
    const DWORD mainThread = GetCurrentThreadId();

    auto tray = rm::MakeWin32TrayHost();
    std::vector<int> mouse;
    tray->SetCallback([&](float x) { mouse.push_back(int(x / 15.0f + 0.5f)); });

    // The record as AddTrayIcon fills it.
    rm::TrayRecord record;
    record.cbSize = 88;
    record.hWnd = 0x4711;
    record.uID = 1;
    record.uFlags = 7;
    record.uCallbackMessage = 512;
    record.szTip = std::string(rm::kTrayTip);

    std::thread reader([mainThread] {
        std::string line;
        while (std::getline(std::cin, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            PostThreadMessageW(mainThread, kLineMessage, 0,
                               reinterpret_cast<LPARAM>(new std::string(line)));
        }
        PostThreadMessageW(mainThread, kLineMessage, 0,
                           reinterpret_cast<LPARAM>(new std::string("quit")));
    });
    reader.detach();
    Say("ready");

    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.hwnd || msg.message != kLineMessage) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            continue;
        }
        std::unique_ptr<std::string> owned(reinterpret_cast<std::string*>(msg.lParam));
        const std::string command = owned->substr(0, owned->find(' '));
        const std::string arg = owned->find(' ') == std::string::npos
                                    ? std::string()
                                    : owned->substr(owned->find(' ') + 1);
        if (command == "add") {
            record.hIcon = arg == "picture1"   ? rm::IconId::Picture1
                           : arg == "picture2" ? rm::IconId::Picture2
                                               : rm::IconId::Window;
            Say(std::string("added ") +
                (tray->ShellNotifyIcon(rm::TrayHost::kAdd, record) ? "1" : "0"));
        } else if (command == "delete") {
            Say(std::string("deleted ") +
                (tray->ShellNotifyIcon(rm::TrayHost::kDelete, record) ? "1" : "0"));
        } else if (command == "forget") {
            int n = 0;
            if (HWND host = FindWindowW(L"RouterMonitorTrayHost", nullptr)) {
                for (UINT id = 1; id <= 8; ++id) {
                    NOTIFYICONDATAW data{};
                    data.cbSize = sizeof data;
                    data.hWnd = host;
                    data.uID = id;
                    n += Shell_NotifyIconW(NIM_DELETE, &data) != FALSE;
                }
            }
            Say("forgot " + std::to_string(n));
        } else if (command == "broadcast") {
            SendNotifyMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
            Say("broadcast");
        } else if (command == "tips") {
            TipSearch search;
            EnumWindows(CollectTip, reinterpret_cast<LPARAM>(&search));
            for (const auto& text : search.texts) Say("tip " + rm::Narrow(text));
            Say("tips " + std::to_string(search.texts.size()));
        } else if (command == "mouse") {
            std::string line = "mouse";
            for (int m : mouse) line += " " + std::to_string(m);
            Say(line);
        } else if (command == "quit") {
            break;
        } else {
            Say("unknown " + command);
        }
    }
    tray.reset();
    Say("bye");
    return 0;
}
