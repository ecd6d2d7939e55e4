// Items that cannot be backed up as asked, and trees that would trap a naive copy: every
// failure is shown on the row and in the status line, nothing outside the backup root is
// touched, and every copy ends.
#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "common/TempFolder.h"
#include "engine/copy/BackupItem.h"

namespace {

class BackupSafetyTest : public ::testing::Test {
protected:
    BackupSafetyTest() : m_program(m_temp / "prog"), m_data(m_temp / "data") {
        MakeFolders(m_program);
        MakeFolders(m_data);
    }

    bool Backup(const std::string& path) {
        return BackupItemBelow(m_host, W(path).c_str(), At(2004, 3, 7, 14, 5), W(m_program));
    }
    std::string MinuteFolder() const { return m_program + "\\backups\\2004-0307\\1405"; }
    // The failure text with the system's reason; for a folder item, with how many entries failed.
    static std::string Failure(const std::string& path, DWORD error, unsigned entries = 0) {
        const std::string reason = N(SystemMessage(error));
        return "status " + path + "のバックアップに失敗しました（" +
               (entries ? std::to_string(entries) + "件失敗。最初の原因: " : "") + reason + "）";
    }
    static std::string FailedMark() { return "(失敗)"; }
    // What a status adds when the journal of the backup's day cannot be written.
    static std::string Unrecorded(DWORD error) {
        return "。履歴を記録できませんでした（" + N(SystemMessage(error)) + "）";
    }

    TempFolder m_temp;
    const std::string m_program;
    const std::string m_data;
    RecordingHost m_host;
};

// Holds an exclusive lock over a whole file, as a program that has it open for writing would.
class LockedFile {
public:
    explicit LockedFile(const std::string& path)
        : m_file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                             nullptr)) {
        OVERLAPPED whole{};
        m_locked = m_file != INVALID_HANDLE_VALUE &&
                   LockFileEx(m_file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole);
    }
    ~LockedFile() {
        if (m_file != INVALID_HANDLE_VALUE)
            CloseHandle(m_file);
    }
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;
    bool locked() const { return m_locked; }

private:
    HANDLE m_file;
    bool m_locked = false;
};

} // namespace

TEST_F(BackupSafetyTest, ALockedFileFailsItsFolderItemButTheRestIsCopied) {
    const std::string folder = m_data + "\\work";
    WriteFileText(folder + "\\a.txt", "a");
    WriteFileText(folder + "\\locked.db", "in use");
    WriteFileText(folder + "\\z\\z.txt", "z");
    LockedFile lock(folder + "\\locked.db");
    ASSERT_TRUE(lock.locked());
    EXPECT_FALSE(Backup(folder));
    EXPECT_EQ("a", ReadWhole(MinuteFolder() + "\\work\\a.txt"));
    EXPECT_EQ("z", ReadWhole(MinuteFolder() + "\\work\\z\\z.txt"));
    ASSERT_EQ(1u, m_host.rows.size());
    EXPECT_EQ(FailedMark() + MinuteFolder() + "\\work", m_host.rows[0].destination.str());
    EXPECT_EQ("(フォルダ)", m_host.rows[0].name.str());
    EXPECT_EQ(Failure(folder, ERROR_SHARING_VIOLATION, 1), m_host.events.back());
}

TEST_F(BackupSafetyTest, AFileWhereTheDayFolderMustGoFailsAndIsKept) {
    WriteFileText(m_program + "\\backups\\2004-0307", "not a folder");
    WriteFileText(m_data + "\\a.txt", "a");
    MakeFolders(m_data + "\\tree");
    EXPECT_FALSE(Backup(m_data + "\\a.txt"));
    EXPECT_FALSE(Backup(m_data + "\\tree"));
    EXPECT_EQ("not a folder", ReadWhole(m_program + "\\backups\\2004-0307"));
    ASSERT_EQ(2u, m_host.rows.size());
    EXPECT_EQ(FailedMark() + MinuteFolder(), m_host.rows[0].destination.str());
    EXPECT_EQ("a.txt", m_host.rows[0].name.str());
    EXPECT_EQ(FailedMark() + MinuteFolder() + "\\tree", m_host.rows[1].destination.str());
    EXPECT_EQ(
        (std::vector<std::string>{
            "row", Failure(m_data + "\\a.txt", ERROR_PATH_NOT_FOUND) + Unrecorded(ERROR_ALREADY_EXISTS),
            "row", Failure(m_data + "\\tree", ERROR_PATH_NOT_FOUND) + Unrecorded(ERROR_ALREADY_EXISTS)}),
        m_host.events);
}

TEST_F(BackupSafetyTest, AFileWhereASubFolderMustGoFailsAndIsKept) {
    WriteFileText(MinuteFolder() + "\\tree\\sub", "an earlier file named sub");
    WriteFileText(m_data + "\\tree\\sub\\f.txt", "f");
    WriteFileText(m_data + "\\tree\\g.txt", "g");
    EXPECT_FALSE(Backup(m_data + "\\tree"));
    EXPECT_EQ("an earlier file named sub", ReadWhole(MinuteFolder() + "\\tree\\sub"));
    EXPECT_EQ("g", ReadWhole(MinuteFolder() + "\\tree\\g.txt"));
    EXPECT_EQ(Failure(m_data + "\\tree", ERROR_ALREADY_EXISTS, 1), m_host.events.back());
}

TEST_F(BackupSafetyTest, AnUnreadablePathIsAFailedFileRowAndMakesNothing) {
    const std::string missing = m_data + "\\gone\\photos";
    EXPECT_FALSE(Backup(missing));
    EXPECT_EQ(std::vector<std::string>{"Tallowbox-journal.tsv"},
              ListFolder(m_program + "\\backups\\2004-0307"))
        << "no copy folder, only the failure's record";
    ASSERT_EQ(1u, m_host.rows.size());
    EXPECT_EQ("photos", m_host.rows[0].name.str());
    EXPECT_EQ(m_data + "\\gone", m_host.rows[0].source.str());
    EXPECT_EQ(FailedMark() + MinuteFolder(), m_host.rows[0].destination.str());
    EXPECT_EQ((std::vector<std::string>{"row", Failure(missing, ERROR_PATH_NOT_FOUND)}), m_host.events);
}

TEST_F(BackupSafetyTest, AnEmptyPathIsSkipped) {
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    SetCurrentDirectoryA(m_data.c_str()); // where a naive copy of "" would start looking
    WriteFileText(m_data + "\\bait.txt", "bait");
    EXPECT_TRUE(BackupItemBelow(m_host, L"", At(2004, 3, 7, 14, 5), W(m_program)));
    EXPECT_TRUE(BackupItemBelow(m_host, nullptr, At(2004, 3, 7, 14, 5), W(m_program)));
    SetCurrentDirectoryA(previous);
    EXPECT_TRUE(m_host.events.empty());
    EXPECT_TRUE(ListFolder(m_program).empty());
}

TEST_F(BackupSafetyTest, AnyNameAndAnyLengthBacksUpExactly) {
    const std::wstring data = W(m_data), minute = W(MinuteFolder());
    const std::wstring cafe = data + L"\\caf\u00E9.txt", kanji = data + L"\\\U00020BB7\u91CE\u5BB6.txt",
                       emoji = data + L"\\note\U0001F600.txt", folder = data + L"\\\u00DCbersicht";
    ASSERT_TRUE(WriteWideFile(data + L"\\cafe.txt", "the look-alike"));
    ASSERT_TRUE(WriteWideFile(cafe, "caf\xC3\xA9"));
    ASSERT_TRUE(WriteWideFile(kanji, "kanji"));
    ASSERT_TRUE(WriteWideFile(emoji, "emoji"));
    ASSERT_TRUE(WriteWideFile(folder + L"\\na\u00EFve.txt", "naive"));
    // Past 259 characters: a 300- and a 1,000-character file path, and a folder whose copy
    // passes 259 only deep inside (the source's own paths stay below it).
    const std::wstring segment(190, L's');
    std::wstring long300 = data + L"\\" + segment;
    long300 += L"\\" + std::wstring(300 - long300.size() - 1, L'f');
    std::wstring long1000 = data;
    while (long1000.size() < 800)
        long1000 += L"\\" + segment;
    long1000 += L"\\" + std::wstring(1000 - long1000.size() - 1, L'g');
    const std::wstring deepFolder = data + L"\\deep";
    const std::wstring deepName(250 - deepFolder.size() - 1, L'd');
    ASSERT_EQ(300u, long300.size());
    ASSERT_EQ(1000u, long1000.size());
    ASSERT_TRUE(WriteWideFile(long300, "300"));
    ASSERT_TRUE(WriteWideFile(long1000, "1000"));
    ASSERT_TRUE(WriteWideFile(deepFolder + L"\\" + deepName, "deep"));

    for (const std::wstring& item : {cafe, kanji, emoji, folder, long300, long1000, deepFolder})
        EXPECT_TRUE(BackupItemBelow(m_host, item.c_str(), At(2004, 3, 7, 14, 5), W(m_program)))
            << N(item).substr(0, 80);
    std::string copied;
    EXPECT_TRUE(ReadWideFile(minute + L"\\caf\u00E9.txt", &copied) && copied == "caf\xC3\xA9") << copied;
    EXPECT_FALSE(ReadWideFile(minute + L"\\cafe.txt", &copied)) << "the look-alike was backed up";
    EXPECT_TRUE(ReadWideFile(minute + L"\\\U00020BB7\u91CE\u5BB6.txt", &copied) && copied == "kanji");
    EXPECT_TRUE(ReadWideFile(minute + L"\\note\U0001F600.txt", &copied) && copied == "emoji");
    EXPECT_TRUE(ReadWideFile(minute + L"\\\u00DCbersicht\\na\u00EFve.txt", &copied) && copied == "naive");
    EXPECT_TRUE(ReadWideFile(minute + L"\\" + LastComponent(long300), &copied) && copied == "300");
    EXPECT_TRUE(ReadWideFile(minute + L"\\" + LastComponent(long1000), &copied) && copied == "1000");
    EXPECT_GT((minute + L"\\deep\\" + deepName).size(), 259u);
    EXPECT_TRUE(ReadWideFile(minute + L"\\deep\\" + deepName, &copied) && copied == "deep");

    ASSERT_EQ(7u, m_host.wideRows.size());
    EXPECT_EQ(L"caf\u00E9.txt", m_host.wideTexts[0].name);
    EXPECT_EQ(L"\U00020BB7\u91CE\u5BB6.txt", m_host.wideTexts[1].name);
    EXPECT_EQ(folder, m_host.wideTexts[3].source);
    EXPECT_EQ(minute + L"\\\u00DCbersicht", m_host.wideTexts[3].destination);
    EXPECT_EQ(WithoutLastComponent(long1000), m_host.wideTexts[5].source);
    // The narrow texts never show a look-alike in place of what the code page cannot spell.
    EXPECT_EQ("caf?.txt", m_host.rows[0].name.str());
    EXPECT_EQ(L"ready", m_host.wideStatus.back());
}

TEST_F(BackupSafetyTest, TheBackupRootIsNeverCopiedIntoItself) {
    WriteFileText(m_program + "\\tool.exe", "program");
    WriteFileText(m_program + "\\backups\\2004-0306\\0900\\old.txt", "yesterday's copy");
    WriteFileText(m_data + "\\d.txt", "d");

    EXPECT_TRUE(Backup(m_program));
    EXPECT_EQ(std::vector<std::string>{"tool.exe"}, ListFolder(MinuteFolder() + "\\prog"));

    EXPECT_TRUE(Backup(m_temp.path()));
    const std::string parentCopy = MinuteFolder() + "\\" + N(FolderItemName(W(m_temp.path())));
    EXPECT_EQ((std::vector<std::string>{"data", "prog"}), ListFolder(parentCopy));
    EXPECT_EQ(std::vector<std::string>{"tool.exe"}, ListFolder(parentCopy + "\\prog"));
    EXPECT_EQ("d", ReadWhole(parentCopy + "\\data\\d.txt"));
    EXPECT_EQ("yesterday's copy", ReadWhole(m_program + "\\backups\\2004-0306\\0900\\old.txt"));
}

TEST_F(BackupSafetyTest, AnEarlierBackupIsCopiedButNotTheCopyBeingMade) {
    // Backing up the day folder while this minute's folder lies inside it.
    WriteFileText(MinuteFolder() + "\\earlier.txt", "earlier this minute");
    const std::string day = m_program + "\\backups\\2004-0307";
    EXPECT_TRUE(Backup(day));
    EXPECT_EQ("earlier this minute", ReadWhole(MinuteFolder() + "\\2004-0307\\1405\\earlier.txt"));
    EXPECT_EQ((std::vector<std::string>{"earlier.txt"}), ListFolder(MinuteFolder() + "\\2004-0307\\1405"));
}

TEST_F(BackupSafetyTest, LinksBackUpTheTreeDoNotLoop) {
    const std::string tree = m_data + "\\tree";
    WriteFileText(tree + "\\sub\\f.txt", "f");
    WriteFileText(tree + "\\side\\s.txt", "s");
    const UnixSymlink up(tree + "\\sub\\up", "..");
    const UnixSymlink self(tree + "\\self", ".");
    const UnixSymlink alias(tree + "\\sub\\alias", "../side"); // not an ancestor: copied as a folder
    ASSERT_TRUE(up.made() && self.made() && alias.made()) << "cannot make links under this Wine";

    EXPECT_TRUE(Backup(tree));
    const std::string copy = MinuteFolder() + "\\tree";
    EXPECT_EQ((std::vector<std::string>{"side", "sub"}), ListFolder(copy));
    EXPECT_EQ((std::vector<std::string>{"alias", "f.txt"}), ListFolder(copy + "\\sub"));
    EXPECT_EQ("s", ReadWhole(copy + "\\sub\\alias\\s.txt"));
    EXPECT_EQ("status ready", m_host.events.back());
}

TEST_F(BackupSafetyTest, DoubleByteNamesBackUp) {
    const std::string hyou = kHyou, halfA = kHalfA, hiraA = kHiraA;
    const std::string inHalfA = m_data + "\\" + halfA + "\\a.txt";
    const std::string inHiraA = m_data + "\\" + hiraA + "\\b.txt";
    const std::string namedHyou = m_data + "\\" + hyou;
    const std::string folderHyou = m_data + "\\x" + hyou;
    for (const auto& folder : {m_data + "\\" + halfA, m_data + "\\" + hiraA, folderHyou})
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    ASSERT_TRUE(WriteFileOnly(inHalfA, "half-width"));
    ASSERT_TRUE(WriteFileOnly(inHiraA, "hiragana"));
    ASSERT_TRUE(WriteFileOnly(namedHyou, "hyou file"));
    ASSERT_TRUE(WriteFileOnly(folderHyou + "\\in.txt", "inside"));
    const auto before = ReadTree(m_data);

    EXPECT_TRUE(Backup(inHalfA));
    EXPECT_TRUE(Backup(inHiraA));
    EXPECT_TRUE(Backup(namedHyou));
    EXPECT_TRUE(Backup(folderHyou));
    EXPECT_EQ("half-width", ReadWhole(MinuteFolder() + "\\a.txt"));
    EXPECT_EQ("hiragana", ReadWhole(MinuteFolder() + "\\b.txt"));
    EXPECT_EQ("hyou file", ReadWhole(MinuteFolder() + "\\" + hyou));
    EXPECT_EQ("inside", ReadWhole(MinuteFolder() + "\\x" + hyou + "\\in.txt"));
    ASSERT_EQ(4u, m_host.rows.size());
    EXPECT_EQ("a.txt", m_host.rows[0].name.str());
    EXPECT_EQ(m_data + "\\" + halfA, m_host.rows[0].source.str());
    EXPECT_EQ("b.txt", m_host.rows[1].name.str());
    EXPECT_EQ(hyou, m_host.rows[2].name.str());
    EXPECT_EQ(MinuteFolder() + "\\x" + hyou, m_host.rows[3].destination.str());
    EXPECT_EQ((std::vector<std::string>{"a.txt", "b.txt", "x" + hyou, hyou}), ListFolder(MinuteFolder()));
    EXPECT_TRUE(ReadTree(m_data) == before);
    EXPECT_EQ((std::vector<std::string>{"x" + hyou, hiraA, hyou, halfA}), ListFolder(m_data));
}

TEST_F(BackupSafetyTest, AFolderPathEndingInASeparatorKeepsItsName) {
    WriteFileText(m_data + "\\photos\\p.jpg", "picture");
    const std::string given = m_data + "\\photos\\";
    EXPECT_TRUE(Backup(given));
    EXPECT_EQ(std::vector<std::string>{"photos"}, ListFolder(MinuteFolder()));
    EXPECT_EQ("picture", ReadWhole(MinuteFolder() + "\\photos\\p.jpg"));
    ASSERT_EQ(1u, m_host.rows.size());
    EXPECT_EQ(given, m_host.rows[0].source.str());
    EXPECT_EQ(MinuteFolder() + "\\photos", m_host.rows[0].destination.str());
    EXPECT_NE(m_host.events.end(), std::find(m_host.events.begin(), m_host.events.end(),
                                             "status " + m_data + "\\photos\\p.jpgをバックアップ中です..."));
}

TEST_F(BackupSafetyTest, HiddenSystemAndReadOnlyCopiesAreReplacedInTheSameMinute) {
    const std::string folder = m_data + "\\styled";
    WriteFileWithAttributes(folder + "\\desktop.ini", "first ini",
                            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    WriteFileWithAttributes(folder + "\\ro.txt", "first ro", FILE_ATTRIBUTE_READONLY);
    WriteFileWithAttributes(m_data + "\\solo.txt", "first solo",
                            FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(Backup(folder));
    EXPECT_TRUE(Backup(m_data + "\\solo.txt"));

    SetFileAttributesA((folder + "\\desktop.ini").c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesA((folder + "\\ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesA((m_data + "\\solo.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    WriteFileWithAttributes(folder + "\\desktop.ini", "second ini",
                            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    WriteFileWithAttributes(folder + "\\ro.txt", "second ro", FILE_ATTRIBUTE_READONLY);
    WriteFileWithAttributes(m_data + "\\solo.txt", "second solo",
                            FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(Backup(folder));
    EXPECT_EQ("status ready", m_host.events.back()) << "a drop into the minute's copy ends as drops do";
    EXPECT_TRUE(Backup(m_data + "\\solo.txt"));

    EXPECT_EQ("second ini", ReadWhole(MinuteFolder() + "\\styled\\desktop.ini"));
    EXPECT_EQ("second ro", ReadWhole(MinuteFolder() + "\\styled\\ro.txt"));
    EXPECT_EQ("second solo", ReadWhole(MinuteFolder() + "\\solo.txt"));
    EXPECT_NE(0u,
              GetFileAttributesA((MinuteFolder() + "\\styled\\desktop.ini").c_str()) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ("status ready", m_host.events.back());
}
