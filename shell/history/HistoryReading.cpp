// CHistoryWnd, its reading: the loader's thread reads the history day by day and posts it in
// parts; the window shows each part as it comes, or, reading again, keeps showing the history it
// has until the new one is whole and then keeps the same rows selected and at the top.
#include "shell/history/HistoryWnd.h"

#include "engine/journal/StoredSize.h"
#include "engine/mirror/MirrorHistory.h"
#include "framework/Language.h"
#include "res/resource.h"
#include "shell/document/TallowboxDoc.h"
#include "shell/words/Wording.h"

#include <commctrl.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <tuple>

// What an entry stands for across two readings of the history: its moment, kind and copy.
struct HistoryViewKey {
    int64_t time = 0;
    JournalKind kind = JournalKind::Backup;
    std::wstring copy;
    bool operator<(const HistoryViewKey& other) const {
        return std::tie(time, kind, copy) < std::tie(other.time, other.kind, other.copy);
    }
    bool operator==(const HistoryViewKey& other) const {
        return time == other.time && kind == other.kind && copy == other.copy;
    }
};

namespace {

// A part is posted at the latest this long after the last one: the list grows while it is read.
const auto kPartInterval = std::chrono::milliseconds(150);

HistoryViewKey KeyOf(const CHistory& history, const HistoryEntry& entry) {
    return {entry.time, entry.kind, history.CopyPath(entry)};
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

// ---- The window's part ----

void CHistoryWnd::Reload() {
    m_loader.reset();
    ReadLedger(); // what the checks found, with every reading of the history
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
    ::EnableWindow(GetDlgItem(IDC_HISTORY_VERIFY), TRUE);
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
    std::set<HistoryViewKey> selected;
    HistoryViewKey focused, top;
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
    for (const HistoryViewKey& key : state.selected)
        moments.insert(key.time);
    moments.insert(state.focused.time);
    moments.insert(state.top.time);
    int top = -1;
    for (size_t index = 0; index < m_shown.size(); ++index) {
        const HistoryEntry& entry = m_history->entries[m_shown[index]];
        if (moments.count(entry.time) == 0)
            continue;
        const HistoryViewKey key = KeyOf(*m_history, entry);
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

void CHistoryWnd::OnMirrorRead(WPARAM generation, LPARAM unreachable) {
    if (generation != m_generation)
        return;
    m_mirrorUnreachable = unreachable != 0;
    ShowSummary();
}
