// The top-level windows of an X11 (or XWayland) desktop through Xlib, on a
// display connection of our own. Without an X display every call does nothing.
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/Utf8.h"
#include "platform/linux/LinuxPlatform.h"

// Xlib last: its macros (None, Status, Bool ...) would clash with Qt's headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace rm {
namespace {

// Titles come from other clients: bytes that are no UTF-8 become U+FFFD.
std::string ValidUtf8(std::string_view bytes) {
    return EncodeUtf8(DecodeUtf8(bytes));
}

std::string Latin1ToUtf8(std::string_view bytes) {
    std::u32string chars;
    for (char c : bytes) chars.push_back(char32_t(static_cast<unsigned char>(c)));
    return EncodeUtf8(chars);
}

// A window may disappear between listing and acting on it; its BadWindow (or
// any other error of a request of ours) must not end the program, which is what
// Xlib's default handler does. The trap is process-wide while it lives, so it
// only spans our own requests and syncs before handing the handler back.
class ErrorTrap {
  public:
    explicit ErrorTrap(Display* dpy) : dpy_(dpy), previous_(XSetErrorHandler(Ignore)) {}
    ~ErrorTrap() {
        XSync(dpy_, False);
        XSetErrorHandler(previous_);
    }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

  private:
    static int Ignore(Display*, XErrorEvent*) { return 0; }
    Display* dpy_;
    XErrorHandler previous_;
};

struct XFreeDeleter {
    void operator()(void* p) const {
        if (p) XFree(p);
    }
};
using XData = std::unique_ptr<unsigned char, XFreeDeleter>;

class X11WindowSystem : public WindowSystem {
  public:
    explicit X11WindowSystem(OwnWindowsFn ownWindows) : ownWindows_(std::move(ownWindows)) {}
    ~X11WindowSystem() override {
        if (dpy_) XCloseDisplay(dpy_);
    }

    std::vector<WindowId> TopLevelWindows() override {
        std::vector<WindowId> ids;
        if (!Connect()) return ids;
        ErrorTrap trap(dpy_);
        for (int s = 0; s < ScreenCount(dpy_); ++s) {
            Window root = RootWindow(dpy_, s);
            if (WindowManagerRuns(root))
                ListClients(root, ids);
            else
                ListViewableChildren(root, ids);
        }
        // A title fragment that happens to match our own caption ("监视") must
        // never close the monitor itself, nor its dialogs.
        std::vector<WindowId> own = ownWindows_ ? ownWindows_() : std::vector<WindowId>{};
        std::erase_if(ids, [&](WindowId w) {
            return std::find(own.begin(), own.end(), w) != own.end() || OwnedByThisProcess(w);
        });
        return ids;
    }

    std::string TitleOf(WindowId w) override {
        if (!Connect()) return {};
        ErrorTrap trap(dpy_);
        unsigned long n = 0;
        Atom type = 0;
        XData data = Property(w, netWmName_, utf8String_, 8, &type, &n);
        if (data) return ValidUtf8(std::string_view(reinterpret_cast<const char*>(data.get()), n));
        return WmName(w);
    }

    void RequestClose(WindowId w) override {
        if (!Connect()) return;
        ErrorTrap trap(dpy_);
        // WM_DELETE_WINDOW asks the client itself and works with or without a
        // window manager. A client that does not take part in it is left
        // alone: the remaining ways (_NET_CLOSE_WINDOW, which openbox answers
        // with XKillClient, or XKillClient itself) tear the program down.
        if (!SupportsDelete(w)) return;
        XEvent ev{};
        ev.xclient.type = ClientMessage;
        ev.xclient.window = w;
        ev.xclient.message_type = wmProtocols_;
        ev.xclient.format = 32;
        ev.xclient.data.l[0] = long(wmDeleteWindow_);
        ev.xclient.data.l[1] = CurrentTime;
        XSendEvent(dpy_, w, False, NoEventMask, &ev);
        XSync(dpy_, False);
    }

    void Minimize(WindowId w) override {
        if (!Connect()) return;
        ErrorTrap trap(dpy_);
        XWindowAttributes attrs;
        if (!XGetWindowAttributes(dpy_, w, &attrs)) return;
        // A WM_CHANGE_STATE request to the window manager; without one nothing happens.
        XIconifyWindow(dpy_, w, XScreenNumberOfScreen(attrs.screen));
        XSync(dpy_, False);
    }

  private:
    // Opened on first use and retried while there is none: a session without
    // X (pure Wayland) simply has no windows we can act on.
    bool Connect() {
        if (dpy_) return true;
        dpy_ = XOpenDisplay(nullptr);
        if (!dpy_) return false;
        netClientList_ = XInternAtom(dpy_, "_NET_CLIENT_LIST", False);
        netSupportingWmCheck_ = XInternAtom(dpy_, "_NET_SUPPORTING_WM_CHECK", False);
        netWmName_ = XInternAtom(dpy_, "_NET_WM_NAME", False);
        netWmPid_ = XInternAtom(dpy_, "_NET_WM_PID", False);
        utf8String_ = XInternAtom(dpy_, "UTF8_STRING", False);
        wmProtocols_ = XInternAtom(dpy_, "WM_PROTOCOLS", False);
        wmDeleteWindow_ = XInternAtom(dpy_, "WM_DELETE_WINDOW", False);
        return true;
    }

    // Up to 64 KiB of a property of the wanted type and format; null when absent
    // or of another type or format. Any client may set any property on its
    // windows (and on the root): the item count means bytes for format 8 and
    // longs for format 32, so a list read with the wrong format runs past the
    // buffer.
    XData Property(Window w, Atom name, Atom wanted, int wantedFormat, Atom* type,
                   unsigned long* items) {
        int format = 0;
        unsigned long after = 0;
        unsigned char* raw = nullptr;
        *items = 0;
        if (XGetWindowProperty(dpy_, w, name, 0, 16384, False, wanted, type, &format, items, &after,
                               &raw) != Success)
            return nullptr;
        XData data(raw);
        if (!data || *type != wanted || format != wantedFormat) {
            *items = 0;
            return nullptr;
        }
        return data;
    }

    // The first item of a format-32 property, or nothing.
    std::optional<unsigned long> Card32Property(Window w, Atom name, Atom wanted) {
        Atom type = 0;
        unsigned long n = 0;
        XData data = Property(w, name, wanted, 32, &type, &n);
        if (!data || n < 1) return std::nullopt;
        return reinterpret_cast<const unsigned long*>(data.get())[0];
    }

    Window WindowProperty(Window w, Atom name) {
        return Card32Property(w, name, XA_WINDOW).value_or(0);
    }

    bool OwnedByThisProcess(Window w) {
        const auto pid = Card32Property(w, netWmPid_, XA_CARDINAL);
        return pid && *pid == static_cast<unsigned long>(getpid());
    }

    // The root keeps _NET_CLIENT_LIST after its window manager has gone; the
    // check window pointing at itself proves one is running now.
    bool WindowManagerRuns(Window root) {
        Window check = WindowProperty(root, netSupportingWmCheck_);
        return check != 0 && WindowProperty(check, netSupportingWmCheck_) == check;
    }

    void ListClients(Window root, std::vector<WindowId>& ids) {
        Atom type = 0;
        unsigned long n = 0;
        XData data = Property(root, netClientList_, XA_WINDOW, 32, &type, &n);
        if (!data) return;
        auto* list = reinterpret_cast<const unsigned long*>(data.get());
        ids.insert(ids.end(), list, list + n);
    }

    void ListViewableChildren(Window root, std::vector<WindowId>& ids) {
        Window rootReturn = 0, parent = 0;
        Window* children = nullptr;
        unsigned int n = 0;
        if (!XQueryTree(dpy_, root, &rootReturn, &parent, &children, &n)) return;
        std::unique_ptr<Window, XFreeDeleter> owned(children);
        for (unsigned int i = 0; i < n; ++i) {
            XWindowAttributes attrs;
            if (XGetWindowAttributes(dpy_, children[i], &attrs) && attrs.map_state == IsViewable &&
                !attrs.override_redirect)
                ids.push_back(children[i]);
        }
    }

    // The old title property, in whichever text encoding the client chose.
    std::string WmName(Window w) {
        XTextProperty prop{};
        if (!XGetWMName(dpy_, w, &prop) || !prop.value) return {};
        XData owned(prop.value);
        const char* text = reinterpret_cast<const char*>(prop.value);
        if (prop.format != 8) return {};
        if (prop.encoding == XA_STRING) return Latin1ToUtf8(std::string_view(text, prop.nitems));
        if (prop.encoding == utf8String_) return ValidUtf8(std::string_view(text, prop.nitems));
        char** list = nullptr;
        int count = 0;
        std::string title;
        if (Xutf8TextPropertyToTextList(dpy_, &prop, &list, &count) >= Success && list) {
            if (count > 0) title = ValidUtf8(list[0]);
            XFreeStringList(list);
        }
        return title;
    }

    bool SupportsDelete(Window w) {
        Atom* protocols = nullptr;
        int n = 0;
        if (!XGetWMProtocols(dpy_, w, &protocols, &n)) return false;
        std::unique_ptr<Atom, XFreeDeleter> owned(protocols);
        for (int i = 0; i < n; ++i)
            if (protocols[i] == wmDeleteWindow_) return true;
        return false;
    }

    OwnWindowsFn ownWindows_;
    Display* dpy_ = nullptr;
    Atom netClientList_ = 0, netSupportingWmCheck_ = 0, netWmName_ = 0, netWmPid_ = 0;
    Atom utf8String_ = 0;
    Atom wmProtocols_ = 0, wmDeleteWindow_ = 0;
};

}  // namespace

std::unique_ptr<WindowSystem> MakeX11WindowSystem(OwnWindowsFn ownWindows) {
    return std::make_unique<X11WindowSystem>(std::move(ownWindows));
}

}  // namespace rm
