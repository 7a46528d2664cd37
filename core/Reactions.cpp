// The verdict of a scan: sounds from the program folder, the tray alarm and its
// flashing, the verdict label, and the download manager closed when others are
// on the line and started again once the line is free; a download client under
// remote control has its transfers paused and resumed instead.
#include "core/Reactions.h"

#include <string>

#include "core/ArpProbe.h"
#include "core/ClientAddress.h"
#include "core/LocalAddressTable.h"
#include "core/MonitorCycle.h"
#include "core/ScanTexts.h"
#include "core/SoundPlayer.h"
#include "core/Tray.h"
#include "core/WindowActions.h"

namespace rm {
namespace {

constexpr int kFlashIntervalMs = 1000;
constexpr uint32_t kStartupWaitMs = 2000;

// The check boxes keep the original's three states: the muting boxes mute
// unless unticked, the others act only when ticked (greyed counts as neither).
bool IsUnticked(Form1Controls& form, Control box) {
    return form.Check(box) == CheckState::Unticked;
}
bool IsTicked(Form1Controls& form, Control box) {
    return form.Check(box) == CheckState::Ticked;
}

void PlayFromProgramFolder(Monitor& m, const std::string& fileName) {
    PlaySoundFile(*m.services.sound, m.services.folder->Path() + '/' + fileName);
}

void ShowVerdict(Form1Controls& form, std::string_view text, LabelColour colour) {
    form.SetText(Control::Label15, std::string(text));
    form.SetColour(Control::Label15, colour);
}

// Starts the program named by Text15 as it stands: the whole text is the path.
// A failed start changes nothing in the reaction's order: the wait and the
// minimise still come, so a copy that was already running (the user's own, or
// one that ignored the request to start minimised) is still minimised.
void StartDownloadManager(Monitor& m) {
    m.state.qidong = 1;
    if (!m.services.launcher->StartMinimized(m.form.Text(Control::Text15))) {
        // qidong stays 1: no further start is tried until others are found again.
        m.form.SetText(Control::Label11, "无法启动下载程序");
    }
    TimedWait(m, kStartupWaitMs);  // time for the new program to open its windows
    MinimizeWindowsByTitle(*m.services.windows, m.form.Text(Control::Text14));
}

// Text15 holding a remote-control address: the client's transfers are paused
// or resumed instead of its windows closed or its program started. The request
// runs off this thread; the answer lands in Text15's tool tip.
void ControlRemoteTransfers(Monitor& m, bool pause) {
    Form1Controls& form = m.form;
    const auto address = ParseClientAddress(form.Text(Control::Text15));
    if (!address) {
        form.SetToolTip(Control::Text15, "地址无效");
        return;
    }
    if (pause) {
        m.transfers.PauseTransfers(
            *address, form.Text(Control::Text14),
            [&form](bool, const std::string& answer) { form.SetToolTip(Control::Text15, answer); });
        return;
    }
    // A resume that did not reach the client (a NAS restarting, say) is tried
    // again at the next free scan, or the transfers would stay paused until
    // somebody else came and went.
    m.transfers.ResumeTransfers(*address, [&m](bool succeeded, const std::string& answer) {
        m.form.SetToolTip(Control::Text15, answer);
        if (!succeeded) m.state.qidong = 0;
    });
}

}  // namespace

void ReactToOthersFound(Monitor& m) {
    Form1Controls& form = m.form;
    if (IsUnticked(form, Control::Check1)) PlayFromProgramFolder(m, "警告.wav");

    // The interval is set and the timer enabled at every alarm, as the original
    // does: a flashing icon starts its one-second rhythm again from here.
    form.SetInterval(Control::Timer2, kFlashIntervalMs);
    if (IsTicked(form, Control::Check4)) {
        form.SetTimerEnabled(Control::Timer2, true);
    } else {
        form.SetTimerEnabled(Control::Timer2, false);
        ReplaceTrayIcon(m, IconId::Picture2);
    }

    ShowVerdict(form, "危险", LabelColour::Red);

    if (!form.Text(Control::Text15).empty() && IsTicked(form, Control::Check2)) {
        if (IsClientAddress(form.Text(Control::Text15)))
            ControlRemoteTransfers(m, true);
        else
            CloseWindowsByTitle(*m.services.windows, form.Text(Control::Text14));
        m.state.qidong = 0;
    }
}

void ReactToNetworkFree(Monitor& m) {
    const Services& s = m.services;
    Form1Controls& form = m.form;
    ListLocalPrefixes(*s.addresses, form);

    const std::string guess = RouterGuess(form);
    if (guess.empty()) {
        // The network went away during the scan: no verdict, nothing probed.
        ShowUnknownVerdict(form);
        form.SetText(Control::Label11, std::string(kNoNetworkText));
        return;
    }
    if (ProbeMac(*s.arp, guess) != form.Text(Control::Text1)) {
        // The router changed (or is silent): no verdict; the next scan stores it.
        ShowUnknownVerdict(form);
        form.SetText(Control::Label11, std::string(kRouterChangedText));
        return;
    }

    if (IsUnticked(form, Control::Check3)) PlayFromProgramFolder(m, "安全.wav");
    form.SetTimerEnabled(Control::Timer2, false);
    ReplaceTrayIcon(m, IconId::Window);
    ShowVerdict(form, "安全", LabelColour::Green);

    if (!form.Text(Control::Text15).empty() && m.state.qidong != 1 &&
        IsTicked(form, Control::Check2)) {
        if (IsClientAddress(form.Text(Control::Text15))) {
            m.state.qidong = 1;
            ControlRemoteTransfers(m, false);
        } else {
            StartDownloadManager(m);
        }
    }
}

}  // namespace rm
