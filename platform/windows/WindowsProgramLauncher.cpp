// Starting the download manager with CreateProcessW: the text is the program's
// path as the application name, so no shell sees it and no search for a
// program named by its first word takes place. It starts minimised and
// without taking the focus from whatever the user is doing.
#include <windows.h>

#include <algorithm>
#include <string>

#include "core/Utf8.h"
#include "platform/windows/WideText.h"
#include "platform/windows/WindowsPlatform.h"

namespace rm {

namespace {

class WindowsProgramLauncher : public ProgramLauncher {
  public:
    bool StartMinimized(const std::string& path) override {
        if (path.empty() || HasControlCharacter(path)) return false;
        const std::wstring app = WideFromUtf8(path);
        // The command line the program sees: its own path, quoted (a path
        // holds no '"' on Windows, so the quotes cannot be broken out of).
        if (app.find(L'"') != std::wstring::npos) return false;
        std::wstring commandLine = L"\"" + app + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESHOWWINDOW;
        si.wShowWindow = SW_SHOWMINNOACTIVE;
        PROCESS_INFORMATION pi{};
        // No inherited handles: the program gets none of the monitor's files.
        if (!CreateProcessW(app.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                            CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &si, &pi))
            return false;
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return true;
    }
};

}  // namespace

std::unique_ptr<ProgramLauncher> MakeWindowsProgramLauncher() {
    return std::make_unique<WindowsProgramLauncher>();
}

}  // namespace rm
