// Putting a backup back: a changed file, a deleted one (and its folder), a folder with files
// added, changed and removed since; what is there now is backed up first and the copy being
// restored is never replaced by that safety backup; only a whole backup is put back; a missing
// copy, a read-only original or a stop fails visibly and leaves the original as it was.
#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "common/TempFolder.h"
#include "engine/copy/BackupItem.h"
#include "engine/copy/Restore.h"

namespace {

class RestoreTest : public ::testing::Test {
protected:
    RestoreTest() : m_program(m_temp / "prog"), m_data(m_temp / "data"), m_engine(W(m_program)) {
        MakeFolders(m_data);
    }
    // Backs up path at 14:05 and returns its row.
    BackupRow BackUp(const std::string& path) {
        m_engine.BackUp(m_host, W(path), At(2004, 3, 7, 14, 5));
        return m_host.wideRows.back();
    }
    bool Restore(const BackupRow& row, int minute) {
        return m_engine.Restore(m_host, row, At(2004, 3, 7, 14, minute));
    }
    std::string MinuteFolder(const char* minute = "1405") const {
        return m_program + "\\backups\\2004-0307\\" + minute;
    }
    std::string LastDestination() const { return m_host.rows.back().destination.str(); }

    TempFolder m_temp;
    const std::string m_program;
    const std::string m_data;
    RecordingHost m_host;
    CBackupEngine m_engine;
};

} // namespace

TEST_F(RestoreTest, AChangedOrDeletedFileComesBackAndWhatWasThereIsBackedUpFirst) {
    const std::string report = m_data + "\\report.txt";
    ASSERT_TRUE(WriteFileText(report, "version 1"));
    const BackupRow backup = BackUp(report);

    // In the very minute of the backup: the safety copy goes beside it, not over it.
    ASSERT_TRUE(WriteFileText(report, "version 2"));
    EXPECT_TRUE(Restore(backup, 5));
    EXPECT_EQ("version 1", ReadWhole(report));
    EXPECT_EQ("version 1", ReadWhole(MinuteFolder() + "\\report.txt")) << "the copy restored from is kept";
    EXPECT_EQ("version 2", ReadWhole(MinuteFolder() + "\\report (2).txt"))
        << "what was there, backed up first";
    ASSERT_EQ(3u, m_host.rows.size());
    const NarrowRow& restored = m_host.rows[2];
    EXPECT_EQ("3月7日 14時5分 report.txt",
              restored.date.str() + " " + restored.time.str() + " " + restored.name.str());
    EXPECT_EQ(MinuteFolder() + "\\report.txt", restored.source.str()) << "from which backup";
    EXPECT_EQ("(復元)" + report, restored.destination.str()) << "to which place";
    EXPECT_FALSE(CanRestore(m_host.wideRows[2])) << "a restore row is no backup";
    EXPECT_EQ("ready", m_host.statusTexts.back());
    EXPECT_EQ(std::vector<std::string>{"report.txt"}, ListFolder(m_data)) << "no temporary left";

    // Deleted, with the folder it was in: no safety backup, the folder is made again.
    const std::string deep = m_data + "\\gone\\deeper\\deep.txt";
    ASSERT_TRUE(WriteFileText(deep, "deep"));
    const BackupRow deepBackup = BackUp(deep);
    RemoveTree(m_data + "\\gone");
    EXPECT_TRUE(Restore(deepBackup, 9));
    EXPECT_EQ("deep", ReadWhole(deep));
    EXPECT_FALSE(FolderExists(MinuteFolder("1409"))) << "nothing to back up first";
    EXPECT_EQ("(復元)" + deep, LastDestination());
}

TEST_F(RestoreTest, AFolderGetsChangedAndMissingFilesBackAndKeepsTheFilesAddedSince) {
    const std::string album = m_data + "\\album";
    ASSERT_TRUE(WriteFileText(album + "\\a.txt", "a1"));
    ASSERT_TRUE(WriteFileText(album + "\\same.txt", "same"));
    ASSERT_TRUE(WriteFileText(album + "\\sub\\b.txt", "b1"));
    ASSERT_TRUE(
        SetFileAttributesA((album + "\\sub").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY));
    const BackupRow backup = BackUp(album);
    ASSERT_TRUE(backup.isFolder && backup.backupPath == W(MinuteFolder() + "\\album"));

    ASSERT_TRUE(WriteFileText(album + "\\a.txt", "a2"));
    ASSERT_TRUE(WriteFileText(album + "\\added.txt", "added"));
    RemoveTree(album + "\\sub");
    EXPECT_TRUE(Restore(backup, 7));
    const auto copy = ReadTree(MinuteFolder() + "\\album");
    const auto now = ReadTree(album);
    for (const auto& entry : copy)
        EXPECT_TRUE(now.count(entry.first) && now.at(entry.first) == entry.second)
            << entry.first << ": missing, or content or time differs";
    EXPECT_EQ("added", ReadWhole(album + "\\added.txt")) << "a file added since is left alone";
    EXPECT_EQ(copy.size() + 1, now.size()) << "nothing else, no temporary";
    EXPECT_TRUE(GetFileAttributesA((album + "\\sub").c_str()) & FILE_ATTRIBUTE_HIDDEN) << "folder attributes";
    EXPECT_EQ("a2", ReadWhole(MinuteFolder("1407") + "\\album\\a.txt")) << "safety backup";
    EXPECT_EQ("(フォルダ)", m_host.rows.back().name.str());
    EXPECT_EQ("(復元)" + album, LastDestination());
}

TEST_F(RestoreTest, OnlyAWholeBackupIsPutBackAndAMissingCopyOrAStopLeavesTheOriginal) {
    const std::string note = m_data + "\\note.txt", locked = m_data + "\\locked.txt";
    ASSERT_TRUE(WriteFileText(note, "backed up") && WriteFileText(locked, "backed up"));
    const BackupRow good = BackUp(note), lockedBackup = BackUp(locked);
    const BackupRow failed = BackUp(m_data + "\\missing.txt");
    m_engine.RequestStop();
    const BackupRow stopped = BackUp(note);
    EXPECT_FALSE(Restore(good, 6));
    m_engine.ClearStop();
    EXPECT_EQ("(中止)(復元)" + note, LastDestination());
    EXPECT_EQ(note + "の復元を中止しました", m_host.statusTexts.back());
    const size_t rows = m_host.rows.size();
    for (const BackupRow& row : {failed, stopped})
        EXPECT_FALSE(CanRestore(row) || Restore(row, 6));
    EXPECT_EQ(rows, m_host.rows.size()) << "no row, nothing done";

    ASSERT_TRUE(WriteFileText(note, "current"));
    ASSERT_TRUE(DeleteFileA((MinuteFolder() + "\\note.txt").c_str()));
    EXPECT_FALSE(Restore(good, 6));
    EXPECT_EQ("(失敗)(復元)" + note, LastDestination());
    EXPECT_EQ(note + "を元に戻せませんでした（" + N(SystemMessage(ERROR_FILE_NOT_FOUND)) + "）",
              m_host.statusTexts.back());
    EXPECT_EQ(rows + 1, m_host.rows.size()) << "no safety backup before a restore that cannot be done";
    EXPECT_FALSE(FolderExists(MinuteFolder("1406")));
    EXPECT_EQ("current", ReadWhole(note));

    // A read-only original is not the program's to unlock: it stays as it is, and the status says why.
    ASSERT_TRUE(WriteFileWithAttributes(locked, "current", FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(Restore(lockedBackup, 6));
    EXPECT_EQ("(失敗)(復元)" + locked, LastDestination());
    EXPECT_EQ(locked + "を元に戻せませんでした（" + N(SystemMessage(ERROR_ACCESS_DENIED)) + "）",
              m_host.statusTexts.back());
    EXPECT_TRUE(GetFileAttributesA(locked.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ("current", ReadWhole(locked));
    SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
}
