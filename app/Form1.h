// Form1, the program's only window: the settings editor, the status display and
// the control panel of the monitor. Every setting is the text or state of one of
// its controls; its fields hold the run state. Controls keep their design names.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>

#include "app/Services.h"
#include "platform/TrayApi.h"

namespace rm {

class Form1 : public QWidget {
    Q_OBJECT
  public:
    explicit Form1(Services& services, QWidget* parent = nullptr);
    ~Form1() override;

    Services& services;

    // Address grid.
    QLabel *Label3, *Label1, *Label4, *Label2, *Label5;
    QLineEdit *Text1, *Text2, *Text3, *Text4, *Text5, *Text6;
    // Host list.
    QLabel* Label6;
    QListWidget* List1;
    QLineEdit* Text7;
    // Settings panel.
    QGroupBox* Frame1;
    QLabel *Label12, *Label9, *Label16, *Label10, *Label13, *Label7, *Label17;
    QLineEdit *Text8, *Text10, *Text11, *Text15, *Text14;
    QPushButton *Command7, *Command5, *Command3;
    QComboBox* Combo1;
    // Excluded-MAC panel.
    QGroupBox* Frame2;
    std::array<QLineEdit*, 10> Text9;
    QPushButton* Command6;
    // Status, verdict, buttons, check boxes, host-name tool, credit line.
    QLabel *Label11, *Label14, *Label15, *Label8;
    QPushButton *Command1, *Command2, *Command8, *Command4;
    QCheckBox *Check1, *Check3, *Check4, *Check2;
    QLineEdit* Text12;
    // Hidden picture boxes holding the two red icons.
    QLabel *Picture2, *Picture1;
    // Timers: Timer1 runs the monitor cycle, Timer2 flashes the tray icon.
    QTimer *Timer1, *Timer2;

    // Run state.
    int16_t stopjiankong = 0;
    int16_t qidong = 0;
    int16_t ki = 0;
    int32_t kiki = 0;
    TrayRecord trayicon;
    // True while a MonitorTick runs (its waits let further ticks through).
    bool tickRunning = false;

    // Handlers of the window's own buttons.
    void Command1Click();
    void Command2Click();
    void Command5Click();
    void Command6Click();
    void Command7Click();
    void Command8Click();

    // Hooks wired by main(): Timer1 ticks, Command3 clicks, the load and unload handlers.
    std::function<void()> onTimer1Tick;
    std::function<void()> onCommand3Click;

    // The window's mouse-move handler; the tray's messages arrive here too.
    void OnTrayCallback(int button, int shift, float x, float y);

  signals:
    void closing();

  protected:
    void closeEvent(QCloseEvent* event) override;
    // Pointer movement over the client area reaches OnTrayCallback, as on the original.
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    void CreateAddressGrid();
    void CreateHostList();
    void CreateSettingsPanel();
    void CreateExcludedMacPanel();
    void CreateStatusAndButtons();
    void CreateHiddenControls();
    void SetTabOrder();
};

// Twips of the window's design to pixels at 96 dpi.
constexpr int TwipsToPixels(int twips) {
    return twips / 15;
}

// "未知" is shown in the button-text colour, the verdicts in red and green.
void SetLabelColour(QLabel* label, const QColor& colour);
QColor ButtonTextColour();

}  // namespace rm
