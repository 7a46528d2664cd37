// rm-title-window: a stand-in for the download manager in tests. Opens one
// top-level X window per title given, prints each window's id once all are
// mapped, and closes a window when asked through WM_DELETE_WINDOW. Exits when
// its last window has closed (or on SIGTERM / loss of the display).
//
//   rm-title-window [--refuse-close] [--wm-name-only] [--] TITLE...
//
//   TITLE            UTF-8 title; an empty argument ("") gives an untitled window.
//   --refuse-close   ignore close requests (a program asking "save first?").
//   --wm-name-only   set only the old WM_NAME property (as UTF8_STRING), no
//                    _NET_WM_NAME, to exercise the fallback of title readers.
//   --pid N          claim process N in _NET_WM_PID (as a window of process N).
//
// Output on stdout, one line each, flushed at once:
//   0x<hex id>          per window, in argument order, after all are mapped
//   closed 0x<hex id>   when a window closes on request
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

void SetUtf8Property(Display* dpy, Window w, const char* name, const std::string& value) {
    Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
    XChangeProperty(dpy, w, XInternAtom(dpy, name, False), utf8, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(value.data()),
                    static_cast<int>(value.size()));
}

}  // namespace

int main(int argc, char** argv) {
    bool refuseClose = false, wmNameOnly = false;
    long claimedPid = 0;
    std::vector<std::string> titles;
    bool optionsDone = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (!optionsDone && a == "--refuse-close") {
            refuseClose = true;
        } else if (!optionsDone && a == "--wm-name-only") {
            wmNameOnly = true;
        } else if (!optionsDone && a == "--pid" && i + 1 < argc) {
            claimedPid = std::strtol(argv[++i], nullptr, 10);
        } else if (!optionsDone && a == "--") {
            optionsDone = true;
        } else {
            titles.push_back(a);
        }
    }
    if (titles.empty()) {
        std::fprintf(stderr,
                     "usage: rm-title-window [--refuse-close] [--wm-name-only] [--] TITLE...\n");
        return 2;
    }
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "rm-title-window: cannot open the display\n");
        return 1;
    }
    Atom wmProtocols = XInternAtom(dpy, "WM_PROTOCOLS", False);
    Atom wmDelete = XInternAtom(dpy, "WM_DELETE_WINDOW", False);
    int screen = DefaultScreen(dpy);

    std::vector<Window> windows;
    for (size_t i = 0; i < titles.size(); ++i) {
        Window w =
            XCreateSimpleWindow(dpy, RootWindow(dpy, screen), 20 + 30 * int(i), 20 + 30 * int(i),
                                200, 80, 1, BlackPixel(dpy, screen), WhitePixel(dpy, screen));
        if (!titles[i].empty()) {
            SetUtf8Property(dpy, w, "WM_NAME", titles[i]);
            if (!wmNameOnly) SetUtf8Property(dpy, w, "_NET_WM_NAME", titles[i]);
        }
        if (claimedPid > 0) {
            long pid = claimedPid;
            XChangeProperty(dpy, w, XInternAtom(dpy, "_NET_WM_PID", False), XA_CARDINAL, 32,
                            PropModeReplace, reinterpret_cast<unsigned char*>(&pid), 1);
        }
        XSetWMProtocols(dpy, w, &wmDelete, 1);
        XSelectInput(dpy, w, StructureNotifyMask);
        XMapWindow(dpy, w);
        windows.push_back(w);
    }

    // Ids are printed only once every window is mapped, so a reader of the
    // first line may act on the windows at once.
    std::set<Window> unmapped(windows.begin(), windows.end());
    std::set<Window> open(windows.begin(), windows.end());
    XEvent ev;
    while (!unmapped.empty()) {
        XNextEvent(dpy, &ev);
        if (ev.type == MapNotify) unmapped.erase(ev.xmap.window);
    }
    for (Window w : windows) std::printf("0x%lx\n", w);
    std::fflush(stdout);

    while (!open.empty()) {
        XNextEvent(dpy, &ev);
        if (ev.type == ClientMessage && ev.xclient.message_type == wmProtocols &&
            Atom(ev.xclient.data.l[0]) == wmDelete && !refuseClose) {
            Window w = ev.xclient.window;
            if (open.erase(w)) {
                XDestroyWindow(dpy, w);
                XSync(dpy, False);
                std::printf("closed 0x%lx\n", w);
                std::fflush(stdout);
            }
        }
    }
    XCloseDisplay(dpy);
    return 0;
}
