#include "shell/HistoryWnd.h"

#include "engine/Cleanup.h"
#include "engine/MirrorHistory.h"
#include "engine/Restore.h"
#include "framework/App.h"
#include "framework/Dpi.h"
#include "framework/Language.h"
#include "res/resource.h"
#include "shell/CleanupDlg.h"
#include "shell/MirrorCheckWnd.h"
#include "shell/TallowboxDoc.h"
#include "shell/Wording.h"
#include "shell/search/SearchResultsWnd.h"

#include <commctrl.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <tuple>

namespace {

// A part is posted at the latest this long after the last one: the list grows while it is read.
const auto kPartInterval = std::chrono::milliseconds(150);

struct ColumnSpec {
    UINT heading;
    int format;
    int width; // at 96 DPI
};

const ColumnSpec kColumns[] = {
    {IDS_COLUMN_DATE, LVCFMT_LEFT, 90},    {IDS_COLUMN_TIME, LVCFMT_LEFT, 50},
    {IDS_COLUMN_NAME, LVCFMT_LEFT, 150},   {IDS_COLUMN_ORIGINAL_FOLDER, LVCFMT_LEFT, 220},
    {IDS_COLUMN_SIZE, LVCFMT_RIGHT, 80},   {IDS_COLUMN_ADDED, LVCFMT_RIGHT, 80},
    {IDS_COLUMN_RESULT, LVCFMT_LEFT, 110},
    {IDS_COLUMN_PLACE, LVCFMT_LEFT, 60},
};
const int kPlaceColumn = 7;

// What an entry stands for across two readings of the history: its moment, kind and copy.
struct EntryKey {
    int64_t time = 0;
    JournalKind kind = JournalKind::Backup;
    std::wstring copy;
    bool operator<(const EntryKey& other) const {
        return std::tie(time, kind, copy) < std::tie(other.time, other.kind, other.copy);
    }
    bool operator==(const EntryKey& other) const {
        return time == other.time && kind == other.kind && copy == other.copy;
    }
};

EntryKey KeyOf(const CHistory& history, const HistoryEntry& entry) {
    return {entry.time, entry.kind, history.CopyPath(entry)};
}

// How it went, marked as the main list marks it.
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
    return text +
           LoadResourceText(entry.kind == JournalKind::Restore ? IDS_MARK_RESTORE : IDS_HISTORY_BACKUP);
}

// Where the version is kept: here, on the mirror, or in both places.
std::wstring PlaceText(const HistoryEntry& entry) {
    return LoadResourceText(entry.place == HistoryEntry::kBoth     ? IDS_PLACE_BOTH
                            : entry.place == HistoryEntry::kMirror ? IDS_PLACE_MIRROR
                                                                   : IDS_PLACE_HERE);
}

RECT RectInDialog(HWND dialog, int id) {
    RECT rect;
    ::GetWindowRect(::GetDlgItem(dialog, id), &rect);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// What a backup added to the disk: what it wrote, its linked files being an earlier version's.
// A restore writes nothing into the backups; a copy no journal names says nothing of its links.
std::wstring AddedText(const HistoryEntry& entry) {
    if (entry.kind != JournalKind::Backup || entry.Is(HistoryEntry::kUnknownOriginal))
        return std::wstring();
    return SizeText(entry.bytes);
}

} // namespace

// ---- The loader ----

struct CHistoryLoader::Shared {
    HWND target = nullptr;
    std::wstring root;
    std::wstring mirror; // empty: none
    WPARAM generation = 0;
    std::shared_ptr<const CHistory> earlier; // never changed: the window only reads it
    volatile LONG stop = 0;
    std::mutex mutex;
    std::condition_variable ended;
    bool finished = false;

    void Post(UINT message, CHistory* part) {
        if (!::PostMessageW(target, message, generation, reinterpret_cast<LPARAM>(part)))
            delete part; // the window is gone
    }

    void Run() {
        auto part = std::make_unique<CHistory>();
        auto lastPost = std::chrono::steady_clock::now() - kPartInterval;
        bool mirrorReadable = true;
        const std::vector<std::wstring> days =
            mirror.empty() ? HistoryDays(root) : HistoryDaysOfBoth(root, mirror, &mirrorReadable);
        if (!mirror.empty())
            ::PostMessageW(target, WM_HISTORY_MIRROR, generation, mirrorReadable ? 0 : 1);
        for (const std::wstring& day : days) {
            if (stop != 0)
                break;
            if (mirror.empty())
                ReadHistoryDay(root, day, *part, earlier.get());
            else // a mirror that cannot be reached now adds nothing, not even what it held before
                ReadHistoryDayOfBoth(root, mirrorReadable ? mirror : std::wstring(), day, *part,
                                     earlier.get());
            if (std::chrono::steady_clock::now() - lastPost >= kPartInterval) {
                Post(WM_HISTORY_PART, part.release());
                part = std::make_unique<CHistory>();
                lastPost = std::chrono::steady_clock::now();
            }
        }
        Post(WM_HISTORY_PART, part.release());
        Post(WM_HISTORY_DONE, nullptr);
        // What the disk really holds opens every stored file: the rows and the cleanup never wait for it.
        if (stop == 0) {
            auto measured = std::make_unique<CHistory>();
            measured->stored = MeasureStored(root, &stop);
            measured->storedMeasured = stop == 0;
            Post(WM_HISTORY_STORED, measured.release());
        }
        std::lock_guard<std::mutex> lock(mutex);
        finished = true;
        ended.notify_all();
    }
};

CHistoryLoader::CHistoryLoader(HWND target, std::wstring backupRoot, WPARAM generation,
                               std::shared_ptr<const CHistory> earlier, std::wstring mirrorRoot)
    : m_shared(std::make_shared<Shared>()) {
    m_shared->target = target;
    m_shared->root = std::move(backupRoot);
    m_shared->mirror = std::move(mirrorRoot);
    m_shared->generation = generation;
    m_shared->earlier = std::move(earlier);
    std::shared_ptr<Shared> shared = m_shared;
    m_thread = std::thread([shared] { shared->Run(); });
}

CHistoryLoader::~CHistoryLoader() {
    InterlockedExchange(&m_shared->stop, 1);
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    const bool ended =
        m_shared->ended.wait_for(lock, std::chrono::milliseconds(800), [this] { return m_shared->finished; });
    lock.unlock();
    if (ended)
        m_thread.join();
    else
        m_thread.detach(); // blocked in the file system: it ends by itself
}

// ---- The window ----

CHistoryWnd::CHistoryWnd(CTallowboxDoc& doc) : CDialog(IDD_HISTORY), m_doc(doc) {}

CHistoryWnd::~CHistoryWnd() {
    m_searchResults.reset();
    m_mirrorCheck.reset();
    m_loader.reset();
    if (m_hWnd != nullptr)
        ::DestroyWindow(m_hWnd);
}

// Opens a little below and to the right of the main window, so neither hides the other's title.
BOOL CHistoryWnd::Create(CWnd* owner) {
    return ShowModelessBeside(owner, IDR_MAINFRAME, 40);
}

BOOL CHistoryWnd::OnInitDialog() {
    m_list = GetDlgItem(IDC_HISTORY_LIST);
    m_commands.SetList(m_list);
    ::SendMessageW(m_list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    InsertColumns();
    ::EnableWindow(GetDlgItem(IDC_HISTORY_CLEANUP), FALSE); // until the history is read
    ::EnableWindow(GetDlgItem(IDC_HISTORY_VERIFY), FALSE);
    Layout();
    Reload();
    return TRUE;
}

void CHistoryWnd::InsertColumns() {
    const UINT dpi = DpiOfWindow(m_hWnd);
    int index = 0;
    for (const ColumnSpec& column : kColumns) {
        const std::wstring heading = LoadResourceText(column.heading);
        LVCOLUMNW header = {};
        header.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH;
        header.fmt = column.format;
        header.cx = Scale(column.width, dpi);
        header.pszText = const_cast<wchar_t*>(heading.c_str());
        ::SendMessageW(m_list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index++),
                       reinterpret_cast<LPARAM>(&header));
    }
}

// The search box and the summary keep their heights; the list takes the rest. Margins are
// dialog units, so they grow with the font at every scale.
void CHistoryWnd::Layout() {
    if (m_list == nullptr)
        return;
    RECT margins = {7, 7, 6, 4}; // edge, top, gap, summary height's extra
    ::MapDialogRect(m_hWnd, &margins);
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    const auto place = [](HWND control, int x, int y, int cx, int cy) {
        ::SetWindowPos(control, nullptr, x, y, cx > 0 ? cx : 0, cy > 0 ? cy : 0,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    };
    const auto rectOf = [this](int id) {
        RECT rect;
        ::GetWindowRect(GetDlgItem(id), &rect);
        ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    };
    const RECT button = rectOf(IDC_HISTORY_CLEANUP), search = rectOf(IDC_HISTORY_SEARCH),
               summary = rectOf(IDC_HISTORY_SUMMARY);
    const int buttonWidth = button.right - button.left;
    place(GetDlgItem(IDC_HISTORY_CLEANUP), client.right - margins.left - buttonWidth, button.top, buttonWidth,
          button.bottom - button.top);
    place(GetDlgItem(IDC_HISTORY_SEARCH), search.left, search.top,
          client.right - margins.left - buttonWidth - margins.right - search.left,
          search.bottom - search.top);
    const int summaryHeight = summary.bottom - summary.top;
    const int summaryTop = client.bottom - margins.bottom - summaryHeight;
    place(GetDlgItem(IDC_HISTORY_SUMMARY), margins.left, summaryTop, client.right - 2 * margins.left,
          summaryHeight);
    const int listTop = search.bottom + margins.bottom;
    place(m_list, margins.left, listTop, client.right - 2 * margins.left,
          summaryTop - margins.bottom - listTop);
    PlaceMirrorCheckButton();
}

// 照合 stands left of 整理, the search box ending before it.
void CHistoryWnd::PlaceMirrorCheckButton() {
    RECT gap = {6, 0, 0, 0};
    ::MapDialogRect(m_hWnd, &gap);
    const RECT cleanup = RectInDialog(m_hWnd, IDC_HISTORY_CLEANUP),
               check = RectInDialog(m_hWnd, IDC_HISTORY_VERIFY),
               search = RectInDialog(m_hWnd, IDC_HISTORY_SEARCH);
    const int width = check.right - check.left, left = cleanup.left - gap.left - width;
    ::SetWindowPos(GetDlgItem(IDC_HISTORY_VERIFY), nullptr, left, cleanup.top, width,
                   cleanup.bottom - cleanup.top, SWP_NOZORDER | SWP_NOACTIVATE);
    const RECT content = RectInDialog(m_hWnd, IDC_HISTORY_CONTENT); // 内容 just left of 照合
    const int contentLeft = left - gap.left - (content.right - content.left);
    ::SetWindowPos(GetDlgItem(IDC_HISTORY_CONTENT), nullptr, contentLeft, content.top, 0, 0,
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
    const int searchWidth = contentLeft - gap.left - search.left;
    ::SetWindowPos(GetDlgItem(IDC_HISTORY_SEARCH), nullptr, 0, 0, searchWidth > 0 ? searchWidth : 0,
                   search.bottom - search.top, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
}

LRESULT CHistoryWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        Layout();
        return 0;
    case WM_GETMINMAXINFO: {
        const UINT dpi = DpiOfWindow(m_hWnd);
        reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {Scale(360, dpi), Scale(200, dpi)};
        return 0;
    }
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->hwndFrom == m_list && header->code == LVN_GETDISPINFOW)
            OnGetDispInfo(reinterpret_cast<NMLVDISPINFOW*>(lParam));
        else
            m_commands.HandleListNotify(header);
        return 0;
    }
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wParam) == m_list) {
            m_commands.ShowMenu(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
            return 0;
        }
        break;
    case WM_COMMAND:
        if ((LOWORD(wParam) == IDC_HISTORY_SEARCH && HIWORD(wParam) == EN_CHANGE) ||
            (LOWORD(wParam) == IDC_HISTORY_CONTENT && HIWORD(wParam) == BN_CLICKED)) {
            OnSearchChanged();
            return 0;
        }
        if (LOWORD(wParam) == IDC_HISTORY_CLEANUP && HIWORD(wParam) == BN_CLICKED) {
            OnCleanup();
            return 0;
        }
        if (LOWORD(wParam) == IDC_HISTORY_VERIFY && HIWORD(wParam) == BN_CLICKED) {
            OnMirrorCheck();
            return 0;
        }
        break;
    case WM_HISTORY_PART:
        OnHistoryPart(wParam, lParam);
        return 0;
    case WM_HISTORY_STORED:
        OnHistoryStored(wParam, lParam);
        return 0;
    case WM_HISTORY_DONE:
        OnHistoryDone(wParam);
        return 0;
    case WM_HISTORY_MIRROR:
        OnMirrorRead(wParam, lParam);
        return 0;
    case WM_DESTROY:
        m_searchResults.reset();
        m_mirrorCheck.reset();
        m_loader.reset();
        break;
    default:
        break;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

BOOL CHistoryWnd::PreTranslateMessage(MSG* pMsg) {
    if (m_commands.HandleListKey(*pMsg))
        return TRUE;
    // Esc stops the running work, as in the main window; with nothing running it closes.
    if (pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_ESCAPE && m_doc.IsBackingUp()) {
        m_doc.StopBackups();
        return TRUE;
    }
    return CDialog::PreTranslateMessage(pMsg);
}

// The search reads a history no reading changes: the one shown once whole, else a copy of it so far.
void CHistoryWnd::OnOK() {
    if (::IsDlgButtonChecked(m_hWnd, IDC_HISTORY_CONTENT) != BST_CHECKED || SearchText().empty())
        return;
    std::shared_ptr<CHistory> history = m_history;
    if (!m_loaded) {
        history = std::make_shared<CHistory>();
        AppendHistory(*history, *m_history);
    }
    m_searchResults.reset(new CSearchResultsWnd(history, m_shown, SearchText(), BackupRoot(), MirrorRoot()));
    if (!m_searchResults->Create(this))
        m_searchResults.reset();
}

void CHistoryWnd::OnCancel() {
    ::DestroyWindow(m_hWnd);
}

void CHistoryWnd::PostNcDestroy() {
    m_list = nullptr;
}

void CHistoryWnd::Reload() {
    m_loader.reset();
    if (m_loaded) {
        // The list goes on showing what was read until the new reading is whole.
        m_readingAgain = std::make_shared<CHistory>();
        m_loader.reset(
            new CHistoryLoader(m_hWnd, m_doc.BackupRoot(), ++m_generation, m_history, MirrorRoot()));
        return;
    }
    m_readingAgain.reset();
    m_history = std::make_shared<CHistory>();
    m_shown.clear();
    m_loaded = false;
    ::SendMessageW(m_list, LVM_SETITEMCOUNT, 0, 0);
    ::EnableWindow(GetDlgItem(IDC_HISTORY_CLEANUP), FALSE);
    ::SetDlgItemTextW(m_hWnd, IDC_HISTORY_SUMMARY, LoadResourceText(IDS_HISTORY_READING).c_str());
    m_loader.reset(new CHistoryLoader(m_hWnd, m_doc.BackupRoot(), ++m_generation, nullptr, MirrorRoot()));
}

void CHistoryWnd::OnHistoryPart(WPARAM generation, LPARAM lParam) {
    std::unique_ptr<CHistory> part(reinterpret_cast<CHistory*>(lParam));
    if (generation != m_generation || !part)
        return;
    if (m_readingAgain) {
        AppendHistory(*m_readingAgain, *part);
        return;
    }
    const size_t first = m_history->entries.size();
    AppendHistory(*m_history, *part);
    std::vector<uint32_t> added;
    for (size_t index = first; index < m_history->entries.size(); ++index)
        added.push_back(static_cast<uint32_t>(index));
    const std::vector<uint32_t> kept = FilterHistory(*m_history, m_query, m_exactOriginal, &added);
    m_shown.insert(m_shown.end(), kept.begin(), kept.end());
    ::SendMessageW(m_list, LVM_SETITEMCOUNT, m_shown.size(), LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    ShowSummary();
}

// The loader goes on to measure what the disk holds; it is let go when that arrives.
void CHistoryWnd::OnHistoryDone(WPARAM generation) {
    if (generation != m_generation)
        return;
    if (m_readingAgain) {
        ShowReadAgain();
        return;
    }
    m_loaded = true;
    ::EnableWindow(GetDlgItem(IDC_HISTORY_CLEANUP), TRUE);
    ::EnableWindow(GetDlgItem(IDC_HISTORY_VERIFY), !MirrorRoot().empty());
    ShowSummary();
}

void CHistoryWnd::OnHistoryStored(WPARAM generation, LPARAM lParam) {
    std::unique_ptr<CHistory> measured(reinterpret_cast<CHistory*>(lParam));
    if (generation != m_generation || !measured)
        return;
    m_loader.reset();
    m_history->stored = measured->stored;
    m_history->storedMeasured = measured->storedMeasured;
    ShowSummary();
}

// Which entries the list shows selected, focused and at its top, by what they are.
struct CHistoryWnd::ViewState {
    std::set<EntryKey> selected;
    EntryKey focused, top;
    bool hasFocus = false, scrolled = false;
};

CHistoryWnd::ViewState CHistoryWnd::SaveViewState() const {
    ViewState state;
    const auto keyAt = [this](int item) {
        return KeyOf(*m_history, m_history->entries[m_shown[static_cast<size_t>(item)]]);
    };
    int item = -1;
    while ((item = ListView_GetNextItem(m_list, item, LVNI_SELECTED)) >= 0)
        if (static_cast<size_t>(item) < m_shown.size())
            state.selected.insert(keyAt(item));
    const int focused = ListView_GetNextItem(m_list, -1, LVNI_FOCUSED);
    if ((state.hasFocus = focused >= 0 && static_cast<size_t>(focused) < m_shown.size()))
        state.focused = keyAt(focused);
    // At the very top the list stays there, so new backups show; scrolled down, it keeps its row.
    const int top = ListView_GetTopIndex(m_list);
    if ((state.scrolled = top > 0 && static_cast<size_t>(top) < m_shown.size()))
        state.top = keyAt(top);
    return state;
}

void CHistoryWnd::RestoreViewState(const ViewState& state) {
    // Only entries of a moment one of them has are worth a closer look.
    std::set<int64_t> moments;
    for (const EntryKey& key : state.selected)
        moments.insert(key.time);
    moments.insert(state.focused.time);
    moments.insert(state.top.time);
    int top = -1;
    for (size_t index = 0; index < m_shown.size(); ++index) {
        const HistoryEntry& entry = m_history->entries[m_shown[index]];
        if (moments.count(entry.time) == 0)
            continue;
        const EntryKey key = KeyOf(*m_history, entry);
        const int item = static_cast<int>(index);
        if (state.selected.count(key) != 0)
            ListView_SetItemState(m_list, item, LVIS_SELECTED, LVIS_SELECTED);
        if (state.hasFocus && key == state.focused) {
            ListView_SetItemState(m_list, item, LVIS_FOCUSED, LVIS_FOCUSED);
            ListView_SetSelectionMark(m_list, item);
        }
        if (state.scrolled && key == state.top)
            top = item;
    }
    RECT row;
    if (top < 0 || !ListView_GetItemRect(m_list, 0, &row, LVIR_BOUNDS) || row.bottom <= row.top)
        return;
    const int rows = top - ListView_GetTopIndex(m_list);
    ListView_Scroll(m_list, 0, rows * (row.bottom - row.top));
}

void CHistoryWnd::ShowReadAgain() {
    const ViewState state = SaveViewState();
    m_history = std::move(m_readingAgain);
    m_shown = FilterHistory(*m_history, m_query, m_exactOriginal);
    ShowRowsUnselected();
    RestoreViewState(state);
    ::InvalidateRect(m_list, nullptr, TRUE);
    ShowSummary();
}

// What the backups take, how many records are listed, and how many lines could not be read.
void CHistoryWnd::ShowSummary() {
    const CHistory::Totals totals = m_history->ComputeTotals();
    std::wstring text = FormatResourceText(
        IDS_HISTORY_SUMMARY, {std::to_wstring(m_shown.size()), std::to_wstring(m_history->entries.size()),
                              std::to_wstring(totals.copies), SizeText(totals.bytes)});
    if (totals.savedByLinks > 0)
        text += FormatResourceText(IDS_HISTORY_SAVED_BY_LINKS, {SizeText(totals.savedByLinks)});
    if (totals.oldest != 0)
        text += FormatResourceText(IDS_HISTORY_OLDEST, {HistoryDateText(totals.oldest)});
    if (m_history->unreadableLines > 0)
        text +=
            FormatResourceText(IDS_HISTORY_UNREADABLE_LINES, {std::to_wstring(m_history->unreadableLines)});
    if (m_history->unreadableJournals > 0)
        text += FormatResourceText(IDS_HISTORY_UNREADABLE_JOURNALS,
                                   {std::to_wstring(m_history->unreadableJournals)});
    if (m_mirrorUnreachable)
        text += LoadResourceText(IDS_HISTORY_MIRROR_UNREACHABLE);
    if (!m_loaded)
        text += LoadResourceText(IDS_HISTORY_STILL_READING);
    ::SetDlgItemTextW(m_hWnd, IDC_HISTORY_SUMMARY, text.c_str());
}

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
    const size_t room = static_cast<size_t>(info->item.cchTextMax) - 1;
    const size_t length = m_cellText.size() < room ? m_cellText.size() : room;
    m_cellText.copy(info->item.pszText, length);
    info->item.pszText[length] = L'\0';
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

void CHistoryWnd::OnMirrorRead(WPARAM generation, LPARAM unreachable) {
    if (generation != m_generation)
        return;
    m_mirrorUnreachable = unreachable != 0;
    ShowSummary();
}

// The check reads the history as it was read now, on a thread of its own, in a window of its own.
void CHistoryWnd::OnMirrorCheck() {
    if (!m_loaded || MirrorRoot().empty())
        return;
    m_mirrorCheck.reset(new CMirrorCheckWnd(m_history, BackupRoot(), MirrorRoot()));
    if (!m_mirrorCheck->Create(this))
        m_mirrorCheck.reset();
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

// The dialog shows what would go; on OK the copies go on the backup worker (Esc stops it), from
// the history as it was read: a reading started meanwhile fills a history of its own.
void CHistoryWnd::OnCleanup() {
    if (!m_loaded)
        return;
    CCleanupDlg dialog(*m_history, BackupRoot(), this);
    if (dialog.DoModal() != IDOK || dialog.Plan().entries.empty())
        return;
    std::shared_ptr<const CHistory> history = m_history;
    const CleanupPlan plan = dialog.Plan();
    const std::wstring root = BackupRoot();
    m_doc.QueueTask([history, plan, root](CBackupEngine& engine, CBackupHost& host) {
        SYSTEMTIME now;
        ::GetLocalTime(&now);
        RunCleanup(host, root, *history, plan, engine.StopFlag(), now);
    });
}
