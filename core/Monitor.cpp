// The handlers of Form1's buttons, timers and tray messages.
#include "core/Monitor.h"

#include "core/HostName.h"
#include "core/MonitorCycle.h"
#include "core/SettingsStore.h"
#include "core/Startup.h"
#include "core/TextNumber.h"
#include "core/Tray.h"

namespace rm {

namespace {
constexpr int kFirstTickMs = 100;
}  // namespace

Monitor::Monitor(const Services& services_, const WindowFactory& makeWindow)
    : services(services_),
      form(*(window_ = makeWindow(*this))),
      transfers(*services_.http, *services_.poster) {
    services.tray->SetCallback([this](float x) { OnTrayCallback(0, 0, x, 0); });
}

Monitor::~Monitor() {
    // The tray host outlives the window in main(); it must not call back into it.
    services.tray->SetCallback({});
}

void Monitor::Command1Click() {
    state.kiki = ReadWholeNumber(form.Text(Control::Text8));
    form.SetInterval(Control::Timer1, kFirstTickMs);
    form.SetTimerEnabled(Control::Timer1, true);
    form.SetText(Control::Text12, "192.168.");
}

void Monitor::Command2Click() {
    state.stopjiankong = 1;
}

void Monitor::Command3Click() {
    SaveAllSettings(*this);
}

void Monitor::Command4Click() {
    // The icon normally exists already; the add then fails and the tray keeps
    // what it shows, an alarm included.
    AddTrayIcon(*this, IconId::Window);
    form.HideWindow();
}

// A cancelled dialog reports the previous choice (or nothing), and that is what
// the box receives.
void Monitor::Command5Click() {
    form.SetText(Control::Text15, services.fileDialog->ShowOpen());
}

void Monitor::Command8Click() {
    const std::string typed = form.Text(Control::Text12);
    form.SetText(Control::Text12, LookupHostName(*services.sockets, *services.messages, typed));
}

void Monitor::Timer1Tick() {
    MonitorTick(*this);
}

void Monitor::Timer2Tick() {
    rm::Timer2Tick(*this);
}

void Monitor::OnTrayCallback(int button, int shift, float x, float y) {
    TrayCallback(*this, button, shift, x, y);
}

void Monitor::FormUnload() {
    rm::FormUnload(*this);
}

}  // namespace rm
