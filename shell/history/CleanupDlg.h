// CCleanupDlg: the cleanup's question (dialog template 140). The user picks how many days of
// backups to keep (7, 30, 90, 365 or a typed number); the dialog shows at once what would go
// and, where the backups' disk has no Recycle Bin, that the removal there is final. Cancel is the
// default button. The removal itself runs on the backup worker (engine/journal/Cleanup.h).
#pragma once

#include <string>

#include "engine/journal/Cleanup.h"
#include "framework/Dialog.h"

class CCleanupDlg : public CDialog {
public:
    // The history and the folder are only read, and must outlive the dialog.
    CCleanupDlg(const CHistory& history, const std::wstring& backupRoot, CWnd* owner);

    // After DoModal() == IDOK: the copies to remove.
    const CleanupPlan& Plan() const { return m_plan; }

    // The number of days the text names: 1 to 9,999,999 in half- or full-width digits; 0 otherwise.
    static unsigned ParseDays(const std::wstring& text);

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // The days the combo box shows now, chosen from its list or typed.
    std::wstring DaysText(bool fromList) const;
    // Plans again for the days given and shows what would go; OK only when something valid would.
    void UpdatePreview(bool fromList);

    const CHistory& m_history;
    const std::wstring m_backupRoot;
    const int64_t m_now; // ticks of local time when the dialog was made
    CleanupPlan m_plan;
    bool m_valid = false;
};
