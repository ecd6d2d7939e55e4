#include "RunningApp.h"

#include "framework/FrameworkIds.h"
#include "framework/Language.h"
#include "res/resource.h"
#include "engine/base/BackupPaths.h"
#include "shell/document/TallowboxDoc.h"
#include "shell/main/TallowboxView.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>

RunningApp::RunningApp(const std::string& commandLine, const std::string& programFolder)
    : RunningApp(FromAnsiText(commandLine), FromAnsiText(programFolder)) {}

RunningApp::RunningApp(const std::wstring& commandLine, const std::wstring& programFolder)
    : m_wideCommandLine(commandLine) {
    const std::string narrow = ToAnsiText(commandLine);
    m_commandLine.assign(narrow.begin(), narrow.end());
    m_commandLine.push_back('\0');
    CTallowboxDoc::OverrideProgramFolder(programFolder);
    AfxWinInit(::GetModuleHandleA(nullptr), nullptr, m_commandLine.data(), SW_SHOWNORMAL,
               m_wideCommandLine.c_str());
    m_started = m_app.InitInstance() != FALSE;
}

RunningApp::~RunningApp() {
    if (m_app.m_pMainWnd != nullptr) {
        m_app.OnAppExit();
        Pump(100);
    }
    CTallowboxDoc::OverrideProgramFolder(L"");
    SetScreenLanguage(0); // the language its settings chose goes with it
}

void RunningApp::Pump(DWORD ms) {
    const ULONGLONG end = ::GetTickCount64() + ms;
    MSG msg;
    do {
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quitSeen = true;
                quitCode = msg.wParam;
                continue;
            }
            m_app.ProcessMessage(msg);
        }
        ::Sleep(10);
    } while (::GetTickCount64() < end);
}

void RunningApp::PumpUntilRows(int rows, DWORD timeoutMs) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    while (ItemCount() < rows && ::GetTickCount64() < end)
        Pump(20);
    Pump(50);
}

void RunningApp::PumpUntilIdle(DWORD timeoutMs) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    while (ViewObject() != nullptr && ViewObject()->IsBackingUp() && ::GetTickCount64() < end)
        Pump(20);
    Pump(50);
}

CTallowboxView* RunningApp::ViewObject() const {
    return dynamic_cast<CTallowboxView*>(CWnd::FromHandlePermanent(View()));
}

HWND RunningApp::Frame() const {
    return m_app.m_pMainWnd != nullptr ? m_app.m_pMainWnd->m_hWnd : nullptr;
}
HWND RunningApp::View() const {
    return ::GetDlgItem(Frame(), AFX_IDW_PANE_FIRST);
}
HWND RunningApp::List() const {
    return ::GetDlgItem(View(), IDC_BACKUP_LIST);
}
HWND RunningApp::StatusBar() const {
    return ::GetDlgItem(Frame(), AFX_IDW_STATUS_BAR);
}

std::string RunningApp::StatusText() const {
    char text[1024] = "";
    ::SendMessageA(StatusBar(), SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(text));
    return text;
}

std::string RunningApp::ItemText(int item, int subItem, HWND list) const {
    char text[1024] = "";
    LVITEMA request = {};
    request.iSubItem = subItem;
    request.pszText = text;
    request.cchTextMax = sizeof text;
    ::SendMessageA(list != nullptr ? list : List(), LVM_GETITEMTEXTA, static_cast<WPARAM>(item),
                   reinterpret_cast<LPARAM>(&request));
    return text;
}

std::wstring RunningApp::WideStatusText() const {
    wchar_t text[2048] = L"";
    ::SendMessageW(StatusBar(), SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
    return text;
}

std::wstring RunningApp::WideItemText(int item, int subItem) const {
    wchar_t text[2048] = L"";
    LVITEMW request = {};
    request.iSubItem = subItem;
    request.pszText = text;
    request.cchTextMax = 2048;
    ::SendMessageW(List(), LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&request));
    return text;
}

int RunningApp::ItemCount() const {
    return static_cast<int>(::SendMessageA(List(), LVM_GETITEMCOUNT, 0, 0));
}

void RunningApp::SelectRows(const std::vector<int>& items, HWND list) {
    list = list != nullptr ? list : List();
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
    for (size_t i = 0; i < items.size(); ++i) {
        state.state = i == 0 ? LVIS_SELECTED | LVIS_FOCUSED : LVIS_SELECTED;
        ::SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(items[i]),
                       reinterpret_cast<LPARAM>(&state));
    }
}

void RunningApp::PressKey(UINT message, WPARAM key, int heldKey) {
    BYTE saved[256], state[256];
    ::GetKeyboardState(saved);
    std::copy(saved, saved + 256, state);
    state[heldKey] = heldKey != 0 ? 0x80 : state[0];
    ::SetKeyboardState(state);
    ::PostMessageW(List(), message, key, message == WM_KEYUP ? 0xC0000000 : 0);
    Pump(50);
    ::SetKeyboardState(saved);
}

void RunningApp::ChooseFromRowMenu(RowSeams& seams, UINT command, HWND list) {
    list = list != nullptr ? list : List();
    seams.choice = command;
    ::SendMessageW(list, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), static_cast<LPARAM>(-1));
    Pump(50);
}

RowSeams* RowSeams::s_live = nullptr;

RowSeams::RowSeams()
    : m_pfnShowItems(CRowCommands::s_pfnShowItems), m_pfnAsk(CRowCommands::s_pfnAsk),
      m_pfnTrackMenu(CRowCommands::s_pfnTrackMenu), m_pfnOpenFile(CRowCommands::s_pfnOpenFile),
      m_pfnPickFolder(CRowCommands::s_pfnPickFolder) {
    s_live = this;
    CRowCommands::s_pfnShowItems = [](const std::wstring& folder, const std::vector<std::wstring>& items) {
        s_live->shown.push_back({folder, items});
    };
    CRowCommands::s_pfnAsk = [](HWND, const std::wstring& text, UINT type) {
        s_live->questions.push_back({text, type});
        return s_live->answer;
    };
    CRowCommands::s_pfnOpenFile = [](const std::wstring& file) { s_live->opened.push_back(file); };
    CRowCommands::s_pfnPickFolder = [](HWND, std::wstring* folder) {
        *folder = s_live->folderToPick;
        return !folder->empty();
    };
    CRowCommands::s_pfnTrackMenu = [](HMENU shownMenu, int x, int y, HWND) {
        s_live->menu.clear();
        s_live->checked.clear();
        for (int i = 0; i < ::GetMenuItemCount(shownMenu); ++i) {
            wchar_t text[256] = L"";
            ::GetMenuStringW(shownMenu, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
            const bool grayed =
                (::GetMenuState(shownMenu, static_cast<UINT>(i), MF_BYPOSITION) & MF_GRAYED) != 0;
            s_live->menu.push_back({text, grayed && text[0] != L'\0'});
            s_live->checked.push_back(
                (::GetMenuState(shownMenu, static_cast<UINT>(i), MF_BYPOSITION) & MF_CHECKED) != 0);
        }
        s_live->menuDefault = ::GetMenuDefaultItem(shownMenu, FALSE, 0);
        s_live->menuPoint = {x, y};
        ++s_live->menusShown;
        return s_live->choice;
    };
}

RowSeams::~RowSeams() {
    CRowCommands::s_pfnShowItems = m_pfnShowItems;
    CRowCommands::s_pfnAsk = m_pfnAsk;
    CRowCommands::s_pfnTrackMenu = m_pfnTrackMenu;
    CRowCommands::s_pfnOpenFile = m_pfnOpenFile;
    CRowCommands::s_pfnPickFolder = m_pfnPickFolder;
    s_live = nullptr;
}

HGLOBAL MakeDropBlock(const std::vector<std::string>& paths) {
    std::vector<std::wstring> wide;
    for (const std::string& path : paths)
        wide.push_back(FromAnsiText(path));
    return MakeDropBlock(wide);
}

HGLOBAL MakeDropBlock(const std::vector<std::wstring>& paths) {
    size_t size = sizeof(DROPFILES) + 2 * sizeof(wchar_t); // an empty list is two zeros
    for (const std::wstring& path : paths)
        size += (path.size() + 1) * sizeof(wchar_t);
    HGLOBAL hGlobal = ::GlobalAlloc(GHND | GMEM_SHARE, size);
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(hGlobal));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    auto* text = reinterpret_cast<wchar_t*>(reinterpret_cast<char*>(drop) + sizeof(DROPFILES));
    for (const std::wstring& path : paths) {
        std::memcpy(text, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
        text += path.size() + 1;
    }
    *text = L'\0';
    ::GlobalUnlock(hGlobal);
    return hGlobal;
}
