// Form1's logic: the run state, the services and the window, and the handlers
// of the window's events. The window is made by the front end for this object,
// so that both exist together from the start and neither is attached later.
#pragma once

#include <functional>
#include <memory>

#include "core/Form1Controls.h"
#include "core/MonitorState.h"
#include "core/Services.h"
#include "core/TransferControl.h"

namespace rm {

class Monitor : public Form1Events {
    // First: `form` below refers to it.
    std::unique_ptr<Form1Controls> window_;

  public:
    using WindowFactory = std::function<std::unique_ptr<Form1Controls>(Form1Events&)>;
    // `services` outlive the monitor.
    Monitor(const Services& services, const WindowFactory& makeWindow);
    ~Monitor() override;
    Monitor(const Monitor&) = delete;
    Monitor& operator=(const Monitor&) = delete;

    const Services& services;
    MonitorState state;
    Form1Controls& form;
    // A save waiting its turn serves the window, so a second click may come
    // meanwhile: it has nothing to add and is dropped.
    bool saveUnderWay = false;
    // Last: its answers stop before the window goes.
    TransferControl transfers;

    // Start: the first tick, 100 ms later, finds kiki equal to the period.
    void Command1Click() override;
    // Only a request: the monitor cycle stops at its next check point.
    void Command2Click() override;
    // Saves every setting.
    void Command3Click() override;
    // "最小化": an icon to come back by, then the window hidden.
    void Command4Click() override;
    // The program path from the open-file dialog.
    void Command5Click() override;
    // The host name of the address typed into Text12.
    void Command8Click() override;
    void Timer1Tick() override;
    void Timer2Tick() override;
    // The window's mouse-move handler; the tray's messages arrive here too.
    void OnTrayCallback(int button, int shift, float x, float y) override;
    void FormUnload() override;
};

}  // namespace rm
