// CTrayIcon: the program's icon in the notification area while the main window is out of sight.
// Its callback message goes to the view; a left click brings the main window back and removes
// the icon, a right click offers 表示 / 履歴 / 見張り一覧 / 終了.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <string>

// The notification icon's callback message to the view.
#define WM_TRAYNOTIFY (WM_USER + 100)

class CTrayIcon {
public:
    CTrayIcon() = default;
    ~CTrayIcon() { Remove(); }
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    // Shows the program's icon with tip, calling back to window; false when the shell refused.
    bool Show(HWND window, const std::wstring& tip);
    // Never touches an icon that was not shown.
    void Remove();
    // A balloon from the shown icon (title and text cut to their fields); false when none is shown.
    bool ShowBalloon(const std::wstring& title, const std::wstring& text);
    bool IsShown() const { return m_bTrayIcon != 0; }
    // The callback's mouse message.
    void OnNotify(LPARAM lParam);
    // The message the shell broadcasts when its taskbar is made again (Explorer restarted): the
    // icons it showed are gone, so a shown icon is added again.
    static UINT TaskbarCreatedMessage();
    void OnTaskbarCreated();

    // How the menu is shown; tests put a recorder here. Returns the command chosen, or 0.
    using MenuTracker = UINT (*)(HMENU menu, int x, int y, HWND owner);
    static MenuTracker s_pfnTrackMenu;

private:
    // The main window back on the screen, in front; the icon goes.
    void RestoreMainWindow();
    void ShowMenu();
    // text in the code page, cut on a whole character to fit a field of size bytes with its null.
    static void CopyCut(const std::wstring& text, char* field, size_t size);

    NOTIFYICONDATAA m_nid = {};
    int m_bTrayIcon = 0;
};
