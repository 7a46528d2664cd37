// The notification-area icon over Shell_NotifyIconW. The icons belong to a
// hidden top-level window of this host: the shell's mouse messages come back to
// it, and so does the TaskbarCreated broadcast after Explorer restarts (a
// message-only window would never hear it), upon which every icon is added again.
#include <windows.h>
// after windows.h, whose types it uses
#include <shellapi.h>

#include <map>
#include <utility>

#include "gui/win32/Win32FrontEnd.h"

namespace rm {

namespace {

constexpr wchar_t kClassName[] = L"RouterMonitorTrayHost";
constexpr UINT kCallbackMessage = WM_APP + 1;

class Win32TrayHost : public TrayHost {
  public:
    explicit Win32TrayHost(HINSTANCE instance)
        : instance_(instance ? instance : GetModuleHandleW(nullptr)),
          taskbarCreated_(RegisterWindowMessageW(L"TaskbarCreated")) {
        WNDCLASSEXW wc{};
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = instance_;
        wc.lpszClassName = kClassName;
        RegisterWindowClassOnce(wc);
        hwnd_ = CreateWindowExW(WS_EX_TOOLWINDOW, kClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                nullptr, instance_, this);
    }

    ~Win32TrayHost() override {
        for (auto& [key, icon] : icons_) Shell(NIM_DELETE, icon);
        if (hwnd_) {
            SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
            DestroyWindow(hwnd_);
        }
    }

    bool ShellNotifyIcon(int action, const TrayRecord& record) override {
        const auto key = std::make_pair(record.hWnd, record.uID);
        auto found = icons_.find(key);
        switch (action) {
            case kAdd: {
                if (found != icons_.end()) return false;
                // The record's own id, 1 for the monitor's icon, for the life
                // of the window: the shell keeps the user's "show this icon"
                // choice per id, so a new id at every change of picture would
                // drop the alarm icon back into the overflow area.
                Icon icon{record.uID, record.hIcon, record.szTip};
                if (!Shell(NIM_ADD, icon)) return false;
                icons_.emplace(key, std::move(icon));
                return true;
            }
            case kModify: {
                if (found == icons_.end()) return false;
                Icon changed = found->second;
                changed.picture = record.hIcon;
                changed.tip = record.szTip;
                if (!Shell(NIM_MODIFY, changed)) return false;
                found->second = std::move(changed);
                return true;
            }
            case kDelete:
                if (found == icons_.end()) return false;
                Shell(NIM_DELETE, found->second);
                icons_.erase(found);
                return true;
            default:
                return false;
        }
    }

    void SetCallback(std::function<void(float x)> onMouseMessage) override {
        callback_ = std::move(onMouseMessage);
    }

  private:
    struct Icon {
        UINT id;
        IconId picture;
        std::string tip;
    };

    HICON Picture(IconId id) {
        // The resource script holds the three icons under their IconId numbers.
        HICON icon = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(UINT(id)),
                                                   IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                   GetSystemMetrics(SM_CYSMICON), LR_SHARED));
        return icon ? icon : LoadIconW(nullptr, MAKEINTRESOURCEW(32512));
    }

    bool Shell(DWORD message, const Icon& icon) {
        if (!hwnd_) return false;
        NOTIFYICONDATAW data{};
        data.cbSize = sizeof data;
        data.hWnd = hwnd_;
        data.uID = icon.id;
        data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        data.uCallbackMessage = kCallbackMessage;
        data.hIcon = Picture(icon.picture);
        const std::wstring tip = Wide(icon.tip);
        lstrcpynW(data.szTip, tip.c_str(), int(std::size(data.szTip)));
        return Shell_NotifyIconW(message, &data) != FALSE;
    }

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
        if (message == WM_NCCREATE) {
            SetWindowLongPtrW(
                hwnd, GWLP_USERDATA,
                reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams));
        }
        auto* self = reinterpret_cast<Win32TrayHost*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && message == kCallbackMessage) {
            // The mouse message reaches the window's mouse-move handler as x =
            // message number in pixels, that is times 15 in twips.
            const UINT mouse = LOWORD(l);
            if (self->callback_) self->callback_(float(mouse) * 15.0f);
            return 0;
        }
        if (self && message == self->taskbarCreated_ && message != 0) {
            for (auto& [key, icon] : self->icons_) self->Shell(NIM_ADD, icon);
            return 0;
        }
        return DefWindowProcW(hwnd, message, w, l);
    }

    HINSTANCE instance_;
    UINT taskbarCreated_;
    HWND hwnd_ = nullptr;
    std::map<std::pair<uint64_t, uint32_t>, Icon> icons_;
    std::function<void(float)> callback_;
};

}  // namespace

std::unique_ptr<TrayHost> MakeWin32TrayHost(HINSTANCE instance) {
    return std::make_unique<Win32TrayHost>(instance);
}

}  // namespace rm
