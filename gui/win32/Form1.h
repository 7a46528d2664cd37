// Form1 as a Win32 window: the same controls, places, captions and tab order as
// the Qt window, every control a direct child of the window so that one z-order
// gives the design's tab order across both panels. The logic reaches the
// controls through Form1Controls and hears of clicks, ticks and the close
// through Form1Events. Text is UTF-8 at this edge, UTF-16 inside.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <array>
#include <map>
#include <string>
#include <vector>

#include "core/Form1Controls.h"

namespace rm {

// Twips of the window's design to pixels at `dpi` (15 twips a pixel at 96 dpi).
constexpr int TwipsToPixels(int twips, int dpi) {
    return int((long long)twips * dpi / 1440);
}

class Form1 : public Form1Controls {
  public:
    explicit Form1(Form1Events& events, HINSTANCE instance = nullptr);
    ~Form1() override;
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    HWND Handle() const { return hwnd_; }
    // The window handle of a control by design name ("Text9(3)", "Frame1" …), or null.
    HWND ControlHandle(const std::wstring& name) const;
    // The dots per inch the window is laid out for.
    int Dpi() const { return dpi_; }

    // A tool tip over a control, shown while the pointer rests on it; and
    // the tool tip's text (empty when it has none).
    void SetToolTip(const std::wstring& control, const std::string& text);
    std::string ToolTip(const std::wstring& control) const;

    // The window's own buttons: the two panels take turns.
    void Command6Click();
    void Command7Click();

    // Form1Controls.
    std::string Text(Control c) override;
    void SetText(Control c, const std::string& text) override;
    int MaxLength(Control c) override;
    bool Visible(Control c) override;
    void SetVisible(Control c, bool visible) override;
    void SetEnabled(Control c, bool enabled) override;
    CheckState Check(Control c) override;
    void SetColour(Control c, LabelColour colour) override;
    void SetToolTip(Control c, const std::string& text) override;
    // The tool window of SetToolTip (null before the first tip).
    HWND ToolTipWindow() const { return toolTip_; }
    int ItemCount(Control c) override;
    std::string ItemText(Control c, int index) override;
    void AddItem(Control c, const std::string& text) override;
    void RemoveItem(Control c, int index) override;
    void ClearItems(Control c) override;
    int ListIndex(Control c) override;
    void SetListIndex(Control c, int index) override;
    void SetInterval(Control c, int ms) override;
    void SetTimerEnabled(Control c, bool enabled) override;
    void ShowWindow() override;
    void HideWindow() override;
    void AddHostEntry(int host, const std::string& line) override;

  private:
    enum class Kind {
        Label,
        Text,
        ReadOnlyText,
        Button,
        MultiLineButton,
        Check,
        List,
        Combo,
        Frame,
        Picture  // a hidden icon holder: its caption is the icon's resource number
    };
    enum class FontId { Normal, Large, StartStop };
    struct Item {
        std::wstring name;
        Kind kind;
        RECT twips;  // left, top, width, height in the window's client area
        HWND hwnd = nullptr;
        int frame = 0;      // 0: none, 1: Frame1, 2: Frame2
        bool shown = true;  // its own Visible, whatever its frame's
        FontId font = FontId::Normal;
    };

    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT Handle(UINT message, WPARAM w, LPARAM l);

    void Add(const wchar_t* name, Kind kind, const wchar_t* caption, int left, int top, int width,
             int height, int frame = 0, FontId font = FontId::Normal);
    void CreateControls();
    void Layout();
    void MakeFonts();
    void ApplyVisibility(Item& item);
    void ShowPanel(int frame);
    void OnCommand(int id, int code);
    Item* Find(const std::wstring& name);
    Item* ItemOf(Control c);
    void ApplyTimer(int k);
    void RememberFocus();
    void RestoreFocus();

    Form1Events& events_;
    HINSTANCE instance_;
    HWND hwnd_ = nullptr;
    int dpi_ = 96;
    std::vector<Item> items_;
    std::map<std::wstring, size_t> byName_;
    std::array<HFONT, 3> fonts_{};
    HBRUSH faceBrush_ = nullptr;
    HWND focus_ = nullptr;  // the control that gets the focus back on activation
    COLORREF label15Colour_;
    bool label15Default_ = true;
    std::array<int, 2> interval_{};
    std::array<bool, 2> timerOn_{};
    HWND toolTip_ = nullptr;  // owned by hwnd_, which destroys it
};

}  // namespace rm
