// The modal message boxes, captioned with the application title, and the
// open-file dialog of the browse button.
#include <windows.h>
// after windows.h, whose types it uses
#include <commdlg.h>

#include <vector>

#include "gui/win32/Win32FrontEnd.h"

namespace rm {

namespace {

class Win32MessageBoxes : public MessageBoxes {
  public:
    explicit Win32MessageBoxes(OwnerFn owner) : owner_(std::move(owner)) {}

    void Show(const std::string& text, int style) override {
        // The style word's icon bits (16 stop, 32 question, 48 exclamation,
        // 64 information) are MessageBox's own; the buttons are always OK.
        const UINT icon = UINT(style) & 0xF0u;
        MessageBoxW(owner_ ? owner_() : nullptr, Wide(text).c_str(), kMessageCaption,
                    MB_OK | icon | MB_SETFOREGROUND);
    }

  private:
    OwnerFn owner_;
};

// Like the common-dialog control, it remembers the last confirmed file name and
// reports it again after a cancel.
class Win32FileDialog : public FileDialog {
  public:
    explicit Win32FileDialog(OwnerFn owner) : owner_(std::move(owner)) {}

    std::string ShowOpen() override {
        std::vector<wchar_t> buffer(32768, L'\0');
        OPENFILENAMEW ofn{};
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = owner_ ? owner_() : nullptr;
        ofn.lpstrFile = buffer.data();
        ofn.nMaxFile = DWORD(buffer.size());
        // No filter, title or initial folder of our own. The working folder
        // stays: nothing of the program is found through it, but nothing
        // should move under a scan either.
        ofn.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
        if (GetOpenFileNameW(&ofn)) fileName_ = Narrow(buffer.data());
        return fileName_;
    }

  private:
    OwnerFn owner_;
    std::string fileName_;
};

}  // namespace

std::unique_ptr<MessageBoxes> MakeWin32MessageBoxes(OwnerFn owner) {
    return std::make_unique<Win32MessageBoxes>(std::move(owner));
}

std::unique_ptr<FileDialog> MakeWin32FileDialog(OwnerFn owner) {
    return std::make_unique<Win32FileDialog>(std::move(owner));
}

}  // namespace rm
