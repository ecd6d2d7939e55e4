// The watcher on a real disk with the system's real change notifications: one report per save
// after the settle time, whatever the save's shape; temporaries, excluded folders and a missing
// item make none; the watch list read as untrusted; the refusals; one program per list.
#include <gtest/gtest.h>

#include <windows.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "EngineTestSupport.h"
#include "common/TempFolder.h"
#include "engine/watch/Watcher.h"

namespace {

const DWORD kSettleMs = 1000; // well above a loaded machine's pause between two writes of one save
// Long enough for notifications under an emulator, and for a second report that should not come.
const DWORD kReportWaitMs = 5000;
const DWORD kQuietMs = 1500;

// Records the reports; waits for them on the test's thread.
class RecordingWatchHost : public CWatchHost {
public:
    void ItemSettled(const std::wstring& path) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_settled.push_back(path);
        m_changed.notify_all();
    }
    void WatchStatesChanged() override {}
    // Waits until count reports came (or the time is up), then a quiet while for more; the number seen.
    size_t Settled(size_t count, DWORD waitMs = kReportWaitMs) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::milliseconds(waitMs),
                           [&] { return m_settled.size() >= count; });
        lock.unlock();
        Sleep(kQuietMs);
        lock.lock();
        const size_t seen = m_settled.size();
        m_settled.clear();
        return seen;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::wstring> m_settled;
};

WatchState StateOf(const CWatcher& watcher, const std::wstring& path) {
    for (const WatchInfo& info : watcher.Snapshot())
        if (info.path == path)
            return info.state;
    return WatchState::NotWatchable;
}

bool WaitForState(const CWatcher& watcher, const std::wstring& path, WatchState state) {
    for (int tries = 0; tries < 100 && StateOf(watcher, path) != state; ++tries)
        Sleep(50);
    return StateOf(watcher, path) == state;
}

struct Watched {
    TempFolder temp;
    std::string backups = temp / "backups", data = temp / "data";
};

} // namespace

TEST(Watcher, OneReportPerSaveWhateverItsShape) {
    Watched folders;
    const std::string file = folders.data + "\\report.docx";
    ASSERT_TRUE(WriteFileText(file, "first"));
    RecordingWatchHost host;
    CWatcher watcher(host, W(folders.backups), {}, kSettleMs);
    ASSERT_EQ(WatchRefusal::None, watcher.Add(W(file)));
    watcher.Start();
    EXPECT_EQ(1u, host.Settled(1)) << "every item once at the start";
    struct Case {
        const char* what;
        std::function<void()> change;
        size_t reports;
    };
    const Case cases[] = {
        {"saved once", [&] { WriteFileText(file, "second"); }, 1},
        {"saved 50 times in a second",
         [&] {
             for (int save = 0; save < 50; ++save, Sleep(20))
                 WriteFileText(file, "save " + std::to_string(save));
         },
         1},
        {"saved by renaming a temporary over it",
         [&] {
             WriteFileText(folders.data + "\\~WRL0001.tmp", "renamed in");
             DeleteFileA(file.c_str());
             MoveFileA((folders.data + "\\~WRL0001.tmp").c_str(), file.c_str());
         },
         1},
        {"only the editor's temporaries and other files",
         [&] {
             WriteFileText(folders.data + "\\~$report.docx", "owner");
             WriteFileText(folders.data + "\\other.txt", "x");
             DeleteFileA((folders.data + "\\~$report.docx").c_str());
         },
         0},
        {"busy: tried again after the settle time", [&] { watcher.RetryLater(W(file)); }, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.change();
        EXPECT_EQ(c.reports, host.Settled(c.reports));
    }
    std::string content;
    ASSERT_TRUE(ReadFileText(file, &content));
    EXPECT_EQ("renamed in", content);

    // Gone: waits and says so, no report; made again: watched and reported once.
    ASSERT_TRUE(DeleteFileA(file.c_str()));
    EXPECT_TRUE(WaitForState(watcher, W(file), WatchState::WaitingForItem));
    EXPECT_EQ(0u, host.Settled(1, kQuietMs));
    ASSERT_TRUE(WriteFileText(file, "back"));
    EXPECT_EQ(1u, host.Settled(1));
    EXPECT_EQ(WatchState::Watching, StateOf(watcher, W(file)));

    // No longer watched: out of the list file, and a save makes no report.
    EXPECT_TRUE(watcher.Remove(W(file)));
    EXPECT_TRUE(ReadWatchList(W(folders.backups)).paths.empty());
    ASSERT_TRUE(WriteFileText(file, "after"));
    EXPECT_EQ(0u, host.Settled(1, kQuietMs));
}

TEST(Watcher, FolderChangesLeftOutByPatternMakeNone) {
    Watched folders;
    ASSERT_TRUE(WriteFileText(folders.data + "\\node_modules\\lib\\index.js", "1"));
    ASSERT_TRUE(WriteFileText(folders.data + "\\src\\main.c", "1"));
    RecordingWatchHost host;
    CWatcher watcher(host, W(folders.backups), {L"node_modules"}, kSettleMs);
    ASSERT_EQ(WatchRefusal::None, watcher.Add(W(folders.data)));
    watcher.Start();
    EXPECT_EQ(1u, host.Settled(1));
    ASSERT_TRUE(WriteFileText(folders.data + "\\node_modules\\lib\\index.js", "2"));
    ASSERT_TRUE(WriteFileText(folders.data + "\\node_modules\\new\\a.js", "2"));
    ASSERT_TRUE(WriteFileText(folders.data + "\\src\\.~lock.main.odt#", "lock"));
    EXPECT_EQ(0u, host.Settled(1, kQuietMs));
    ASSERT_TRUE(WriteFileText(folders.data + "\\src\\main.c", "2"));
    EXPECT_EQ(1u, host.Settled(1));
    EXPECT_TRUE(watcher.Snapshot().at(0).isFolder);

    // The folder goes and comes back: it waits, then its new tree is watched.
    RemoveTree(folders.data);
    EXPECT_TRUE(WaitForState(watcher, W(folders.data), WatchState::WaitingForItem));
    EXPECT_EQ(0u, host.Settled(1, kQuietMs));
    ASSERT_TRUE(WriteFileText(folders.data + "\\src\\main.c", "3"));
    EXPECT_EQ(1u, host.Settled(1));
    ASSERT_TRUE(WriteFileText(folders.data + "\\src\\main.c", "4"));
    EXPECT_EQ(1u, host.Settled(1));
}

TEST(Watcher, RefusedItems) {
    Watched folders;
    ASSERT_TRUE(WriteFileText(folders.backups + "\\2026-1207\\1015\\a.txt", "copy"));
    ASSERT_TRUE(WriteFileText(folders.data + "\\a.txt", "item"));
    const std::wstring root = W(folders.backups);
    struct Case {
        std::wstring path;
        WatchRefusal refusal;
    };
    const Case cases[] = {{root, WatchRefusal::BackupsFolder},
                          {UpperCase(root) + L"\\", WatchRefusal::BackupsFolder},
                          {root + L"\\2026-1207\\1015\\a.txt", WatchRefusal::InsideBackups},
                          {root + L"\\2026-1207\\..\\x", WatchRefusal::NotFullPath},
                          {W(folders.temp.path()), WatchRefusal::ContainsBackups},
                          {L"C:\\", WatchRefusal::DriveRoot},
                          {L"\\\\server\\share", WatchRefusal::DriveRoot},
                          {L"data\\a.txt", WatchRefusal::NotFullPath},
                          {W(folders.data) + L"\\CON", WatchRefusal::NotFullPath},
                          {W(folders.data) + L"\\missing.txt", WatchRefusal::Missing},
                          {W(folders.data) + L"\\a.txt", WatchRefusal::None}};
    RecordingWatchHost host;
    CWatcher watcher(host, root, {}, kSettleMs);
    for (const Case& c : cases) {
        SCOPED_TRACE(N(c.path));
        EXPECT_EQ(c.refusal, CheckWatchable(c.path, root));
        EXPECT_EQ(c.refusal, watcher.Add(c.path));
        EXPECT_EQ(c.refusal == WatchRefusal::None, watcher.IsWatched(c.path));
        EXPECT_EQ(c.refusal == WatchRefusal::None, WatchRefusalText(c.refusal).empty());
    }
    EXPECT_EQ(1u, watcher.Count());
}

TEST(Watcher, DamagedOrHostileListLinesSkipped) {
    Watched folders;
    ASSERT_TRUE(WriteFileText(folders.data + "\\kept.txt", "item"));
    ASSERT_TRUE(MakeFolders(folders.backups));
    const std::string hostile = folders.backups + "\\2026-1207\\planted.txt";
    const std::string list = "#Tallowbox-watch 1\r\n" + folders.data + "\\kept.txt\r\n" + hostile + "\n" +
                             "\xFF\xFE garbage\n" + "relative\\path\n" + "C:\\\n\n" + folders.data +
                             "\\gone\\later.txt\n" + folders.data + "\\KEPT.TXT\n";
    ASSERT_TRUE(WriteFileText(folders.backups + "\\Tallowbox-watch.tsv", list));
    RecordingWatchHost host;
    CWatcher watcher(host, W(folders.backups), {}, kSettleMs);
    watcher.Start();
    EXPECT_EQ(1u, host.Settled(1)) << "the missing item is waited for, not reported";
    EXPECT_EQ(5u, watcher.SkippedLines());
    ASSERT_EQ(2u, watcher.Count());
    EXPECT_EQ(WatchState::Watching, StateOf(watcher, W(folders.data + "\\kept.txt")));
    EXPECT_EQ(WatchState::WaitingForItem, StateOf(watcher, W(folders.data + "\\gone\\later.txt")));
    EXPECT_FALSE(FileExists(hostile));
    EXPECT_FALSE(FolderExists(folders.backups + "\\2026-1207"));

    // A watch added before the list is read keeps the list's items (the refused lines dropped).
    ASSERT_TRUE(WriteFileText(folders.backups + "\\Tallowbox-watch.tsv", list));
    CWatcher early(host, W(folders.backups), {}, kSettleMs);
    ASSERT_EQ(WatchRefusal::None, early.Add(W(folders.data)));
    EXPECT_EQ(5u, early.SkippedLines());
    EXPECT_EQ(3u, ReadWatchList(W(folders.backups)).paths.size());

    // Another version's list is not read at all.
    EXPECT_EQ(3u,
              ParseWatchList("#Tallowbox-watch 2\n" + folders.data + "\\kept.txt\nx\ny\n", W(folders.backups))
                  .skippedLines);
}

TEST(Watcher, OnlyOneProgramWatchesAList) {
    Watched folders;
    const std::string file = folders.data + "\\shared.txt";
    ASSERT_TRUE(WriteFileText(file, "1"));
    RecordingWatchHost firstHost, secondHost;
    auto first =
        std::make_unique<CWatcher>(firstHost, W(folders.backups), std::vector<std::wstring>(), kSettleMs);
    ASSERT_EQ(WatchRefusal::None, first->Add(W(file)));
    first->Start();
    EXPECT_EQ(1u, firstHost.Settled(1));
    CWatcher second(secondHost, W(folders.backups), {}, kSettleMs);
    second.Start();
    EXPECT_TRUE(WaitForState(second, W(file), WatchState::OtherProgram));
    EXPECT_TRUE(first->OwnsList());
    EXPECT_FALSE(second.OwnsList());

    ASSERT_TRUE(WriteFileText(file, "2"));
    EXPECT_EQ(1u, firstHost.Settled(1));
    EXPECT_EQ(0u, secondHost.Settled(1, 0));

    // The second's watch list change reaches the first, which watches it.
    const std::string added = folders.data + "\\added.txt";
    ASSERT_TRUE(WriteFileText(added, "1"));
    ASSERT_EQ(WatchRefusal::None, second.Add(W(added)));
    EXPECT_EQ(1u, firstHost.Settled(1)) << "the new item reported once";
    EXPECT_TRUE(first->IsWatched(W(added)));

    // The first ends: the second takes over, reports each item once, then every save.
    first.reset();
    EXPECT_EQ(2u, secondHost.Settled(2));
    EXPECT_TRUE(second.OwnsList());
    ASSERT_TRUE(WriteFileText(added, "2"));
    EXPECT_EQ(1u, secondHost.Settled(1));
}
