// Backing up files and folder trees below a temporary program folder: what lands on disk,
// the rows, and the status-line sequence a recording host sees.
#include <gtest/gtest.h>

#include <algorithm>

#include "EngineTestSupport.h"
#include "common/TempFolder.h"
#include "engine/copy/BackupItem.h"

namespace {

class BackupItemTest : public ::testing::Test {
protected:
    BackupItemTest() : m_program(m_temp / "prog"), m_data(m_temp / "data") {
        MakeFolders(m_program);
        MakeFolders(m_data);
    }

    bool Backup(const std::string& path, SYSTEMTIME time = At(2004, 3, 7, 14, 5)) {
        return BackupItemBelow(m_host, W(path).c_str(), time, W(m_program));
    }
    std::string MinuteFolder(const char* stamp = "\\2004-0307\\1405") const {
        return m_program + "\\backups" + stamp;
    }
    static std::string Progress(const std::string& path) {
        return "status " + path + "をバックアップ中です...";
    }

    TempFolder m_temp;
    const std::string m_program;
    const std::string m_data;
    RecordingHost m_host;
};

// A tree with what a real folder holds: hidden, system and read-only files, binary content,
// empty and nested sub-folders, a hidden sub-folder.
void MakeSampleTree(const std::string& root) {
    std::string binary;
    for (int i = 0; i < 200000; ++i)
        binary += static_cast<char>((i * 7919) >> 3);
    WriteFileText(root + "\\x.txt", "x content");
    WriteFileText(root + "\\big.bin", binary);
    WriteFileWithAttributes(root + "\\desktop.ini", "[.ShellClassInfo]",
                            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    WriteFileWithAttributes(root + "\\ro.txt", "read only", FILE_ATTRIBUTE_READONLY);
    MakeFolders(root + "\\empty");
    WriteFileText(root + "\\nested\\deeper\\deepest\\y.txt", "y");
    MakeFolders(root + "\\nested\\deeper\\empty too");
    WriteFileText(root + "\\.secret\\z.txt", "z");
    SetFileAttributesA((root + "\\.secret").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY);
    // Folders dated long ago, each a different day, so a copy that keeps the time of copying shows.
    FILETIME when{0x01C07400u, 0x01C07400u};
    for (const char* folder :
         {"", "\\empty", "\\nested", "\\nested\\deeper", "\\nested\\deeper\\empty too", "\\.secret"}) {
        when.dwHighDateTime += 1;
        HANDLE handle =
            CreateFileA((root + folder).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        SetFileTime(handle, &when, nullptr, &when);
        CloseHandle(handle);
    }
}

} // namespace

TEST_F(BackupItemTest, FileGoesIntoTheMinuteFolderAndIsListed) {
    WriteFileText(m_data + "\\a.txt", "alpha");
    const std::string path = m_data + "\\a.txt";
    EXPECT_TRUE(Backup(path));
    EXPECT_EQ("alpha", ReadWhole(MinuteFolder() + "\\a.txt"));
    EXPECT_EQ(std::vector<std::string>{"a.txt"}, ListFolder(MinuteFolder()));
    ASSERT_EQ(1u, m_host.rows.size());
    const NarrowRow& row = m_host.rows[0];
    EXPECT_EQ("3月7日", row.date.str());
    EXPECT_EQ("14時5分", row.time.str());
    EXPECT_EQ("a.txt", row.name.str());
    EXPECT_EQ(m_data, row.source.str());
    EXPECT_EQ(MinuteFolder(), row.destination.str());
    EXPECT_EQ((std::vector<std::string>{Progress(path), "row", "status ready"}), m_host.events);
    EXPECT_EQ(1u, m_host.filesCounted);
    EXPECT_EQ(5u, m_host.bytesCounted);
    EXPECT_EQ("alpha", ReadWhole(path));
}

TEST_F(BackupItemTest, FolderTreeIsCopiedByteForByte) {
    const std::string photos = m_data + "\\photos";
    MakeSampleTree(photos);
    const auto before = ReadTree(photos);
    EXPECT_TRUE(Backup(photos));

    const std::string copy = MinuteFolder() + "\\photos";
    const auto copied = ReadTree(copy);
    EXPECT_EQ(before.size(), copied.size());
    for (const auto& entry : before) {
        SCOPED_TRACE(entry.first);
        const auto found = copied.find(entry.first);
        ASSERT_NE(copied.end(), found);
        EXPECT_EQ(entry.second.folder, found->second.folder);
        EXPECT_TRUE(entry.second.content == found->second.content);
        // Files keep what the platform's copy carries over; folders, empty ones too, get their
        // source's time and attributes once their content is in.
        const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM;
        EXPECT_EQ(entry.second.attributes & kept, found->second.attributes & kept);
        EXPECT_EQ(entry.second.written, found->second.written);
    }
    EXPECT_TRUE(ReadTree(photos) == before) << "the source changed";
    WIN32_FILE_ATTRIBUTE_DATA top{}, topCopy{};
    GetFileAttributesExA(photos.c_str(), GetFileExInfoStandard, &top);
    GetFileAttributesExA(copy.c_str(), GetFileExInfoStandard, &topCopy);
    EXPECT_EQ(0, CompareFileTime(&top.ftLastWriteTime, &topCopy.ftLastWriteTime))
        << "the dropped folder's own time";
    EXPECT_EQ(0, CompareFileTime(&top.ftCreationTime, &topCopy.ftCreationTime));

    ASSERT_EQ(1u, m_host.rows.size());
    EXPECT_EQ("(フォルダ)", m_host.rows[0].name.str());
    EXPECT_EQ(std::string("(\x83\x74\x83\x48\x83\x8b\x83\x5f)"),
              m_host.rows[0].name.str()); // Shift_JIS bytes
    EXPECT_EQ(photos, m_host.rows[0].source.str());
    EXPECT_EQ(copy, m_host.rows[0].destination.str());
}

TEST_F(BackupItemTest, FilesCopiedSideBySideShowOneProgressTextEachThenTheRowAndReady) {
    const std::string photos = m_data + "\\photos";
    MakeSampleTree(photos);
    for (int i = 0; i < 60; ++i)
        WriteFileText(photos + "\\many\\f" + std::to_string(i) + ".txt", std::string(i, 'm'));
    CBackupEngine engine(W(m_program), 4);
    EXPECT_TRUE(engine.BackUp(m_host, W(photos), At(2004, 3, 7, 14, 5)));
    EXPECT_TRUE(ReadTree(photos) == ReadTree(MinuteFolder() + "\\photos"));
    std::vector<std::string> expectedProgress;
    ULONGLONG bytes = 0;
    for (const auto& entry : ReadTree(photos))
        if (!entry.second.folder) {
            expectedProgress.push_back(Progress(photos + "\\" + entry.first));
            bytes += entry.second.content.size();
        }
    std::vector<std::string> progress(m_host.events.begin(), m_host.events.end() - 2);
    std::sort(progress.begin(), progress.end());
    std::sort(expectedProgress.begin(), expectedProgress.end());
    EXPECT_EQ(expectedProgress, progress);
    EXPECT_EQ(expectedProgress.size(), m_host.filesCounted);
    EXPECT_EQ(bytes, m_host.bytesCounted);
    ASSERT_GE(m_host.events.size(), 2u);
    EXPECT_EQ("row", m_host.events[m_host.events.size() - 2]);
    EXPECT_EQ("status ready", m_host.events.back());
}

TEST_F(BackupItemTest, FolderWithoutFilesShowsOnlyReady) {
    MakeFolders(m_data + "\\hollow\\inner");
    EXPECT_TRUE(Backup(m_data + "\\hollow"));
    EXPECT_TRUE(FolderExists(MinuteFolder() + "\\hollow\\inner"));
    EXPECT_EQ((std::vector<std::string>{"row", "status ready"}), m_host.events);
}

TEST_F(BackupItemTest, SameMinuteReplacesSameNamesAndKeepsTheRest) {
    WriteFileText(m_data + "\\a.txt", "first");
    WriteFileText(m_data + "\\other\\a.txt", "from another folder");
    Backup(m_data + "\\a.txt");
    WriteFileText(m_data + "\\a.txt", "second");
    Backup(m_data + "\\a.txt");
    EXPECT_EQ("second", ReadWhole(MinuteFolder() + "\\a.txt"));
    Backup(m_data + "\\other\\a.txt");
    EXPECT_EQ("from another folder", ReadWhole(MinuteFolder() + "\\a.txt"));
    ASSERT_EQ(3u, m_host.rows.size());
    for (const auto& row : m_host.rows)
        EXPECT_EQ(MinuteFolder(), row.destination.str());

    const std::string photos = m_data + "\\photos";
    WriteFileText(photos + "\\keep.txt", "only the first copy had me");
    WriteFileText(photos + "\\same.txt", "old");
    Backup(photos);
    DeleteFileA((photos + "\\keep.txt").c_str());
    WriteFileText(photos + "\\same.txt", "new");
    EXPECT_TRUE(Backup(photos));
    EXPECT_EQ("only the first copy had me", ReadWhole(MinuteFolder() + "\\photos\\keep.txt"));
    EXPECT_EQ("new", ReadWhole(MinuteFolder() + "\\photos\\same.txt"));
}

TEST_F(BackupItemTest, EachBatchMomentHasItsOwnFolders) {
    for (const SYSTEMTIME& at : {At(2004, 3, 7, 14, 5), At(2004, 3, 7, 14, 6), At(2005, 1, 1, 0, 0)}) {
        WriteFileText(m_data + "\\a.txt", "a at " + std::to_string(at.wYear + at.wMinute)); // changed: copied
        Backup(m_data + "\\a.txt", at);
    }
    EXPECT_EQ((std::vector<std::string>{"2004-0307", "2005-0101"}), ListFolder(m_program + "\\backups"));
    EXPECT_EQ((std::vector<std::string>{"1405", "1406", "Tallowbox-journal.tsv"}),
              ListFolder(m_program + "\\backups\\2004-0307"));
    EXPECT_TRUE(FileExists(MinuteFolder("\\2005-0101\\0000") + "\\a.txt"));
    ASSERT_EQ(3u, m_host.rows.size());
    EXPECT_EQ("0時0分", m_host.rows[2].time.str());
    EXPECT_EQ("1月1日", m_host.rows[2].date.str());
}

TEST_F(BackupItemTest, CopyFolderCopiesIntoAnExistingFolder) {
    MakeSampleTree(m_data + "\\tree");
    MakeFolders(m_temp / "target");
    EXPECT_TRUE(CopyFolder(m_host, W(m_data + "\\tree"), W(m_temp / "target")));
    EXPECT_TRUE(ReadTree(m_data + "\\tree") == ReadTree(m_temp / "target"));
    EXPECT_TRUE(m_host.rows.empty());
}

// Entries named by the patterns are left out at every depth, uncounted; an item dropped by its
// own name is copied whatever it is called, and a restore's safety copy keeps everything.
TEST_F(BackupItemTest, EntriesMatchingThePatternsAreLeftOutButNeverTheItemDropped) {
    const std::string project = m_data + "\\project";
    for (const char* file :
         {"src\\main.c", "node_modules\\lib\\x.js", "src\\node_modules\\y.js", ".git\\HEAD",
          "src\\deep\\.git\\config", "a.tmp", "src\\deep\\B.TMP", "src\\deep\\keep.tmp.txt"})
        WriteFileText(project + "\\" + file, file);
    CBackupEngine engine(W(m_program), 2, std::wstring(), {L"node_modules", L".git", L"*.tmp"});
    EXPECT_TRUE(engine.BackUp(m_host, W(project), At(2004, 3, 7, 14, 5)));
    std::vector<std::string> copied;
    for (const auto& entry : ReadTree(MinuteFolder() + "\\project"))
        copied.push_back(entry.first);
    EXPECT_EQ((std::vector<std::string>{"src", "src\\deep", "src\\deep\\keep.tmp.txt", "src\\main.c"}),
              copied);
    EXPECT_EQ(2u, m_host.filesCounted);
    EXPECT_EQ(MinuteFolder() + "\\project", m_host.rows.back().destination.str());
    EXPECT_EQ(W(project) + L"から6件を除外しました（Tallowbox.ini の Exclude）", m_host.wideStatus.back());

    EXPECT_TRUE(engine.BackUp(m_host, W(project + "\\node_modules"), At(2004, 3, 7, 14, 5)));
    EXPECT_TRUE(engine.BackUp(m_host, W(project + "\\a.tmp"), At(2004, 3, 7, 14, 5)));
    EXPECT_EQ("node_modules\\lib\\x.js", ReadWhole(MinuteFolder() + "\\node_modules\\lib\\x.js"));
    EXPECT_EQ("a.tmp", ReadWhole(MinuteFolder() + "\\a.tmp"));

    EXPECT_TRUE(engine.Restore(m_host, m_host.wideRows[0], At(2004, 3, 7, 14, 6)));
    EXPECT_EQ(".git\\HEAD", ReadWhole(MinuteFolder("\\2004-0307\\1406") + "\\project\\.git\\HEAD"));
}
