// The document's background check: its thread, started a little after the program when a backups
// folder is there, and the words its findings come to on the status line and the icon's balloon.
#include "shell/document/TallowboxDoc.h"

#include "engine/check/BackgroundCheck.h"
#include "framework/Language.h"
#include "res/resource.h"
#include "shell/words/Wording.h"

// The first round waits until the start's own work (the window, the watches, the mirror's look)
// is long over.
DWORD CTallowboxDoc::s_checkStartDelayMs = 30 * 1000;

void CTallowboxDoc::StartCheck() {
    EndCheck();
    if (m_checkDays == 0 || m_window == nullptr)
        return;
    const DWORD attributes = ::GetFileAttributesW(SystemPath(m_backupRoot).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return; // no backups yet: nothing to check, and nothing made for it
    m_checker.reset(new CBackgroundChecker(m_window, m_backupRoot, m_mirrorRoot, m_checkDays, s_checkStartDelayMs));
}

void CTallowboxDoc::EndCheck() {
    m_checker.reset(); // its thread ends (bounded) before the window it posts to goes
}

void CTallowboxDoc::WakeCheck() {
    if (m_checker)
        m_checker->Wake();
    else if (m_window != nullptr && m_checkDays != 0)
        StartCheck(); // the first backup made the backups folder
}

std::wstring CTallowboxDoc::OnCheckFinding(LPARAM findingOwned) {
    const std::unique_ptr<CheckFinding> finding(reinterpret_cast<CheckFinding*>(findingOwned));
    const std::wstring item = finding->original.empty() ? finding->copy : finding->original;
    const std::wstring moment = HistoryDateText(finding->time) + L" " + HistoryTimeText(finding->time);
    return FormatResourceText(finding->healed ? IDS_BGCHECK_HEALED : IDS_BGCHECK_UNHEALABLE,
                              {item, moment, std::to_wstring(finding->files)});
}
