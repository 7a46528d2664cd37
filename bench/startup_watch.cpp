// startup_watch: launches a program and reports the milliseconds from launch to
// the moment its window whose title begins with TITLE is mapped on the X display, and the
// program's peak resident memory a moment later. Used by startup-bench.sh.
//   startup_watch TITLE TIMEOUT_MS -- PROGRAM ARGS...
// Prints "shown_ms=<n> peak_kb=<n>"; exit status 1 when the window never showed.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

std::string NameOf(Display* dpy, Window w) {
    const Atom netName = XInternAtom(dpy, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
    Atom type;
    int format;
    unsigned long n, after;
    unsigned char* data = nullptr;
    std::string name;
    if (XGetWindowProperty(dpy, w, netName, 0, 256, False, utf8, &type, &format, &n, &after,
                           &data) == Success &&
        data != nullptr) {
        name.assign(reinterpret_cast<char*>(data), n);
    }
    if (data) XFree(data);
    return name;
}

long PeakKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

int IgnoreXErrors(Display*, XErrorEvent*) {
    return 0;
}  // windows come and go

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5 || std::strcmp(argv[3], "--") != 0) {
        std::fprintf(stderr, "usage: startup_watch TITLE TIMEOUT_MS -- PROGRAM ARGS...\n");
        return 2;
    }
    const std::string title = argv[1];
    const auto timeout = std::chrono::milliseconds(std::atol(argv[2]));
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "startup_watch: no X display\n");
        return 2;
    }
    XSetErrorHandler(IgnoreXErrors);
    const Window root = DefaultRootWindow(dpy);
    XSelectInput(dpy, root, SubstructureNotifyMask);
    XSync(dpy, False);

    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[4], argv + 4);
        _exit(127);
    }
    long shownMs = -1;
    const int fd = ConnectionNumber(dpy);
    while (shownMs < 0 && Clock::now() - start < timeout) {
        while (XPending(dpy) > 0 && shownMs < 0) {
            XEvent ev;
            XNextEvent(dpy, &ev);
            Window w = 0;
            if (ev.type == CreateNotify) {
                // Follow each new top-level window: the window manager may
                // reparent it, after which its map is no longer seen on root.
                w = ev.xcreatewindow.window;
                XSelectInput(dpy, w, StructureNotifyMask | PropertyChangeMask);
                XWindowAttributes a;
                if (!XGetWindowAttributes(dpy, w, &a) || a.map_state == IsUnmapped) continue;
            } else if (ev.type == MapNotify) {
                w = ev.xmap.window;
            } else {
                continue;
            }
            if (NameOf(dpy, w).rfind(title, 0) == 0) {
                shownMs =
                    long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start)
                             .count());
            }
        }
        if (shownMs >= 0) break;
        int status;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            std::fprintf(stderr, "startup_watch: the program ended before showing its window\n");
            return 1;
        }
        fd_set fds;
        FD_ZERO(&fds);
        FD_SET(fd, &fds);
        timeval tv{0, 5000};
        select(fd + 1, &fds, nullptr, nullptr, &tv);
    }
    long peak = -1;
    if (shownMs >= 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));  // let it settle
        peak = PeakKb(pid);
    }
    kill(pid, SIGTERM);
    int status;
    for (int i = 0; i < 100 && waitpid(pid, &status, WNOHANG) != pid; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (waitpid(pid, &status, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    XCloseDisplay(dpy);
    if (shownMs < 0) {
        std::fprintf(stderr, "startup_watch: no window \"%s\" within the time allowed\n",
                     title.c_str());
        return 1;
    }
    std::printf("shown_ms=%ld peak_kb=%ld\n", shownMs, peak);
    return 0;
}
