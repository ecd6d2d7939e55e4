#include "RunningApp.h"

#include "framework/FrameworkIds.h"
#include "res/resource.h"
#include "shell/TallowboxView.h"

#include <commctrl.h>
#include <shlobj.h>

#include <cstring>

RunningApp::RunningApp(const std::string& commandLine, const std::string& programFolder)
    : m_commandLine(commandLine.begin(), commandLine.end()) {
    m_commandLine.push_back('\0');
    CTallowboxView::OverrideProgramFolder(programFolder);
    AfxWinInit(::GetModuleHandleA(nullptr), nullptr, m_commandLine.data(), SW_SHOWNORMAL);
    m_started = m_app.InitInstance() != FALSE;
}

RunningApp::~RunningApp() {
    if (m_app.m_pMainWnd != nullptr) {
        m_app.OnAppExit();
        Pump(100);
    }
    CTallowboxView::OverrideProgramFolder("");
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

HWND RunningApp::Frame() const { return m_app.m_pMainWnd != nullptr ? m_app.m_pMainWnd->m_hWnd : nullptr; }
HWND RunningApp::View() const { return ::GetDlgItem(Frame(), AFX_IDW_PANE_FIRST); }
HWND RunningApp::List() const { return ::GetDlgItem(View(), IDC_BACKUP_LIST); }
HWND RunningApp::StatusBar() const { return ::GetDlgItem(Frame(), AFX_IDW_STATUS_BAR); }

std::string RunningApp::StatusText() const {
    char text[1024] = "";
    ::SendMessageA(StatusBar(), SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(text));
    return text;
}

std::string RunningApp::ItemText(int item, int subItem) const {
    char text[1024] = "";
    LVITEMA request = {};
    request.iSubItem = subItem;
    request.pszText = text;
    request.cchTextMax = sizeof text;
    ::SendMessageA(List(), LVM_GETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&request));
    return text;
}

int RunningApp::ItemCount() const { return static_cast<int>(::SendMessageA(List(), LVM_GETITEMCOUNT, 0, 0)); }

HGLOBAL MakeDropBlock(const std::vector<std::string>& paths) {
    size_t size = sizeof(DROPFILES) + 1;
    for (const std::string& path : paths)
        size += path.size() + 1;
    HGLOBAL hGlobal = ::GlobalAlloc(GHND | GMEM_SHARE, size);
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(hGlobal));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = FALSE;
    char* text = reinterpret_cast<char*>(drop) + sizeof(DROPFILES);
    for (const std::string& path : paths) {
        std::memcpy(text, path.c_str(), path.size() + 1);
        text += path.size() + 1;
    }
    *text = '\0';
    ::GlobalUnlock(hGlobal);
    return hGlobal;
}
