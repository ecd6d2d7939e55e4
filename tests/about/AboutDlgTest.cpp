// The about box: its template as compiled, and the real dialog run modally by DoModal while a
// script of steps, each run from the dialog's own message loop, looks at it and drives it.
#include "GdiProbe.h"

#include "about/AboutDlg.h"
#include "common/ScaledRun.h"
#include "framework/App.h"
#include "framework/Dpi.h"
#include "res/version.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

// ---- Reading dialog template 100 ----

struct TemplateItem {
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
    WORD id;
    std::wstring className; // "#128" style for a predefined class atom
    std::wstring text;      // "#128" style for a resource ordinal
};

struct DialogTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::wstring menu, className, title, fontName;
    WORD pointSize = 0;
    std::vector<TemplateItem> items;
};

class TemplateReader {
public:
    explicit TemplateReader(const BYTE* data) : m_at(data) {}
    WORD Word() {
        WORD value;
        std::memcpy(&value, m_at, sizeof value);
        m_at += sizeof value;
        return value;
    }
    DWORD DWord() {
        const DWORD low = Word();
        return low | (static_cast<DWORD>(Word()) << 16);
    }
    short Short() { return static_cast<short>(Word()); }
    // A string, or an ordinal (0xFFFF, value) written as "#value".
    std::wstring StringOrOrdinal() {
        if (Peek() == 0xFFFF) {
            Word();
            return L"#" + std::to_wstring(Word());
        }
        std::wstring text;
        for (WORD c = Word(); c != 0; c = Word())
            text += static_cast<wchar_t>(c);
        return text;
    }
    void AlignToDWord(const BYTE* base) {
        while ((m_at - base) % 4 != 0)
            ++m_at;
    }

private:
    WORD Peek() const {
        WORD value;
        std::memcpy(&value, m_at, sizeof value);
        return value;
    }
    const BYTE* m_at;
};

DialogTemplate LoadDialogTemplate(UINT nID) {
    DialogTemplate dlg;
    HMODULE hModule = ::GetModuleHandleA(nullptr);
    HRSRC hResource = ::FindResourceA(hModule, MAKEINTRESOURCEA(nID), MAKEINTRESOURCEA(5)); // RT_DIALOG
    if (hResource == nullptr)
        return dlg;
    const auto* base = static_cast<const BYTE*>(::LockResource(::LoadResource(hModule, hResource)));
    TemplateReader in(base);
    dlg.style = in.DWord();
    dlg.exStyle = in.DWord();
    const WORD count = in.Word();
    dlg.x = in.Short();
    dlg.y = in.Short();
    dlg.cx = in.Short();
    dlg.cy = in.Short();
    dlg.menu = in.StringOrOrdinal();
    dlg.className = in.StringOrOrdinal();
    dlg.title = in.StringOrOrdinal();
    if (dlg.style & DS_SETFONT) {
        dlg.pointSize = in.Word();
        dlg.fontName = in.StringOrOrdinal();
    }
    for (WORD i = 0; i < count; ++i) {
        in.AlignToDWord(base);
        TemplateItem item;
        item.style = in.DWord();
        item.exStyle = in.DWord();
        item.x = in.Short();
        item.y = in.Short();
        item.cx = in.Short();
        item.cy = in.Short();
        item.id = in.Word();
        item.className = in.StringOrOrdinal();
        item.text = in.StringOrOrdinal();
        const WORD extra = in.Word();
        for (WORD skip = 0; skip < extra; skip += 2)
            in.Word();
        dlg.items.push_back(item);
    }
    return dlg;
}

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

// A predefined class may be stored as its atom or by name; names compare without case.
bool SameClass(const std::wstring& seen, const wchar_t* atom, const wchar_t* name) {
    if (seen == atom)
        return true;
    return ::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, seen.c_str(), -1, name, -1) == CSTR_EQUAL;
}

// ---- Running the about box under a script ----

const UINT kRunStep = WM_APP + 1;
const UINT_PTR kStepTimer = 1;
const UINT_PTR kWatchdogTimer = 2;

// The about box with a script: each step runs from the modal loop, after what the previous
// step posted has been handled. A step may ask for a pause before the next one.
class ScriptedAboutDlg : public CAboutDlg {
public:
    struct Step {
        std::function<void(ScriptedAboutDlg&)> run;
        DWORD pauseAfterMs = 0;
    };
    std::vector<Step> steps;
    bool scriptFinished = false;

    CMyBmpUrl& link() { return m_wndLink; }
    CMyTBmp& picture() { return m_wndPicture; }
    HWND item(int nID) const { return GetDlgItem(nID); }

protected:
    BOOL OnInitDialog() override {
        const BOOL result = CAboutDlg::OnInitDialog();
        SetTimer(m_hWnd, kWatchdogTimer, 30000, nullptr); // a stuck script must not hang the run
        PostMessage(kRunStep);
        return result;
    }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
        case kRunStep:
            RunNextStep();
            return 0;
        case WM_TIMER:
            return OnTimer(wParam);
        default:
            return CAboutDlg::WindowProc(message, wParam, lParam);
        }
    }

private:
    LRESULT OnTimer(WPARAM id) {
        ::KillTimer(m_hWnd, id);
        if (id == kWatchdogTimer) {
            ADD_FAILURE() << "the about box script did not finish";
            EndDialog(-3);
        } else {
            RunNextStep();
        }
        return 0;
    }

    void RunNextStep() {
        if (m_nNext >= steps.size()) {
            scriptFinished = true;
            return; // the last step ends the dialog
        }
        const Step& step = steps[m_nNext++];
        step.run(*this);
        if (step.pauseAfterMs > 0)
            ::SetTimer(m_hWnd, kStepTimer, step.pauseAfterMs, nullptr);
        else
            PostMessage(kRunStep);
    }

    size_t m_nNext = 0;
};

COLORREF Face() {
    return ::GetSysColor(COLOR_BTNFACE);
}

std::string WindowText(HWND hWnd) {
    char text[256] = "";
    ::GetWindowTextA(hWnd, text, sizeof text);
    return text;
}

std::string ClassOf(HWND hWnd) {
    char name[64] = "";
    ::GetClassNameA(hWnd, name, sizeof name);
    return name;
}

SIZE ClientSize(HWND hWnd) {
    RECT client;
    ::GetClientRect(hWnd, &client);
    return {client.right, client.bottom};
}

// Pixel size of a dialog-unit size in this dialog (its font decides).
SIZE DialogUnitsToPixels(HWND hDlg, int cx, int cy) {
    RECT rect = {0, 0, cx, cy};
    ::MapDialogRect(hDlg, &rect);
    return {rect.right, rect.bottom};
}

// What a control of size control shows at dpi: the picture of bitmap nID as drawn at 96 DPI (the
// control's 96-DPI size, inset96 pixels of face around it), enlarged pixel by pixel by the whole
// factor of the scale and centred on the face. At 96 DPI that is the picture over the control.
Pixels ScaledExpected(UINT nID, SIZE control, int inset96, UINT dpi) {
    const int factor = dpi < 96 ? 1 : static_cast<int>(dpi / 96);
    const int baseCx = std::min<int>(::MulDiv(control.cx, 96, static_cast<int>(dpi)), control.cx / factor);
    const int baseCy = std::min<int>(::MulDiv(control.cy, 96, static_cast<int>(dpi)), control.cy / factor);
    const Pixels base = ExpectedPicture(nID, baseCx, baseCy, inset96, inset96, baseCx - 2 * inset96,
                                        baseCy - 2 * inset96, Face(), Face());
    Pixels shown;
    shown.width = control.cx;
    shown.height = control.cy;
    shown.data.assign(static_cast<size_t>(control.cx) * control.cy, Face());
    const int left = (control.cx - baseCx * factor) / 2;
    const int top = (control.cy - baseCy * factor) / 2;
    for (int y = 0; y < baseCy * factor; ++y)
        for (int x = 0; x < baseCx * factor; ++x)
            shown.at(left + x, top + y) = base.at(x / factor, y / factor);
    return shown;
}

// The control lies wholly within its dialog's client area.
void ExpectInsideDialog(HWND hDlg, HWND control, const char* what) {
    RECT client, rect;
    ::GetClientRect(hDlg, &client);
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(nullptr, hDlg, reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_TRUE(rect.left >= 0 && rect.top >= 0 && rect.right <= client.right && rect.bottom <= client.bottom)
        << what << " (" << rect.left << "," << rect.top << ")-(" << rect.right << "," << rect.bottom
        << ") inside the client area 0-" << client.right << " x 0-" << client.bottom;
}

Pixels Shown(HWND hWnd) {
    ::UpdateWindow(hWnd);
    return ReadClientPixels(hWnd);
}

POINT CentreOf(HWND hWnd) {
    RECT rect;
    ::GetWindowRect(hWnd, &rect);
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

void ParkCursor() {
    ::SetCursorPos(1270, 1010);
}

std::vector<HWND> ThreadWindows() {
    std::vector<HWND> windows;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND hWnd, LPARAM lParam) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hWnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// Everything a freshly opened about box must show; run as a step.
void CheckOpenedAboutBox(ScriptedAboutDlg& dlg) {
    HWND hDlg = dlg.GetSafeHwnd();
    EXPECT_TRUE(::IsWindowVisible(hDlg));
    EXPECT_EQ("Tallowboxのﾊﾞｰｼﾞｮﾝ情報", WindowText(hDlg));
    EXPECT_EQ(dlg.item(IDOK), ::GetFocus()) << "focus on OK";
    EXPECT_EQ(dlg.item(IDC_PICTURE), dlg.picture().GetSafeHwnd()) << "picture bound";
    EXPECT_EQ(dlg.item(IDC_LINK), dlg.link().GetSafeHwnd()) << "link bound";
    EXPECT_EQ("MyTBmp", ClassOf(dlg.item(IDC_PICTURE)));
    EXPECT_EQ("MyBmpUrl", ClassOf(dlg.item(IDC_LINK)));
    EXPECT_EQ(IDB_PICTURE, dlg.picture().GetBitmapID());
    EXPECT_EQ(IDB_LINK, dlg.link().GetBitmapID());
    EXPECT_EQ(CMyBmpUrl::MOUSE_OUT, dlg.link().GetMouseState());

    const SIZE picture = ClientSize(dlg.item(IDC_PICTURE));
    const SIZE pictureUnits = DialogUnitsToPixels(hDlg, 99, 30);
    EXPECT_EQ(pictureUnits.cx, picture.cx);
    EXPECT_EQ(pictureUnits.cy, picture.cy);
    const UINT dpi = DpiOfWindow(hDlg);
    // The template's sizes follow its font, and the font the scale: 9 points.
    EXPECT_EQ(::MulDiv(9, static_cast<int>(dpi), 72), FontHeightOf(hDlg)) << "the dialog's font at " << dpi;
    EXPECT_EQ("",
              DescribeDifferences(ScaledExpected(IDB_PICTURE, picture, 0, dpi), Shown(dlg.item(IDC_PICTURE))))
        << "transparent picture at " << dpi << " DPI";
    ExpectInsideDialog(hDlg, dlg.item(IDC_PICTURE), "picture");

    const SIZE link = ClientSize(dlg.item(IDC_LINK));
    const SIZE linkUnits = DialogUnitsToPixels(hDlg, 192, 27);
    EXPECT_EQ(linkUnits.cx, link.cx);
    EXPECT_EQ(linkUnits.cy, link.cy);
    EXPECT_EQ("", DescribeDifferences(ScaledExpected(IDB_LINK, link, 2, dpi), Shown(dlg.item(IDC_LINK))))
        << "link picture, inset, at " << dpi << " DPI";
    ExpectInsideDialog(hDlg, dlg.item(IDC_LINK), "link");

    HWND hVersion = ::FindWindowExA(hDlg, nullptr, "Static", "Tallowbox Version " TALLOWBOX_VERSION_TEXT);
    EXPECT_NE(nullptr, hVersion) << "version text";
}

// Records shell-open requests instead of starting a browser.
int g_shellOpenCount = 0;
std::string g_shellOpenFile;
HINSTANCE WINAPI CountShellOpen(HWND, LPCSTR verb, LPCSTR file, LPCSTR, LPCSTR, INT) {
    ++g_shellOpenCount;
    g_shellOpenFile = std::string(verb ? verb : "") + " " + (file ? file : "");
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));
}

// A top-level window standing in for the application's main window.
class MainWindowStandIn {
public:
    MainWindowStandIn() {
        HWND hWnd = ::CreateWindowExA(0, "STATIC", "main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 600, 500, 300, 200,
                                      nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
        m_wnd.SubclassWindow(hWnd);
        m_app.m_pMainWnd = &m_wnd;
    }
    ~MainWindowStandIn() {
        m_app.m_pMainWnd = nullptr;
        HWND hWnd = m_wnd.UnsubclassWindow();
        ::DestroyWindow(hWnd);
    }
    HWND hwnd() const { return m_wnd.GetSafeHwnd(); }

private:
    CWinApp m_app;
    CWnd m_wnd;
};

} // namespace

TEST(AboutTemplate, DialogHundredAsTheProgramShipsIt) {
    const DialogTemplate dlg = LoadDialogTemplate(IDD_ABOUTBOX);
    EXPECT_EQ(0x80C800C0u, dlg.style);
    EXPECT_EQ(0u, dlg.exStyle);
    EXPECT_EQ(0, dlg.x);
    EXPECT_EQ(0, dlg.y);
    EXPECT_EQ(299, dlg.cx);
    EXPECT_EQ(81, dlg.cy);
    EXPECT_EQ(L"", dlg.menu);
    EXPECT_EQ(L"", dlg.className);
    EXPECT_TRUE(dlg.title == L"Tallowboxのﾊﾞｰｼﾞｮﾝ情報") << Narrow(dlg.title);
    EXPECT_EQ(9, dlg.pointSize);
    EXPECT_TRUE(dlg.fontName == L"ＭＳ Ｐゴシック") << Narrow(dlg.fontName);

    struct Expected {
        const wchar_t* atom;
        const wchar_t* className;
        WORD id;
        const wchar_t* text;
        DWORD style;
        short x, y, cx, cy;
    };
    const Expected expected[] = {
        {L"#130", L"Static", 65535, L"#128", 0x50000003, 11, 17, 20, 20},
        {L"#130", L"Static", 65535, L"Tallowbox Version " TALLOWBOX_VERSION_TEXT, 0x50020080, 38, 23, 85, 8},
        {L"#128", L"Button", 1, L"OK", 0x50030001, 242, 7, 50, 14},
        {L"", L"MyTBmp", 1001, L"Custom1", 0x50010000, 127, 7, 99, 30},
        {L"", L"MyBmpUrl", 1002, L"Custom1", 0x50010000, 35, 47, 192, 27},
    };
    ASSERT_EQ(std::size(expected), dlg.items.size());
    for (size_t i = 0; i < dlg.items.size(); ++i) {
        const TemplateItem& seen = dlg.items[i];
        const Expected& want = expected[i];
        SCOPED_TRACE("item " + std::to_string(i + 1) + " " + Narrow(want.className));
        EXPECT_TRUE(SameClass(seen.className, want.atom, want.className)) << Narrow(seen.className);
        EXPECT_EQ(want.id, seen.id);
        EXPECT_TRUE(seen.text == want.text) << Narrow(seen.text);
        EXPECT_EQ(want.style, seen.style);
        EXPECT_EQ(0u, seen.exStyle);
        EXPECT_EQ(want.x, seen.x);
        EXPECT_EQ(want.y, seen.y);
        EXPECT_EQ(want.cx, seen.cx);
        EXPECT_EQ(want.cy, seen.cy);
    }
}

TEST(AboutTemplate, BitmapsAreEightBitWithAFullPalette) {
    struct Expected {
        UINT id;
        LONG width, height;
    };
    for (const Expected& want : {Expected{IDB_PICTURE, 172, 69}, Expected{IDB_LINK, 227, 34}}) {
        HMODULE hModule = ::GetModuleHandleA(nullptr);
        HRSRC hResource = ::FindResourceA(hModule, MAKEINTRESOURCEA(want.id), MAKEINTRESOURCEA(2)); // RT_BITMAP
        ASSERT_NE(nullptr, hResource) << want.id;
        const auto* header = static_cast<const BITMAPINFOHEADER*>(::LockResource(::LoadResource(hModule, hResource)));
        EXPECT_EQ(want.width, header->biWidth) << want.id;
        EXPECT_EQ(want.height, header->biHeight) << want.id;
        EXPECT_EQ(8, header->biBitCount) << want.id;
        EXPECT_EQ(static_cast<DWORD>(BI_RGB), header->biCompression) << want.id;
        EXPECT_EQ(256u, header->biClrUsed) << want.id;
    }
}

// Every way out of the box, each from a fresh dialog; DoModal reports which one it was.
TEST(AboutBox, OpensAndEndsEveryWay) {
    struct Ending {
        const char* name;
        std::function<void(ScriptedAboutDlg&)> end;
        INT_PTR result;
    };
    const Ending endings[] = {
        {"Enter", [](ScriptedAboutDlg&) { ::PostMessageA(::GetFocus(), WM_KEYDOWN, VK_RETURN, 0); }, IDOK},
        {"Esc", [](ScriptedAboutDlg& d) { ::PostMessageA(d.item(IDOK), WM_KEYDOWN, VK_ESCAPE, 0); }, IDCANCEL},
        {"OK button", [](ScriptedAboutDlg& d) { ::PostMessageA(d.item(IDOK), BM_CLICK, 0, 0); }, IDOK},
        {"close box", [](ScriptedAboutDlg& d) { d.PostMessage(WM_SYSCOMMAND, SC_CLOSE, 0); }, IDCANCEL},
    };
    ParkCursor();
    for (const Ending& ending : endings) {
        SCOPED_TRACE(ending.name);
        ScriptedAboutDlg dlg;
        dlg.steps = {{CheckOpenedAboutBox}, {ending.end}};
        EXPECT_EQ(ending.result, dlg.DoModal());
        EXPECT_EQ(nullptr, dlg.GetSafeHwnd()) << "the dialog window is gone after DoModal";
    }
}

// The pointer and a click on the link picture, through the dialog's own loop: the posted hover
// and leave only count if the loop offers them to the control before dispatching.
TEST(AboutBox, LinkFollowsThePointerAndAClickKeepsTheBoxOpen) {
    const CMyBmpUrl::ShellOpenFn previous = CMyBmpUrl::SetShellOpen(&CountShellOpen);
    g_shellOpenCount = 0;
    ParkCursor();
    ScriptedAboutDlg dlg;
    Pixels full, inset;

    auto shows = [](ScriptedAboutDlg& d, const Pixels& picture, const char* when) {
        EXPECT_EQ("", DescribeDifferences(picture, Shown(d.item(IDC_LINK)))) << when;
    };
    dlg.steps = {
        {[&](ScriptedAboutDlg& d) {
             const SIZE size = ClientSize(d.item(IDC_LINK));
             full = ScaledExpected(IDB_LINK, size, 0, DpiOfWindow(d.GetSafeHwnd()));
             inset = ScaledExpected(IDB_LINK, size, 2, DpiOfWindow(d.GetSafeHwnd())); // the growth scales too
             const POINT centre = CentreOf(d.item(IDC_LINK));
             ::SetCursorPos(centre.x, centre.y);
         },
         200}, // let the warp's own pointer messages arrive
        {[&](ScriptedAboutDlg& d) {
             ::SendMessageA(d.item(IDC_LINK), WM_MOUSEMOVE, 0, MAKELPARAM(4, 4));
             EXPECT_EQ(CMyBmpUrl::MOUSE_OVER, d.link().GetMouseState());
             EXPECT_EQ(::LoadCursor(nullptr, IDC_UPARROW), ::GetCursor()) << "up-arrow while moving";
             shows(d, full, "moving");
             ::PostMessageA(d.item(IDC_LINK), WM_MOUSEHOVER, 0, MAKELPARAM(4, 4));
         }},
        {[&](ScriptedAboutDlg& d) {
             EXPECT_EQ(CMyBmpUrl::MOUSE_HOVER, d.link().GetMouseState());
             shows(d, inset, "resting");
             ::SendMessageA(d.item(IDC_LINK), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
             ::SendMessageA(d.item(IDC_LINK), WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
         }},
        {[&](ScriptedAboutDlg& d) {
             EXPECT_EQ(1, g_shellOpenCount) << "one click, one open";
             EXPECT_EQ(std::string("open ") + kMakerWebAddress, g_shellOpenFile);
             EXPECT_TRUE(::IsWindowVisible(d.GetSafeHwnd())) << "the click does not close the box";
             EXPECT_EQ(CMyBmpUrl::MOUSE_HOVER, d.link().GetMouseState()) << "nor changes the state";
             shows(d, inset, "after the click");
             ::SendMessageA(d.item(IDC_LINK), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
             ::PostMessageA(d.item(IDC_LINK), WM_MOUSELEAVE, 0, 0);
         }},
        {[&](ScriptedAboutDlg& d) {
             EXPECT_EQ(CMyBmpUrl::MOUSE_OUT, d.link().GetMouseState());
             EXPECT_EQ(::LoadCursor(nullptr, IDC_ARROW), ::GetCursor()) << "arrow once the pointer has left";
             shows(d, inset, "left");
             ParkCursor();
             d.EndDialog(IDOK);
         }},
    };
    EXPECT_EQ(IDOK, dlg.DoModal());
    CMyBmpUrl::SetShellOpen(previous);
}

// The box at 125, 150 and 200 %: the cases above run again in a child at each scale.
TEST(AboutBox, AtEveryDisplayScale) {
    ExpectPassingAtEveryScale("AboutBox.OpensAndEndsEveryWay:AboutBox.LinkFollows*");
}

// The main window owns the box and is disabled while it runs, then enabled again.
TEST(AboutBox, MainWindowIsTheDisabledOwnerWhileItRuns) {
    MainWindowStandIn mainWindow;
    ParkCursor();
    ScriptedAboutDlg dlg;
    dlg.steps = {{[&](ScriptedAboutDlg& d) {
        EXPECT_EQ(mainWindow.hwnd(), ::GetWindow(d.GetSafeHwnd(), GW_OWNER));
        EXPECT_FALSE(::IsWindowEnabled(mainWindow.hwnd()));
        d.EndDialog(IDCANCEL);
    }}};
    EXPECT_EQ(IDCANCEL, dlg.DoModal());
    EXPECT_TRUE(::IsWindowEnabled(mainWindow.hwnd()));

    // An owner that was disabled before the box stays disabled after it.
    ::EnableWindow(mainWindow.hwnd(), FALSE);
    ScriptedAboutDlg again;
    again.steps = {{[](ScriptedAboutDlg& d) { d.EndDialog(IDOK); }}};
    EXPECT_EQ(IDOK, again.DoModal());
    EXPECT_FALSE(::IsWindowEnabled(mainWindow.hwnd()));
}

// A dialog on the about template with an explicit parent: a child window of the main window.
class ChildOwnedDialog : public CDialog {
public:
    explicit ChildOwnedDialog(CWnd* pParent) : CDialog(IDD_ABOUTBOX, pParent) {}
    std::function<void(ChildOwnedDialog&)> check;

protected:
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        PostMessage(kRunStep);
        return TRUE;
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message != kRunStep)
            return CDialog::WindowProc(message, wParam, lParam);
        check(*this);
        EndDialog(IDOK);
        return 0;
    }

private:
    CMyBmpUrl m_wndLink; // registers the template's window classes
    CMyTBmp m_wndPicture;
};

TEST(AboutBox, ParentThatIsAChildGivesWayToItsTopLevelWindow) {
    MainWindowStandIn mainWindow;
    HWND hChild = ::CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, mainWindow.hwnd(), nullptr,
                                    ::GetModuleHandleA(nullptr), nullptr);
    CWnd child;
    ASSERT_TRUE(child.SubclassWindow(hChild));
    ChildOwnedDialog dlg(&child);
    dlg.check = [&](ChildOwnedDialog& d) {
        EXPECT_EQ(mainWindow.hwnd(), ::GetWindow(d.GetSafeHwnd(), GW_OWNER));
        EXPECT_FALSE(::IsWindowEnabled(mainWindow.hwnd()));
    };
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_TRUE(::IsWindowEnabled(mainWindow.hwnd()));
    EXPECT_TRUE(::IsWindowEnabled(hChild));
}

// A dialog whose data exchange asks for a control the template does not have.
class BrokenBindingDialog : public CDialog {
public:
    BrokenBindingDialog() : CDialog(IDD_ABOUTBOX) {}

protected:
    void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, 4711, m_wndMissing); }

private:
    CMyBmpUrl m_wndLink; // registers the template's window classes
    CMyTBmp m_wndPicture;
    CWnd m_wndMissing;
};

// Presses OK on the first message box titled "Tallowbox" that shows up within ten seconds.
DWORD WINAPI DismissMessageBox(LPVOID found) {
    for (int waited = 0; waited < 10000; waited += 50) {
        if (HWND hBox = ::FindWindowA("#32770", "Tallowbox")) {
            *static_cast<bool*>(found) = true;
            ::PostMessageA(hBox, WM_COMMAND, IDOK, 0);
            return 0;
        }
        ::Sleep(50);
    }
    return 1;
}

// A broken binding is shown to the user; the box then does not run and leaves nothing behind.
TEST(AboutBox, FailedBindingIsReportedAndTheBoxDoesNotRun) {
    MainWindowStandIn mainWindow;
    const size_t windowsBefore = ThreadWindows().size();
    bool reported = false;
    HANDLE hWatcher = ::CreateThread(nullptr, 0, &DismissMessageBox, &reported, 0, nullptr);
    ASSERT_NE(nullptr, hWatcher);

    BrokenBindingDialog dlg;
    EXPECT_EQ(-1, dlg.DoModal());

    ::WaitForSingleObject(hWatcher, 15000);
    ::CloseHandle(hWatcher);
    EXPECT_TRUE(reported) << "a message box told the user";
    EXPECT_EQ(nullptr, dlg.GetSafeHwnd());
    EXPECT_EQ(windowsBefore, ThreadWindows().size()) << "top-level windows of the thread";
    EXPECT_TRUE(::IsWindowEnabled(mainWindow.hwnd()));
}

// A quit request during the box ends it and stays queued for the application's loop.
TEST(AboutBox, QuitMessageEndsTheBoxAndIsHandedOn) {
    ScriptedAboutDlg dlg;
    dlg.steps = {{[](ScriptedAboutDlg&) { ::PostQuitMessage(7); }}};
    dlg.DoModal();
    EXPECT_EQ(nullptr, dlg.GetSafeHwnd());
    MSG msg;
    ASSERT_TRUE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(7u, msg.wParam);
}

// Opened and closed many times, the box behaves the same and leaves nothing behind.
TEST(AboutBox, ManyOpeningsBehaveAlikeAndLeakNothing) {
    ParkCursor();
    auto openOnce = [](Pixels* picture) {
        ScriptedAboutDlg dlg;
        dlg.steps = {{CheckOpenedAboutBox},
                     {[picture](ScriptedAboutDlg& d) {
                         if (picture != nullptr)
                             *picture = Shown(d.item(IDC_PICTURE));
                         ::PostMessageA(d.item(IDOK), BM_CLICK, 0, 0);
                     }}};
        return dlg.DoModal();
    };
    Pixels first;
    ASSERT_EQ(IDOK, openOnce(&first)); // warm-up: fonts and system caches settle
    const int gdiBefore = CountGdiObjects();
    const int handlesBefore = CountKernelHandles();
    const size_t windowsBefore = ThreadWindows().size();

    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE("opening " + std::to_string(i + 2));
        Pixels again;
        ASSERT_EQ(IDOK, openOnce(&again));
        EXPECT_EQ("", DescribeDifferences(first, again)) << "the picture is the same every time";
    }

    std::printf("after 20 openings: GDI objects %d (%s), kernel handles %d\n", CountGdiObjects(),
                GdiCountMethod(), CountKernelHandles());
    EXPECT_EQ(gdiBefore, CountGdiObjects()) << "GDI objects";
    EXPECT_EQ(handlesBefore, CountKernelHandles()) << "kernel handles";
    EXPECT_EQ(windowsBefore, ThreadWindows().size()) << "top-level windows of the thread";
}
