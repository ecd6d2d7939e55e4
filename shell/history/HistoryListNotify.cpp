// CHistoryWnd, its list: the virtual list's text callback answered from the history's records,
// the search box filtering it as you type, and the answers the row commands ask of the window
// (CRowListHost).
#include "shell/history/HistoryWnd.h"

#include "engine/mirror/MirrorHistory.h"
#include "framework/Language.h"
#include "res/resource.h"
#include "shell/document/TallowboxDoc.h"
#include "shell/words/Wording.h"

#include <commctrl.h>

namespace {

// The 場所 and 確認 columns of the list (HistoryWnd.cpp's columns).
const int kPlaceColumn = 7, kCheckedColumn = 8;

// How it went, marked as the main list marks it; a failure with the reason its record names.
std::wstring ResultText(const HistoryEntry& entry) {
    if (entry.Is(HistoryEntry::kDamaged))
        return LoadResourceText(IDS_HISTORY_DAMAGED);
    if (entry.Is(HistoryEntry::kUnknownOriginal))
        return LoadResourceText(IDS_HISTORY_UNKNOWN_ORIGINAL);
    std::wstring text;
    if (entry.outcome == RowOutcome::Failed)
        text = LoadResourceText(IDS_MARK_FAILED);
    else if (entry.outcome == RowOutcome::Stopped)
        text = LoadResourceText(IDS_MARK_STOPPED);
    if (entry.Is(HistoryEntry::kAutomatic))
        text += LoadResourceText(IDS_MARK_AUTOMATIC);
    if (entry.Is(HistoryEntry::kUnchanged))
        text += LoadResourceText(IDS_MARK_UNCHANGED);
    text += LoadResourceText(entry.kind == JournalKind::Restore ? IDS_MARK_RESTORE : IDS_HISTORY_BACKUP);
    if (entry.outcome != RowOutcome::Failed || entry.error == ERROR_SUCCESS)
        return text;
    return FormatResourceText(IDS_RESULT_REASON, {text, SystemMessage(entry.error)});
}

// Where the version is kept: here, on the mirror, or in both places.
std::wstring PlaceText(const HistoryEntry& entry) {
    return LoadResourceText(entry.place == HistoryEntry::kBoth     ? IDS_PLACE_BOTH
                            : entry.place == HistoryEntry::kMirror ? IDS_PLACE_MIRROR
                                                                   : IDS_PLACE_HERE);
}

// What a backup added to the disk: what it wrote, its linked files being an earlier version's.
// A restore writes nothing into the backups; a copy no journal names says nothing of its links.
std::wstring AddedText(const HistoryEntry& entry) {
    if (entry.kind != JournalKind::Backup || entry.Is(HistoryEntry::kUnknownOriginal))
        return std::wstring();
    return SizeText(entry.bytes);
}

} // namespace

std::wstring CHistoryWnd::SearchText() const {
    HWND edit = GetDlgItem(IDC_HISTORY_SEARCH);
    const int length = ::GetWindowTextLengthW(edit);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    ::GetWindowTextW(edit, &text[0], length + 1);
    text.resize(static_cast<size_t>(length));
    return text;
}

void CHistoryWnd::ShowVersionsOf(const std::wstring& originalPath) {
    m_exactOriginal = originalPath;
    // The box shows the path; clearing it (or typing) lists everything again.
    ::SetDlgItemTextW(m_hWnd, IDC_HISTORY_SEARCH, originalPath.c_str());
    m_query.clear();
    ApplyFilter(false);
}

// With 内容 checked the box holds what to look for inside the versions: the names are not filtered.
void CHistoryWnd::OnSearchChanged() {
    const bool content = ::IsDlgButtonChecked(m_hWnd, IDC_HISTORY_CONTENT) == BST_CHECKED;
    const std::wstring text = content ? std::wstring() : SearchText();
    if (!m_exactOriginal.empty() && text == m_exactOriginal)
        return; // the box was set to the item's path: the versions stay listed
    const bool wasExact = !m_exactOriginal.empty();
    m_exactOriginal.clear();
    // A query that only grew narrows what is shown; anything else filters every entry again.
    const bool narrower =
        !wasExact && text.size() > m_query.size() && text.compare(0, m_query.size(), m_query) == 0;
    m_query = text;
    ApplyFilter(narrower);
}

void CHistoryWnd::ApplyFilter(bool onlyNarrower) {
    const std::vector<uint32_t> previous = std::move(m_shown);
    m_shown = FilterHistory(*m_history, m_query, m_exactOriginal, onlyNarrower ? &previous : nullptr);
    ShowRowsUnselected();
    ::InvalidateRect(m_list, nullptr, TRUE);
    ShowSummary();
}

// The list holds m_shown's rows, none selected or focused, scrolled to the top. Emptied first: a
// list of its own rows deselects each row by itself, which at 100,000 rows takes longer than a key.
void CHistoryWnd::ShowRowsUnselected() {
    ::SendMessageW(m_list, LVM_SETITEMCOUNT, 0, 0);
    ::SendMessageW(m_list, LVM_SETITEMCOUNT, m_shown.size(), 0);
}

void CHistoryWnd::OnGetDispInfo(NMLVDISPINFOW* info) {
    if (!(info->item.mask & LVIF_TEXT) || info->item.iItem < 0 ||
        static_cast<size_t>(info->item.iItem) >= m_shown.size() || info->item.cchTextMax <= 0)
        return;
    m_cellText =
        CellText(m_history->entries[m_shown[static_cast<size_t>(info->item.iItem)]], info->item.iSubItem);
    SetDispInfoText(info, m_cellText);
}

std::wstring CHistoryWnd::CellText(const HistoryEntry& entry, int column) const {
    const std::wstring& original = m_history->Original(entry);
    switch (column) {
    case 0:
        return HistoryDateText(entry.time);
    case 1:
        return HistoryTimeText(entry.time);
    case 2:
        return original.empty() ? m_history->texts.Text(entry.copyName) : LastComponent(original);
    case 3:
        return original.empty() ? LoadResourceText(IDS_HISTORY_UNKNOWN_FOLDER)
                                : WithoutLastComponent(original);
    case 4:
        return SizeText(entry.size);
    case 5:
        return AddedText(entry);
    case 6:
        return ResultText(entry);
    case kPlaceColumn:
        return PlaceText(entry);
    case kCheckedColumn:
        return CheckedText(entry);
    default:
        return std::wstring();
    }
}

std::vector<BackupRow> CHistoryWnd::SelectedRows(bool focusedFirst) const {
    std::vector<BackupRow> rows;
    const auto rowAt = [&](int item) {
        return RowOnDisk(m_history->entries[m_shown[static_cast<size_t>(item)]]);
    };
    const int focused = focusedFirst ? ListView_GetNextItem(m_list, -1, LVNI_FOCUSED | LVNI_SELECTED) : -1;
    if (focused >= 0 && static_cast<size_t>(focused) < m_shown.size())
        rows.push_back(rowAt(focused));
    int item = -1;
    while ((item = ListView_GetNextItem(m_list, item, LVNI_SELECTED)) >= 0)
        if (item != focused && static_cast<size_t>(item) < m_shown.size())
            rows.push_back(rowAt(item));
    return rows;
}

std::wstring CHistoryWnd::MomentText(const BackupRow& row) const {
    return HistoryDateText(row.time) + L" " + HistoryTimeText(row.time);
}

void CHistoryWnd::SetStatusText(const std::wstring& text) {
    ::SetDlgItemTextW(m_hWnd, IDC_HISTORY_SUMMARY, text.c_str());
}

std::wstring CHistoryWnd::BackupRoot() const {
    return m_doc.BackupRoot();
}

std::wstring CHistoryWnd::MirrorRoot() const {
    return m_doc.MirrorRoot();
}

// The row the commands get names the copy they open, restore or compare: the local one first.
BackupRow CHistoryWnd::RowOnDisk(const HistoryEntry& entry) const {
    BackupRow row = m_history->RowFor(entry, BackupRoot());
    if (!row.damaged)
        row.backupPath = VersionCopyOnDisk(*m_history, entry, BackupRoot(), MirrorRoot());
    return row;
}

bool CHistoryWnd::IsWatched(const std::wstring& path) const {
    return m_doc.IsWatched(path);
}

WatchRefusal CHistoryWnd::ToggleWatch(const std::wstring& path) {
    return m_doc.ToggleWatch(path);
}

void CHistoryWnd::QueueRestore(std::vector<BackupRow> rows, const std::wstring& folder) {
    m_doc.QueueRestore(std::move(rows), folder);
}

void CHistoryWnd::QueueTask(std::function<void(CBackupEngine& engine, CBackupHost& host)> task) {
    m_doc.QueueTask(std::move(task));
}

std::wstring CHistoryWnd::DiffToolPattern() const {
    return m_doc.DiffToolPattern();
}

std::vector<std::wstring> CHistoryWnd::LeftOutPatterns() const {
    return m_doc.LeftOutPatterns();
}
