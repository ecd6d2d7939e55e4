// The real application classes in this process, taking real WM_DROPFILES through their message
// loop: a file locked by another process, a file where the day or minute folder must go, links
// that loop, the program folder under other spellings, earlier backups dropped again, clashing
// names in one minute, names the code page cannot spell, a folder of 10,000 files, fifty drops
// in a row, and a restore over a file held open. Each case checks that every item is backed up
// whole or shown as failed, and that nothing outside the backup root changed.
#include "FaultSupport.h"
#include "GdiProbe.h"
#include "RunningApp.h"

#include "common/TempFolder.h"
#include "res/resource.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

class DropFault : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(MakeFolders(data) && MakeFolders(program)); }
    void TakeSnapshot() { before = ReadTree(area.path()); }
    std::string ChangedOutsideBackups(const std::string& backups = "prog\\backups") const {
        return ChangesOutside(before, ReadTree(area.path()), backups);
    }
    // Posts one drop of paths to the view and runs the loop until its rows are listed (the copy
    // runs on the program's worker).
    static void Drop(RunningApp& running, const std::vector<std::string>& paths) {
        const int before = running.ItemCount();
        ASSERT_TRUE(
            ::PostMessageA(running.View(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDropBlock(paths)), 0));
        for (int wait = 0; wait < 6000 && running.ItemCount() < before + static_cast<int>(paths.size());
             ++wait)
            running.Pump(50);
        running.Pump(50);
    }
    static ListedRow Row(RunningApp& running, int item) {
        return {running.ItemText(item, 0), running.ItemText(item, 1), running.ItemText(item, 2),
                running.ItemText(item, 3), running.ItemText(item, 4)};
    }
    // Checks a row is shown as failed and, when it is the drop's last, that the status says so.
    static void ExpectShownAsFailed(RunningApp& running, int item, const std::string& path, bool last) {
        const ListedRow row = Row(running, item);
        EXPECT_TRUE(IsFailedDestination(row.destination)) << path << ": " << row.destination;
        if (last) {
            EXPECT_TRUE(IsFailureStatus(running.StatusText(), path)) << running.StatusText();
        }
        if (IsFailedDestination(row.destination) && (!last || IsFailureStatus(running.StatusText(), path)))
            CountFailureShown();
    }

    TempFolder area;
    const std::string program = area / "prog";
    const std::string data = area / "data";
    Tree before;
};

// Another process that holds a file open without sharing and locked, until the case ends.
class LockingProcess {
public:
    explicit LockingProcess(const std::string& path) {
        const std::string base = "tallowbox-fault-lock-" + std::to_string(::GetCurrentProcessId());
        m_held = ::CreateEventA(nullptr, TRUE, FALSE, (base + "-held").c_str());
        m_release = ::CreateEventA(nullptr, TRUE, FALSE, (base + "-release").c_str());
        const std::string holder = WindowsPathOfBuildFile(LOCK_HOLDER_EXE);
        std::string commandLine = Quoted(holder) + " " + Quoted(path) + " " + base;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        m_started = ::CreateProcessA(holder.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                     nullptr, &startup, &m_process) != FALSE;
    }
    ~LockingProcess() {
        Release();
        if (m_started) {
            ::CloseHandle(m_process.hProcess);
            ::CloseHandle(m_process.hThread);
        }
        ::CloseHandle(m_held);
        ::CloseHandle(m_release);
    }
    LockingProcess(const LockingProcess&) = delete;
    LockingProcess& operator=(const LockingProcess&) = delete;

    bool WaitUntilHeld() const { return m_started && ::WaitForSingleObject(m_held, 20000) == WAIT_OBJECT_0; }
    // Lets go of the file; the holder's exit code (0: it held the lock), or 0xDEAD.
    DWORD Release() {
        ::SetEvent(m_release);
        DWORD code = 0xDEAD;
        if (m_started && ::WaitForSingleObject(m_process.hProcess, 20000) == WAIT_OBJECT_0)
            ::GetExitCodeProcess(m_process.hProcess, &code);
        return code;
    }

private:
    HANDLE m_held;
    HANDLE m_release;
    PROCESS_INFORMATION m_process = {};
    bool m_started = false;
};

TEST_F(DropFault, AFileLockedByAnotherProcessFailsItsFolderButTheRestIsCopied) {
    const std::string work = data + "\\work";
    ASSERT_TRUE(WriteFileText(work + "\\a.txt", "a"));
    ASSERT_TRUE(WriteFileText(work + "\\locked.db", "in use elsewhere"));
    ASSERT_TRUE(WriteFileText(work + "\\z\\z.txt", "z"));
    ASSERT_TRUE(WriteFileText(data + "\\other.txt", "other"));
    TakeSnapshot();
    const Tree workBefore = ReadTree(work);
    LockingProcess lock(work + "\\locked.db");
    ASSERT_TRUE(lock.WaitUntilHeld());

    RunningApp running("", program);
    ASSERT_TRUE(running.started());
    running.Pump(50);
    Drop(running, {data + "\\other.txt", work});
    ASSERT_EQ(2, running.ItemCount());
    const ListedRow file = Row(running, 0), folder = Row(running, 1);
    EXPECT_EQ("other.txt", file.name);
    EXPECT_FALSE(IsFailedDestination(file.destination)) << file.destination;
    EXPECT_EQ("other", ReadWhole(file.destination + "\\other.txt"));
    EXPECT_EQ("(フォルダ)", folder.name);
    ExpectShownAsFailed(running, 1, work, true);
    EXPECT_EQ("(失敗)" + file.destination + "\\work", folder.destination);
    const Tree copy = ReadTree(file.destination + "\\work");
    EXPECT_EQ("", MissingFromCopy(workBefore, copy, {"locked.db"})) << "every other file is copied";
    EXPECT_EQ(copy.end(), copy.find("locked.db"));

    EXPECT_EQ(0u, lock.Release()) << "the other process held the lock throughout";
    EXPECT_EQ("", ChangedOutsideBackups());
}

// A restore over a file another process holds open: what is there cannot be backed up first,
// so nothing is put back; both rows and the status line say why, and the file is untouched.
TEST_F(DropFault, ARestoreOverAFileHeldOpenElsewhereIsRefusedAndSaysWhy) {
    const std::string held = data + "\\held.db";
    ASSERT_TRUE(WriteFileText(held, "backed up"));
    RunningApp running("", program);
    ASSERT_TRUE(running.started());
    Drop(running, {held});
    ASSERT_TRUE(WriteFileText(held, "in use elsewhere"));
    TakeSnapshot();
    LockingProcess lock(held);
    ASSERT_TRUE(lock.WaitUntilHeld());

    RowSeams seams;
    seams.answer = IDYES;
    running.SelectRows({0});
    running.ChooseFromRowMenu(seams, ID_ROW_RESTORE);
    running.PumpUntilRows(3, 30000);
    ASSERT_EQ(3, running.ItemCount());
    ExpectShownAsFailed(running, 1, held, false);
    EXPECT_EQ("(失敗)(復元)" + held, Row(running, 2).destination);
    const std::string status = running.StatusText(), refused = "。元に戻していません";
    const size_t end = status.rfind(refused);
    EXPECT_TRUE(end != std::string::npos && end + refused.size() == status.size() &&
                IsFailureStatus(status.substr(0, end), held))
        << status;
    EXPECT_EQ(0u, lock.Release()) << "the other process held the lock throughout";
    EXPECT_EQ("in use elsewhere", ReadWhole(held));
    EXPECT_EQ("", ChangedOutsideBackups());
}

// In one minute, a file and a folder of the same name from different places: neither copy
// replaces the other; the later one is kept beside it under the next free name.
TEST_F(DropFault, AFileAndAFolderOfOneNameInOneMinuteAreBothKept) {
    ASSERT_TRUE(WriteFileText(data + "\\one\\same", "a file named same"));
    ASSERT_TRUE(WriteFileText(data + "\\two\\same\\inside.txt", "in a folder named same"));
    ASSERT_TRUE(WriteFileText(data + "\\three\\other\\inside.txt", "in a folder named other"));
    ASSERT_TRUE(WriteFileText(data + "\\four\\other", "a file named other"));
    RunningApp running("", program);
    ASSERT_TRUE(running.started());
    const SYSTEMTIME now = Now();
    if (now.wSecond >= 55) // both drops in one minute
        ::Sleep((61 - now.wSecond) * 1000);
    Drop(running, {data + "\\one\\same", data + "\\three\\other"});
    ASSERT_EQ(2, running.ItemCount());
    TakeSnapshot();

    Drop(running, {data + "\\two\\same", data + "\\four\\other"});
    ASSERT_EQ(4, running.ItemCount());
    const std::string minute = Row(running, 0).destination;
    EXPECT_EQ(minute + "\\same (2)", Row(running, 2).destination);
    EXPECT_EQ("other (2)", Row(running, 3).name);
    EXPECT_EQ("in a folder named same", ReadWhole(minute + "\\same (2)\\inside.txt"));
    EXPECT_EQ("a file named other", ReadWhole(minute + "\\other (2)"));
    EXPECT_EQ("ready", running.StatusText());
    const std::string changes = ChangesOutside(before, ReadTree(area.path()), "");
    EXPECT_EQ(std::string::npos, changes.find("changed")) << changes;
    EXPECT_EQ(std::string::npos, changes.find("removed")) << changes;
}

// A copy that cannot replace this minute's earlier copy leaves that copy as it was, its
// read-only, hidden and system attributes included.
TEST_F(DropFault, AFailedReplaceLeavesTheEarlierCopyAsItWas) {
    const std::string file = data + "\\kept.ini";
    const DWORD attributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    ASSERT_TRUE(WriteFileWithAttributes(file, "earlier content", attributes));
    RunningApp running("", program);
    ASSERT_TRUE(running.started());
    const SYSTEMTIME now = Now();
    if (now.wSecond >= 50) // both drops in one minute
        ::Sleep((61 - now.wSecond) * 1000);
    Drop(running, {file});
    ASSERT_EQ(1, running.ItemCount());
    const std::string copy = Row(running, 0).destination + "\\kept.ini";
    ASSERT_EQ(attributes, ::GetFileAttributesA(copy.c_str()) & attributes);
    // Changed since, so the second drop must read it (an unchanged file is not copied again).
    ASSERT_TRUE(::SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL) &&
                WriteFileWithAttributes(file, "later content", attributes));
    TakeSnapshot();

    LockingProcess lock(file);
    ASSERT_TRUE(lock.WaitUntilHeld());
    Drop(running, {file});
    ASSERT_EQ(2, running.ItemCount());
    ExpectShownAsFailed(running, 1, file, true);
    EXPECT_EQ(0u, lock.Release());
    EXPECT_EQ("", ChangesOutside(before, ReadTree(area.path()), "")) << "the earlier copy included";
}

// A DROPFILES block with wide paths, as the shell posts it on current systems.
// Names outside the code page, dropped as the shell drops them (UTF-16): each is backed up under
// its exact name, never its look-alike, and the rows show the names exactly; read with the
// narrow messages, the texts the code page spells are as they always were.
TEST_F(DropFault, NamesOutsideTheCodePageBackUpExactly) {
    const std::wstring wideData = W(data), folder = W(data) + L"\\\u00DCbersicht";
    const std::vector<std::wstring> items = {wideData + L"\\caf\u00E9.txt",
                                             wideData + L"\\\U00020BB7\u91CE\u5BB6.txt",
                                             wideData + L"\\note\U0001F600.txt", folder};
    ASSERT_TRUE(WriteWideFile(wideData + L"\\cafe.txt", "the look-alike"));
    for (size_t i = 0; i + 1 < items.size(); ++i)
        ASSERT_TRUE(WriteWideFile(items[i], "item " + std::to_string(i)));
    ASSERT_TRUE(WriteWideFile(folder + L"\\\uD55C\uAE00.txt", "hangul"));
    TakeSnapshot();

    RunningApp running("", program);
    ASSERT_TRUE(running.started());
    ASSERT_TRUE(
        ::PostMessageA(running.View(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDropBlock(items)), 0));
    for (int wait = 0; wait < 200 && running.ItemCount() < 4; ++wait)
        running.Pump(50);
    running.Pump(50);
    ASSERT_EQ(4, running.ItemCount());
    const std::wstring minute = running.WideItemText(0, 4);
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(LastComponent(items[row]), running.WideItemText(row, 2));
        EXPECT_EQ(minute, running.WideItemText(row, 4)) << "not failed";
        std::string copied;
        EXPECT_TRUE(ReadWideFile(minute + L"\\" + LastComponent(items[row]), &copied) &&
                    copied == "item " + std::to_string(row))
            << row << ": " << copied;
    }
    std::string copied;
    EXPECT_TRUE(ReadWideFile(minute + L"\\\u00DCbersicht\\\uD55C\uAE00.txt", &copied) && copied == "hangul");
    EXPECT_EQ(4u, ListWideFolder(minute).size()) << "never the look-alike";
    EXPECT_EQ(folder, running.WideItemText(3, 3));
    EXPECT_EQ("(フォルダ)", running.ItemText(3, 2));
    EXPECT_EQ(running.ItemText(0, 0), Row(running, 3).date);
    EXPECT_EQ(L"ready", running.WideStatusText());
    EXPECT_EQ("ready", running.StatusText());
    CountVerifiedBytes(6 * 3 + 6);
    EXPECT_EQ("", ChangedOutsideBackups());
}

// Blocking files for the moment of the drop and the moments after it, so a clock that moves on
// during the case still meets one.
struct BlockedLevel {
    const char* level;
    std::vector<std::string> (*blockers)(const SYSTEMTIME& now);
};

const BlockedLevel kBlockedLevels[] = {
    {"day",
     [](const SYSTEMTIME& now) {
         return std::vector<std::string>{DayFolderText(now), DayFolderText(now, 1)};
     }},
    {"minute",
     [](const SYSTEMTIME& now) {
         return std::vector<std::string>{MinuteFolderText(now), MinuteFolderText(now, 1),
                                         MinuteFolderText(now, 2)};
     }},
};

TEST_F(DropFault, AFileWhereTheDayOrMinuteFolderMustGoFailsEveryItemAndIsKept) {
    ASSERT_TRUE(WriteFileText(data + "\\a.txt", "a"));
    ASSERT_TRUE(WriteFileText(data + "\\tree\\t.txt", "t"));
    for (const BlockedLevel& blocked : kBlockedLevels) {
        SCOPED_TRACE(blocked.level);
        const std::string folder = area / (std::string("prog-") + blocked.level);
        for (const std::string& blocker : blocked.blockers(Now()))
            ASSERT_TRUE(WriteFileText(folder + "\\" + blocker, "stands where a folder must go"));
        TakeSnapshot();
        const Tree backupsBefore = ReadTree(folder + "\\backups");

        RunningApp running("", folder);
        ASSERT_TRUE(running.started());
        Drop(running, {data + "\\a.txt", data + "\\tree"});
        ASSERT_EQ(2, running.ItemCount());
        ExpectShownAsFailed(running, 0, data + "\\a.txt", false);
        ExpectShownAsFailed(running, 1, data + "\\tree", true);
        EXPECT_EQ("", ChangesOutside(backupsBefore, ReadTree(folder + "\\backups"), ""))
            << "nothing overwritten or made in the backups";
        EXPECT_EQ("", ChangedOutsideBackups(std::string("prog-") + blocked.level + "\\backups"));
    }
}

TEST_F(DropFault, LinksThatLoopOrLeadToAParentEndAndCopyTheRest) {
    const std::string linked = data + "\\linked";
    ASSERT_TRUE(WriteFileText(linked + "\\a.txt", "a"));
    ASSERT_TRUE(WriteFileText(linked + "\\sub\\b.txt", "b"));
    ASSERT_TRUE(WriteFileText(data + "\\beside.txt", "beside"));
    UnixSymlink self(linked + "\\self", ".");
    UnixSymlink toTop(linked + "\\sub\\top", "..");
    UnixSymlink toParent(linked + "\\parent", "..");
    ASSERT_TRUE(self.made() && toTop.made() && toParent.made()) << "cannot make links under this Wine";
    TakeSnapshot();

    RunningApp running("", program);
    ASSERT_TRUE(running.started());
    const ULONGLONG started = ::GetTickCount64();
    Drop(running, {linked});
    EXPECT_LT(::GetTickCount64() - started, 20000u) << "the copy ends";
    ASSERT_EQ(1, running.ItemCount());
    const ListedRow row = Row(running, 0);
    const std::string copyFolder = row.destination.substr(IsFailedDestination(row.destination) ? 6 : 0);
    EXPECT_FALSE(IsFailedDestination(row.destination)) << "a folder not entered again is no failure";
    EXPECT_EQ("ready", running.StatusText());
    std::vector<std::string> copied;
    for (const auto& entry : ReadTree(copyFolder))
        copied.push_back(entry.first);
    EXPECT_EQ((std::vector<std::string>{"a.txt", "parent", "parent\\beside.txt", "sub", "sub\\b.txt"}),
              copied);
    EXPECT_EQ("a", ReadWhole(copyFolder + "\\a.txt"));
    EXPECT_EQ("b", ReadWhole(copyFolder + "\\sub\\b.txt"));
    EXPECT_EQ("beside", ReadWhole(copyFolder + "\\parent\\beside.txt"))
        << "a link to a parent is copied once";
    CountVerifiedBytes(8);
    EXPECT_EQ("", ChangedOutsideBackups());
}

// However the program folder is named in a drop, its copy never takes in the backup root.
TEST_F(DropFault, TheProgramFolderUnderOtherSpellingsIsCopiedWithoutTheBackups) {
    ASSERT_TRUE(WriteFileText(program + "\\notes.txt", "notes"));
    ASSERT_TRUE(WriteFileText(program + "\\backups\\2000-0101\\0000\\old.txt", "an earlier backup"));
    UnixSymlink alias(area / "alias", "prog");
    ASSERT_TRUE(alias.made());
    std::string upperCase = program;
    ::CharUpperBuffA(&upperCase[0], static_cast<DWORD>(upperCase.size()));
    const std::vector<std::string> spellings{program + "\\", upperCase, area / "alias"};
    TakeSnapshot();
    const Tree programBefore = ReadTree(program);

    RunningApp running("", program);
    ASSERT_TRUE(running.started());
    Drop(running, spellings);
    ASSERT_EQ(3, running.ItemCount());
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(spellings[i]);
        const ListedRow row = Row(running, i);
        EXPECT_FALSE(IsFailedDestination(row.destination)) << row.destination;
        const Tree copy = ReadTree(row.destination);
        EXPECT_EQ("", MissingFromCopy(programBefore, copy, {"backups"}));
        EXPECT_EQ("", ExtraInCopy(programBefore, copy));
    }
    EXPECT_EQ("", ChangedOutsideBackups());
}

// Earlier copies dropped again in the same minute: a file and a folder (kept beside themselves,
// under the next free name), the minute folder into itself, the backup root. Nothing may be
// emptied, every copy ends, and what could not be copied is shown as failed.
TEST_F(DropFault, ItemsFromTheBackupsThemselvesAreNeverLostNorPassedOffAsCopied) {
    ASSERT_TRUE(WriteFileText(data + "\\a.txt", "first copy"));
    ASSERT_TRUE(WriteFileText(data + "\\tree\\t.txt", "tree"));
    RunningApp running("", program);
    ASSERT_TRUE(running.started());
    // Both drops must fall in one minute.
    const SYSTEMTIME now = Now();
    if (now.wSecond >= 55)
        ::Sleep((61 - now.wSecond) * 1000);
    Drop(running, {data + "\\a.txt", data + "\\tree"});
    ASSERT_EQ(2, running.ItemCount());
    const std::string minute = Row(running, 0).destination;
    const std::string minuteName = minute.substr(minute.rfind('\\') + 1);
    ASSERT_EQ("first copy", ReadWhole(minute + "\\a.txt"));
    TakeSnapshot();

    const std::vector<std::string> again{minute + "\\a.txt", minute + "\\tree", minute,
                                         program + "\\backups"};
    Drop(running, again);
    ASSERT_EQ(6, running.ItemCount());
    EXPECT_EQ("a (2).txt", Row(running, 2).name);
    EXPECT_EQ(minute + "\\tree (2)", Row(running, 3).destination);
    EXPECT_EQ("first copy", ReadWhole(minute + "\\a (2).txt"));
    EXPECT_EQ("tree", ReadWhole(minute + "\\tree (2)\\t.txt"));
    EXPECT_FALSE(IsFailedDestination(Row(running, 4).destination)) << Row(running, 4).destination;
    ExpectShownAsFailed(running, 5, again[3], true);
    EXPECT_EQ("first copy", ReadWhole(minute + "\\a.txt")) << "the earlier copy keeps its content";
    EXPECT_EQ("tree", ReadWhole(minute + "\\tree\\t.txt"));
    EXPECT_EQ("first copy", ReadWhole(minute + "\\" + minuteName + "\\a.txt"))
        << "the minute folder's own copy";
    EXPECT_EQ("tree", ReadWhole(minute + "\\" + minuteName + "\\tree\\t.txt"));
    CountVerifiedBytes(28);
    EXPECT_FALSE(FolderExists(minute + "\\" + minuteName + "\\" + minuteName))
        << "the copy never enters itself";
    EXPECT_EQ("", ChangedOutsideBackups());
    EXPECT_TRUE(ListFolder(minute + "\\backups").empty()) << "nothing of the backup root is copied into it";
}

TEST_F(DropFault, AFolderOfTenThousandFilesIsCopiedWhole) {
    const int kFiles = 10000;
    const std::string many = data + "\\many";
    ASSERT_TRUE(MakeFolders(many));
    for (int i = 0; i < kFiles; ++i) {
        char name[32], content[64];
        std::snprintf(name, sizeof name, "\\f%05d.txt", i);
        std::snprintf(content, sizeof content, "file %05d of the big folder, %08x", i, i * 2654435761u);
        ASSERT_TRUE(WriteFileOnly(many + name, content)) << name;
    }
    TakeSnapshot();

    RunningApp running("", program);
    ASSERT_TRUE(running.started());
    const ULONGLONG started = ::GetTickCount64();
    Drop(running, {many});
    std::printf("  %d files copied with the window showing in %llu ms\n", kFiles,
                ::GetTickCount64() - started);
    ASSERT_EQ(1, running.ItemCount());
    const ListedRow row = Row(running, 0);
    EXPECT_FALSE(IsFailedDestination(row.destination)) << row.destination;
    EXPECT_EQ("ready", running.StatusText());
    const Tree source = ReadTree(many), copy = ReadTree(row.destination);
    EXPECT_EQ(static_cast<size_t>(kFiles), copy.size());
    EXPECT_EQ("", MissingFromCopy(source, copy));
    EXPECT_EQ("", ExtraInCopy(source, copy));
    EXPECT_EQ("", ChangedOutsideBackups());
}

TEST_F(DropFault, FiftyDropsInARowListEveryRowAndLeakNothing) {
    // Counted once the list has grown its scroll bar and a folder has been dropped: those take
    // their GDI objects once, not per drop.
    const int kDrops = 50, kWarmUp = 15;
    std::vector<std::string> files;
    for (int i = 0; i < kDrops; ++i) {
        files.push_back(data + "\\drop" + std::to_string(i) + ".txt");
        ASSERT_TRUE(WriteFileText(files.back(), "drop " + std::to_string(i)));
    }
    ASSERT_TRUE(WriteFileText(data + "\\folder\\inner.txt", "inner"));
    TakeSnapshot();

    RunningApp running("", program);
    ASSERT_TRUE(running.started());
    running.Pump(50);
    const ULONGLONG started = ::GetTickCount64();
    int gdiAfterWarmUp = 0, handlesAfterWarmUp = 0;
    for (int i = 0; i < kDrops; ++i) {
        // Every tenth drop brings a folder along.
        std::vector<std::string> paths{files[i]};
        if (i % 10 == 9)
            paths.push_back(data + "\\folder");
        Drop(running, paths);
        if (i + 1 == kWarmUp) {
            gdiAfterWarmUp = CountGdiObjects();
            handlesAfterWarmUp = CountKernelHandles();
        }
    }
    EXPECT_LT(::GetTickCount64() - started, 60000u) << "fifty drops within one minute";
    const int gdiAtEnd = CountGdiObjects(), handlesAtEnd = CountKernelHandles();
    std::printf("  GDI objects (%s) after %d drops %d, after %d drops %d; handles %d, %d\n", GdiCountMethod(),
                kWarmUp, gdiAfterWarmUp, kDrops, gdiAtEnd, handlesAfterWarmUp, handlesAtEnd);
    // One object lost per drop would add 35, one per folder drop 4; the system may hold one or
    // two of its own for a while.
    const int kNoise = 2;
    EXPECT_LE(gdiAtEnd - gdiAfterWarmUp, kNoise) << "GDI objects stay flat";
    EXPECT_LE(handlesAtEnd - handlesAfterWarmUp, kNoise) << "kernel handles stay flat";

    ASSERT_EQ(kDrops + kDrops / 10, running.ItemCount()) << "the list holds every row";
    int item = 0;
    for (int i = 0; i < kDrops; ++i) {
        SCOPED_TRACE(files[i]);
        const ListedRow row = Row(running, item++);
        EXPECT_EQ("drop" + std::to_string(i) + ".txt", row.name);
        const std::string content = "drop " + std::to_string(i);
        EXPECT_EQ(content, ReadWhole(row.destination + "\\" + row.name));
        CountVerifiedBytes(content.size());
        if (i % 10 == 9) {
            const ListedRow folder = Row(running, item++);
            EXPECT_EQ("(フォルダ)", folder.name);
            EXPECT_EQ("inner", ReadWhole(folder.destination + "\\inner.txt"));
            CountVerifiedBytes(5);
        }
    }
    EXPECT_EQ("", ChangedOutsideBackups());
}

} // namespace
