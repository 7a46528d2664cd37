// Form1: builds every control of the window at its design place (twips scaled
// to the window's dpi), keeps them there when the dpi changes or the user
// resizes the window, routes buttons, timers, the pointer and the close to the
// logic, and reads and writes its controls for the logic.
#include "gui/win32/Form1.h"

#include <commctrl.h>
#include <windowsx.h>

#include <cwchar>
#include <string>

#include "gui/win32/Win32FrontEnd.h"

namespace rm {

namespace {

constexpr wchar_t kClassName[] = L"RouterMonitorForm1";
constexpr int kFirstId = 100;
constexpr UINT kTimerBase = 1;  // Timer1 is id 1, Timer2 id 2
// Dropdown height of Combo1 in design twips: eight items of 9 pt.
constexpr int kComboDropTwips = 8 * 240;

// Windows 10 1607 and later; older systems lay out at the system dpi.
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

template <typename F>
F User32(const char* name) {
    return reinterpret_cast<F>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

int SystemDpi() {
    HDC dc = GetDC(nullptr);
    const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc) ReleaseDC(nullptr, dc);
    return dpi > 0 ? dpi : 96;
}

int WindowDpi(HWND hwnd) {
    static const auto fn = User32<GetDpiForWindowFn>("GetDpiForWindow");
    if (fn && hwnd) {
        const UINT dpi = fn(hwnd);
        if (dpi > 0) return int(dpi);
    }
    return SystemDpi();
}

RECT OuterRect(int width, int height, DWORD style, DWORD exStyle, int dpi) {
    RECT r{0, 0, width, height};
    static const auto fn = User32<AdjustForDpiFn>("AdjustWindowRectExForDpi");
    if (!fn || !fn(&r, style, FALSE, exStyle, UINT(dpi)))
        AdjustWindowRectEx(&r, style, FALSE, exStyle);
    return r;
}

int CALLBACK FontFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool FontInstalled(const wchar_t* face) {
    LOGFONTW lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
    bool found = false;
    HDC dc = GetDC(nullptr);
    EnumFontFamiliesExW(dc, &lf, FontFound, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, dc);
    return found;
}

// The first face of the list that is installed; the last one otherwise, which
// the font mapper then substitutes as it can.
const wchar_t* PickFace(std::initializer_list<const wchar_t*> faces) {
    for (const wchar_t* face : faces)
        if (FontInstalled(face)) return face;
    return *(faces.end() - 1);
}

HFONT MakeFont(const wchar_t* face, double points, bool bold, int dpi) {
    LOGFONTW lf{};
    lf.lfHeight = -int(points * dpi / 72.0 + 0.5);
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfCharSet = GB2312_CHARSET;
    lf.lfQuality = CLEARTYPE_QUALITY;
    lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
    return CreateFontIndirectW(&lf);
}

std::wstring WindowText(HWND hwnd) {
    const int n = GetWindowTextLengthW(hwnd);
    std::wstring text(size_t(n) + 1, L'\0');
    const int got = GetWindowTextW(hwnd, text.data(), n + 1);
    text.resize(size_t(got > 0 ? got : 0));
    return text;
}

}  // namespace

Form1::Form1(Form1Events& events, HINSTANCE instance)
    : events_(events), instance_(instance ? instance : GetModuleHandleW(nullptr)) {
    label15Colour_ = GetSysColor(COLOR_BTNTEXT);
    faceBrush_ = GetSysColorBrush(COLOR_BTNFACE);

    WNDCLASSEXW wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance_;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    // The resource script's icon 1; the system's when built without it.
    wc.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(1));
    if (!wc.hIcon) wc.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
    RegisterWindowClassOnce(wc);

    // An ordinary top-level window: sizing frame, minimise and maximise boxes.
    // The controls keep their design places whatever its size.
    const DWORD style = WS_OVERLAPPEDWINDOW;
    dpi_ = SystemDpi();
    const RECT outer =
        OuterRect(TwipsToPixels(6690, dpi_), TwipsToPixels(6270, dpi_), style, 0, dpi_);
    CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, L"路由器使用监视器 ", style,
                    TwipsToPixels(6345, dpi_), TwipsToPixels(3795, dpi_), outer.right - outer.left,
                    outer.bottom - outer.top, nullptr, nullptr, instance_, this);
    if (!hwnd_) return;

    CreateControls();
    // The monitor the window opened on may have a dpi of its own.
    const int dpi = WindowDpi(hwnd_);
    if (dpi != dpi_) {
        dpi_ = dpi;
        const RECT r =
            OuterRect(TwipsToPixels(6690, dpi_), TwipsToPixels(6270, dpi_), style, 0, dpi_);
        SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    MakeFonts();
    Layout();
    SetDialogWindow(hwnd_);
    focus_ = Find(L"Command1")->hwnd;
    SetFocus(focus_);
}

Form1::~Form1() {
    if (hwnd_) {
        KillTimer(hwnd_, kTimerBase);
        KillTimer(hwnd_, kTimerBase + 1);
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        for (const Item& item : items_) RemovePropW(item.hwnd, L"RmItem");
        DestroyWindow(hwnd_);
    }
    for (HFONT f : fonts_)
        if (f) DeleteObject(f);
}

void Form1::Add(const wchar_t* name, Kind kind, const wchar_t* caption, int left, int top,
                int width, int height, int frame, FontId font) {
    Item item{name, kind, RECT{left, top, width, height}};
    item.frame = frame;
    item.font = font;
    if (frame) {
        // Placed inside its frame: the design gives frame-relative positions.
        const Item& f = items_[byName_.at(frame == 1 ? L"Frame1" : L"Frame2")];
        item.twips.left += f.twips.left;
        item.twips.top += f.twips.top;
    }
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    DWORD ex = 0;
    const wchar_t* cls = L"STATIC";
    switch (kind) {
        case Kind::Label:
            style |= SS_LEFT | SS_NOPREFIX;
            break;
        case Kind::ReadOnlyText:
            style |= ES_READONLY;
            [[fallthrough]];
        case Kind::Text:
            cls = L"EDIT";
            style |= WS_TABSTOP | ES_AUTOHSCROLL | ES_LEFT;
            ex = WS_EX_CLIENTEDGE;
            break;
        case Kind::MultiLineButton:
            style |= BS_MULTILINE;
            [[fallthrough]];
        case Kind::Button:
            cls = L"BUTTON";
            style |= WS_TABSTOP | BS_PUSHBUTTON;
            break;
        case Kind::Check:
            cls = L"BUTTON";
            style |= WS_TABSTOP | BS_AUTOCHECKBOX;
            break;
        case Kind::List:
            cls = L"LISTBOX";
            style |= WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
            ex = WS_EX_CLIENTEDGE;
            break;
        case Kind::Combo:
            cls = L"COMBOBOX";
            style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
            break;
        case Kind::Frame:
            cls = L"BUTTON";
            style |= BS_GROUPBOX;
            break;
        case Kind::Picture:
            style |= SS_ICON | SS_REALSIZEIMAGE;
            break;
    }
    const int id = kFirstId + int(items_.size());
    item.hwnd =
        CreateWindowExW(ex, cls, kind == Kind::Picture ? L"" : caption, style, 0, 0, 0, 0, hwnd_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    if (kind == Kind::Text || kind == Kind::ReadOnlyText)
        SendMessageW(item.hwnd, EM_SETLIMITTEXT, 32767, 0);
    if (kind == Kind::Picture) {
        // The tray's two alarm pictures, kept on the form as the design has
        // them; never shown there.
        const UINT resource = UINT(std::wcstoul(caption, nullptr, 10));
        HANDLE icon =
            LoadImageW(instance_, MAKEINTRESOURCEW(resource), IMAGE_ICON, 24, 24, LR_SHARED);
        if (icon) SendMessageW(item.hwnd, STM_SETICON, WPARAM(icon), 0);
        item.shown = false;
    }
    byName_[item.name] = items_.size();
    items_.push_back(std::move(item));
    // The vector is filled once, in the constructor: its elements stay put.
}

// Created in the design's tab order: among siblings the z-order is the tab
// order, and it also puts List1 before its backdrop Text7 and Command1 before
// Command2, as the design stacks them. Labels and frames never take the focus
// and go behind.
void Form1::CreateControls() {
    // The frames first, so that their members can be placed inside them.
    Add(L"Frame1", Kind::Frame, L"设置区", 240, 2640, 1935, 3135);
    Add(L"Frame2", Kind::Frame, L"设置排除MAC", 240, 2640, 1935, 3135);

    Add(L"Command1", Kind::Button, L"开始监视", 5040, 2760, 1575, 1935, 0, FontId::StartStop);
    Add(L"Text1", Kind::ReadOnlyText, L"Text1", 960, 480, 1815, 375);
    Add(L"Text2", Kind::ReadOnlyText, L"Text2", 2880, 480, 1815, 375);
    Add(L"Text3", Kind::ReadOnlyText, L"Text3", 4800, 480, 1815, 375);
    Add(L"Text4", Kind::ReadOnlyText, L"Text4", 960, 960, 1815, 375);
    Add(L"Text5", Kind::ReadOnlyText, L"Text5", 2880, 960, 1815, 375);
    Add(L"Text6", Kind::ReadOnlyText, L"Text6", 4800, 960, 1815, 375);
    Add(L"Text8", Kind::Text, L"20", 840, 240, 495, 270, 1);
    Add(L"Text10", Kind::Text, L"1", 120, 1560, 375, 270, 1);
    Add(L"Text11", Kind::Text, L"255", 720, 1560, 495, 270, 1);
    Add(L"Command2", Kind::Button, L"停止监视", 5040, 2760, 1575, 1935, 0, FontId::StartStop);
    Add(L"Check1", Kind::Check, L"静音危险监视", 5160, 4800, 1455, 180);
    Add(L"Command3", Kind::Button, L"保存全部设置", 240, 2760, 1455, 255, 1);
    Add(L"Command4", Kind::Button, L"最小化", 5520, 5760, 735, 375);
    Add(L"Check2", Kind::Check, L"监视下载", 5280, 5520, 1095, 180);
    Add(L"List1", Kind::List, L"", 960, 1440, 5685, 1140);
    Add(L"Text7", Kind::Text, L"", 960, 1440, 5655, 1095);
    Add(L"Check3", Kind::Check, L"静音安全监视", 5160, 5040, 1575, 180);
    Add(L"Command5", Kind::Button, L"浏览", 1200, 1920, 615, 255, 1);
    Add(L"Text15", Kind::Text, L"", 120, 2160, 1695, 270, 1);
    Add(L"Combo1", Kind::Combo, L"", 120, 960, 1185, 300, 1);
    for (int k = 0; k < 10; ++k) {
        const std::wstring name = L"Text9(" + std::to_wstring(k) + L")";
        Add(name.c_str(), Kind::Text, L"", 120, 240 * (k + 1), 1695, 270, 2);
    }
    Add(L"Command6", Kind::Button, L"返回设置区", 360, 2760, 1215, 300, 2);
    Add(L"Text14", Kind::Text, L"", 1080, 2400, 735, 270, 1);
    Add(L"Command7", Kind::MultiLineButton, L"设置排除MAC", 1440, 600, 375, 1215, 1);
    Add(L"Check4", Kind::Check, L"闪烁图标警示", 5160, 5280, 1575, 180);
    Add(L"Text12", Kind::Text, L"192.168.", 2400, 5400, 1455, 270);
    Add(L"Command8", Kind::Button, L"取得主机名", 3840, 5400, 1095, 255);

    Add(L"Label3", Kind::Label, L"MAC", 1680, 120, 495, 255);
    Add(L"Label1", Kind::Label, L"IP", 3480, 120, 615, 255);
    Add(L"Label4", Kind::Label, L"主机名", 5280, 120, 735, 255);
    Add(L"Label2", Kind::Label, L"路由器:", 240, 480, 1215, 375);
    Add(L"Label5", Kind::Label, L"本  机:", 240, 960, 735, 375);
    Add(L"Label6", Kind::Label, L"其他主机:", 120, 1920, 975, 375);
    Add(L"Label12", Kind::Label, L"扫描循环时间设置", 120, 240, 855, 375, 1);
    Add(L"Label9", Kind::Label, L"秒", 1440, 240, 255, 255, 1);
    Add(L"Label16", Kind::Label, L"选择IP", 120, 720, 975, 255, 1);
    Add(L"Label10", Kind::Label, L"扫描IP段", 120, 1320, 1095, 255, 1);
    Add(L"Label13", Kind::Label, L"至", 480, 1560, 255, 255, 1);
    Add(L"Label7", Kind::Label, L"迅雷5路径", 120, 1920, 1095, 255, 1);
    Add(L"Label17", Kind::Label, L"迅雷关闭名", 120, 2520, 975, 255, 1);
    Add(L"Label11", Kind::Label, L"", 2400, 2760, 2175, 255);
    Add(L"Label14", Kind::Label, L"停止中", 2400, 3240, 2535, 855, 0, FontId::Large);
    Add(L"Label15", Kind::Label, L"未知", 2760, 4440, 1935, 855, 0, FontId::Large);
    Add(L"Label8", Kind::Label, L"有人上网时自动停下迅雷，网络空闲时再开启", 240, 5880, 4935, 255);
    Add(L"Picture2", Kind::Picture, std::to_wstring(unsigned(IconId::Picture2)).c_str(), 4200, 0,
        375, 375);
    Add(L"Picture1", Kind::Picture, std::to_wstring(unsigned(IconId::Picture1)).c_str(), 4560, 0,
        375, 375);

    // The frames behind everything: a group box paints only its border and caption.
    for (const wchar_t* f : {L"Frame1", L"Frame2"})
        SetWindowPos(Find(f)->hwnd, HWND_BOTTOM, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    for (Item& item : items_) SetPropW(item.hwnd, L"RmItem", &item);
    SendMessageW(Find(L"Check1")->hwnd, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(Find(L"Check3")->hwnd, BM_SETCHECK, BST_CHECKED, 0);
    Find(L"List1")->shown = false;
    Find(L"Frame2")->shown = false;
    for (Item& item : items_) ApplyVisibility(item);
}

void Form1::MakeFonts() {
    for (HFONT& f : fonts_) {
        if (f) DeleteObject(f);
        f = nullptr;
    }
    static const wchar_t* song = PickFace({L"SimSun", L"宋体"});
    static const wchar_t* kai = PickFace({L"楷体_GB2312", L"KaiTi", L"楷体"});
    fonts_[size_t(FontId::Normal)] = MakeFont(song, 9, false, dpi_);
    fonts_[size_t(FontId::Large)] = MakeFont(song, 42, false, dpi_);
    fonts_[size_t(FontId::StartStop)] = MakeFont(kai, 14.25, true, dpi_);
}

void Form1::Layout() {
    for (const Item& item : items_) {
        SendMessageW(item.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_[size_t(item.font)]),
                     FALSE);
        const RECT& t = item.twips;
        int height = TwipsToPixels(t.bottom, dpi_);
        if (item.kind == Kind::Combo) {
            // The field keeps the design height; the window's height is the open list's.
            SendMessageW(item.hwnd, CB_SETITEMHEIGHT, WPARAM(-1), height - TwipsToPixels(90, dpi_));
            height += TwipsToPixels(kComboDropTwips, dpi_);
        }
        SetWindowPos(item.hwnd, nullptr, TwipsToPixels(t.left, dpi_), TwipsToPixels(t.top, dpi_),
                     TwipsToPixels(t.right, dpi_), height,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
    }
    InvalidateRect(hwnd_, nullptr, TRUE);
}

Form1::Item* Form1::Find(const std::wstring& name) {
    auto it = byName_.find(name);
    return it == byName_.end() ? nullptr : &items_[it->second];
}

HWND Form1::ControlHandle(const std::wstring& name) const {
    auto it = byName_.find(name);
    return it == byName_.end() ? nullptr : items_[it->second].hwnd;
}

void Form1::ApplyVisibility(Item& item) {
    bool show = item.shown;
    if (item.frame)
        show = show && items_[byName_.at(item.frame == 1 ? L"Frame1" : L"Frame2")].shown;
    ::ShowWindow(item.hwnd, show ? SW_SHOWNA : SW_HIDE);
}

void Form1::ShowPanel(int frame) {
    Find(L"Frame1")->shown = frame == 1;
    Find(L"Frame2")->shown = frame == 2;
    for (Item& item : items_)
        if (item.kind == Kind::Frame || item.frame) ApplyVisibility(item);
}

void Form1::Command6Click() {
    ShowPanel(1);
}

void Form1::Command7Click() {
    ShowPanel(2);
}

void Form1::OnCommand(int id, int code) {
    const int index = id - kFirstId;
    if (index < 0 || index >= int(items_.size()) || code != BN_CLICKED) return;
    const Item& item = items_[size_t(index)];
    if (item.kind != Kind::Button && item.kind != Kind::MultiLineButton) return;
    const std::wstring& n = item.name;
    if (n == L"Command1")
        events_.Command1Click();
    else if (n == L"Command2")
        events_.Command2Click();
    else if (n == L"Command3")
        events_.Command3Click();
    else if (n == L"Command4")
        events_.Command4Click();
    else if (n == L"Command5")
        events_.Command5Click();
    else if (n == L"Command6")
        Command6Click();
    else if (n == L"Command7")
        Command7Click();
    else if (n == L"Command8")
        events_.Command8Click();
}

LRESULT CALLBACK Form1::WindowProc(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Form1*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Form1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return self ? self->Handle(message, w, l) : DefWindowProcW(hwnd, message, w, l);
}

LRESULT Form1::Handle(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_COMMAND:
            OnCommand(LOWORD(w), HIWORD(w));
            return 0;
        case WM_TIMER:
            if (w == kTimerBase)
                events_.Timer1Tick();
            else if (w == kTimerBase + 1)
                events_.Timer2Tick();
            return 0;
        case WM_MOUSEMOVE: {
            // The tray's messages come this way too on the original: x is the
            // pointer in twips, so the tray's message number times 15.
            int button = 0, shift = 0;
            if (w & MK_LBUTTON) button |= 1;
            if (w & MK_RBUTTON) button |= 2;
            if (w & MK_MBUTTON) button |= 4;
            if (w & MK_SHIFT) shift |= 1;
            if (w & MK_CONTROL) shift |= 2;
            if (GetKeyState(VK_MENU) < 0) shift |= 4;
            events_.OnTrayCallback(button, shift, float(GET_X_LPARAM(l)) * 1440.0f / float(dpi_),
                                   float(GET_Y_LPARAM(l)) * 1440.0f / float(dpi_));
            return 0;
        }
        case DM_GETDEFID: {
            // Enter presses the focused button, as Space does; the window has
            // no default button of its own, so elsewhere Enter does nothing.
            const HWND focus = GetFocus();
            const auto* item =
                focus ? reinterpret_cast<const Item*>(GetPropW(focus, L"RmItem")) : nullptr;
            if (item && (item->kind == Kind::Button || item->kind == Kind::MultiLineButton))
                return MAKELONG(GetDlgCtrlID(focus), DC_HASDEFID);
            return 0;
        }
        case WM_CTLCOLORSTATIC: {
            HDC dc = reinterpret_cast<HDC>(w);
            const HWND control = reinterpret_cast<HWND>(l);
            // Labels and frames on the window's face colour; the frames paint
            // their whole inside with it, which the window does not (its members
            // stand on it). Label15 in its verdict colour.
            const auto* item = reinterpret_cast<const Item*>(GetPropW(control, L"RmItem"));
            if (!item || (item->kind != Kind::Label && item->kind != Kind::Frame)) break;
            const Item* label15 = Find(L"Label15");
            SetTextColor(dc, control == label15->hwnd && !label15Default_
                                 ? label15Colour_
                                 : GetSysColor(COLOR_BTNTEXT));
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<LRESULT>(faceBrush_);
        }
        case WM_DPICHANGED: {
            dpi_ = HIWORD(w);
            MakeFonts();
            Layout();
            const RECT* r = reinterpret_cast<const RECT*>(l);
            SetWindowPos(hwnd_, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_ACTIVATE:
            // As a dialog does: the control that had the focus gets it back
            // when the user returns to the window.
            if (LOWORD(w) == WA_INACTIVE)
                RememberFocus();
            else if (!HIWORD(w))
                RestoreFocus();
            return 0;
        case WM_SETFOCUS:
            // The window itself never keeps the focus (after a restore from
            // the taskbar, for one): it goes on to the remembered control.
            RestoreFocus();
            return 0;
        case WM_CLOSE:
            events_.FormUnload();
            DestroyWindow(hwnd_);
            return 0;
        case WM_DESTROY:
            SetDialogWindow(nullptr);
            hwnd_ = nullptr;
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, message, w, l);
}

void Form1::RememberFocus() {
    const HWND focus = GetFocus();
    if (focus && IsChild(hwnd_, focus)) focus_ = focus;
}

// A control that already has the focus keeps it: the user has just clicked it,
// and the activation that the click brings may come after the click itself.
void Form1::RestoreFocus() {
    const HWND now = GetFocus();
    if (now && IsChild(hwnd_, now)) return;
    HWND to = focus_;
    if (!to || !IsChild(hwnd_, to) || !IsWindowVisible(to) || !IsWindowEnabled(to))
        to = GetNextDlgTabItem(hwnd_, nullptr, FALSE);
    if (to) SetFocus(to);
}

// One tool window for the window, made when a tip is first set (owned by the
// window, which takes it along); a control's tip is replaced as a whole.
void Form1::SetToolTip(const std::wstring& control, const std::string& text) {
    const HWND target = ControlHandle(control);
    if (!target || !hwnd_) return;
    if (!toolTip_) {
        INITCOMMONCONTROLSEX init{sizeof init, ICC_BAR_CLASSES};
        InitCommonControlsEx(&init);
        toolTip_ =
            CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                            WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, instance_, nullptr);
        if (!toolTip_) return;
        // A folder path is long: it wraps rather than running off the screen.
        SendMessageW(toolTip_, TTM_SETMAXTIPWIDTH, 0, TwipsToPixels(6690, dpi_));
    }
    // The tool window keeps a copy of the text.
    std::wstring wide = Wide(text);
    TTTOOLINFOW info{};
    info.cbSize = sizeof info;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = hwnd_;
    info.uId = reinterpret_cast<UINT_PTR>(target);
    info.lpszText = wide.data();
    SendMessageW(toolTip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    SendMessageW(toolTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

std::string Form1::ToolTip(const std::wstring& control) const {
    const HWND target = ControlHandle(control);
    if (!target || !toolTip_) return {};
    wchar_t text[1024] = {};
    TTTOOLINFOW info{};
    info.cbSize = sizeof info;
    info.hwnd = hwnd_;
    info.uId = reinterpret_cast<UINT_PTR>(target);
    info.lpszText = text;
    if (!SendMessageW(toolTip_, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&info))) return {};
    SendMessageW(toolTip_, TTM_GETTEXTW, WPARAM(std::size(text)), reinterpret_cast<LPARAM>(&info));
    return Narrow(text);
}

// --- Form1Controls -------------------------------------------------------

Form1::Item* Form1::ItemOf(Control c) {
    static const wchar_t* const names[] = {
        L"Text1",    L"Text2",    L"Text3",    L"Text4",    L"Text5",    L"Text6",    L"Text7",
        L"Text8",    L"Text9(0)", L"Text9(1)", L"Text9(2)", L"Text9(3)", L"Text9(4)", L"Text9(5)",
        L"Text9(6)", L"Text9(7)", L"Text9(8)", L"Text9(9)", L"Text10",   L"Text11",   L"Text12",
        L"Text14",   L"Text15",   L"Label11",  L"Label14",  L"Label15",  L"List1",    L"Combo1",
        L"Check1",   L"Check2",   L"Check3",   L"Check4",   L"Command1", L"Command2"};
    const int k = int(c);
    if (k < 0 || k >= int(std::size(names))) return nullptr;
    return Find(names[k]);
}

std::string Form1::Text(Control c) {
    Item* item = ItemOf(c);
    if (!item) return {};
    if (item->kind == Kind::Combo) {
        const auto sel = SendMessageW(item->hwnd, CB_GETCURSEL, 0, 0);
        return sel == CB_ERR ? std::string() : ItemText(c, int(sel));
    }
    if (item->kind == Kind::Text || item->kind == Kind::ReadOnlyText || item->kind == Kind::Label)
        return Narrow(WindowText(item->hwnd));
    return {};
}

void Form1::SetText(Control c, const std::string& text) {
    Item* item = ItemOf(c);
    if (!item) return;
    if (item->kind == Kind::Text || item->kind == Kind::ReadOnlyText || item->kind == Kind::Label) {
        SetWindowTextW(item->hwnd, Wide(text).c_str());
        // A label's old caption is drawn over by the new one only on a fresh background.
        if (item->kind == Kind::Label) InvalidateRect(item->hwnd, nullptr, TRUE);
    }
}

void Form1::SetToolTip(Control c, const std::string& text) {
    if (Item* item = ItemOf(c)) SetToolTip(item->name, text);
}

int Form1::MaxLength(Control c) {
    Item* item = ItemOf(c);
    if (!item || (item->kind != Kind::Text && item->kind != Kind::ReadOnlyText)) return 0;
    return int(SendMessageW(item->hwnd, EM_GETLIMITTEXT, 0, 0));
}

bool Form1::Visible(Control c) {
    Item* item = ItemOf(c);
    return item && item->shown;
}

void Form1::SetVisible(Control c, bool visible) {
    if (Item* item = ItemOf(c)) {
        item->shown = visible;
        ApplyVisibility(*item);
    }
}

void Form1::SetEnabled(Control c, bool enabled) {
    if (Item* item = ItemOf(c)) EnableWindow(item->hwnd, enabled);
}

CheckState Form1::Check(Control c) {
    Item* item = ItemOf(c);
    if (!item || item->kind != Kind::Check) return CheckState::Unticked;
    switch (SendMessageW(item->hwnd, BM_GETCHECK, 0, 0)) {
        case BST_CHECKED:
            return CheckState::Ticked;
        case BST_INDETERMINATE:
            return CheckState::Greyed;
        default:
            return CheckState::Unticked;
    }
}

void Form1::SetColour(Control c, LabelColour colour) {
    if (c != Control::Label15) return;
    label15Default_ = colour == LabelColour::ButtonText;
    label15Colour_ = colour == LabelColour::Red     ? RGB(255, 0, 0)
                     : colour == LabelColour::Green ? RGB(0, 255, 0)
                                                    : GetSysColor(COLOR_BTNTEXT);
    InvalidateRect(Find(L"Label15")->hwnd, nullptr, TRUE);
}

int Form1::ItemCount(Control c) {
    Item* item = ItemOf(c);
    if (!item) return 0;
    if (item->kind == Kind::List) return int(SendMessageW(item->hwnd, LB_GETCOUNT, 0, 0));
    if (item->kind == Kind::Combo) return int(SendMessageW(item->hwnd, CB_GETCOUNT, 0, 0));
    return 0;
}

std::string Form1::ItemText(Control c, int index) {
    Item* item = ItemOf(c);
    if (!item || index < 0 || index >= ItemCount(c)) return {};
    const bool list = item->kind == Kind::List;
    const auto n =
        SendMessageW(item->hwnd, list ? LB_GETTEXTLEN : CB_GETLBTEXTLEN, WPARAM(index), 0);
    if (n <= 0) return {};
    std::wstring text(size_t(n) + 1, L'\0');
    const auto got = SendMessageW(item->hwnd, list ? LB_GETTEXT : CB_GETLBTEXT, WPARAM(index),
                                  reinterpret_cast<LPARAM>(text.data()));
    text.resize(size_t(got > 0 ? got : 0));
    return Narrow(text);
}

void Form1::AddItem(Control c, const std::string& text) {
    Item* item = ItemOf(c);
    if (!item) return;
    const std::wstring w = Wide(text);
    if (item->kind == Kind::List)
        SendMessageW(item->hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(w.c_str()));
    if (item->kind == Kind::Combo)
        SendMessageW(item->hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(w.c_str()));
}

void Form1::RemoveItem(Control c, int index) {
    Item* item = ItemOf(c);
    if (!item || index < 0 || index >= ItemCount(c)) return;
    SendMessageW(item->hwnd, item->kind == Kind::List ? LB_DELETESTRING : CB_DELETESTRING,
                 WPARAM(index), 0);
}

void Form1::ClearItems(Control c) {
    Item* item = ItemOf(c);
    if (!item) return;
    if (item->kind == Kind::List) SendMessageW(item->hwnd, LB_RESETCONTENT, 0, 0);
    if (item->kind == Kind::Combo) SendMessageW(item->hwnd, CB_RESETCONTENT, 0, 0);
}

int Form1::ListIndex(Control c) {
    Item* item = ItemOf(c);
    if (!item || item->kind != Kind::Combo) return -1;
    const auto sel = SendMessageW(item->hwnd, CB_GETCURSEL, 0, 0);
    return sel == CB_ERR ? -1 : int(sel);
}

void Form1::SetListIndex(Control c, int index) {
    Item* item = ItemOf(c);
    if (item && item->kind == Kind::Combo) SendMessageW(item->hwnd, CB_SETCURSEL, WPARAM(index), 0);
}

// An interval of 0 stops the ticks, as on the original; a change of interval
// or an enable starts the interval again.
void Form1::ApplyTimer(int k) {
    if (!hwnd_) return;
    if (timerOn_[size_t(k)] && interval_[size_t(k)] > 0)
        SetTimer(hwnd_, kTimerBase + UINT(k), UINT(interval_[size_t(k)]), nullptr);
    else
        KillTimer(hwnd_, kTimerBase + UINT(k));
}

void Form1::SetInterval(Control c, int ms) {
    if (c != Control::Timer1 && c != Control::Timer2) return;
    const int k = c == Control::Timer1 ? 0 : 1;
    interval_[size_t(k)] = ms < 0 ? 0 : ms;
    ApplyTimer(k);
}

void Form1::SetTimerEnabled(Control c, bool enabled) {
    if (c != Control::Timer1 && c != Control::Timer2) return;
    const int k = c == Control::Timer1 ? 0 : 1;
    timerOn_[size_t(k)] = enabled;
    ApplyTimer(k);
}

void Form1::ShowWindow() {
    if (!hwnd_) return;
    ::ShowWindow(hwnd_, IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(hwnd_);
}

void Form1::HideWindow() {
    if (hwnd_) ::ShowWindow(hwnd_, SW_HIDE);
}

void Form1::AddHostEntry(int host, const std::string& line) {
    HWND list = Find(L"List1")->hwnd;
    // Answers arrive in any order; the list reads best in host order. Item data
    // holds host + 1, so that entries added without a host (data 0) stay put.
    int row = int(SendMessageW(list, LB_GETCOUNT, 0, 0));
    while (row > 0) {
        const auto data = SendMessageW(list, LB_GETITEMDATA, WPARAM(row - 1), 0);
        if (data <= 0 || data - 1 < host) break;
        --row;
    }
    const std::wstring w = Wide(line);
    const auto at =
        SendMessageW(list, LB_INSERTSTRING, WPARAM(row), reinterpret_cast<LPARAM>(w.c_str()));
    if (at >= 0) SendMessageW(list, LB_SETITEMDATA, WPARAM(at), LPARAM(host + 1));
}

}  // namespace rm
