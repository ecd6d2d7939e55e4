// CTallowboxView: the form with the backup list. It is the program's drop target, runs the
// command-line batch at its initial update, keeps the list stretched to the window, owns the
// backup root, and is the engine's host: the engine writes the status line and appends rows
// through it.
#pragma once

#include "engine/BackupItem.h"
#include "framework/ListCtrl.h"
#include "framework/View.h"

#include <shellapi.h>

#include <string>

// The notification icon's callback message to the view.
#define WM_TRAYNOTIFY (WM_USER + 100)

class CTallowboxView : public CFormView, public CBackupHost {
public:
    static const CRuntimeClass runtimeClass;
    const CRuntimeClass* GetRuntimeClass() const override { return &runtimeClass; }

    CTallowboxView();
    ~CTallowboxView() override;

    std::wstring GetBackupRoot() const { return m_strBackupRoot; }
    CListCtrl& GetListCtrl() { return m_list; }

    BOOL PreTranslateMessage(MSG* pMsg) override;
    void OnInitialUpdate() override;
    void HandleDropFiles(HDROP hDropInfo);

    // The engine's host operations.
    void SetStatusText(const std::wstring& text) override;
    void RepaintView() override;
    void AppendRow(const BackupRow& row) override;

    int BackupItem(LPCWSTR path, SYSTEMTIME time);

    // Tests only: the folder below which "backups" lies, instead of the executable's folder.
    // Takes effect for views made afterwards.
    static void OverrideProgramFolder(const std::wstring& folder) { s_programFolderOverride = folder; }

protected:
    enum { IDD = 101 };

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnSize(UINT nType, int cx, int cy);

private:
    void InsertColumns();
    void CaptureLayout();
    void BackupCommandLine();
    void OnTrayNotify(LPARAM lParam);
    void RemoveTrayIcon();
    void ShowTrayMenu();

    CListCtrl m_list;
    CRect m_rcList;
    CRect m_rcView;
    int m_bLayoutReady = 0;
    NOTIFYICONDATAA m_nid = {};
    int m_bTrayIcon = 0;
    std::wstring m_strProgramFolder;
    std::wstring m_strBackupRoot;
    CBackupEngine m_engine; // remembers which source each copy of this run came from

    static std::wstring s_programFolderOverride;
};
