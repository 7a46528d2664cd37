// The verdict of a scan: sounds from the program folder, the tray alarm and its
// flashing, the verdict label, and the download manager closed when others are
// on the line and started again once the line is free.
#include "monitor/Reactions.h"

#include <QColor>

#include "app/Form1.h"
#include "app/Tray.h"
#include "desktop/SoundPlayer.h"
#include "desktop/WindowActions.h"
#include "monitor/MonitorCycle.h"
#include "monitor/ScanTexts.h"
#include "net/ArpProbe.h"
#include "net/LocalAddressTable.h"

namespace rm {
namespace {

constexpr int kFlashIntervalMs = 1000;
constexpr uint32_t kStartupWaitMs = 2000;

// The check boxes keep the original's three states: the muting boxes mute
// unless unticked, the others act only when ticked (greyed counts as neither).
bool IsUnticked(const QCheckBox* box) {
    return box->checkState() == Qt::Unchecked;
}
bool IsTicked(const QCheckBox* box) {
    return box->checkState() == Qt::Checked;
}

void PlayFromProgramFolder(Form1& form, const QString& fileName) {
    PlaySoundFile(*form.services.sound, form.services.folder->Path() + QLatin1Char('/') + fileName);
}

void ShowVerdict(Form1& form, const QString& text, const QColor& colour) {
    form.Label15->setText(text);
    SetLabelColour(form.Label15, colour);
}

// Starts the program named by Text15 as it stands: the whole text is the path.
// A failed start changes nothing in the reaction's order: the wait and the
// minimise still come, so a copy that was already running (the user's own, or
// one that ignored the request to start minimised) is still minimised.
void StartDownloadManager(Form1& form) {
    form.qidong = 1;
    if (!form.services.launcher->StartMinimized(form.Text15->text())) {
        // qidong stays 1: no further start is tried until others are found again.
        form.Label11->setText(QStringLiteral("无法启动下载程序"));
    }
    TimedWait(form, kStartupWaitMs);  // time for the new program to open its windows
    MinimizeWindowsByTitle(*form.services.windows, form.Text14->text());
}

}  // namespace

void ReactToOthersFound(Form1& form) {
    if (IsUnticked(form.Check1)) PlayFromProgramFolder(form, QStringLiteral("警告.wav"));

    // The interval is set and the timer enabled at every alarm, as the original
    // does: a flashing icon starts its one-second rhythm again from here.
    form.Timer2->setInterval(kFlashIntervalMs);
    if (IsTicked(form.Check4)) {
        form.Timer2->start();
    } else {
        form.Timer2->stop();
        ReplaceTrayIcon(form, IconId::Picture2);
    }

    ShowVerdict(form, QStringLiteral("危险"), QColor(255, 0, 0));

    if (!form.Text15->text().isEmpty() && IsTicked(form.Check2)) {
        CloseWindowsByTitle(*form.services.windows, form.Text14->text());
        form.qidong = 0;
    }
}

void ReactToNetworkFree(Form1& form) {
    Services& s = form.services;
    ListLocalPrefixes(*s.addresses, form.Combo1);

    const QString guess = RouterGuess(form.Combo1);
    if (guess.isEmpty()) {
        // The network went away during the scan: no verdict, nothing probed.
        ShowVerdict(form, kUnknownVerdict, ButtonTextColour());
        form.Label11->setText(kNoNetworkText);
        return;
    }
    if (ProbeMac(*s.arp, guess) != form.Text1->text()) {
        // The router changed (or is silent): no verdict; the next scan stores it.
        ShowVerdict(form, kUnknownVerdict, ButtonTextColour());
        form.Label11->setText(kRouterChangedText);
        return;
    }

    if (IsUnticked(form.Check3)) PlayFromProgramFolder(form, QStringLiteral("安全.wav"));
    form.Timer2->stop();
    ReplaceTrayIcon(form, IconId::Window);
    ShowVerdict(form, QStringLiteral("安全"), QColor(0, 255, 0));

    if (!form.Text15->text().isEmpty() && form.qidong != 1 && IsTicked(form.Check2))
        StartDownloadManager(form);
}

}  // namespace rm
