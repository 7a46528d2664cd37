// The monitor cycle: Timer1's tick, the scan (preparation, up to ten sweeps, the
// end), the MAC filters of the host list, the stop of monitoring and the wait
// that lets the window's events run.
#include "monitor/MonitorCycle.h"

#include <QListWidget>
#include <algorithm>
#include <array>

#include "app/Form1.h"
#include "app/Tray.h"
#include "core/TextNumber.h"
#include "monitor/Reactions.h"
#include "monitor/ScanTexts.h"
#include "net/ArpProbe.h"
#include "net/HostName.h"
#include "net/LocalAddressTable.h"

namespace rm {
namespace {

constexpr int kSweeps = 10;
constexpr uint32_t kSweepWaitMs = 1500;
constexpr uint32_t kWaitSliceMs = 100;
constexpr int kScanIntervalMs = 1000;

const QString kAbsentMac = QStringLiteral("00-00-00-00-00-00");

// Devices of the household that never count as other computers, removed in this order.
const std::array<QString, 5> kBuiltInExclusions = {
    QStringLiteral("00-0B-6B-9A-63-5E"), QStringLiteral("00-03-C9-7F-9B-A5"),
    QStringLiteral("00-16-01-2D-2D-3E"), QStringLiteral("00-E0-4C-03-E2-4C"),
    QStringLiteral("00-60-B3-53-67-7D")};

// Host numbers of one /24; a first bound above the last gives an empty range.
int32_t HostBound(const QString& text) {
    return std::clamp(ReadWholeNumber(text), 0, 255);
}

void ShowUnknownVerdict(Form1& form) {
    form.Label15->setText(kUnknownVerdict);
    SetLabelColour(form.Label15, ButtonTextColour());
}

// Releases the re-entry guard however the tick ends.
class TickGuard {
  public:
    explicit TickGuard(Form1& form) : form_(form) { form_.tickRunning = true; }
    ~TickGuard() { form_.tickRunning = false; }
    TickGuard(const TickGuard&) = delete;
    TickGuard& operator=(const TickGuard&) = delete;

  private:
    Form1& form_;
};

// This machine's row and the router's: address, MAC and name, and the router
// change notice. False when there is no local network to scan.
bool LearnMachineAndRouter(Form1& form) {
    Services& s = form.services;
    ListLocalPrefixes(*s.addresses, form.Combo1);

    const QString guess = RouterGuess(form.Combo1);
    const QString ownIp = s.localAddress->LocalIp();
    form.Text5->setText(ownIp);
    if (guess.isEmpty()) {
        // Without an IPv4 network there is nobody to ask, not even this
        // machine; its row shows what an unanswered probe and a failed lookup
        // would, rather than the address it no longer has. The next scan looks again.
        form.Text4->setText(kNoAnswer);
        form.Text6->clear();
        ShowUnknownVerdict(form);
        form.Label11->setText(kNoNetworkText);
        return false;
    }
    form.Text4->setText(ProbeMac(*s.arp, ownIp));
    form.Text6->setText(LookupHostName(*s.sockets, *s.messages, ownIp));

    const QString routerMac = ProbeMac(*s.arp, guess);
    if (routerMac != form.Text1->text()) {
        ShowUnknownVerdict(form);
        form.Label11->setText(kRouterChangedText);
        ReplaceTrayIcon(form, IconId::Window);
    }
    if (routerMac != kNoAnswer) {
        form.Text1->setText(routerMac);
        form.Text2->setText(guess);
        form.Text3->setText(QStringLiteral("路由器"));
    }
    return true;
}

// Leaves in List1 only the other computers: no answer, this machine, the
// router, the built-in devices and the user's ten exclusions are removed.
void FilterHostList(Form1& form) {
    QListWidget* list = form.List1;
    RemoveEntriesContaining(list, kAbsentMac);
    RemoveEntriesContaining(list, form.Text4->text());
    RemoveEntriesContaining(list, form.Text1->text());
    for (const QString& mac : kBuiltInExclusions) RemoveEntriesContaining(list, mac);
    for (QLineEdit* slot : form.Text9) {
        const QString text = slot->text();
        RemoveEntriesContaining(list, text.isEmpty() ? kAbsentMac : text);
    }
}

// One sweep: the range scanner fills List1 while the window's events run, then
// the list is filtered and counted.
int Sweep(Form1& form) {
    form.List1->clear();
    const int32_t first = HostBound(form.Text10->text());
    const int32_t last = HostBound(form.Text11->text());
    if (first <= last) {
        form.services.scanner->Therad(form.Combo1->currentText().toLocal8Bit(), form.List1, first,
                                      last);
    }
    TimedWait(form, kSweepWaitMs);
    FilterHostList(form);
    const int count = form.List1->count();
    form.Label11->setText(QStringLiteral("注意！有") + QString::number(count) +
                          QStringLiteral("台计算机在网络"));
    return count;
}

}  // namespace

void MonitorTick(Form1& form) {
    // A tick that falls due inside one of the cycle's waits must not start a
    // second scan inside the running one.
    if (form.tickRunning) return;
    TickGuard guard(form);

    if (static_cast<double>(form.kiki) != ReadNumber(form.Text8->text())) {
        // Unsigned step: a period that is never reached must not overflow the counter.
        form.kiki = static_cast<int32_t>(static_cast<uint32_t>(form.kiki) + 1u);
        if (form.stopjiankong == 1) StopMonitoring(form);
        return;
    }
    RunScan(form);
}

void RunScan(Form1& form) {
    form.kiki = 0;
    form.Check2->setEnabled(false);
    form.Label14->setText(QStringLiteral("监视中"));
    form.Command1->hide();
    int16_t found = 0;
    form.List1->hide();

    if (!LearnMachineAndRouter(form)) {
        // No result to show: an old list would pass for a fresh one.
        form.List1->clear();
        form.List1->show();
    } else {
        for (int sweep = 1; sweep <= kSweeps; ++sweep) {
            if (form.stopjiankong == 1) {
                // List1 stays hidden until a later scan completes.
                StopMonitoring(form);
                return;
            }
            const int count = Sweep(form);
            if (count >= 1) {
                found = static_cast<int16_t>(std::min(count, 32767));
                break;
            }
        }
        form.List1->show();
        if (found >= 1)
            ReactToOthersFound(form);
        else
            ReactToNetworkFree(form);
    }

    form.Timer1->setInterval(kScanIntervalMs);
    if (form.stopjiankong == 1) StopMonitoring(form);
}

void RemoveEntriesContaining(QListWidget* list, const QString& mac) {
    // From the last entry to the first, so that a removal never skips the next entry.
    for (int i = list->count() - 1; i >= 0; --i) {
        if (list->item(i)->text().contains(mac, Qt::CaseSensitive)) delete list->takeItem(i);
    }
}

void StopMonitoring(Form1& form) {
    form.Command1->show();
    form.Label14->setText(QStringLiteral("停止中"));
    ShowUnknownVerdict(form);
    form.Check2->setEnabled(true);
    form.Label11->setText(QStringLiteral("不知道有没有计算机在网络"));
    form.stopjiankong = 0;
    form.Timer1->stop();
    form.Timer2->stop();
    ReplaceTrayIcon(form, IconId::Window);
}

void TimedWait(Form1& form, uint32_t ms) {
    Clock& clock = *form.services.clock;
    const uint32_t start = clock.TimeGetTime();
    // The unsigned difference stays right across a wrap of the 32-bit counter.
    while (clock.TimeGetTime() - start < ms) {
        clock.DoEvents();
        clock.Sleep(kWaitSliceMs);
    }
}

}  // namespace rm
