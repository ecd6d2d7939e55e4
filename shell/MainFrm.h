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

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnCreate(LPCREATESTRUCTA lpcs) override;
    void OnOpenFolder();

private:
    CTallowboxDoc* Doc() const;

    CStatusBar m_wndStatusBar;
    std::unique_ptr<CHistoryWnd> m_history;
};
