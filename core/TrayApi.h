// The notification-area (tray) call behind a small interface: Shell_NotifyIcon
// with the narrow NOTIFYICONDATA record. Add fails (and changes nothing) while
// the icon exists; delete fails (and changes nothing) while it is absent.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace rm {

// The three icons of the window: the window icon (green upward arrow),
// Picture1 (red cross on a white round badge) and Picture2 (red cross).
enum class IconId : uint32_t { None = 0, Window = 1, Picture1 = 2, Picture2 = 3 };

// NOTIFYICONDATA, first narrow version (88 bytes on the original platform).
struct TrayRecord {
    uint32_t cbSize = 0;
    uint64_t hWnd = 0;
    uint32_t uID = 0;
    uint32_t uFlags = 0;
    uint32_t uCallbackMessage = 0;
    IconId hIcon = IconId::None;
    std::string szTip;  // the tip as the taskbar shows it (the part before the NUL)
};

class TrayHost {
  public:
    static constexpr int kAdd = 0;
    static constexpr int kModify = 1;
    static constexpr int kDelete = 2;
    virtual ~TrayHost() = default;
    // Shell_NotifyIcon(action, record): true on success.
    virtual bool ShellNotifyIcon(int action, const TrayRecord& record) = 0;
    // Mouse messages on the icon reach the window as its mouse-move event with
    // x = message number * 15 twips; 515 (0x203) is a left double-click.
    virtual void SetCallback(std::function<void(float x)> onMouseMessage) = 0;
};

}  // namespace rm
