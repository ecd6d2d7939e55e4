// The cleanup on a real backups folder: which copies the plan takes from a history read back from
// journals, their move into the Recycle Bin (under Wine the XDG trash that CTest points at the
// build folder), the journal and the emptied folders, a link inside a copy, and a stop.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "EngineTestSupport.h"
#include "common/TempFolder.h"
#include "engine/journal/Cleanup.h"
#include "engine/journal/CopyRemoval.h"

namespace {

class CleanupTest : public ::testing::Test {
protected:
    CleanupTest() : m_root(W(m_temp / "backups")), m_stamp(std::to_string(GetTickCount64())) {
        WriteFileText(m_temp / "outside\\keep.txt", "outside");
    }
    ~CleanupTest() override {
        for (const std::string& name : m_trashed) {
            RemoveUnixLink(TrashFolder() + "\\files\\" + name + "\\link");
            RemoveCopyForGood(W(TrashFolder() + "\\files\\" + name));
            DeleteFileA((TrashFolder() + "\\info\\" + name + ".trashinfo").c_str());
        }
    }
    static std::string TrashFolder() {
        char unixPath[MAX_PATH] = "";
        GetEnvironmentVariableA("XDG_DATA_HOME", unixPath, MAX_PATH);
        return WindowsPathOfBuildFile(unixPath) + "\\Trash";
    }
    // A copy made at the moment, with its journal record; returns its path below the root.
    std::string Copy(SYSTEMTIME at, const std::string& name, const std::string& original,
                     RowOutcome outcome = RowOutcome::Succeeded) {
        JournalRecord record;
        record.time = at;
        record.outcome = outcome;
        record.bytes = 10;
        record.original = W(original);
        record.copy = FormatTimeStampText(at).substr(1) + L"\\" + W(Named(name));
        EXPECT_TRUE(WriteWideFile(m_root + L"\\" + record.copy, "0123456789"));
        if (!original.empty()) { // else a copy no journal names
            EXPECT_EQ(DWORD(ERROR_SUCCESS), AppendJournalRecord(m_root, DayFolderName(at), record));
        }
        return N(record.copy);
    }
    static std::string TrashedName(const std::string& copy) { return copy.substr(copy.rfind('\\') + 1); }
    std::string Named(const std::string& name) const { return name + "-" + m_stamp; }
    std::vector<std::string> Planned(const CleanupPlan& plan) const {
        std::vector<std::string> paths;
        for (uint32_t index : plan.entries)
            paths.push_back(N(m_history->CopyPath(m_history->entries[index])));
        std::sort(paths.begin(), paths.end());
        return paths;
    }
    void Read() {
        m_history = std::make_unique<CHistory>();
        ReadHistory(m_root, *m_history, nullptr, [](size_t) {});
    }

    TempFolder m_temp;
    const std::wstring m_root;
    const std::string m_stamp;
    std::unique_ptr<CHistory> m_history;
    RecordingHost m_host;
    std::vector<std::string> m_trashed;
};

} // namespace

TEST_F(CleanupTest, OldCopiesGoToTheRecycleBinAndEachItemsNewestBackupStays) {
    const std::string a = "C:\\data\\a.txt", b = "C:\\data\\b.txt", c = "C:\\data\\c.txt";
    const std::vector<std::string> going = {
        Copy(At(2003, 1, 1, 9, 0), "b1", b),                      // older than b's newest of another case
        Copy(At(2004, 1, 1, 10, 0), "a1", a),                     // older than a's newest
        Copy(At(2004, 2, 1, 10, 0), "a2", a),                     // two in one day: the day stays
        Copy(At(2004, 2, 1, 11, 0), "c2", c, RowOutcome::Failed), // newer, but failed
    };
    const std::vector<std::string> staying = {
        Copy(At(2003, 2, 1, 9, 0), "b2", "c:\\DATA\\B.TXT"),  Copy(At(2002, 1, 1, 9, 0), "unknown1", ""),
        Copy(At(2002, 1, 1, 9, 0), "unknown2", ""),           Copy(At(2004, 1, 15, 9, 0), "c1", c),
        Copy(At(2004, 2, 1, 12, 0), "d1", "C:\\data\\d.txt"), Copy(At(2004, 6, 1, 9, 0), "a4", a)};
    // A copy that goes takes its manifest with it (its day keeps only its journal, below).
    ASSERT_TRUE(WriteFileText(m_temp / "backups\\2004-0101\\Tallowbox-manifests\\1000\\" +
                                  TrashedName(going[1]) + ".tsv",
                              "#Tallowbox-manifest 1\n"));
    // A link inside a copy that goes: the link goes, never what it points to.
    const std::string inside = m_temp / ("backups\\" + going[1]) + "\\link";
    ASSERT_TRUE(DeleteFileA((m_temp / ("backups\\" + going[1])).c_str()) &&
                MakeFolders(m_temp / ("backups\\" + going[1])));
    UnixSymlink link(inside, "../../../../outside");
    ASSERT_TRUE(link.made());
    Read();

    const CleanupPlan plan = PlanCleanup(*m_history, ToTicks(At(2004, 5, 1, 0, 0)));
    std::vector<std::string> expected = going;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, Planned(plan)) << "old copies of items with a newer one";
    EXPECT_EQ(4u, plan.copies);
    EXPECT_EQ(40u, plan.bytes);
    const SYSTEMTIME kept = FromTicks(plan.oldestKept);
    EXPECT_EQ(20020101, kept.wYear * 10000 + kept.wMonth * 100 + kept.wDay) << "the unknown copies stay";

    const CleanupResult result = RunCleanup(m_host, m_root, *m_history, plan, nullptr, At(2005, 1, 1, 8, 0));
    for (const std::string& path : going)
        m_trashed.push_back(TrashedName(path));
    EXPECT_EQ(4u, result.removed);
    EXPECT_EQ(0u, result.failed);
    EXPECT_EQ("4 個のバックアップをごみ箱に移しました（" + N(SizeText(40)) + " 空きました）",
              m_host.statusTexts.back());
    for (const std::string& path : going)
        EXPECT_TRUE(FileExists(TrashFolder() + "\\files\\" + TrashedName(path)) ||
                    FolderExists(TrashFolder() + "\\files\\" + TrashedName(path)))
            << path << " in the Recycle Bin";
    for (const std::string& path : staying)
        EXPECT_EQ("0123456789", ReadWhole(m_temp / ("backups\\" + path)));
    EXPECT_EQ("outside", ReadWhole(m_temp / "outside\\keep.txt")) << "the link's target untouched";
    EXPECT_EQ(std::vector<std::string>{N(kJournalName)}, ListFolder(m_temp / "backups\\2004-0101"))
        << "a day with no copy left keeps its journal";
    EXPECT_FALSE(FolderExists(m_temp / "backups\\2004-0201\\1000")) << "an emptied minute";
    EXPECT_TRUE(FolderExists(m_temp / "backups\\2004-0201\\1200"));

    Read();
    EXPECT_TRUE(PlanCleanup(*m_history, ToTicks(At(2004, 5, 1, 0, 0))).entries.empty())
        << "the journal says the copies went";
    EXPECT_EQ(staying.size(), m_history->entries.size());

    // A copy taken back from the Recycle Bin is listed again, with its origin.
    ASSERT_TRUE(WriteFileText(m_temp / ("backups\\" + going[1]), "back"));
    Read();
    ASSERT_EQ(staying.size() + 1, m_history->entries.size());
    const auto back =
        std::find_if(m_history->entries.begin(), m_history->entries.end(),
                     [&](const HistoryEntry& entry) { return N(m_history->CopyPath(entry)) == going[1]; });
    ASSERT_TRUE(back != m_history->entries.end());
    EXPECT_EQ(W(a), m_history->Original(*back));
}

TEST_F(CleanupTest, AStopEndsTheRunAndAFinalRemovalFollowsNoLink) {
    struct StoppingHost : RecordingHost {
        BOOL stop = FALSE;
        void ShowCopying(StatusCode activity, const std::wstring& path) override {
            RecordingHost::ShowCopying(activity, path);
            stop = TRUE; // the copy under way still goes
        }
    } host;
    for (int minute = 0; minute < 3; ++minute)
        Copy(At(2004, 1, 1, 10, minute), "a" + std::to_string(minute), "C:\\data\\a.txt");
    Read();
    const CleanupPlan plan = PlanCleanup(*m_history, ToTicks(At(2004, 5, 1, 0, 0)));
    ASSERT_EQ(2u, plan.copies);
    const CleanupResult result = RunCleanup(host, m_root, *m_history, plan, &host.stop, At(2005, 1, 1, 8, 0));
    m_trashed.push_back(Named("a1"));
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(1u, result.removed);
    EXPECT_EQ((std::vector<std::string>{"1000", "1002", N(kJournalName)}),
              ListFolder(m_temp / "backups\\2004-0101"));
    EXPECT_EQ("整理を中止しました。1 個のバックアップをごみ箱に移しました（" + N(SizeText(10)) +
                  " 空きました）",
              host.statusTexts.back());

    // Where the disk has no Recycle Bin: the copy's content goes, a link inside as a link.
    const std::string copy = m_temp / "backups\\2004-0101\\1000\\folder";
    ASSERT_TRUE(WriteFileWithAttributes(copy + "\\sub\\file.txt", "x", FILE_ATTRIBUTE_READONLY));
    UnixSymlink link(copy + "\\sub\\link", "../../../../../outside");
    ASSERT_TRUE(link.made());
    const DWORD error = RemoveCopyForGood(W(copy));
    EXPECT_FALSE(FileExists(copy + "\\sub\\file.txt")) << "a read-only file goes too";
    // Wine 8 cannot remove a link to a folder made on the Unix side: then it alone stays, and the removal
    // says so.
    EXPECT_TRUE(error == ERROR_SUCCESS ? !FolderExists(copy)
                                       : ListFolder(copy + "\\sub") == std::vector<std::string>{"link"})
        << error;
    EXPECT_EQ("outside", ReadWhole(m_temp / "outside\\keep.txt"));
}
