// FormLoad and FormUnload, the window's load and unload handlers.
#include "app/Startup.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

#include "app/SettingsStore.h"
#include "app/Tray.h"
#include "net/ArpProbe.h"
#include "net/HostName.h"
#include "net/LocalAddressTable.h"

namespace rm {

namespace {

void FillOwnMachineRow(Form1& form) {
    Services& s = form.services;
    const QString own = s.localAddress->LocalIp();
    form.Text5->setText(own);
    form.Text4->setText(ProbeMac(*s.arp, own));
    form.Text6->setText(LookupHostName(*s.sockets, *s.messages, own));
}

// The router is guessed as host 1 of the selected network; its row changes
// only when it answers, so a silent router leaves the row as it was.
void FillRouterRow(Form1& form) {
    // Without any local address there is no network to guess a router in, and
    // probing "1" would mean nothing: the row keeps its texts.
    if (form.Combo1->currentIndex() < 0) return;
    const QString router = form.Combo1->currentText() + QStringLiteral("1");
    const QString mac = ProbeMac(*form.services.arp, router);
    if (mac == kNoAnswer) return;
    form.Text1->setText(mac);
    form.Text2->setText(router);
    form.Text3->setText(QStringLiteral("路由器"));
}

}  // namespace

bool FormLoad(Form1& form) {
    // Nothing else may happen before the settings are in: a broken
    // installation leaves no tray icon behind and sends no probe.
    if (!LoadAllSettings(form)) return false;
    AddTrayIcon(form, IconId::Window);
    ListLocalPrefixes(*form.services.addresses, form.Combo1);
    FillOwnMachineRow(form);
    FillRouterRow(form);
    return true;
}

void FormUnload(Form1& form) {
    RemoveTrayIcon(form);
    form.Timer1->stop();
    form.Timer2->stop();
    if (form.tickRunning) {
        // The close arrived during one of the scan's waits, inside its nested
        // event loop: quitting the main loop would first let the rest of that
        // scan run (sounds, closing the download manager). End here instead;
        // the tray drops the icon of a process that has gone.
        std::fflush(nullptr);
        std::_Exit(0);
    }
    QCoreApplication::exit(0);
}

}  // namespace rm
