// CMainFrame: the main window. Always on top, titled "Tallowbox" whatever the document, with the
// backup list view as its client, a one-pane status bar (the status line) and the menu whose
// first item opens the backup folder in the shell and whose last opens the history window.
#pragma once

#include "framework/Frame.h"
#include "framework/StatusBar.h"

#include <memory>
#include <string>

class CHistoryWnd;
class CTallowboxDoc;
class CWatchListWnd;

class CMainFrame : public CFrameWnd {
public:
    static const CRuntimeClass runtimeClass;
    const CRuntimeClass* GetRuntimeClass() const override { return &runtimeClass; }

    CMainFrame();
    ~CMainFrame() override;

    BOOL PreCreateWindow(CREATESTRUCTA& cs) override;
    BOOL OnCmdMsg(UINT nID) override;
    BOOL PreTranslateMessage(MSG* pMsg) override;

    // How the backup folder is opened; tests put a recorder here instead of the shell.
    using FolderOpener = void (*)(const std::wstring& folder);
    static FolderOpener s_pfnOpenFolder;
    static void OpenFolderInShell(const std::wstring& folder);

    // The history window (履歴, Ctrl+H), made when first asked for; narrowed to one item's
    // versions when originalPath is given.
    void ShowHistory(const std::wstring& originalPath);
    CHistoryWnd* History() const { return m_history.get(); }
    // A batch of backups ended: an open history is read again.
    void OnBackupsChanged();
    // The list of watches (見張り一覧), made when first asked for.
    void ShowWatchList();
    CWatchListWnd* WatchList() const { return m_watchList.get(); }

    // How the question before closing is asked; tests put a recorder here (MessageBox's answer).
    using Asker = int (*)(HWND owner, const std::wstring& text, UINT type);
    static Asker s_pfnAsk;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnCreate(LPCREATESTRUCTA lpcs) override;
    void OnOpenFolder();

private:
    CTallowboxDoc* Doc() const;
    // Minimized while anything is watched: out of sight, the notification icon stands for it.
    void OnMinimized();
    // Closing while items are watched asks first (No the default): watching pauses until the next start.
    bool MayClose();
    void OnWatchesChanged();
    // The start work the first picture does not need, once the window has painted.
    void OnAfterFirstPaint();
    void ToggleStartAtLogon();
    std::wstring TrayTip() const;
    // A menu bar that gains or loses a line while the width stays (its menu changed) gives its
    // height to or takes it from the frame, never the view: the form stays whole.
    void KeepViewBelowMenuBar();
    struct FrameShape {
        int width = 0, nonClientHeight = 0;
        UINT dpi = 0;
    } m_shape;
    // The mirror's popup: the folder picker, stopping, copying now.
    void OnMirrorCommand(UINT nID);
    void SayInStatusLine(const std::wstring& text);

    CStatusBar m_wndStatusBar;
    std::unique_ptr<CHistoryWnd> m_history;
    std::unique_ptr<CWatchListWnd> m_watchList;
};
