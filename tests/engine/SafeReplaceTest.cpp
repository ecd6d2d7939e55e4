// Nothing lost: a copy that fails (full disk, locked source, something in the way) leaves the
// earlier copy as it was and no file under the real name, temporaries never outlive a copy nor
// vanish under a running one, two sources or entries of one name in one minute are both kept,
// and every failure says why.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "EngineTestSupport.h"
#include "common/TempFolder.h"
#include "engine/BackupItem.h"
#include "engine/FileCopy.h"

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

// Another process, alive (started suspended) until End: its number and start time are its own.
class OtherProcess {
public:
    OtherProcess() {
        wchar_t exe[MAX_PATH];
        GetModuleFileNameW(nullptr, exe, MAX_PATH);
        std::wstring line = L"engine_tests --gtest_list_tests";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        if (!CreateProcessW(exe, &line[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                            &startup, &m_process))
            return;
        FILETIME started, exited, kernel, user;
        if (GetProcessTimes(m_process.hProcess, &started, &exited, &kernel, &user))
            m_start = (static_cast<ULONGLONG>(started.dwHighDateTime) << 32) | started.dwLowDateTime;
    }
    ~OtherProcess() { End(); }
    OtherProcess(const OtherProcess&) = delete;
    OtherProcess& operator=(const OtherProcess&) = delete;

    bool running() const { return m_process.hProcess != nullptr && m_start != 0; }
    // "~tallowbox-partial-<number>-<start>-<n>.tmp" as this process would name its n-th.
    std::string Temporary(ULONGLONG start, unsigned n) const {
        char name[96];
        std::snprintf(name, sizeof name, "~tallowbox-partial-%lu-%016llX-%u.tmp", m_process.dwProcessId,
                      start, n);
        return name;
    }
    DWORD number() const { return m_process.dwProcessId; }
    ULONGLONG start() const { return m_start; }
    void End() {
        if (m_process.hProcess == nullptr)
            return;
        TerminateProcess(m_process.hProcess, 1);
        WaitForSingleObject(m_process.hProcess, 10000);
        CloseHandle(m_process.hThread);
        CloseHandle(m_process.hProcess);
        m_process = PROCESS_INFORMATION{};
    }

private:
    PROCESS_INFORMATION m_process{};
    ULONGLONG m_start = 0;
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
    // Another program copying into the same minute: its temporaries (in an earlier version's
    // name too) stay while it runs; one of an earlier process of its number, or of ours, does not.
    OtherProcess other;
    ASSERT_TRUE(other.running());
    const std::string running = other.Temporary(other.start(), 1),
                      earlier = other.Temporary(other.start() + 1, 2),
                      runningOld = "~tallowbox-partial-" + std::to_string(other.number()) + "-3.tmp",
                      ourEarlier = "~tallowbox-partial-" + std::to_string(GetCurrentProcessId()) +
                                   "-0000000000000001-4.tmp";
    for (const std::string& name : {running, earlier, runningOld, ourEarlier})
        WriteFileText(minute + "\\" + name, "a temporary");
    WriteFileText(m_data + "\\a.txt", "a");
    WriteFileText(m_data + "\\tree\\t.txt", "t");
    CBackupEngine engine(W(program));
    EXPECT_TRUE(Backup(engine, m_data + "\\a.txt"));
    EXPECT_TRUE(Backup(engine, m_data + "\\tree"));
    CloseHandle(open);
    std::vector<std::string> expected{"a.txt",    "tree",  held,
                                      runningOld, running, "~tallowbox-partial-notes.txt"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, ListFolder(minute));
    other.End();
    EXPECT_TRUE(Backup(engine, m_data + "\\a.txt"));
    EXPECT_EQ((std::vector<std::string>{"a.txt", "tree", "~tallowbox-partial-notes.txt"}), ListFolder(minute))
        << "once the program has ended its temporaries are leftovers";
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
    EXPECT_TRUE(Backup(restarted, m_data + "\\y\\same.txt"));
    EXPECT_EQ("from y, later", ReadWhole(minute + "\\same.txt"));
    EXPECT_EQ(
        (std::vector<std::string>{"README", "README (2)", "data", "data (2)", "same (2).txt", "same.txt"}),
        ListFolder(minute));
}

TEST_F(SafeReplaceTest, EntriesTheBackupDiskTakesForOneNameAreAllKept) {
    // A case-sensitive source: "Report.txt" and "report.txt", "Docs" and "docs" side by side.
    const std::string program = m_temp / "prog", minute = MinuteFolder(program), source = m_data + "\\cs";
    WriteFileText(source + "\\Report.txt", "report, upper");
    WriteFileText(source + "\\lower.txt", "report, lower");
    WriteFileText(source + "\\Docs\\a.txt", "a in Docs");
    WriteFileText(source + "\\lower\\a.txt", "a in docs");
    WriteFileText(source + "\\lower\\only.txt", "only in docs");
    ASSERT_TRUE(RenameOnUnixSide(source, "lower.txt", "report.txt"));
    ASSERT_TRUE(RenameOnUnixSide(source, "lower", "docs"));
    ASSERT_EQ((std::vector<std::string>{"Docs", "Report.txt", "docs", "report.txt"}), ListFolder(source));

    CBackupEngine engine(W(program), 4);
    ASSERT_TRUE(Backup(engine, source));
    ASSERT_EQ(1u, m_host.rows.size());
    EXPECT_EQ(minute + "\\cs", m_host.rows[0].destination.str()) << "a success row";
    // Which of a pair keeps the name is the source's listing order; both are kept either way.
    std::map<std::string, std::string> copied; // upper-cased path -> content ("" for a folder)
    std::vector<std::string> contents;
    for (const auto& entry : ReadTree(minute + "\\cs")) {
        copied[N(UpperCase(W(entry.first)))] = entry.second.content;
        contents.push_back(entry.second.folder ? "<folder>" : entry.second.content);
    }
    std::vector<std::string> expected;
    for (const auto& entry : ReadTree(source))
        expected.push_back(entry.second.folder ? "<folder>" : entry.second.content);
    std::sort(contents.begin(), contents.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, contents) << "every file's bytes, none twice";
    for (const char* name :
         {"REPORT.TXT", "REPORT (2).TXT", "DOCS", "DOCS (2)", "DOCS\\A.TXT", "DOCS (2)\\A.TXT"})
        EXPECT_EQ(1u, copied.count(name)) << name;
    // "<entry>を<name (2)>として保存しました（...）": the entry named was kept under that name.
    const std::string status = StatusEnd(), start = source + "\\";
    const size_t wo = status.find("を"), as = status.find("として保存しました");
    ASSERT_TRUE(status.compare(0, start.size(), start) == 0 && wo != std::string::npos &&
                as != std::string::npos)
        << status;
    EXPECT_TRUE(
        EndsWith(status, "として保存しました（同じ名前があったため。ほか1件も名前を変えて保存しました）"))
        << status;
    const std::string entry = status.substr(start.size(), wo - start.size()),
                      renamed = status.substr(wo + 2, as - wo - 2);
    const std::string inside = entry.find('.') == std::string::npos ? "\\a.txt" : "";
    EXPECT_EQ(ReadWhole(source + "\\" + entry + inside), ReadWhole(minute + "\\cs\\" + renamed + inside))
        << status;

    // Dropped as items in one run, the two files are kept too; the next run replaces each its own.
    for (int run = 0; run < 2; ++run) {
        engine.BeginRun();
        EXPECT_TRUE(Backup(engine, source + "\\Report.txt"));
        EXPECT_TRUE(Backup(engine, source + "\\report.txt"));
        EXPECT_EQ("report (2).txt", m_host.rows.back().name.str());
        EXPECT_EQ("ready", StatusEnd());
    }
    EXPECT_EQ("report, upper", ReadWhole(minute + "\\Report.txt"));
    EXPECT_EQ("report, lower", ReadWhole(minute + "\\report (2).txt"));
    EXPECT_EQ((std::vector<std::string>{"Report.txt", "cs", "report (2).txt"}), ListFolder(minute));
}
