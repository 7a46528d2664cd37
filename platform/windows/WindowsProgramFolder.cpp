// The folder of the running executable from GetModuleFileNameW, which reports
// a path too long for its buffer by filling it exactly: the buffer grows until
// the whole path fits.
#include <windows.h>

#include <string>

#include "platform/windows/WideText.h"
#include "platform/windows/WindowsPlatform.h"

namespace rm {

namespace {

class WindowsProgramFolder : public ProgramFolder {
  public:
    std::string Path() override {
        std::wstring path(MAX_PATH, L'\0');
        for (;;) {
            const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
            if (n == 0) return {};
            if (n < path.size()) {
                path.resize(n);
                break;
            }
            if (path.size() >= 32768) return {};  // longer than any Windows path
            path.resize(path.size() * 2);
        }
        const size_t slash = path.find_last_of(L"\\/");
        if (slash == std::wstring::npos) return {};
        path.resize(slash);
        // The root of a drive keeps no separator either: "C:".
        return Utf8FromWide(path);
    }
};

}  // namespace

std::unique_ptr<ProgramFolder> MakeWindowsProgramFolder() {
    return std::make_unique<WindowsProgramFolder>();
}

}  // namespace rm
