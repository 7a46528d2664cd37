// The Win32 window and its services against the real user32 of Wine on a
// virtual display: controls where the design puts them, the design's tab order,
// the panels taking turns, clicks, ticks and the close reaching the logic, and
// the tray, message boxes and waits as the logic uses them.
#include <gtest/gtest.h>
#include <windows.h>
// after windows.h, whose types it uses
#include <commctrl.h>
#include <commdlg.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "gui/win32/Form1.h"
#include "gui/win32/Win32FrontEnd.h"
#include "gui/win32/Win32TaskPoster.h"

namespace rm {
namespace {

struct RecordingEvents : Form1Events {
    std::vector<std::string> calls;
    std::vector<float> trayX;
    void Command1Click() override { calls.push_back("Command1"); }
    void Command2Click() override { calls.push_back("Command2"); }
    void Command3Click() override { calls.push_back("Command3"); }
    void Command4Click() override { calls.push_back("Command4"); }
    void Command5Click() override { calls.push_back("Command5"); }
    void Command8Click() override { calls.push_back("Command8"); }
    void Timer1Tick() override { calls.push_back("Timer1"); }
    void Timer2Tick() override { calls.push_back("Timer2"); }
    void OnTrayCallback(int, int, float x, float) override { trayX.push_back(x); }
    void FormUnload() override { calls.push_back("FormUnload"); }
    int Count(const std::string& name) const {
        int n = 0;
        for (const auto& c : calls) n += c == name;
        return n;
    }
};

// Serves the window's messages for `ms` milliseconds.
void Pump(DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    while (GetTickCount64() < end) {
        PumpPending();
        MsgWaitForMultipleObjectsEx(0, nullptr, 10, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

std::wstring Caption(HWND hwnd) {
    wchar_t text[256] = {};
    GetWindowTextW(hwnd, text, 256);
    return text;
}

class Form1Win32 : public ::testing::Test {
  protected:
    void SetUp() override {
        form = std::make_unique<Form1>(events);
        ASSERT_NE(form->Handle(), nullptr);
        form->ShowWindow();
        Pump(50);
    }
    void TearDown() override { form.reset(); }

    HWND H(const wchar_t* name) {
        HWND h = form->ControlHandle(name);
        EXPECT_NE(h, nullptr) << "no control";
        return h;
    }
    // The control's rectangle in the window's client area.
    RECT Place(const wchar_t* name) {
        RECT r{};
        GetWindowRect(H(name), &r);
        MapWindowPoints(nullptr, form->Handle(), reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    int Px(int twips) { return TwipsToPixels(twips, form->Dpi()); }

    RecordingEvents events;
    std::unique_ptr<Form1> form;
};

TEST_F(Form1Win32, ControlsSitAtTheirDesignRectanglesWithTheirCaptions) {
    struct Expected {
        const wchar_t* name;
        int left, top, width, height;
        const wchar_t* caption;
    };
    // Frame members are given in window coordinates: frame origin (240, 2640) added.
    const Expected expected[] = {
        {L"Label2", 240, 480, 1215, 375, L"路由器:"},
        {L"Text1", 960, 480, 1815, 375, L"Text1"},
        {L"Text6", 4800, 960, 1815, 375, L"Text6"},
        {L"Text7", 960, 1440, 5655, 1095, L""},
        {L"Frame1", 240, 2640, 1935, 3135, L"设置区"},
        {L"Text8", 240 + 840, 2640 + 240, 495, 270, L"20"},
        {L"Command7", 240 + 1440, 2640 + 600, 375, 1215, L"设置排除MAC"},
        {L"Command3", 240 + 240, 2640 + 2760, 1455, 255, L"保存全部设置"},
        {L"Command1", 5040, 2760, 1575, 1935, L"开始监视"},
        {L"Command2", 5040, 2760, 1575, 1935, L"停止监视"},
        {L"Label14", 2400, 3240, 2535, 855, L"停止中"},
        {L"Label15", 2760, 4440, 1935, 855, L"未知"},
        {L"Check4", 5160, 5280, 1575, 180, L"闪烁图标警示"},
        {L"Text12", 2400, 5400, 1455, 270, L"192.168."},
        {L"Command4", 5520, 5760, 735, 375, L"最小化"},
        {L"Label8", 240, 5880, 4935, 255, L"有人上网时自动停下迅雷，网络空闲时再开启"},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(std::string(e.name, e.name + wcslen(e.name)));
        const RECT r = Place(e.name);
        EXPECT_EQ(r.left, Px(e.left));
        EXPECT_EQ(r.top, Px(e.top));
        EXPECT_EQ(r.right - r.left, Px(e.width));
        EXPECT_EQ(r.bottom - r.top, Px(e.height));
        EXPECT_EQ(Caption(H(e.name)), e.caption);
    }
    RECT client{};
    GetClientRect(form->Handle(), &client);
    EXPECT_EQ(client.right, Px(6690));
    EXPECT_EQ(client.bottom, Px(6270));
    EXPECT_EQ(Caption(form->Handle()), L"路由器使用监视器 ");
}

// An ordinary window: it maximises and restores with every control where it
// was, and gives the focus back to the control that had it when the user returns.
TEST_F(Form1Win32, MaximisesWithoutMovingAControlAndKeepsItsFocusAcrossActivation) {
    const LONG style = GetWindowLongW(form->Handle(), GWL_STYLE);
    for (LONG bit : {WS_MINIMIZEBOX, WS_MAXIMIZEBOX, WS_THICKFRAME, WS_SYSMENU})
        EXPECT_TRUE(style & bit) << std::hex << bit;
    const std::vector<const wchar_t*> names{L"Text1",   L"Text8",    L"Command1",
                                            L"Label15", L"Command4", L"Text12"};
    std::vector<RECT> before;
    for (const wchar_t* n : names) before.push_back(Place(n));
    for (int show : {SW_MAXIMIZE, SW_RESTORE}) {
        ::ShowWindow(form->Handle(), show);
        Pump(100);
        RECT client{};
        GetClientRect(form->Handle(), &client);
        if (show == SW_MAXIMIZE)
            EXPECT_GT(client.right, Px(6690));
        else
            EXPECT_EQ(client.right, Px(6690));
        for (size_t i = 0; i < names.size(); ++i) {
            const RECT now = Place(names[i]);
            EXPECT_TRUE(EqualRect(&before[i], &now)) << i << " moved";
        }
    }

    SetForegroundWindow(form->Handle());
    SetFocus(H(L"Text8"));
    Pump(50);
    const HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                       0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    SetForegroundWindow(other);
    SetActiveWindow(other);
    Pump(100);
    EXPECT_NE(GetFocus(), H(L"Text8"));
    SetForegroundWindow(form->Handle());
    SetActiveWindow(form->Handle());
    Pump(100);
    EXPECT_EQ(GetFocus(), H(L"Text8")) << "the focus did not come back";
    // A control that has gone out of sight meanwhile hands on to the first one.
    SetActiveWindow(other);
    Pump(50);
    form->Command7Click();
    SetActiveWindow(form->Handle());
    Pump(100);
    EXPECT_EQ(GetFocus(), H(L"Command1"));
    DestroyWindow(other);
}

// Picture1 and Picture2 hold the tray's alarm pictures at their places and are
// never seen on the form.
TEST_F(Form1Win32, ThePicturesHoldTheAlarmIconsOutOfSight) {
    for (const auto& [name, left] : {std::pair{L"Picture2", 4200}, std::pair{L"Picture1", 4560}}) {
        SCOPED_TRACE(std::string(name, name + wcslen(name)));
        const RECT r = Place(name);
        EXPECT_EQ(r.left, Px(left));
        EXPECT_EQ(r.top, 0);
        EXPECT_FALSE(IsWindowVisible(H(name)));
        EXPECT_NE(SendMessageW(H(name), STM_GETICON, 0, 0), 0);
    }
    EXPECT_NE(SendMessageW(H(L"Picture1"), STM_GETICON, 0, 0),
              SendMessageW(H(L"Picture2"), STM_GETICON, 0, 0));
}

TEST_F(Form1Win32, ADpiChangeScalesEveryControlAndTheFonts) {
    LOGFONTW before{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(H(L"Label14"), WM_GETFONT, 0, 0)),
               sizeof before, &before);
    // As Windows sends it when the window moves to a 150 % monitor.
    RECT suggested{100, 100, 100 + 6690 / 10 + 20, 100 + 6270 / 10 + 40};
    SendMessageW(form->Handle(), WM_DPICHANGED, MAKEWPARAM(144, 144),
                 reinterpret_cast<LPARAM>(&suggested));
    ASSERT_EQ(form->Dpi(), 144);
    const RECT r = Place(L"Command1");
    EXPECT_EQ(r.left, 5040 / 10);
    EXPECT_EQ(r.top, 2760 / 10);
    EXPECT_EQ(r.right - r.left, 1575 / 10);
    const RECT t = Place(L"Text9(3)");
    EXPECT_EQ(t.top, (2640 + 240 * 4) / 10);
    LOGFONTW after{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(H(L"Label14"), WM_GETFONT, 0, 0)), sizeof after,
               &after);
    // 42 pt: 56 px at 96 dpi, 84 px at 144.
    EXPECT_EQ(before.lfHeight * 3, after.lfHeight * 2);
    EXPECT_EQ(after.lfHeight, -84);
    RECT window{};
    GetWindowRect(form->Handle(), &window);
    EXPECT_EQ(window.left, suggested.left);
    EXPECT_EQ(window.right - window.left, suggested.right - suggested.left);
}

TEST_F(Form1Win32, StackingAndReadOnlyBoxesAreTheDesigns) {
    // Command1 in front of Command2, List1 in front of its backdrop Text7.
    auto above = [](HWND a, HWND b) {
        for (HWND h = GetWindow(a, GW_HWNDNEXT); h; h = GetWindow(h, GW_HWNDNEXT))
            if (h == b) return true;
        return false;
    };
    EXPECT_TRUE(above(H(L"Command1"), H(L"Command2")));
    EXPECT_TRUE(above(H(L"List1"), H(L"Text7")));
    for (const wchar_t* name : {L"Text1", L"Text2", L"Text3", L"Text4", L"Text5", L"Text6"})
        EXPECT_TRUE(GetWindowLongW(H(name), GWL_STYLE) & ES_READONLY);
    EXPECT_FALSE(GetWindowLongW(H(L"Text8"), GWL_STYLE) & ES_READONLY);
    EXPECT_EQ(form->MaxLength(Control::Text8), 32767);
}

TEST_F(Form1Win32, TabWalksTheDesignOrderThroughVisibleControls) {
    const std::vector<std::wstring> order{
        L"Command1", L"Text1",  L"Text2",  L"Text3",    L"Text4",   L"Text5",    L"Text6",
        L"Text8",    L"Text10", L"Text11", L"Command2", L"Check1",  L"Command3", L"Command4",
        L"Check2",   L"Text7",  L"Check3", L"Command5", L"Text15",  L"Combo1",   L"Text14",
        L"Command7", L"Check4", L"Text12", L"Command8", L"Command1"};
    HWND at = H(L"Command1");
    for (size_t i = 1; i < order.size(); ++i) {
        at = GetNextDlgTabItem(form->Handle(), at, FALSE);
        EXPECT_EQ(at, H(order[i].c_str())) << "step " << i;
    }
}

TEST_F(Form1Win32, SpaceAndEnterPressTheFocusedButton) {
    for (WPARAM key : {WPARAM(VK_SPACE), WPARAM(VK_RETURN)}) {
        SetForegroundWindow(form->Handle());
        SetFocus(H(L"Command8"));
        ASSERT_EQ(GetFocus(), H(L"Command8"));
        const size_t before = events.calls.size();
        PostMessageW(H(L"Command8"), WM_KEYDOWN, key, 0x00000001);
        PostMessageW(H(L"Command8"), WM_CHAR, key == VK_SPACE ? L' ' : L'\r', 0x00000001);
        PostMessageW(H(L"Command8"), WM_KEYUP, key, 0xC0000001);
        Pump(100);
        EXPECT_EQ(events.calls.size(), before + 1) << "key " << key;
        if (events.calls.size() == before + 1) {
            EXPECT_EQ(events.calls.back(), "Command8");
        }
    }
}

TEST_F(Form1Win32, PanelsTakeTurnsAndKeepTheirMembersOwnVisibility) {
    EXPECT_TRUE(IsWindowVisible(H(L"Frame1")));
    EXPECT_FALSE(IsWindowVisible(H(L"Frame2")));
    EXPECT_FALSE(IsWindowVisible(H(L"Text9(0)")));
    SendMessageW(H(L"Command7"), BM_CLICK, 0, 0);
    EXPECT_FALSE(IsWindowVisible(H(L"Frame1")));
    EXPECT_FALSE(IsWindowVisible(H(L"Text8")));
    EXPECT_TRUE(IsWindowVisible(H(L"Frame2")));
    EXPECT_TRUE(IsWindowVisible(H(L"Text9(9)")));
    EXPECT_TRUE(IsWindowVisible(H(L"Command6")));
    // Hidden with its frame, Text8 is still visible by its own flag, as in the design.
    EXPECT_TRUE(form->Visible(Control::Text8));
    SendMessageW(H(L"Command6"), BM_CLICK, 0, 0);
    EXPECT_TRUE(IsWindowVisible(H(L"Text8")));
    EXPECT_FALSE(IsWindowVisible(H(L"Text9(9)")));

    EXPECT_FALSE(form->Visible(Control::List1));
    form->SetVisible(Control::List1, true);
    form->SetVisible(Control::Text7, false);
    EXPECT_TRUE(IsWindowVisible(H(L"List1")));
    EXPECT_FALSE(IsWindowVisible(H(L"Text7")));
}

TEST_F(Form1Win32, ClicksTicksAndTheCloseReachTheLogic) {
    for (const wchar_t* name :
         {L"Command1", L"Command2", L"Command3", L"Command4", L"Command5", L"Command8"})
        SendMessageW(H(name), BM_CLICK, 0, 0);
    EXPECT_EQ(events.calls, (std::vector<std::string>{"Command1", "Command2", "Command3",
                                                      "Command4", "Command5", "Command8"}));
    events.calls.clear();

    // An interval of 0 gives no ticks even while enabled.
    form->SetTimerEnabled(Control::Timer1, true);
    Pump(150);
    EXPECT_EQ(events.Count("Timer1"), 0);
    form->SetInterval(Control::Timer1, 20);
    form->SetInterval(Control::Timer2, 20);
    form->SetTimerEnabled(Control::Timer2, true);
    Pump(400);
    EXPECT_GE(events.Count("Timer1"), 2);
    EXPECT_GE(events.Count("Timer2"), 2);
    form->SetTimerEnabled(Control::Timer1, false);
    form->SetTimerEnabled(Control::Timer2, false);
    Pump(50);
    const size_t settled = events.calls.size();
    Pump(200);
    EXPECT_EQ(events.calls.size(), settled);

    // Pointer movement over the client area arrives in twips.
    SendMessageW(form->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(10, 20));
    ASSERT_EQ(events.trayX.size(), 1u);
    EXPECT_FLOAT_EQ(events.trayX[0], 10.0f * 1440.0f / float(form->Dpi()));

    events.calls.clear();
    SendMessageW(form->Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(events.calls, std::vector<std::string>{"FormUnload"});
    EXPECT_EQ(form->Handle(), nullptr);
    // The close ends the main loop.
    MSG msg;
    bool quit = false;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) quit = quit || msg.message == WM_QUIT;
    EXPECT_TRUE(quit);
}

TEST_F(Form1Win32, ControlsReadAndWriteAsTheLogicExpects) {
    form->SetText(Control::Text15, "D:\\迅雷\\Thunder.exe");
    EXPECT_EQ(form->Text(Control::Text15), "D:\\迅雷\\Thunder.exe");
    form->SetText(Control::Label14, "监视中");
    EXPECT_EQ(Caption(H(L"Label14")), L"监视中");

    EXPECT_EQ(form->Check(Control::Check1), CheckState::Ticked);
    EXPECT_EQ(form->Check(Control::Check3), CheckState::Ticked);
    EXPECT_EQ(form->Check(Control::Check4), CheckState::Unticked);
    SendMessageW(H(L"Check4"), BM_CLICK, 0, 0);
    EXPECT_EQ(form->Check(Control::Check4), CheckState::Ticked);

    EXPECT_EQ(form->ListIndex(Control::Combo1), -1);
    EXPECT_EQ(form->Text(Control::Combo1), "");
    form->AddItem(Control::Combo1, "192.168.1.");
    form->AddItem(Control::Combo1, "10.0.0.");
    form->SetListIndex(Control::Combo1, 1);
    EXPECT_EQ(form->Text(Control::Combo1), "10.0.0.");
    form->RemoveItem(Control::Combo1, 0);
    EXPECT_EQ(form->ItemCount(Control::Combo1), 1);
    EXPECT_EQ(form->ItemText(Control::Combo1, 0), "10.0.0.");

    // Answers in any order land in host order; a plain entry stays where it is.
    form->AddItem(Control::List1, "其他主机");
    form->AddHostEntry(9, "192.168.1.9 00-00-00-00-00-00");
    form->AddHostEntry(2, "192.168.1.2 02-00-00-00-00-02");
    form->AddHostEntry(5, "192.168.1.5 02-00-00-00-00-05");
    ASSERT_EQ(form->ItemCount(Control::List1), 4);
    EXPECT_EQ(form->ItemText(Control::List1, 0), "其他主机");
    EXPECT_EQ(form->ItemText(Control::List1, 1), "192.168.1.2 02-00-00-00-00-02");
    EXPECT_EQ(form->ItemText(Control::List1, 3), "192.168.1.9 00-00-00-00-00-00");
    EXPECT_EQ(form->ItemText(Control::List1, 7), "");
    form->ClearItems(Control::List1);
    EXPECT_EQ(form->ItemCount(Control::List1), 0);

    form->SetEnabled(Control::Command2, false);
    EXPECT_FALSE(IsWindowEnabled(H(L"Command2")));
    form->HideWindow();
    EXPECT_FALSE(IsWindowVisible(form->Handle()));
    form->ShowWindow();
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
}

// Pixels of `colour` in the control as it is drawn on the screen.
int PixelsOf(HWND control, COLORREF colour) {
    RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    RECT r{};
    GetClientRect(control, &r);
    HDC dc = GetDC(control);
    int n = 0;
    for (int y = 0; y < r.bottom; y += 2)
        for (int x = 0; x < r.right; x += 2) n += GetPixel(dc, x, y) == colour;
    ReleaseDC(control, dc);
    return n;
}

TEST_F(Form1Win32, TheVerdictLabelTakesItsColours) {
    const HWND label = H(L"Label15");
    form->SetText(Control::Label15, "危险");
    form->SetColour(Control::Label15, LabelColour::Red);
    EXPECT_GT(PixelsOf(label, RGB(255, 0, 0)), 20);
    EXPECT_EQ(PixelsOf(label, RGB(0, 255, 0)), 0);
    form->SetColour(Control::Label15, LabelColour::Green);
    EXPECT_GT(PixelsOf(label, RGB(0, 255, 0)), 20);
    EXPECT_EQ(PixelsOf(label, RGB(255, 0, 0)), 0);
    form->SetColour(Control::Label15, LabelColour::ButtonText);
    EXPECT_GT(PixelsOf(label, GetSysColor(COLOR_BTNTEXT)), 20);
    EXPECT_EQ(PixelsOf(label, RGB(0, 255, 0)), 0);
    // The verdict colour is Label15's alone.
    EXPECT_EQ(PixelsOf(H(L"Label14"), RGB(0, 255, 0)), 0);
}

// The save button tells where the settings are; Text15 the download client's
// last answer, one tool whose text is replaced.
TEST_F(Form1Win32, ToolTipsTellTheSettingsFolderAndTheDownloadClientsAnswer) {
    const std::string folder = "设置文件夹：C:\\Users\\甲\\AppData\\Roaming\\router-monitor";
    form->SetToolTip(L"Command3", folder);
    EXPECT_EQ(form->ToolTip(L"Command3"), folder);
    EXPECT_EQ(form->ToolTip(L"Command4"), "");
    form->SetToolTip(Control::Text15, "已暂停 3 个任务");
    form->SetToolTip(Control::Text15, "连接被拒绝");
    const HWND tip = form->ToolTipWindow();
    ASSERT_NE(tip, nullptr);
    EXPECT_EQ(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0), 2);
    wchar_t text[80] = {};
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = form->Handle();
    tool.uId = reinterpret_cast<UINT_PTR>(H(L"Text15"));
    tool.lpszText = text;
    SendMessageW(tip, TTM_GETTEXTW, 80, reinterpret_cast<LPARAM>(&tool));
    EXPECT_STREQ(text, L"连接被拒绝");
}

TEST_F(Form1Win32, WaitsKeepServingTheWindow) {
    auto clock = MakeWin32Clock();
    PostMessageW(H(L"Command8"), BM_CLICK, 0, 0);
    const uint32_t start = clock->TimeGetTime();
    clock->Sleep(200);
    EXPECT_GE(clock->TimeGetTime() - start, 190u);
    EXPECT_EQ(events.Count("Command8"), 1);
    PostMessageW(H(L"Command3"), BM_CLICK, 0, 0);
    clock->DoEvents();
    EXPECT_EQ(events.Count("Command3"), 1);
}

TEST(Win32TaskPoster, RunsOtherThreadsTasksOnItsOwnThreadInOrderFromAWait) {
    const DWORD uiThread = GetCurrentThreadId();
    std::vector<int> ran;
    bool allOnUiThread = true;
    {
        Win32TaskPoster poster;
        std::thread worker([&] {
            for (int k = 0; k < 50; ++k)
                EXPECT_TRUE(poster.Post([&, k] {
                    ran.push_back(k);
                    allOnUiThread = allOnUiThread && GetCurrentThreadId() == uiThread;
                }));
        });
        worker.join();
        EXPECT_TRUE(ran.empty());  // nothing runs before a pump serves it
        MakeWin32Clock()->Sleep(50);
        ASSERT_EQ(ran.size(), 50u);
        for (int k = 0; k < 50; ++k) EXPECT_EQ(ran[size_t(k)], k);
        EXPECT_TRUE(allOnUiThread);
        // Queued when the poster goes: dropped with it, never run afterwards.
        poster.Post([&] { ran.push_back(-1); });
    }
    PumpPending();
    EXPECT_EQ(ran.size(), 50u);
}

TEST(Win32MessageBoxes, CarryTheProgramsCaptionAndText) {
    std::atomic<bool> seen{false};
    std::wstring text;
    std::thread closer([&] {
        for (int i = 0; i < 200 && !seen; ++i) {
            if (HWND box = FindWindowW(L"#32770", L"Orla网监视")) {
                wchar_t buffer[256] = {};
                GetDlgItemTextW(box, 0xFFFF, buffer, 256);  // the static text of a message box
                text = buffer;
                seen = true;
                PostMessageW(box, WM_COMMAND, IDOK, 0);
            }
            Sleep(50);
        }
    });
    MakeWin32MessageBoxes({})->Show("设置文件读取错误", 48);
    closer.join();
    EXPECT_TRUE(seen);
    EXPECT_EQ(text, L"设置文件读取错误");
}

// With the window as owner, as the program shows them: the box is on screen,
// owned by the window, which takes no input until the box is dismissed, and it
// shows the icon the style asks for.
TEST(Win32MessageBoxes, AreModalToTheWindowAndShowTheStylesIcon) {
    RecordingEvents events;
    Form1 form(events);
    form.ShowWindow();
    const HWND window = form.Handle();
    struct Seen {
        bool visible = false, owned = false, ownerDisabled = false;
        HICON icon = nullptr;
    };
    std::atomic<bool> found{false};
    Seen seen;
    std::thread closer([&] {
        for (int i = 0; i < 200 && !found; ++i) {
            if (HWND box = FindWindowW(L"#32770", L"Orla网监视")) {
                Sleep(100);  // let it finish showing itself
                seen.visible = IsWindowVisible(box);
                seen.owned = GetWindow(box, GW_OWNER) == window;
                seen.ownerDisabled = !IsWindowEnabled(window);
                for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
                    if ((GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
                        seen.icon = reinterpret_cast<HICON>(SendMessageW(c, STM_GETICON, 0, 0));
                }
                found = true;
                PostMessageW(box, WM_COMMAND, IDOK, 0);
            }
            Sleep(50);
        }
    });
    MakeWin32MessageBoxes([window] { return window; })->Show("文件未找到", 16);
    closer.join();
    ASSERT_TRUE(found);
    EXPECT_TRUE(seen.visible);
    EXPECT_TRUE(seen.owned);
    EXPECT_TRUE(seen.ownerDisabled);
    EXPECT_EQ(seen.icon, LoadIconW(nullptr, IDI_HAND));
    EXPECT_TRUE(IsWindowEnabled(window));  // given back once the box is gone
}

// Answers the next open-file dialog of this process: with `file`, or cancels it when empty.
std::thread AnswerFileDialog(std::wstring file, std::atomic<bool>& seen) {
    return std::thread([file = std::move(file), &seen] {
        for (int i = 0; i < 200 && !seen; ++i) {
            if (HWND dialog = FindWindowW(L"#32770", nullptr)) {
                seen = true;
                Sleep(300);  // let the dialog finish its start-up
                if (file.empty()) {
                    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
                } else {
                    // cmb13 (the file name box) of the Explorer-style dialog.
                    SendMessageW(dialog, CDM_SETCONTROLTEXT, 0x47c,
                                 reinterpret_cast<LPARAM>(file.c_str()));
                    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
                }
            }
            Sleep(50);
        }
    });
}

TEST(Win32FileDialog, ReportsTheChosenFileAndKeepsItAfterACancel) {
    auto dialog = MakeWin32FileDialog({});
    std::atomic<bool> seen{false};
    std::thread answer = AnswerFileDialog(L"C:\\windows\\system32\\notepad.exe", seen);
    const std::string chosen = dialog->ShowOpen();
    answer.join();
    ASSERT_TRUE(seen);
    EXPECT_EQ(chosen, "C:\\windows\\system32\\notepad.exe");

    seen = false;
    answer = AnswerFileDialog(L"", seen);
    const std::string again = dialog->ShowOpen();
    answer.join();
    ASSERT_TRUE(seen);
    EXPECT_EQ(again, chosen);
}

TEST(Win32TrayHost, KeepsTheShellsAddAndDeleteRulesAndReportsMouseMessages) {
    auto tray = MakeWin32TrayHost();
    std::vector<float> got;
    tray->SetCallback([&](float x) { got.push_back(x); });
    TrayRecord record;
    record.hWnd = 0x1234;
    record.uID = 1;
    record.hIcon = IconId::Window;
    record.szTip = "Tesk网监视";
    ASSERT_TRUE(tray->ShellNotifyIcon(TrayHost::kAdd, record));
    EXPECT_FALSE(tray->ShellNotifyIcon(TrayHost::kAdd, record));
    record.hIcon = IconId::Picture2;
    EXPECT_TRUE(tray->ShellNotifyIcon(TrayHost::kModify, record));

    // The shell's double-click on the icon, as the host's window receives it.
    HWND host = FindWindowW(L"RouterMonitorTrayHost", nullptr);
    ASSERT_NE(host, nullptr);
    SendMessageW(host, WM_APP + 1, 1, WM_LBUTTONDBLCLK);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_FLOAT_EQ(got[0], 515.0f * 15.0f);
    // Explorer restarted: the icon comes back, and the host still knows it.
    SendMessageW(host, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_FALSE(tray->ShellNotifyIcon(TrayHost::kAdd, record));

    EXPECT_TRUE(tray->ShellNotifyIcon(TrayHost::kDelete, record));
    EXPECT_FALSE(tray->ShellNotifyIcon(TrayHost::kDelete, record));
    EXPECT_FALSE(tray->ShellNotifyIcon(TrayHost::kModify, record));
}

}  // namespace
}  // namespace rm
