// The window as the monitor sees it: the controls of Form1 that the logic reads
// and writes, by their design names. A front end (Qt on Linux) implements it;
// the tests use a fake. Text is UTF-8.
#pragma once

#include <cstdint>
#include <string>

#include "core/RangeScanner.h"

namespace rm {

enum class Control {
    Text1,
    Text2,
    Text3,
    Text4,
    Text5,
    Text6,
    Text7,
    Text8,
    Text9_0,
    Text9_1,
    Text9_2,
    Text9_3,
    Text9_4,
    Text9_5,
    Text9_6,
    Text9_7,
    Text9_8,
    Text9_9,
    Text10,
    Text11,
    Text12,
    Text14,
    Text15,
    Label11,
    Label14,
    Label15,
    List1,
    Combo1,
    Check1,
    Check2,
    Check3,
    Check4,
    Command1,
    Command2,
    Timer1,
    Timer2,
};

// The control array Text9(0) … Text9(9).
constexpr Control Text9(int k) {
    return Control(int(Control::Text9_0) + k);
}

// Check-box states as the design numbers them.
enum class CheckState { Unticked = 0, Ticked = 1, Greyed = 2 };

// The colours of the verdict label: the button-text colour for "未知", red, green.
enum class LabelColour { ButtonText, Red, Green };

// Which control an operation accepts is said beside it; any other is a
// programming error that the front end may ignore.
class Form1Controls : public HostList {
  public:
    ~Form1Controls() override = default;

    // Text boxes and labels; for Combo1 the selected item's text.
    virtual std::string Text(Control c) = 0;
    virtual void SetText(Control c, const std::string& text) = 0;
    // The most characters a text box holds.
    virtual int MaxLength(Control c) = 0;

    // Any control but the timers.
    virtual bool Visible(Control c) = 0;
    virtual void SetVisible(Control c, bool visible) = 0;
    virtual void SetEnabled(Control c, bool enabled) = 0;

    // Check1 … Check4.
    virtual CheckState Check(Control c) = 0;

    // Label15.
    virtual void SetColour(Control c, LabelColour colour) = 0;
    // Text15: the download client's last answer.
    virtual void SetToolTip(Control c, const std::string& text) = 0;

    // List1 and Combo1: their items; ListIndex is Combo1's selection (-1: none).
    virtual int ItemCount(Control c) = 0;
    virtual std::string ItemText(Control c, int index) = 0;
    virtual void AddItem(Control c, const std::string& text) = 0;
    virtual void RemoveItem(Control c, int index) = 0;
    virtual void ClearItems(Control c) = 0;
    virtual int ListIndex(Control c) = 0;
    virtual void SetListIndex(Control c, int index) = 0;

    // Timer1 and Timer2.
    virtual void SetInterval(Control c, int ms) = 0;
    virtual void SetTimerEnabled(Control c, bool enabled) = 0;

    // The window itself: hidden to the tray and shown again.
    virtual void ShowWindow() = 0;
    virtual void HideWindow() = 0;
};

// What the window reports to the logic: its buttons, timers, the tray's mouse
// messages (through the mouse-move handler) and its closing.
class Form1Events {
  public:
    virtual ~Form1Events() = default;
    virtual void Command1Click() = 0;
    virtual void Command2Click() = 0;
    virtual void Command3Click() = 0;
    virtual void Command4Click() = 0;
    virtual void Command5Click() = 0;
    virtual void Command8Click() = 0;
    virtual void Timer1Tick() = 0;
    virtual void Timer2Tick() = 0;
    virtual void OnTrayCallback(int button, int shift, float x, float y) = 0;
    virtual void FormUnload() = 0;
};

}  // namespace rm
