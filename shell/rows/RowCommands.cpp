#include "shell/rows/RowCommands.h"

#include "engine/compare/DiffTool.h"
#include "engine/copy/Restore.h"
#include "framework/App.h"
#include "framework/Language.h"
#include "framework/MessageBox.h"
#include "res/resource.h"
#include "shell/compare/CompareFoldersWnd.h"
#include "shell/compare/CompareWnd.h"
#include "shell/rows/RowActions.h"
#include "shell/words/Wording.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <utility>

namespace {

UINT TrackRowMenu(HMENU menu, int x, int y, HWND owner) {
    return static_cast<UINT>(
        ::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, x, y, 0, owner, nullptr));
}

class CScopedMenu {
public:
    explicit CScopedMenu(HMENU menu) : m_menu(menu) {}
    ~CScopedMenu() {
        if (m_menu != nullptr)
            ::DestroyMenu(m_menu);
    }
    CScopedMenu(const CScopedMenu&) = delete;
    CScopedMenu& operator=(const CScopedMenu&) = delete;
    HMENU get() const { return m_menu; }

private:
    HMENU m_menu;
};

bool IsDamaged(const BackupRow& row) {
    return row.damaged;
}

// Two versions of one item cannot both be put back: the second would replace the first.
bool HasTwoVersionsOfOneItem(const std::vector<BackupRow>& rows) {
    for (size_t i = 0; i < rows.size(); ++i)
        for (size_t j = i + 1; j < rows.size(); ++j)
            if (UpperCase(rows[i].originalPath) == UpperCase(rows[j].originalPath))
                return true;
    return false;
}

// Only an item that was backed up whole is watched: a version of it exists to build on.
bool CanWatch(const BackupRow& row) {
    return row.kind == RowKind::Backup && row.outcome == RowOutcome::Succeeded && !row.damaged &&
           !row.originalPath.empty();
}

// A version that was made whole, of an item whose place is known: it has something to compare.
bool CanCompare(const BackupRow& row) {
    return row.kind == RowKind::Backup && row.outcome == RowOutcome::Succeeded && !row.damaged &&
           !row.originalPath.empty() && !row.backupPath.empty();
}

bool IsOneItem(const BackupRow& a, const BackupRow& b) {
    return a.isFolder == b.isFolder && UpperCase(a.originalPath) == UpperCase(b.originalPath);
}

// One version, or two versions of one item.
bool CanCompareRows(const std::vector<BackupRow>& rows) {
    if (rows.size() == 1)
        return CanCompare(rows[0]);
    return rows.size() == 2 && CanCompare(rows[0]) && CanCompare(rows[1]) && IsOneItem(rows[0], rows[1]);
}

// By the journal's moment; two of one second by their copies' last-write times (a copy keeps its file's).
bool IsEarlier(const BackupRow& a, const BackupRow& b) {
    FILETIME first, second;
    if (!::SystemTimeToFileTime(&a.time, &first) || !::SystemTimeToFileTime(&b.time, &second))
        return false;
    if (::CompareFileTime(&first, &second) != 0)
        return ::CompareFileTime(&first, &second) < 0;
    FileFacts older, newer;
    return ReadFileFacts(a.backupPath, &older) && ReadFileFacts(b.backupPath, &newer) &&
           ::CompareFileTime(&older.modified, &newer.modified) < 0;
}

std::wstring VersionHeader(const BackupRow& row) {
    return HistoryDateText(row.time) + L" " + HistoryTimeText(row.time);
}

DWORD StartWithCreateProcess(const std::wstring& commandLine) {
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process))
        return ::GetLastError();
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return ERROR_SUCCESS;
}

void Enable(HMENU popup, UINT command, bool enabled) {
    ::EnableMenuItem(popup, command, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

} // namespace

CRowCommands::ItemShower CRowCommands::s_pfnShowItems = &ShowItemsInShell;
CRowCommands::Asker CRowCommands::s_pfnAsk = &AfxAsk; // buttons in the screen language
CRowCommands::MenuTracker CRowCommands::s_pfnTrackMenu = &TrackRowMenu;
CRowCommands::FileOpener CRowCommands::s_pfnOpenFile = &OpenWithUsualProgram;
CRowCommands::FolderPicker CRowCommands::s_pfnPickFolder = &PickFolder;
CRowCommands::ProgramStarter CRowCommands::s_pfnStartProgram = &StartWithCreateProcess;

HWND CRowCommands::Owner() const {
    return m_list != nullptr ? ::GetAncestor(m_list, GA_ROOT) : nullptr;
}

std::wstring CRowCommands::RootHolding(const std::wstring& backupPath) const {
    const std::wstring mirror = m_host.MirrorRoot();
    if (!mirror.empty() && IsStrictlyBelow(PlainPath(backupPath), PlainPath(mirror)))
        return PlainPath(mirror);
    return PlainPath(m_host.BackupRoot());
}

BOOL CRowCommands::HandleListKey(const MSG& msg) {
    if (msg.hwnd != m_list || m_list == nullptr)
        return FALSE;
    // The menu key, on its release as the system does; taken here so the menu opens once even
    // where the default handling makes no WM_CONTEXTMENU of it.
    if (msg.message == WM_KEYUP && msg.wParam == VK_APPS) {
        ShowMenu(-1, -1);
        return TRUE;
    }
    if (msg.message != WM_KEYDOWN)
        return FALSE;
    // Taken before the dialog keys would make Enter the default button.
    if (msg.wParam == VK_RETURN) {
        ShowBackups();
        return TRUE;
    }
    if (msg.wParam == 'C' && ::GetKeyState(VK_CONTROL) < 0) {
        CopyBackupPaths();
        return TRUE;
    }
    return FALSE;
}

bool CRowCommands::HandleListNotify(const NMHDR* header) {
    if (m_list == nullptr || header->hwndFrom != m_list)
        return false;
    if (header->code == NM_DBLCLK && reinterpret_cast<const NMITEMACTIVATE*>(header)->iItem >= 0)
        ShowBackups();
    return true;
}

// A damaged row offers only its path; the rest as each command can serve every selected row.
void CRowCommands::EnableMenuItems(HMENU popup, const std::vector<BackupRow>& rows) const {
    const bool damaged = std::any_of(rows.begin(), rows.end(), &IsDamaged);
    const bool known =
        std::all_of(rows.begin(), rows.end(), [](const BackupRow& row) { return !row.originalPath.empty(); });
    Enable(popup, ID_ROW_SHOW_BACKUP, !damaged);
    Enable(popup, ID_ROW_OPEN_VERSION, !damaged && rows.size() == 1);
    Enable(popup, ID_ROW_COMPARE, CanCompareRows(rows));
    Enable(popup, ID_ROW_SHOW_ORIGINAL, !damaged && known);
    Enable(popup, ID_ROW_VERSIONS, !damaged && !rows.front().originalPath.empty());
    Enable(popup, ID_ROW_RESTORE, std::all_of(rows.begin(), rows.end(), &CanRestore));
    Enable(popup, ID_ROW_RESTORE_ELSEWHERE, std::all_of(rows.begin(), rows.end(), &CanRestoreElsewhere));
    if (!m_host.OffersRepair())
        ::DeleteMenu(popup, ID_ROW_REPAIR, MF_BYCOMMAND);
    else
        Enable(popup, ID_ROW_REPAIR, rows.size() == 1 && m_host.CanRepairFocused());
    const bool watchable = rows.size() == 1 && CanWatch(rows.front());
    Enable(popup, ID_ROW_WATCH, watchable);
    const bool watched = watchable && m_host.IsWatched(rows.front().originalPath);
    ::CheckMenuItem(popup, ID_ROW_WATCH, MF_BYCOMMAND | (watched ? MF_CHECKED : MF_UNCHECKED));
}

void CRowCommands::ShowMenu(int x, int y) {
    const std::vector<BackupRow> rows = m_host.SelectedRows(true);
    if (rows.empty() || m_list == nullptr)
        return;
    if (x == -1 && y == -1) {
        int item = ListView_GetNextItem(m_list, -1, LVNI_FOCUSED | LVNI_SELECTED);
        if (item < 0)
            item = ListView_GetNextItem(m_list, -1, LVNI_SELECTED);
        RECT rect = {};
        ListView_GetItemRect(m_list, item, &rect, LVIR_LABEL);
        POINT corner = {rect.left, rect.bottom};
        ::ClientToScreen(m_list, &corner);
        x = corner.x;
        y = corner.y;
    }
    CScopedMenu menu(LoadMenuInLanguage(IDR_ROW_MENU));
    HMENU popup = menu.get() != nullptr ? ::GetSubMenu(menu.get(), 0) : nullptr;
    if (popup == nullptr)
        return;
    ::SetMenuDefaultItem(popup, ID_ROW_SHOW_BACKUP, FALSE);
    EnableMenuItems(popup, rows);
    Run(s_pfnTrackMenu(popup, x, y, ::GetParent(m_list)));
}

void CRowCommands::Run(UINT command) {
    switch (command) {
    case ID_ROW_SHOW_BACKUP:
        ShowBackups();
        break;
    case ID_ROW_OPEN_VERSION:
        OpenVersion();
        break;
    case ID_ROW_COMPARE:
        Compare();
        break;
    case ID_ROW_SHOW_ORIGINAL:
        ShowOriginals();
        break;
    case ID_ROW_COPY_PATH:
        CopyBackupPaths();
        break;
    case ID_ROW_VERSIONS:
        ShowVersions();
        break;
    case ID_ROW_RESTORE:
        Restore();
        break;
    case ID_ROW_RESTORE_ELSEWHERE:
        RestoreElsewhere();
        break;
    case ID_ROW_REPAIR:
        Repair();
        break;
    case ID_ROW_WATCH:
        ToggleWatch();
        break;
    default:
        break; // the menu was closed without a choice
    }
}

// What is left of each backup inside the backup root: a failed or stopped copy shows the
// nearest folder of it that was made.
void CRowCommands::ShowBackups() {
    std::vector<std::wstring> items;
    for (const BackupRow& row : m_host.SelectedRows()) {
        const std::wstring part =
            row.damaged ? std::wstring()
                        : NearestExistingPart(PlainPath(row.backupPath), RootHolding(row.backupPath));
        if (part.empty())
            m_host.SetStatusText(FormatResourceText(
                IDS_BACKUP_NOT_FOUND, {row.originalPath.empty() ? row.backupPath : row.originalPath}));
        else
            items.push_back(part);
    }
    ShowInShell(items);
}

// A file is opened from a read-only copy in the temporary folder, so the backup itself is never
// changed by the program that opens it; a folder is shown in the shell. The copy is made on the
// backup worker, so a large version never freezes the window, and Esc stops it.
void CRowCommands::OpenVersion() {
    const std::vector<BackupRow> rows = m_host.SelectedRows(true);
    if (rows.size() != 1 || rows.front().damaged)
        return;
    if (rows.front().isFolder) {
        ShowBackups();
        return;
    }
    const std::wstring backup = rows.front().backupPath, root = RootHolding(backup);
    const FileOpener open = s_pfnOpenFile;
    m_host.QueueTask([backup, root, open](CBackupEngine& engine, CBackupHost& host) {
        host.ShowCopying(StatusCode::PreparingToOpen, backup);
        std::wstring copy;
        const DWORD error = MakeLookingCopy(backup, root, &copy, engine.StopFlag());
        StatusPart said = Said(error == ERROR_SUCCESS           ? StatusCode::Opened
                               : error == ERROR_REQUEST_ABORTED ? StatusCode::OpenStopped
                                                                : StatusCode::OpenFailed,
                               backup);
        said.error = error;
        host.SetStatus({said});
        if (error == ERROR_SUCCESS)
            open(copy);
    });
}

// One version is compared with the item at its original place, two with each other, the older
// on the left. Only the copies a row names below the backups folder or the mirror, whichever holds
// it, are read (VersionCopyPath).
bool CRowCommands::MakeCompareRequest(const std::vector<BackupRow>& rows, CompareRequest* request) const {
    if (!CanCompareRows(rows))
        return false;
    const std::wstring root = PlainPath(m_host.BackupRoot());
    const bool two = rows.size() == 2;
    const BackupRow& older = two && IsEarlier(rows[1], rows[0]) ? rows[1] : rows[0];
    request->older.path = VersionCopyPath(older, RootHolding(older.backupPath));
    request->older.header = VersionHeader(older);
    if (two) {
        const BackupRow& newer = &older == &rows[0] ? rows[1] : rows[0];
        request->newer.path = VersionCopyPath(newer, RootHolding(newer.backupPath));
        request->newer.header = VersionHeader(newer);
    } else {
        request->newer.path = PlainPath(older.originalPath);
        request->newer.header = LoadResourceText(IDS_COMPARE_CURRENT);
        request->newer.current = true;
    }
    if (request->older.path.empty() || request->newer.path.empty()) {
        m_host.SetStatusText(FormatResourceText(IDS_COMPARE_COPY_MISSING, {older.backupPath}));
        return false;
    }
    request->itemName = LastComponent(WithoutTrailingSeparators(older.originalPath));
    request->excludes = m_host.LeftOutPatterns();
    request->backupRoot = root;
    return true;
}

void CRowCommands::Compare() {
    const std::vector<BackupRow> rows = m_host.SelectedRows(true);
    CompareRequest request;
    if (!MakeCompareRequest(rows, &request))
        return;
    if (rows.front().isFolder) {
        CCompareFoldersWnd::Open(Owner(), request);
        return;
    }
    const std::wstring pattern = m_host.DiffToolPattern();
    if (!pattern.empty()) {
        StartDiffTool(request, pattern);
        return;
    }
    CCompareWnd::Open(Owner(), request);
}

// Another program is given read-only copies of both sides in the temporary folder, made on the
// backup worker (the window stays live, Esc stops it): it never sees the backup nor the file itself.
// A version's side is where VersionCopyPath said its copy lies, already checked there.
void CRowCommands::StartDiffTool(const CompareRequest& request, const std::wstring& pattern) {
    const std::wstring item = request.newer.current ? request.newer.path : request.older.path;
    const CompareSide older = request.older, newer = request.newer;
    const ProgramStarter start = s_pfnStartProgram;
    m_host.QueueTask([item, older, newer, pattern, start](CBackupEngine& engine, CBackupHost& host) {
        const auto say = [&host, &item](StatusCode code, DWORD error, const std::wstring& other) {
            StatusPart said = Said(code, item);
            said.error = error;
            said.other = other;
            host.SetStatus({said});
        };
        std::wstring line;
        // Refused before anything is copied: a setting without both files' places.
        if (MakeDiffToolCommandLine(pattern, older.path, newer.path, &line) != DiffToolOutcome::Ready) {
            say(StatusCode::CompareToolUnusable, ERROR_SUCCESS, pattern);
            return;
        }
        if (newer.current && !PathExists(newer.path)) {
            say(StatusCode::CompareToolNoOriginal, ERROR_SUCCESS, std::wstring());
            return;
        }
        host.ShowCopying(StatusCode::PreparingToCompare, item);
        std::wstring olderCopy, newerCopy;
        DWORD error = MakeReadOnlyTemporaryCopy(older.path, &olderCopy, engine.StopFlag());
        if (error == ERROR_SUCCESS)
            error = MakeReadOnlyTemporaryCopy(newer.path, &newerCopy, engine.StopFlag());
        if (error == ERROR_SUCCESS &&
            MakeDiffToolCommandLine(pattern, olderCopy, newerCopy, &line) != DiffToolOutcome::Ready)
            error = ERROR_FILENAME_EXCED_RANGE; // the copies' longer paths made it too long
        if (error == ERROR_SUCCESS)
            error = start(line);
        if (error == ERROR_REQUEST_ABORTED)
            say(StatusCode::CompareToolStopped, error, std::wstring());
        else if (error != ERROR_SUCCESS)
            say(StatusCode::CompareToolFailed, error, pattern);
        else
            say(StatusCode::CompareToolStarted, error, std::wstring());
    });
}

void CRowCommands::ShowOriginals() {
    std::vector<std::wstring> items;
    for (const BackupRow& row : m_host.SelectedRows()) {
        if (row.damaged || row.originalPath.empty())
            continue;
        const std::wstring part = NearestExistingPart(PlainPath(row.originalPath), std::wstring());
        if (part.empty())
            m_host.SetStatusText(FormatResourceText(IDS_ORIGINAL_NOT_FOUND, {row.originalPath}));
        else
            items.push_back(part);
    }
    ShowInShell(items);
}

void CRowCommands::ShowInShell(const std::vector<std::wstring>& items) {
    std::vector<std::pair<std::wstring, std::vector<std::wstring>>> folders; // in the rows' order
    for (const std::wstring& item : items) {
        const std::wstring folder = FolderToShow(item);
        auto entry = std::find_if(folders.begin(), folders.end(),
                                  [&](const auto& known) { return known.first == folder; });
        if (entry == folders.end())
            entry = folders.insert(folders.end(), {folder, {}});
        if (std::find(entry->second.begin(), entry->second.end(), item) == entry->second.end())
            entry->second.push_back(item);
    }
    for (const auto& folder : folders)
        s_pfnShowItems(folder.first, folder.second);
}

void CRowCommands::CopyBackupPaths() {
    const std::vector<BackupRow> rows = m_host.SelectedRows();
    if (rows.empty())
        return;
    if (!PutTextOnClipboard(Owner(), BackupPathsText(rows)))
        m_host.SetStatusText(LoadResourceText(IDS_CLIPBOARD_FAILED));
}

void CRowCommands::ShowVersions() {
    const std::vector<BackupRow> rows = m_host.SelectedRows(true);
    if (!rows.empty() && !rows.front().damaged && !rows.front().originalPath.empty())
        m_host.ShowVersions(rows.front());
}

// One question for every selected row; on Yes the worker backs up what is there now and puts
// each backup back, in the rows' order, with one time stamp.
void CRowCommands::Restore() {
    std::vector<BackupRow> rows = m_host.SelectedRows();
    if (rows.empty() || !std::all_of(rows.begin(), rows.end(), &CanRestore))
        return;
    if (HasTwoVersionsOfOneItem(rows)) {
        s_pfnAsk(Owner(), LoadResourceText(IDS_TWO_VERSIONS), MB_OK | MB_ICONWARNING);
        return;
    }
    const auto moment = [this](const BackupRow& row) { return m_host.MomentText(row); };
    // A copy found damaged may still be worth having: the warning comes first, the user decides.
    const std::wstring warning = DamagedWarning(rows);
    const UINT icon = warning.empty() ? MB_ICONQUESTION : MB_ICONWARNING;
    const std::wstring question =
        warning.empty() ? RestoreQuestion(rows, moment) : warning + L"\n\n" + RestoreQuestion(rows, moment);
    if (s_pfnAsk(Owner(), question, MB_YESNO | icon | MB_DEFBUTTON2) != IDYES)
        return;
    m_host.QueueRestore(std::move(rows), std::wstring());
}

std::wstring CRowCommands::DamagedWarning(const std::vector<BackupRow>& rows) const {
    return DamagedRestoreWarning(rows, m_host.BackupRoot(), m_host.MirrorRoot(),
                                 [this](const BackupRow& row) { return m_host.MomentText(row); });
}

// Into a folder the user picks, each under its own name or a free "name (2)": never over anything.
void CRowCommands::RestoreElsewhere() {
    std::vector<BackupRow> rows = m_host.SelectedRows();
    if (rows.empty() || !std::all_of(rows.begin(), rows.end(), &CanRestoreElsewhere))
        return;
    const std::wstring warning = DamagedWarning(rows);
    if (!warning.empty() &&
        s_pfnAsk(Owner(), warning + L"\n\n" + LoadResourceText(IDS_DAMAGED_RESTORE_ANYWAY),
                 MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES)
        return;
    std::wstring folder;
    if (!s_pfnPickFolder(Owner(), &folder) || folder.empty())
        return;
    m_host.QueueRestore(std::move(rows), folder);
}

void CRowCommands::Repair() {
    if (m_host.OffersRepair() && m_host.SelectedRows().size() == 1 && m_host.CanRepairFocused())
        m_host.RepairFocused();
}

void CRowCommands::ToggleWatch() {
    const std::vector<BackupRow> rows = m_host.SelectedRows(true);
    if (rows.size() != 1 || !CanWatch(rows.front()))
        return;
    const std::wstring& path = rows.front().originalPath;
    const WatchRefusal refusal = m_host.ToggleWatch(path);
    if (refusal != WatchRefusal::None)
        s_pfnAsk(Owner(), FormatResourceText(IDS_WATCH_REFUSED, {path, WatchRefusalText(refusal)}),
                 MB_OK | MB_ICONWARNING);
}
