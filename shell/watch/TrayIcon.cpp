#include "shell/watch/TrayIcon.h"

#include "engine/base/BackupPaths.h"
#include "framework/App.h"
#include "framework/Language.h"
#include "res/resource.h"

#include <cstring>

namespace {

UINT TrackMenuOnScreen(HMENU menu, int x, int y, HWND owner) {
    // The owner in front, so the menu closes when the user clicks elsewhere.
    ::SetForegroundWindow(owner);
    const UINT command = static_cast<UINT>(
        ::TrackPopupMenu(menu, TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, x, y, 0, owner, nullptr));
    ::PostMessageW(owner, WM_NULL, 0, 0);
    return command;
}

} // namespace

CTrayIcon::MenuTracker CTrayIcon::s_pfnTrackMenu = &TrackMenuOnScreen;

bool CTrayIcon::Show(HWND window, const std::wstring& tip) {
    m_nid.cbSize = sizeof m_nid;
    m_nid.hWnd = window;
    m_nid.uID = 1;
    m_nid.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
    m_nid.uCallbackMessage = WM_TRAYNOTIFY;
    m_nid.hIcon = static_cast<HICON>(::LoadImageW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME),
                                                  IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                                  ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    CopyCut(tip, m_nid.szTip, sizeof m_nid.szTip);
    const DWORD message = m_bTrayIcon ? NIM_MODIFY : NIM_ADD;
    if (!::Shell_NotifyIconA(message, &m_nid))
        return false;
    m_bTrayIcon = 1;
    return true;
}

// Cut on a whole character, never half of a double-byte one.
void CTrayIcon::CopyCut(const std::wstring& text, char* field, size_t size) {
    const std::string narrow = ToAnsiText(text);
    size_t length = 0;
    while (length < narrow.size()) {
        const size_t next = length + (::IsDBCSLeadByte(static_cast<BYTE>(narrow[length])) ? 2 : 1);
        if (next >= size)
            break;
        length = next;
    }
    std::memset(field, 0, size);
    std::memcpy(field, narrow.data(), length);
}

// The balloon's fields are set for this one call: a later NIM_MODIFY of the tip shows none again.
bool CTrayIcon::ShowBalloon(const std::wstring& title, const std::wstring& text) {
    if (!m_bTrayIcon)
        return false;
    NOTIFYICONDATAA balloon = m_nid;
    balloon.uFlags = NIF_INFO;
    balloon.dwInfoFlags = NIIF_WARNING;
    CopyCut(title, balloon.szInfoTitle, sizeof balloon.szInfoTitle);
    CopyCut(text, balloon.szInfo, sizeof balloon.szInfo);
    return ::Shell_NotifyIconA(NIM_MODIFY, &balloon) != FALSE;
}

void CTrayIcon::Remove() {
    if (!m_bTrayIcon)
        return;
    ::Shell_NotifyIconA(NIM_DELETE, &m_nid);
    m_bTrayIcon = 0;
}

UINT CTrayIcon::TaskbarCreatedMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"TaskbarCreated");
    return message;
}

// A window out of sight with no icon could not be found again: without the icon it comes back.
void CTrayIcon::OnTaskbarCreated() {
    if (m_bTrayIcon && !::Shell_NotifyIconA(NIM_ADD, &m_nid))
        RestoreMainWindow();
}

void CTrayIcon::OnNotify(LPARAM lParam) {
    switch (static_cast<UINT>(lParam)) {
    case WM_LBUTTONDOWN: // the press restores; the release that follows finds the window back
    case WM_LBUTTONUP:
        RestoreMainWindow();
        break;
    case WM_RBUTTONDOWN:
        ShowMenu();
        break;
    default:
        break;
    }
}

void CTrayIcon::RestoreMainWindow() {
    Remove();
    if (CWnd* pMainWnd = AfxGetMainWnd()) {
        ::ShowWindow(pMainWnd->m_hWnd, SW_RESTORE);
        ::SetForegroundWindow(pMainWnd->m_hWnd);
    }
}

// 履歴 and 見張り一覧 bring the main window back first: they are its windows.
void CTrayIcon::ShowMenu() {
    HMENU hMenu = LoadMenuInLanguage(IDR_TRAY_MENU);
    if (hMenu == nullptr)
        return;
    POINT cursor = {};
    ::GetCursorPos(&cursor);
    UINT command = 0;
    if (HMENU hPopup = ::GetSubMenu(hMenu, 0)) {
        ::SetMenuDefaultItem(hPopup, ID_TRAY_SHOW, FALSE);
        command = s_pfnTrackMenu(hPopup, cursor.x, cursor.y, m_nid.hWnd);
    }
    ::DestroyMenu(hMenu);
    if (command == 0)
        return;
    if (command != ID_APP_EXIT)
        RestoreMainWindow();
    if (command != ID_TRAY_SHOW)
        if (CWnd* pMainWnd = AfxGetMainWnd())
            pMainWnd->PostMessage(WM_COMMAND, MAKEWPARAM(command, 0), 0);
}
