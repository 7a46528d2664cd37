// Other programs' native Wayland windows, on a connection of our own beside the
// toolkit's. Wayland gives ordinary clients no view of other windows; two
// compositor families offer one: wlroots' foreign-toplevel management (sway,
// Hyprland, labwc, river ...: close works, minimise is a request the compositor
// may ignore, as sway 1.7 does) and KDE Plasma's window management (KWin: close
// and minimise; only for clients whose desktop entry lists the interface).
// GNOME offers neither: there every call finds no window.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "core/Utf8.h"
#include "platform/linux/LinuxPlatform.h"

// Made by wayland-scanner from platform/linux/protocols/ at build time.
#include "plasma-window-management-client.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client.h"

namespace rm {
namespace {

// A compositor that stops answering must not freeze the monitor's window.
constexpr int kAnswerMs = 1000;
// The protocol versions whose events this code handles.
constexpr uint32_t kWlrVersion = 3;
constexpr uint32_t kKdeVersion = 16;

class WaylandWindowSystemImpl;

// The listener data of a window's handle: the window, which knows its owner.
struct Toplevel {
    WaylandWindowSystemImpl* owner = nullptr;
    WindowSystem::WindowId id = 0;
    zwlr_foreign_toplevel_handle_v1* wlr = nullptr;
    org_kde_plasma_window* kde = nullptr;
    std::string title, appId;
    uint32_t pid = 0;
    bool minimized = false;
};

// Titles and application ids come from other clients: bytes that are no UTF-8
// become U+FFFD.
std::string ValidUtf8(const char* text) {
    return text ? EncodeUtf8(DecodeUtf8(text)) : std::string();
}

class WaylandWindowSystemImpl : public WaylandWindowSystem {
  public:
    WaylandWindowSystemImpl(std::string ownAppId, OwnTitlesFn ownTitles)
        : ownAppId_(std::move(ownAppId)), ownTitles_(std::move(ownTitles)) {}
    ~WaylandWindowSystemImpl() override { Disconnect(); }

    bool SessionPresent() override {
        Connect();
        return display_ != nullptr;
    }

    bool CanCloseOthers() override {
        Connect();
        return wlrManager_ || kdeManager_;
    }

    std::vector<WindowId> TopLevelWindows() override {
        std::vector<WindowId> ids;
        // A compositor drops a client that leaves its events unread for long (a
        // download manager may retitle its window every second, and the list is
        // read only when there is something to do): then once more, afresh.
        if ((!Connect() || !Update()) && (!Connect() || !Update())) return ids;
        const std::vector<std::string> ownTitles =
            ownTitles_ ? ownTitles_() : std::vector<std::string>{};
        const uint32_t ownPid = uint32_t(getpid());
        for (const auto& [id, t] : toplevels_) {
            // The monitor's own windows (and those of a second monitor) carry its
            // application id; its toolkit may also run on X11 under XWayland,
            // where the compositor lists the same windows by their titles.
            if (!ownAppId_.empty() && (t->appId == ownAppId_ || t->pid == ownPid)) continue;
            if (std::find(ownTitles.begin(), ownTitles.end(), t->title) != ownTitles.end())
                continue;
            ids.push_back(id);
        }
        return ids;
    }

    std::string TitleOf(WindowId w) override {
        Toplevel* t = Find(w);
        return t ? t->title : std::string();
    }

    bool IsMinimized(WindowId w) override {
        Toplevel* t = Find(w);
        return t && Roundtrip() && (t = Find(w)) && t->minimized;
    }

    void RequestClose(WindowId w) override {
        Toplevel* t = Find(w);
        if (!t) return;
        if (t->wlr) zwlr_foreign_toplevel_handle_v1_close(t->wlr);
        if (t->kde) org_kde_plasma_window_close(t->kde);
        Roundtrip();
    }

    void Minimize(WindowId w) override {
        Toplevel* t = Find(w);
        if (!t) return;
        if (t->wlr) zwlr_foreign_toplevel_handle_v1_set_minimized(t->wlr);
        if (t->kde)
            org_kde_plasma_window_set_state(t->kde,
                                            ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_MINIMIZED,
                                            ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_MINIMIZED);
        Roundtrip();
    }

  private:
    Toplevel* Find(WindowId w) {
        auto it = toplevels_.find(w);
        return it == toplevels_.end() ? nullptr : it->second.get();
    }

    Toplevel* Add() {
        auto t = std::make_unique<Toplevel>();
        t->owner = this;
        t->id = nextId_++;
        Toplevel* raw = t.get();
        toplevels_[raw->id] = std::move(t);
        return raw;
    }

    void Remove(Toplevel* t) {
        if (t->wlr) zwlr_foreign_toplevel_handle_v1_destroy(t->wlr);
        if (t->kde) {
            if (org_kde_plasma_window_get_version(t->kde) >=
                ORG_KDE_PLASMA_WINDOW_DESTROY_SINCE_VERSION)
                org_kde_plasma_window_destroy(t->kde);
            else
                wl_proxy_destroy(reinterpret_cast<wl_proxy*>(t->kde));
        }
        toplevels_.erase(t->id);
    }

    // Opened on first use, only in a Wayland session (WAYLAND_DISPLAY; without
    // it libwayland would guess "wayland-0"), and again after a lost connection:
    // a compositor that restarts is reached anew.
    bool Connect() {
        if (display_) return true;
        const char* name = std::getenv("WAYLAND_DISPLAY");
        if (!name || !*name) return false;
        display_ = wl_display_connect(nullptr);
        if (!display_) return false;
        registry_ = wl_display_get_registry(display_);
        wl_registry_add_listener(registry_, &kRegistryListener, this);
        // The globals, then the windows that binding them announced.
        return Roundtrip() && Update();
    }

    void Disconnect() {
        while (!toplevels_.empty()) Remove(toplevels_.begin()->second.get());
        if (wlrManager_) zwlr_foreign_toplevel_manager_v1_destroy(wlrManager_);
        if (kdeManager_) org_kde_plasma_window_management_destroy(kdeManager_);
        if (registry_) wl_registry_destroy(registry_);
        if (display_) wl_display_disconnect(display_);
        wlrManager_ = nullptr;
        kdeManager_ = nullptr;
        registry_ = nullptr;
        display_ = nullptr;
    }

    // Brings the window list up to date. KDE announces a window first and
    // sends its title only to the window object asked for then: a window new
    // since the last update needs one more round before its title is known.
    bool Update() {
        for (int round = 0; round < 4; ++round) {
            announced_ = false;
            if (!Roundtrip()) return false;
            if (!announced_) return true;
        }
        return true;
    }

    // Sends what is queued and handles every event up to the compositor's
    // answer to a sync, for at most kAnswerMs. False (and the connection
    // dropped) when the connection failed or the compositor did not answer.
    bool Roundtrip() {
        if (!display_) return false;
        bool done = false;
        wl_callback* cb = wl_display_sync(display_);
        wl_callback_add_listener(cb, &kSyncListener, &done);
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerMs);
        bool failed = false;
        while (!done && !failed) {
            while (wl_display_prepare_read(display_) != 0) {
                if (wl_display_dispatch_pending(display_) < 0) {
                    failed = true;
                    break;
                }
            }
            if (failed || done) {
                if (!failed) wl_display_cancel_read(display_);
                break;
            }
            if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
                wl_display_cancel_read(display_);
                failed = true;
                break;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{wl_display_get_fd(display_), POLLIN, 0};
            if (left.count() <= 0 || poll(&p, 1, int(left.count())) <= 0) {
                wl_display_cancel_read(display_);
                failed = true;
                break;
            }
            if (wl_display_read_events(display_) < 0 || wl_display_dispatch_pending(display_) < 0)
                failed = true;
        }
        if (!done) wl_callback_destroy(cb);
        if (failed || wl_display_get_error(display_)) {
            Disconnect();
            return false;
        }
        return true;
    }

    static void OnSyncDone(void* data, wl_callback* cb, uint32_t) {
        *static_cast<bool*>(data) = true;
        wl_callback_destroy(cb);
    }

    static void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
                         uint32_t version) {
        auto* self = static_cast<WaylandWindowSystemImpl*>(data);
        // One path is enough: should a compositor offer both, every window
        // would otherwise be listed (and asked) twice.
        if (self->kdeManager_ || self->wlrManager_) return;
        if (std::strcmp(interface, org_kde_plasma_window_management_interface.name) == 0) {
            self->kdeManager_ = static_cast<org_kde_plasma_window_management*>(
                wl_registry_bind(registry, name, &org_kde_plasma_window_management_interface,
                                 std::min(version, kKdeVersion)));
            org_kde_plasma_window_management_add_listener(self->kdeManager_, &kKdeManagerListener,
                                                          self);
        } else if (std::strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) == 0) {
            self->wlrManager_ = static_cast<zwlr_foreign_toplevel_manager_v1*>(
                wl_registry_bind(registry, name, &zwlr_foreign_toplevel_manager_v1_interface,
                                 std::min(version, kWlrVersion)));
            zwlr_foreign_toplevel_manager_v1_add_listener(self->wlrManager_, &kWlrManagerListener,
                                                          self);
        }
    }
    static void OnGlobalRemove(void*, wl_registry*, uint32_t) {}

    // wlroots: every window is announced with its handle, then its details.
    static void OnWlrToplevel(void* data, zwlr_foreign_toplevel_manager_v1*,
                              zwlr_foreign_toplevel_handle_v1* handle) {
        auto* self = static_cast<WaylandWindowSystemImpl*>(data);
        Toplevel* t = self->Add();
        t->wlr = handle;
        zwlr_foreign_toplevel_handle_v1_add_listener(handle, &kWlrHandleListener, t);
    }
    static void OnWlrFinished(void* data, zwlr_foreign_toplevel_manager_v1*) {
        auto* self = static_cast<WaylandWindowSystemImpl*>(data);
        zwlr_foreign_toplevel_manager_v1_destroy(self->wlrManager_);
        self->wlrManager_ = nullptr;
    }
    static Toplevel* Of(zwlr_foreign_toplevel_handle_v1* h) {
        return static_cast<Toplevel*>(zwlr_foreign_toplevel_handle_v1_get_user_data(h));
    }
    static void OnWlrTitle(void*, zwlr_foreign_toplevel_handle_v1* h, const char* title) {
        Of(h)->title = ValidUtf8(title);
    }
    static void OnWlrAppId(void*, zwlr_foreign_toplevel_handle_v1* h, const char* appId) {
        Of(h)->appId = ValidUtf8(appId);
    }
    static void OnWlrOutput(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}
    static void OnWlrState(void*, zwlr_foreign_toplevel_handle_v1* h, wl_array* states) {
        const auto* state = static_cast<const uint32_t*>(states->data);
        const size_t count = states->size / sizeof(uint32_t);
        Of(h)->minimized =
            std::find(state, state + count,
                      uint32_t(ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_MINIMIZED)) != state + count;
    }
    static void OnWlrDone(void*, zwlr_foreign_toplevel_handle_v1*) {}
    static void OnWlrClosed(void*, zwlr_foreign_toplevel_handle_v1* h) {
        Toplevel* t = Of(h);
        t->owner->Remove(t);
    }
    static void OnWlrParent(void*, zwlr_foreign_toplevel_handle_v1*,
                            zwlr_foreign_toplevel_handle_v1*) {}

    // KDE Plasma: a window is announced by id (and by uuid from version 13);
    // its details come on the window object asked for.
    static void OnKdeShowDesktop(void*, org_kde_plasma_window_management*, uint32_t) {}
    static void OnKdeWindow(void* data, org_kde_plasma_window_management* m, uint32_t id) {
        if (org_kde_plasma_window_management_get_version(m) >= 13) return;  // by uuid instead
        static_cast<WaylandWindowSystemImpl*>(data)->Track(
            org_kde_plasma_window_management_get_window(m, id));
    }
    static void OnKdeStacking(void*, org_kde_plasma_window_management*, wl_array*) {}
    static void OnKdeStackingUuid(void*, org_kde_plasma_window_management*, const char*) {}
    static void OnKdeWindowUuid(void* data, org_kde_plasma_window_management* m, uint32_t,
                                const char* uuid) {
        static_cast<WaylandWindowSystemImpl*>(data)->Track(
            org_kde_plasma_window_management_get_window_by_uuid(m, uuid));
    }
    void Track(org_kde_plasma_window* w) {
        announced_ = true;
        Toplevel* t = Add();
        t->kde = w;
        org_kde_plasma_window_add_listener(w, &kKdeWindowListener, t);
    }
    static Toplevel* Of(org_kde_plasma_window* w) {
        return static_cast<Toplevel*>(org_kde_plasma_window_get_user_data(w));
    }
    static void OnKdeTitle(void*, org_kde_plasma_window* w, const char* title) {
        Of(w)->title = ValidUtf8(title);
    }
    static void OnKdeAppId(void*, org_kde_plasma_window* w, const char* appId) {
        Of(w)->appId = ValidUtf8(appId);
    }
    static void OnKdeState(void*, org_kde_plasma_window* w, uint32_t flags) {
        Of(w)->minimized = flags & ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_MINIMIZED;
    }
    static void OnKdeDesktop(void*, org_kde_plasma_window*, int32_t) {}
    static void OnKdeIconName(void*, org_kde_plasma_window*, const char*) {}
    static void OnKdeUnmapped(void*, org_kde_plasma_window* w) {
        Toplevel* t = Of(w);
        t->owner->Remove(t);
    }
    static void OnKdeInitialState(void*, org_kde_plasma_window*) {}
    static void OnKdeParent(void*, org_kde_plasma_window*, org_kde_plasma_window*) {}
    static void OnKdeGeometry(void*, org_kde_plasma_window*, int32_t, int32_t, uint32_t, uint32_t) {
    }
    static void OnKdeIcon(void*, org_kde_plasma_window*) {}
    static void OnKdePid(void*, org_kde_plasma_window* w, uint32_t pid) { Of(w)->pid = pid; }
    static void OnKdeString(void*, org_kde_plasma_window*, const char*) {}
    static void OnKdeMenu(void*, org_kde_plasma_window*, const char*, const char*) {}

    static constexpr wl_callback_listener kSyncListener{OnSyncDone};
    static constexpr wl_registry_listener kRegistryListener{OnGlobal, OnGlobalRemove};
    static constexpr zwlr_foreign_toplevel_manager_v1_listener kWlrManagerListener{OnWlrToplevel,
                                                                                   OnWlrFinished};
    static constexpr zwlr_foreign_toplevel_handle_v1_listener kWlrHandleListener{
        OnWlrTitle, OnWlrAppId, OnWlrOutput, OnWlrOutput,
        OnWlrState, OnWlrDone,  OnWlrClosed, OnWlrParent};
    static constexpr org_kde_plasma_window_management_listener kKdeManagerListener{
        OnKdeShowDesktop, OnKdeWindow, OnKdeStacking, OnKdeStackingUuid, OnKdeWindowUuid};
    // Every event up to kKdeVersion: libwayland calls what it finds here unchecked.
    static constexpr org_kde_plasma_window_listener kKdeWindowListener{
        OnKdeTitle,        OnKdeAppId,  OnKdeState,    OnKdeDesktop, OnKdeIconName, OnKdeUnmapped,
        OnKdeInitialState, OnKdeParent, OnKdeGeometry, OnKdeIcon,    OnKdePid,      OnKdeString,
        OnKdeString,       OnKdeMenu,   OnKdeString,   OnKdeString,  OnKdeString};

    std::string ownAppId_;
    OwnTitlesFn ownTitles_;
    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    zwlr_foreign_toplevel_manager_v1* wlrManager_ = nullptr;
    org_kde_plasma_window_management* kdeManager_ = nullptr;
    std::map<WindowId, std::unique_ptr<Toplevel>> toplevels_;
    WindowId nextId_ = 1;
    bool announced_ = false;
};

}  // namespace

std::unique_ptr<WaylandWindowSystem> MakeWaylandWindowSystem(std::string ownAppId,
                                                             OwnTitlesFn ownTitles) {
    return std::make_unique<WaylandWindowSystemImpl>(std::move(ownAppId), std::move(ownTitles));
}

}  // namespace rm
