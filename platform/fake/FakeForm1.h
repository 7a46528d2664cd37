// The window as a record: every control's text, visibility, state, items and
// timer, starting as the real window starts. The logic's tests read and set it
// directly; nothing is drawn.
#pragma once

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "core/Form1Controls.h"

namespace rm {

struct FakeControl {
    std::string text;
    bool visible = true;
    bool enabled = true;
    CheckState check = CheckState::Unticked;
    LabelColour colour = LabelColour::ButtonText;
    std::vector<std::string> items;
    std::vector<int> hosts;  // the host number of each item, -1 when added without one
    int index = -1;
    int interval = 0;
    bool active = false;
    int starts = 0;  // times the timer was (re)started
    int maxLength = 32767;
    std::string toolTip;
};

class FakeForm1 : public Form1Controls {
  public:
    FakeForm1() {
        const char* names[] = {"Text1", "Text2", "Text3", "Text4", "Text5", "Text6"};
        for (int i = 0; i < 6; ++i) (*this)[Control(int(Control::Text1) + i)].text = names[i];
        (*this)[Control::Text8].text = "20";
        (*this)[Control::Text10].text = "1";
        (*this)[Control::Text11].text = "255";
        (*this)[Control::Text12].text = "192.168.";
        (*this)[Control::Label14].text = "停止中";
        (*this)[Control::Label15].text = "未知";
        (*this)[Control::Check1].check = CheckState::Ticked;
        (*this)[Control::Check3].check = CheckState::Ticked;
        (*this)[Control::List1].visible = false;
    }

    std::map<Control, FakeControl> controls;
    bool windowShown = true;
    int hides = 0, shows = 0;

    FakeControl& operator[](Control c) { return controls[c]; }
    const std::vector<std::string>& Items(Control c) { return controls[c].items; }

    std::string Text(Control c) override {
        FakeControl& f = controls[c];
        if (c == Control::Combo1) return f.index >= 0 ? f.items[size_t(f.index)] : std::string();
        return f.text;
    }
    void SetText(Control c, const std::string& text) override { controls[c].text = text; }
    int MaxLength(Control c) override { return controls[c].maxLength; }
    bool Visible(Control c) override { return controls[c].visible; }
    void SetVisible(Control c, bool visible) override { controls[c].visible = visible; }
    void SetEnabled(Control c, bool enabled) override { controls[c].enabled = enabled; }
    CheckState Check(Control c) override { return controls[c].check; }
    void SetColour(Control c, LabelColour colour) override { controls[c].colour = colour; }
    void SetToolTip(Control c, const std::string& text) override { controls[c].toolTip = text; }
    int ItemCount(Control c) override { return int(controls[c].items.size()); }
    std::string ItemText(Control c, int i) override { return controls[c].items.at(size_t(i)); }
    void AddItem(Control c, const std::string& text) override {
        controls[c].items.push_back(text);
        controls[c].hosts.push_back(-1);
    }
    void RemoveItem(Control c, int i) override {
        FakeControl& f = controls[c];
        f.items.erase(f.items.begin() + i);
        f.hosts.erase(f.hosts.begin() + i);
        if (f.index >= int(f.items.size())) f.index = int(f.items.size()) - 1;
    }
    void ClearItems(Control c) override {
        controls[c].items.clear();
        controls[c].hosts.clear();
        controls[c].index = -1;
    }
    int ListIndex(Control c) override { return controls[c].index; }
    void SetListIndex(Control c, int i) override { controls[c].index = i; }
    void SetInterval(Control c, int ms) override { controls[c].interval = ms; }
    void SetTimerEnabled(Control c, bool enabled) override {
        controls[c].active = enabled;
        if (enabled) ++controls[c].starts;
    }
    void ShowWindow() override {
        windowShown = true;
        ++shows;
    }
    void HideWindow() override {
        windowShown = false;
        ++hides;
    }
    // As the real list does: in host order, after entries without a number.
    void AddHostEntry(int host, const std::string& line) override {
        FakeControl& f = controls[Control::List1];
        size_t row = f.items.size();
        while (row > 0 && f.hosts[row - 1] >= host) --row;
        f.items.insert(f.items.begin() + long(row), line);
        f.hosts.insert(f.hosts.begin() + long(row), host);
    }
};

}  // namespace rm
