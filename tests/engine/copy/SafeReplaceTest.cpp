// Nothing lost: a copy that fails (full disk, locked source, something in the way) leaves the
// earlier copy as it was and no file under the real name, temporaries never outlive a copy nor
// vanish under a running one, two sources or entries of one name in one minute are both kept,
// and every failure says why.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>

#include "EngineTestSupport.h"
#include "common/TempFolder.h"
#include "engine/copy/BackupItem.h"
#include "engine/copy/FileCopy.h"

namespace {

class SafeReplaceTest : public ::testing::Test {
protected:
    SafeReplaceTest() : m_data(m_temp / "data") { MakeFolders(m_data); }

    // One running program's engine for programFolder, backing up at 14:05.
    bool Backup(CBackupEngine& engine, const std::string& path) {
        return engine.BackUp(m_host, W(path), At(2004, 3, 7, 14, 5));
    }
    static std::string MinuteFolder(const std::string& program) {
        return program + "\\backups\\2004-0307\\1405";
    }
    std::string StatusEnd() const { return m_host.statusTexts.back(); }
    static std::string Reason(DWORD error) { return "（" + N(SystemMessage(error)) + "）"; }
    static bool EndsWith(const std::string& text, const std::string& end) {
        return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
    }

    TempFolder m_temp;
    const std::string m_data;
    RecordingHost m_host;
};

std::string Bytes(size_t size, char seed) {
    std::string content(size, seed);
    for (size_t i = 0; i < size; i += 4096)
        content[i] = static_cast<char>(seed + i / 4096);
    return content;
}

// Another process, alive (started suspended) while the object lives.
struct OtherProcess {
    OtherProcess() {
        wchar_t exe[MAX_PATH], line[] = L"engine_tests --gtest_list_tests";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        FILETIME times[4]{};
        GetModuleFileNameW(nullptr, exe, MAX_PATH);
        CreateProcessW(exe, line, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &startup,
                       &info);
        GetProcessTimes(info.hProcess, &times[0], &times[1], &times[2], &times[3]);
        start = (static_cast<ULONGLONG>(times[0].dwHighDateTime) << 32) | times[0].dwLowDateTime;
    }
    ~OtherProcess() {
        TerminateProcess(info.hProcess, 1);
        WaitForSingleObject(info.hProcess, 10000);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
    // The name of a temporary of process number at startTime.
    static std::string Temporary(DWORD number, ULONGLONG startTime) {
        char name[96];
        std::snprintf(name, sizeof name, "~tallowbox-partial-%lu-%016llX-1.tmp", number, startTime);
        return name;
    }
    PROCESS_INFORMATION info{};
    ULONGLONG start = 0;
};

} // namespace

TEST_F(SafeReplaceTest, AFullDiskNeverCostsTheEarlierCopyNorLeavesAPart) {
    const std::string small = m_temp / "small";
    MakeFolders(small);
    SmallDisk disk(small, 1024);
    if (!disk.made())
        GTEST_SKIP() << "a small disk needs root to mount a tmpfs; the full-disk case is not run";
    const std::string program = small + "\\prog", minute = MinuteFolder(program);
    CBackupEngine engine(W(program));
    const std::string first = Bytes(600 * 1024, 'a');
    ASSERT_TRUE(WriteFileText(m_data + "\\grow.bin", first));
    ASSERT_TRUE(Backup(engine, m_data + "\\grow.bin"));

    ASSERT_TRUE(WriteFileText(m_data + "\\grow.bin", Bytes(3 * 1024 * 1024, 'b')));
    EXPECT_FALSE(Backup(engine, m_data + "\\grow.bin"));
    EXPECT_TRUE(ReadWhole(minute + "\\grow.bin") == first) << "the earlier copy was damaged";
    EXPECT_TRUE(EndsWith(StatusEnd(), Reason(ERROR_DISK_FULL))) << StatusEnd();

    ASSERT_TRUE(WriteFileText(m_data + "\\big.bin", Bytes(3 * 1024 * 1024, 'c')));
    EXPECT_FALSE(Backup(engine, m_data + "\\big.bin"));
    EXPECT_EQ(std::vector<std::string>{"grow.bin"}, ListFolder(minute)) << "no part, no temporary";
    ASSERT_EQ(3u, m_host.rows.size());
    EXPECT_EQ("(失敗)" + minute, m_host.rows[2].destination.str());
}

TEST_F(SafeReplaceTest, ALockedSourceOrAFolderInTheWayLeavesTheEarlierCopyAndSaysWhy) {
    const std::string program = m_temp / "prog", minute = MinuteFolder(program);
    CBackupEngine engine(W(program));
    WriteFileWithAttributes(m_data + "\\a.txt", "first", FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(Backup(engine, m_data + "\\a.txt"));
    WIN32_FILE_ATTRIBUTE_DATA before{};
    GetFileAttributesExA((minute + "\\a.txt").c_str(), GetFileExInfoStandard, &before);
    SetFileAttributesA((m_data + "\\a.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    WriteFileText(m_data + "\\a.txt", "second, locked");
    {
        HANDLE lock = CreateFileA((m_data + "\\a.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        OVERLAPPED whole{};
        ASSERT_TRUE(LockFileEx(lock, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole));
        EXPECT_FALSE(Backup(engine, m_data + "\\a.txt"));
        CloseHandle(lock);
    }
    EXPECT_TRUE(EndsWith(StatusEnd(), Reason(ERROR_SHARING_VIOLATION)) ||
                EndsWith(StatusEnd(), Reason(ERROR_LOCK_VIOLATION)))
        << StatusEnd();
    WIN32_FILE_ATTRIBUTE_DATA after{};
    GetFileAttributesExA((minute + "\\a.txt").c_str(), GetFileExInfoStandard, &after);
    EXPECT_EQ("first", ReadWhole(minute + "\\a.txt"));
    EXPECT_EQ(before.dwFileAttributes, after.dwFileAttributes);
    EXPECT_EQ(0, CompareFileTime(&before.ftLastWriteTime, &after.ftLastWriteTime));
    // A source that moved while it was read (a watched file still being saved): the copy is
    // abandoned before it takes the name, the earlier copy of the minute kept.
    EXPECT_EQ(static_cast<DWORD>(ERROR_BUSY),
              CopyFileIntoBackup(W(m_data + "\\a.txt"), SystemPath(W(minute + "\\a.txt")),
                                 SystemPath(W(program + "\\backups")), nullptr, [] { return false; }));
    EXPECT_EQ("first", ReadWhole(minute + "\\a.txt"));

    // A folder where the file's copy must go is not replaced: denied, and said so.
    WriteFileText(m_data + "\\b.txt", "b");
    MakeFolders(minute + "\\b.txt");
    WriteFileText(minute + "\\b.txt\\inside.txt", "kept");
    EXPECT_FALSE(Backup(engine, m_data + "\\b.txt"));
    EXPECT_TRUE(EndsWith(StatusEnd(), Reason(ERROR_ACCESS_DENIED))) << StatusEnd();
    EXPECT_EQ("kept", ReadWhole(minute + "\\b.txt\\inside.txt"));
    EXPECT_EQ((std::vector<std::string>{"a.txt", "b.txt"}), ListFolder(minute)) << "no temporary left";
}

TEST_F(SafeReplaceTest, LeftoversOfAKilledCopyAreClearedAndNothingElse) {
    const std::string program = m_temp / "prog", minute = MinuteFolder(program);
    const std::string leftover = "~tallowbox-partial-4000000-7.tmp",
                      held = "~tallowbox-partial-4000001-1.tmp";
    for (const std::string& folder : {minute, minute + "\\tree"}) {
        WriteFileText(folder + "\\" + leftover, "part of a killed copy");
        WriteFileText(folder + "\\~tallowbox-partial-notes.txt", "a user's file");
    }
    WriteFileText(minute + "\\" + held, "still being written by another copy");
    HANDLE open = CreateFileA((minute + "\\" + held).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    // Another program copying into this minute keeps its temporaries (in an earlier version's
    // name too) while it runs; one of an earlier holder of its number, or of ours, is a leftover.
    std::optional<OtherProcess> other(std::in_place);
    const std::string alive = OtherProcess::Temporary(other->info.dwProcessId, other->start),
                      older = "~tallowbox-partial-" + std::to_string(other->info.dwProcessId) + "-2.tmp";
    for (const std::string& name :
         {alive, older, OtherProcess::Temporary(other->info.dwProcessId, other->start + 1),
          OtherProcess::Temporary(GetCurrentProcessId(), 1)})
        WriteFileText(minute + "\\" + name, "a temporary");
    WriteFileText(m_data + "\\a.txt", "a");
    WriteFileText(m_data + "\\tree\\t.txt", "t");
    CBackupEngine engine(W(program));
    EXPECT_TRUE(Backup(engine, m_data + "\\a.txt"));
    EXPECT_TRUE(Backup(engine, m_data + "\\tree"));
    CloseHandle(open);
    std::vector<std::string> kept{"a.txt", "tree", held, alive, older, "~tallowbox-partial-notes.txt"};
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, ListFolder(minute));
    other.reset();
    WriteFileText(m_data + "\\a.txt", "a, changed"); // an unchanged file writes nothing to clear
    EXPECT_TRUE(Backup(engine, m_data + "\\a.txt"));
    EXPECT_EQ((std::vector<std::string>{"a.txt", "tree", "~tallowbox-partial-notes.txt"}),
              ListFolder(minute));
    EXPECT_EQ((std::vector<std::string>{"t.txt", "~tallowbox-partial-notes.txt"}),
              ListFolder(minute + "\\tree"));
    EXPECT_TRUE(IsTemporaryName(W(leftover)));
    EXPECT_FALSE(IsTemporaryName(L"~tallowbox-partial-notes.txt"));
}

TEST_F(SafeReplaceTest, TwoSourcesOfOneNameInOneMinuteAreBothKept) {
    const std::string program = m_temp / "prog", minute = MinuteFolder(program);
    for (const char* from : {"x", "y"}) {
        WriteFileText(m_data + "\\" + from + "\\same.txt", std::string("from ") + from);
        WriteFileText(m_data + "\\" + from + "\\data\\inside.txt", std::string("inside ") + from);
        WriteFileText(m_data + "\\" + from + "\\README", std::string("readme ") + from);
    }
    CBackupEngine engine(W(program));
    for (const char* item : {"x\\same.txt", "y\\same.txt", "x\\data", "y\\data", "x\\README", "y\\README"})
        EXPECT_TRUE(Backup(engine, m_data + "\\" + item)) << item;
    EXPECT_EQ("from x", ReadWhole(minute + "\\same.txt"));
    EXPECT_EQ("from y", ReadWhole(minute + "\\same (2).txt"));
    EXPECT_EQ("inside y", ReadWhole(minute + "\\data (2)\\inside.txt"));
    EXPECT_EQ("readme y", ReadWhole(minute + "\\README (2)"));
    ASSERT_EQ(6u, m_host.rows.size());
    EXPECT_EQ("same.txt", m_host.rows[0].name.str());
    EXPECT_EQ("same (2).txt", m_host.rows[1].name.str()) << "the row names the copy's own name";
    EXPECT_EQ(minute + "\\data (2)", m_host.rows[3].destination.str());

    // The same source again replaces its own copy; after a restart an earlier copy counts as
    // the source's own.
    WriteFileText(m_data + "\\y\\same.txt", "from y, later");
    EXPECT_TRUE(Backup(engine, m_data + "\\y\\same.txt"));
    EXPECT_EQ("same (2).txt", m_host.rows.back().name.str());
    EXPECT_EQ("from y, later", ReadWhole(minute + "\\same (2).txt"));
    CBackupEngine restarted(W(program));
    WriteFileText(m_data + "\\y\\same.txt", "from y, restarted");
    EXPECT_TRUE(Backup(restarted, m_data + "\\y\\same.txt"));
    EXPECT_EQ("from y, restarted", ReadWhole(minute + "\\same.txt"));
    EXPECT_EQ(
        (std::vector<std::string>{"README", "README (2)", "data", "data (2)", "same (2).txt", "same.txt"}),
        ListFolder(minute));
}

TEST_F(SafeReplaceTest, EntriesTheBackupDiskTakesForOneNameAreAllKept) {
    const std::string program = m_temp / "prog", minute = MinuteFolder(program), source = m_data + "\\cs";
    WriteFileText(source + "\\Report.txt", "upper");
    WriteFileText(source + "\\lower.txt", "lower");
    WriteFileText(source + "\\Docs\\a.txt", "upper a");
    WriteFileText(source + "\\lower\\a.txt", "lower a");
    ASSERT_TRUE(RenameOnUnixSide(source, "lower.txt", "report.txt") &&
                RenameOnUnixSide(source, "lower", "docs"));
    CBackupEngine engine(W(program), 4);
    ASSERT_TRUE(Backup(engine, source));
    EXPECT_EQ(minute + "\\cs", m_host.rows.back().destination.str()) << "a success row";
    const std::string copy = minute + "\\cs\\";
    std::vector<std::string> files{ReadWhole(copy + "report.txt"), ReadWhole(copy + "report (2).txt"),
                                   ReadWhole(copy + "docs\\a.txt"), ReadWhole(copy + "docs (2)\\a.txt")};
    std::sort(files.begin(), files.end());
    EXPECT_EQ((std::vector<std::string>{"lower", "lower a", "upper", "upper a"}), files);
    // Which of a pair keeps its name is the listing's order; the status names the first changed.
    const std::vector<std::string> names = ListFolder(minute + "\\cs");
    bool named = false;
    for (const std::string entry : {"Report.txt", "report.txt", "Docs", "docs"}) {
        const std::string as = entry.size() > 4 ? entry.substr(0, 6) + " (2).txt" : entry + " (2)";
        named = named ||
                (std::count(names.begin(), names.end(), as) == 1 &&
                 StatusEnd() ==
                     source + "\\" + entry + "を" + as +
                         "として保存しました（同じ名前があったため。ほか1件も名前を変えて保存しました）");
    }
    EXPECT_TRUE(named) << StatusEnd();
    // Dropped in one run both are kept too; a later run replaces each one's own copy.
    for (int run = 0; run < 2; ++run) {
        engine.BeginRun();
        EXPECT_TRUE(Backup(engine, source + "\\Report.txt") && Backup(engine, source + "\\report.txt"));
    }
    EXPECT_EQ((std::vector<std::string>{"Report.txt", "cs", "report (2).txt"}), ListFolder(minute));
    EXPECT_EQ("lower", ReadWhole(minute + "\\report (2).txt"));
}
