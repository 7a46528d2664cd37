// FormLoad and FormUnload, the window's load and unload handlers.
#include "core/Startup.h"

#include <string>

#include "core/ArpProbe.h"
#include "core/HostName.h"
#include "core/LocalAddressTable.h"
#include "core/SettingsStore.h"
#include "core/Tray.h"

namespace rm {

namespace {

void FillOwnMachineRow(Monitor& m) {
    const Services& s = m.services;
    const std::string own = s.localAddress->LocalIp();
    m.form.SetText(Control::Text5, own);
    m.form.SetText(Control::Text4, ProbeMac(*s.arp, own));
    m.form.SetText(Control::Text6, LookupHostName(*s.sockets, *s.messages, own));
}

// The router is guessed as host 1 of the selected network; its row changes
// only when it answers, so a silent router leaves the row as it was.
void FillRouterRow(Monitor& m) {
    // Without any local address there is no network to guess a router in, and
    // probing "1" would mean nothing: the row keeps its texts.
    if (m.form.ListIndex(Control::Combo1) < 0) return;
    const std::string router = m.form.Text(Control::Combo1) + "1";
    const std::string mac = ProbeMac(*m.services.arp, router);
    if (mac == kNoAnswer) return;
    m.form.SetText(Control::Text1, mac);
    m.form.SetText(Control::Text2, router);
    m.form.SetText(Control::Text3, "路由器");
}

}  // namespace

bool FormLoad(Monitor& m) {
    // Nothing else may happen before the settings are in: a broken
    // installation leaves no tray icon behind and sends no probe.
    if (!LoadAllSettings(m)) return false;
    AddTrayIcon(m, IconId::Window);
    ListLocalPrefixes(*m.services.addresses, m.form);
    FillOwnMachineRow(m);
    FillRouterRow(m);
    return true;
}

void FormUnload(Monitor& m) {
    RemoveTrayIcon(m);
    m.form.SetTimerEnabled(Control::Timer1, false);
    m.form.SetTimerEnabled(Control::Timer2, false);
    // A close that arrives during one of the scan's waits runs inside its
    // nested event loop: ending through the main loop would first let the rest
    // of that scan run (sounds, closing the download manager), so it ends at
    // once; the tray drops the icon of a process that has gone.
    m.services.clock->EndProgram(m.state.tickRunning);
}

}  // namespace rm
