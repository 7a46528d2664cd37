// The monitor cycle: Timer1's tick, the scan (preparation, up to ten sweeps, the
// end), the MAC filters of the host list, the stop of monitoring and the wait
// that lets the window's events run.
#include "core/MonitorCycle.h"

#include <algorithm>
#include <array>
#include <string>

#include "core/AddressText.h"
#include "core/ArpProbe.h"
#include "core/HostName.h"
#include "core/LocalAddressTable.h"
#include "core/Reactions.h"
#include "core/ScanTexts.h"
#include "core/TextNumber.h"
#include "core/Tray.h"

namespace rm {
namespace {

constexpr int kSweeps = 10;
constexpr uint32_t kSweepWaitMs = 1500;
constexpr uint32_t kWaitSliceMs = 100;
constexpr int kScanIntervalMs = 1000;

// Devices of the household that never count as other computers, removed in this order.
constexpr std::array<std::string_view, 5> kBuiltInExclusions = {
    "00-0B-6B-9A-63-5E", "00-03-C9-7F-9B-A5", "00-16-01-2D-2D-3E", "00-E0-4C-03-E2-4C",
    "00-60-B3-53-67-7D"};

// Host numbers of one /24; a first bound above the last gives an empty range.
int32_t HostBound(const std::string& text) {
    return std::clamp(ReadWholeNumber(text), 0, 255);
}

// Releases the re-entry guard however the tick ends.
class TickGuard {
  public:
    explicit TickGuard(MonitorState& state) : state_(state) { state_.tickRunning = true; }
    ~TickGuard() { state_.tickRunning = false; }
    TickGuard(const TickGuard&) = delete;
    TickGuard& operator=(const TickGuard&) = delete;

  private:
    MonitorState& state_;
};

// This machine's row and the router's: address, MAC and name, and the router
// change notice. False when there is no local network to scan.
bool LearnMachineAndRouter(Monitor& m) {
    const Services& s = m.services;
    Form1Controls& form = m.form;
    ListLocalPrefixes(*s.addresses, form);

    const std::string guess = RouterGuess(form);
    const std::string ownIp = s.localAddress->LocalIp();
    form.SetText(Control::Text5, ownIp);
    if (guess.empty()) {
        // Without an IPv4 network there is nobody to ask, not even this
        // machine; its row shows what an unanswered probe and a failed lookup
        // would, rather than the address it no longer has. The next scan looks again.
        form.SetText(Control::Text4, std::string(kNoAnswer));
        form.SetText(Control::Text6, "");
        ShowUnknownVerdict(form);
        form.SetText(Control::Label11, std::string(kNoNetworkText));
        return false;
    }
    form.SetText(Control::Text4, ProbeMac(*s.arp, ownIp));
    form.SetText(Control::Text6, LookupHostName(*s.sockets, *s.messages, ownIp));

    const std::string routerMac = ProbeMac(*s.arp, guess);
    if (routerMac != form.Text(Control::Text1)) {
        ShowUnknownVerdict(form);
        form.SetText(Control::Label11, std::string(kRouterChangedText));
        ReplaceTrayIcon(m, IconId::Window);
    }
    if (routerMac != kNoAnswer) {
        form.SetText(Control::Text1, routerMac);
        form.SetText(Control::Text2, guess);
        form.SetText(Control::Text3, "路由器");
    }
    return true;
}

// Leaves in List1 only the other computers: no answer, this machine, the
// router, the built-in devices and the user's ten exclusions are removed.
void FilterHostList(Form1Controls& form) {
    RemoveEntriesContaining(form, kAbsentMac);
    RemoveEntriesContaining(form, form.Text(Control::Text4));
    RemoveEntriesContaining(form, form.Text(Control::Text1));
    for (std::string_view mac : kBuiltInExclusions) RemoveEntriesContaining(form, mac);
    for (int k = 0; k < 10; ++k) {
        const std::string text = form.Text(Text9(k));
        RemoveEntriesContaining(form, text.empty() ? kAbsentMac : std::string_view(text));
    }
}

// One sweep: the range scanner fills List1 while the window's events run, then
// the list is filtered and counted.
int Sweep(Monitor& m) {
    Form1Controls& form = m.form;
    form.ClearItems(Control::List1);
    const int32_t first = HostBound(form.Text(Control::Text10));
    const int32_t last = HostBound(form.Text(Control::Text11));
    if (first <= last) m.services.scanner->Therad(form.Text(Control::Combo1), form, first, last);
    TimedWait(m, kSweepWaitMs);
    FilterHostList(form);
    const int count = form.ItemCount(Control::List1);
    form.SetText(Control::Label11, "注意！有" + std::to_string(count) + "台计算机在网络");
    return count;
}

}  // namespace

void ShowUnknownVerdict(Form1Controls& form) {
    form.SetText(Control::Label15, std::string(kUnknownVerdict));
    form.SetColour(Control::Label15, LabelColour::ButtonText);
}

void MonitorTick(Monitor& m) {
    // A tick that falls due inside one of the cycle's waits must not start a
    // second scan inside the running one.
    if (m.state.tickRunning) return;
    TickGuard guard(m.state);

    if (static_cast<double>(m.state.kiki) != ReadNumber(m.form.Text(Control::Text8))) {
        // Unsigned step: a period that is never reached must not overflow the counter.
        m.state.kiki = static_cast<int32_t>(static_cast<uint32_t>(m.state.kiki) + 1u);
        if (m.state.stopjiankong == 1) StopMonitoring(m);
        return;
    }
    RunScan(m);
}

void RunScan(Monitor& m) {
    Form1Controls& form = m.form;
    m.state.kiki = 0;
    form.SetEnabled(Control::Check2, false);
    form.SetText(Control::Label14, "监视中");
    form.SetVisible(Control::Command1, false);
    m.state.found = 0;
    form.SetVisible(Control::List1, false);

    if (!LearnMachineAndRouter(m)) {
        // No result to show: an old list would pass for a fresh one.
        form.ClearItems(Control::List1);
        form.SetVisible(Control::List1, true);
    } else {
        m.services.scanner->BeginScan();
        for (int sweep = 1; sweep <= kSweeps; ++sweep) {
            if (m.state.stopjiankong == 1) {
                // List1 stays hidden until a later scan completes.
                StopMonitoring(m);
                return;
            }
            const int count = Sweep(m);
            if (count >= 1) {
                m.state.found = static_cast<int16_t>(std::min(count, 32767));
                break;
            }
        }
        form.SetVisible(Control::List1, true);
        if (m.state.found >= 1)
            ReactToOthersFound(m);
        else
            ReactToNetworkFree(m);
    }

    form.SetInterval(Control::Timer1, kScanIntervalMs);
    if (m.state.stopjiankong == 1) StopMonitoring(m);
}

void RemoveEntriesContaining(Form1Controls& form, std::string_view mac) {
    // From the last entry to the first, so that a removal never skips the next entry.
    for (int i = form.ItemCount(Control::List1) - 1; i >= 0; --i) {
        if (form.ItemText(Control::List1, i).find(mac) != std::string::npos)
            form.RemoveItem(Control::List1, i);
    }
}

void StopMonitoring(Monitor& m) {
    Form1Controls& form = m.form;
    form.SetVisible(Control::Command1, true);
    form.SetText(Control::Label14, "停止中");
    ShowUnknownVerdict(form);
    form.SetEnabled(Control::Check2, true);
    form.SetText(Control::Label11, "不知道有没有计算机在网络");
    m.state.stopjiankong = 0;
    form.SetTimerEnabled(Control::Timer1, false);
    form.SetTimerEnabled(Control::Timer2, false);
    ReplaceTrayIcon(m, IconId::Window);
}

void TimedWait(Monitor& m, uint32_t ms) {
    Clock& clock = *m.services.clock;
    const uint32_t start = clock.TimeGetTime();
    // The unsigned difference stays right across a wrap of the 32-bit counter.
    while (clock.TimeGetTime() - start < ms) {
        clock.DoEvents();
        clock.Sleep(kWaitSliceMs);
    }
}

}  // namespace rm
