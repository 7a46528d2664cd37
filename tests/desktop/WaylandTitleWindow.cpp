// rm-wayland-title-window: the download manager's stand-in as a native Wayland
// client (xdg-shell). Opens one toplevel per title given, prints "ready" once
// the compositor has mapped them all, prints "closed N" (N counted from 0 in
// argument order) when the compositor asks a window to close, and exits when
// its last window has closed (or on SIGTERM / loss of the connection).
//
//   rm-wayland-title-window [--retitle N] TITLE...
//
//   --retitle N   once ready, retitles the first window N times (a download
//                 manager showing its progress), back to its title at the end,
//                 then prints "retitled".
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "xdg-shell-client.h"

namespace {

constexpr int kWidth = 160, kHeight = 60;

struct Globals {
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    xdg_wm_base* wmBase = nullptr;
};

struct Window {
    int index = 0;
    wl_surface* surface = nullptr;
    xdg_surface* xdgSurface = nullptr;
    xdg_toplevel* toplevel = nullptr;
    wl_buffer* buffer = nullptr;
    bool configured = false, open = true;
};

void OnGlobal(void* data, wl_registry* r, uint32_t name, const char* iface, uint32_t) {
    auto* g = static_cast<Globals*>(data);
    if (std::strcmp(iface, wl_compositor_interface.name) == 0)
        g->compositor =
            static_cast<wl_compositor*>(wl_registry_bind(r, name, &wl_compositor_interface, 4));
    else if (std::strcmp(iface, wl_shm_interface.name) == 0)
        g->shm = static_cast<wl_shm*>(wl_registry_bind(r, name, &wl_shm_interface, 1));
    else if (std::strcmp(iface, xdg_wm_base_interface.name) == 0)
        g->wmBase = static_cast<xdg_wm_base*>(wl_registry_bind(r, name, &xdg_wm_base_interface, 1));
}
void OnGlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistry{OnGlobal, OnGlobalRemove};

void OnPing(void*, xdg_wm_base* base, uint32_t serial) {
    xdg_wm_base_pong(base, serial);
}
const xdg_wm_base_listener kWmBase{OnPing};

void OnSurfaceConfigure(void* data, xdg_surface* s, uint32_t serial) {
    xdg_surface_ack_configure(s, serial);
    auto* w = static_cast<Window*>(data);
    if (!w->configured) {
        // A toplevel is mapped by its first commit with a buffer.
        wl_surface_attach(w->surface, w->buffer, 0, 0);
        wl_surface_damage(w->surface, 0, 0, kWidth, kHeight);
        w->configured = true;
    }
    wl_surface_commit(w->surface);
}
const xdg_surface_listener kXdgSurface{OnSurfaceConfigure};

void OnToplevelConfigure(void*, xdg_toplevel*, int32_t, int32_t, wl_array*) {}
void OnToplevelClose(void* data, xdg_toplevel*) {
    auto* w = static_cast<Window*>(data);
    if (!w->open) return;
    w->open = false;
    xdg_toplevel_destroy(w->toplevel);
    xdg_surface_destroy(w->xdgSurface);
    wl_surface_destroy(w->surface);
    std::printf("closed %d\n", w->index);
}
const xdg_toplevel_listener kToplevel{OnToplevelConfigure, OnToplevelClose};

// One white buffer shared by every window.
wl_buffer* MakeBuffer(wl_shm* shm) {
    const int stride = kWidth * 4, size = stride * kHeight;
    int fd = memfd_create("rm-wayland-title-window", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, size) != 0) return nullptr;
    void* pixels = mmap(nullptr, size_t(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels == MAP_FAILED) return nullptr;
    std::memset(pixels, 0xff, size_t(size));
    munmap(pixels, size_t(size));
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, size);
    wl_buffer* buffer =
        wl_shm_pool_create_buffer(pool, 0, kWidth, kHeight, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    return buffer;
}

}  // namespace

int main(int argc, char** argv) {
    long retitles = 0;
    int first = 1;
    if (argc > 2 && std::strcmp(argv[1], "--retitle") == 0) {
        retitles = std::strtol(argv[2], nullptr, 10);
        first = 3;
    }
    const std::vector<std::string> titles(argv + first, argv + argc);
    if (titles.empty()) {
        std::fprintf(stderr, "usage: rm-wayland-title-window [--retitle N] TITLE...\n");
        return 2;
    }
    setvbuf(stdout, nullptr, _IOLBF, 0);  // each line reaches the test as it is said
    wl_display* display = wl_display_connect(nullptr);
    Globals g;
    if (display) {
        wl_registry_add_listener(wl_display_get_registry(display), &kRegistry, &g);
        wl_display_roundtrip(display);
    }
    if (!g.compositor || !g.shm || !g.wmBase) {
        std::fprintf(stderr, "rm-wayland-title-window: no Wayland display with xdg-shell\n");
        return 1;
    }
    xdg_wm_base_add_listener(g.wmBase, &kWmBase, nullptr);
    wl_buffer* buffer = MakeBuffer(g.shm);
    if (!buffer) return 1;

    std::vector<Window> windows(titles.size());
    for (size_t i = 0; i < titles.size(); ++i) {
        Window& w = windows[i];
        w.index = int(i);
        w.buffer = buffer;
        w.surface = wl_compositor_create_surface(g.compositor);
        w.xdgSurface = xdg_wm_base_get_xdg_surface(g.wmBase, w.surface);
        xdg_surface_add_listener(w.xdgSurface, &kXdgSurface, &w);
        w.toplevel = xdg_surface_get_toplevel(w.xdgSurface);
        xdg_toplevel_add_listener(w.toplevel, &kToplevel, &w);
        xdg_toplevel_set_title(w.toplevel, titles[i].c_str());
        wl_surface_commit(w.surface);
    }
    auto all = [&](bool Window::*flag, bool value) {
        return std::all_of(windows.begin(), windows.end(),
                           [&](const Window& w) { return w.*flag == value; });
    };
    while (!all(&Window::configured, true))
        if (wl_display_dispatch(display) < 0) return 1;
    wl_display_roundtrip(display);
    std::printf("ready\n");
    for (long n = 0; n < retitles; ++n) {
        const std::string progress = titles[0] + " " + std::to_string(n % 100) + "%";
        xdg_toplevel_set_title(windows[0].toplevel, progress.c_str());
        if (n % 256 == 0) wl_display_roundtrip(display);
    }
    if (retitles > 0) {
        xdg_toplevel_set_title(windows[0].toplevel, titles[0].c_str());
        wl_display_roundtrip(display);
        std::printf("retitled\n");
    }
    while (!all(&Window::open, false))
        if (wl_display_dispatch(display) < 0) return 1;
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
