// The mirror on real disks: versions made by the engine copied whole (bytes, attributes, times,
// journal), a second unchanged folder version linked to the mirror's own copy, a mirror whose
// drive letter is gone caught up once it is back and after a restart, a full mirror disk, the
// refused places, a hostile mirror journal, links planted on the way to a copy in either place,
// one copy when two programs share the backups, and a damaged local copy never copied on.
#include <gtest/gtest.h>

#include <windows.h>

#include <condition_variable>
#include <mutex>

#include "EngineTestSupport.h"
#include "common/TempFolder.h"
#include "engine/base/Settings.h"
#include "engine/copy/FileCopy.h"
#include "engine/journal/Journal.h"
#include "engine/journal/JournalLines.h"
#include "engine/mirror/Mirror.h"
#include "engine/proof/VersionProof.h"
#include "engine/mirror/MirrorHistory.h"
#include "engine/mirror/MirrorPlace.h"
#include "engine/watch/Watcher.h"

namespace {

const DWORD kWaitMs = 15000;

// Records the mirror's states; the test waits for one after a mark.
class MirrorRecorder : public CMirrorHost {
public:
    void MirrorStateChanged(const MirrorState& state) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_states.push_back(state);
        m_changed.notify_all();
    }
    size_t Mark() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_states.size();
    }
    // The first state of phase reported after mark; Starting when none came in time.
    MirrorState WaitFor(MirrorState::Phase phase, size_t mark = 0, size_t copiedAtLeast = 0) {
        std::unique_lock<std::mutex> lock(m_mutex);
        MirrorState found;
        m_changed.wait_for(lock, std::chrono::milliseconds(kWaitMs), [&] {
            for (size_t i = mark; i < m_states.size(); ++i)
                if (m_states[i].phase == phase && m_states[i].copied >= copiedAtLeast) {
                    found = m_states[i];
                    return true;
                }
            return false;
        });
        return found;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<MirrorState> m_states;
};

class QuietWatchHost : public CWatchHost {
public:
    void ItemSettled(const std::wstring&) override {}
    void WatchStatesChanged() override {}
};

// The local side: a backups folder, its engine telling the inbox of each version, and the data.
struct Backups {
    TempFolder temp;
    std::string root = temp / "backups", data = temp / "data";
    std::shared_ptr<CMirrorInbox> inbox = std::make_shared<CMirrorInbox>();
    CBackupEngine engine{W(temp.path()), 1, W(root)};
    RecordingHost host;
    Backups() { engine.SetVersionSink(inbox); }
    bool BackUp(const std::string& path, SYSTEMTIME time) {
        engine.BeginRun();
        return engine.BackUp(host, W(path), time);
    }
};

// Every record of every day journal below root.
std::vector<JournalRecord> JournalRecords(const std::string& root) {
    std::vector<JournalRecord> records;
    for (const std::string& day : ListFolder(root)) {
        unsigned unreadable = 0;
        int version = kJournalVersion;
        ForEachLine(W(root + "\\" + day + "\\" + N(kJournalName)), &unreadable,
                    [&](const char* text, size_t length) {
                        JournalRecord record;
                        if (ParseJournalLine(text, length, &record, &version) == JournalLine::Record)
                            records.push_back(record);
                    });
    }
    return records;
}

FileIdentity IdentityOf(const std::string& path) {
    FileIdentity identity;
    EXPECT_TRUE(ReadFileIdentity(SystemPath(W(path)), &identity)) << path;
    return identity;
}

FILETIME WrittenAt(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

std::string ParentOf(const std::string& path) {
    return path.substr(0, path.rfind('\\'));
}

// A drive letter of the test's prefix standing for folder; Remove unplugs it, Plug brings it back.
class DriveLetter {
public:
    DriveLetter(const std::string& folder) : m_folder(folder) {
        char prefix[MAX_PATH] = {};
        if (GetEnvironmentVariableA("WINEPREFIX", prefix, MAX_PATH) == 0)
            return;
        m_link = std::string(prefix) + "/dosdevices/m:";
        char unixFolder[MAX_PATH] = {};
        using UnixName = char*(CDECL*)(LPCWSTR);
        auto unixName = reinterpret_cast<UnixName>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
        if (unixName == nullptr || GetFileAttributesA("M:\\") != INVALID_FILE_ATTRIBUTES)
            return;
        char* name = unixName(W(folder).c_str());
        if (name == nullptr)
            return;
        lstrcpynA(unixFolder, name, MAX_PATH);
        HeapFree(GetProcessHeap(), 0, name);
        m_target = unixFolder;
        m_made = Plug();
    }
    ~DriveLetter() {
        if (m_made)
            Unplug();
    }
    bool made() const { return m_made; }
    bool Plug() { return Run("Z:\\bin\\ln", "ln -s \"" + m_target + "\" \"" + m_link + "\"", true); }
    bool Unplug() { return Run("Z:\\bin\\rm", "rm -f \"" + m_link + "\"", false); }

private:
    bool Run(const char* program, std::string line, bool there) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!CreateProcessA(program, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process))
            return false;
        WaitForSingleObject(process.hProcess, 10000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        for (int attempt = 0; attempt < 200; ++attempt, Sleep(10))
            if ((GetFileAttributesA("M:\\") != INVALID_FILE_ATTRIBUTES) == there)
                return true;
        return false;
    }
    std::string m_folder, m_link, m_target;
    bool m_made = false;
};

} // namespace

TEST(Mirror, VersionsMirroredWholeAndUnchangedFilesLinkedThere) {
    Backups local;
    const std::string mirror = local.temp / "second\\mirror";
    ASSERT_TRUE(MakeFolders(ParentOf(mirror)));
    ASSERT_TRUE(WriteFileText(local.data + "\\report.txt", "the report"));
    ASSERT_TRUE(WriteFileText(local.data + "\\project\\a.txt", "alpha"));
    ASSERT_TRUE(WriteFileWithAttributes(local.data + "\\project\\sub\\b.txt", "beta", FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(local.BackUp(local.data + "\\report.txt", At(2026, 12, 7, 10, 15)));
    ASSERT_TRUE(local.BackUp(local.data + "\\project", At(2026, 12, 7, 10, 15)));

    MirrorRecorder recorder;
    auto running = std::make_unique<CMirror>(recorder, W(local.root), W(mirror), true, local.inbox);
    running->Start();
    MirrorState state = recorder.WaitFor(MirrorState::Phase::CaughtUp);
    ASSERT_EQ(MirrorState::Phase::CaughtUp, state.phase);
    EXPECT_EQ(2u, state.copied);
    EXPECT_EQ(0u, state.waiting);
    const std::string minute = "\\2026-1207\\1015";
    EXPECT_TRUE(ReadTree(local.root + minute) == ReadTree(mirror + minute)) << "same names, bytes and times";
    EXPECT_EQ(GetFileAttributesA((local.root + minute + "\\project\\sub\\b.txt").c_str()),
              GetFileAttributesA((mirror + minute + "\\project\\sub\\b.txt").c_str()));
    const FILETIME localTime = WrittenAt(local.root + minute + "\\project\\sub");
    const FILETIME mirrorTime = WrittenAt(mirror + minute + "\\project\\sub");
    EXPECT_EQ(0, CompareFileTime(&localTime, &mirrorTime)) << "folder times";
    std::vector<JournalRecord> records = JournalRecords(mirror);
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(L"2026-1207\\1015\\report.txt", records[0].copy) << "relative to the mirror";
    EXPECT_EQ(W(local.data + "\\project"), records[1].original);
    EXPECT_EQ(10u, records[0].bytes);
    // Proven there as here: the same hashes, a folder version's manifest beside its copy.
    const std::vector<JournalRecord> localRecords = JournalRecords(local.root);
    for (size_t i = 0; i < records.size(); ++i)
        EXPECT_TRUE(records[i].hashKnown && records[i].hash == localRecords[i].hash) << i;
    const std::string manifest = "\\2026-1207\\Tallowbox-manifests\\1015\\project.tsv";
    EXPECT_EQ(ReadWhole(local.root + manifest), ReadWhole(mirror + manifest));

    // A second, unchanged version: linked to the mirror's own copy, never to a local one.
    size_t mark = recorder.Mark();
    ASSERT_TRUE(local.BackUp(local.data + "\\project", At(2026, 12, 7, 11, 0)));
    ASSERT_EQ(MirrorState::Phase::CaughtUp, recorder.WaitFor(MirrorState::Phase::CaughtUp, mark, 1).phase);
    const std::string later = mirror + "\\2026-1207\\1100\\project\\a.txt";
    EXPECT_EQ("alpha", ReadWhole(later));
    EXPECT_TRUE(IdentityOf(later) == IdentityOf(mirror + minute + "\\project\\a.txt"));
    EXPECT_FALSE(IdentityOf(later) == IdentityOf(local.root + "\\2026-1207\\1100\\project\\a.txt"));
    records = JournalRecords(mirror);
    ASSERT_EQ(3u, records.size());
    EXPECT_EQ(2u, records[2].linked);

    // Link=no: the same versions copied onto another mirror without a link.
    running.reset();
    const std::string plain = local.temp / "second\\plain";
    MirrorRecorder plainRecorder;
    CMirror unlinked(plainRecorder, W(local.root), W(plain), false, local.inbox);
    unlinked.Start();
    ASSERT_EQ(3u, plainRecorder.WaitFor(MirrorState::Phase::CaughtUp).copied);
    EXPECT_FALSE(IdentityOf(plain + "\\2026-1207\\1100\\project\\a.txt") ==
                 IdentityOf(plain + minute + "\\project\\a.txt"));
}

TEST(Mirror, UnpluggedMirrorWaitsThenCatchesUpAlsoAfterARestart) {
    Backups local;
    const std::string disk = local.temp / "usb";
    ASSERT_TRUE(MakeFolders(disk));
    DriveLetter letter(disk);
    if (!letter.made())
        GTEST_SKIP() << "no drive letter can be made in this prefix";
    const std::string mirror = "M:\\Tallowbox mirror";
    ASSERT_TRUE(letter.Unplug());
    ASSERT_TRUE(WriteFileText(local.data + "\\a.txt", "one"));
    ASSERT_TRUE(local.BackUp(local.data + "\\a.txt", At(2026, 12, 8, 9, 0)));
    ASSERT_TRUE(WriteFileText(local.data + "\\a.txt", "two!"));
    ASSERT_TRUE(local.BackUp(local.data + "\\a.txt", At(2026, 12, 8, 9, 1)));

    MirrorRecorder recorder;
    auto running = std::make_unique<CMirror>(recorder, W(local.root), W(mirror), true, local.inbox);
    running->Start();
    MirrorState state = recorder.WaitFor(MirrorState::Phase::Unreachable);
    ASSERT_EQ(MirrorState::Phase::Unreachable, state.phase);
    EXPECT_EQ(2u, state.waiting);
    for (const BackupRow& row : local.host.wideRows)
        EXPECT_EQ(RowOutcome::Succeeded, row.outcome) << "no failed row while the mirror is away";

    ASSERT_TRUE(letter.Plug());
    size_t mark = recorder.Mark();
    running->Retry();
    state = recorder.WaitFor(MirrorState::Phase::CaughtUp, mark);
    ASSERT_EQ(MirrorState::Phase::CaughtUp, state.phase);
    EXPECT_EQ(2u, state.copied);
    EXPECT_EQ("two!", ReadWhole(disk + "\\Tallowbox mirror\\2026-1208\\0901\\a.txt"));

    // Not running while a version is made: the next start copies that one alone.
    running.reset();
    ASSERT_TRUE(WriteFileText(local.data + "\\a.txt", "three"));
    ASSERT_TRUE(local.BackUp(local.data + "\\a.txt", At(2026, 12, 8, 9, 2)));
    MirrorRecorder restarted;
    CMirror again(restarted, W(local.root), W(mirror), true, local.inbox);
    again.Start();
    EXPECT_EQ(1u, restarted.WaitFor(MirrorState::Phase::CaughtUp).copied);
    EXPECT_EQ(3u, JournalRecords(disk + "\\Tallowbox mirror").size()) << "each version once";
}

TEST(Mirror, FullMirrorDiskSaidWithNoHalfFileAndResumedWithRoom) {
    Backups local;
    const std::string disk = local.temp / "small";
    ASSERT_TRUE(MakeFolders(disk));
    SmallDisk small(disk, 1024);
    if (!small.made())
        GTEST_SKIP() << "mounting a small disk needs root";
    ASSERT_TRUE(WriteFileText(disk + "\\filler", std::string(400 * 1024, 'f')));
    const std::string content(800 * 1024, 'x');
    ASSERT_TRUE(WriteFileText(local.data + "\\big.bin", content));
    ASSERT_TRUE(local.BackUp(local.data + "\\big.bin", At(2026, 12, 8, 10, 0)));

    MirrorRecorder recorder;
    CMirror running(recorder, W(local.root), W(disk + "\\mirror"), true, local.inbox);
    running.Start();
    const MirrorState state = recorder.WaitFor(MirrorState::Phase::DiskFull);
    ASSERT_EQ(MirrorState::Phase::DiskFull, state.phase);
    EXPECT_EQ(1u, state.waiting);
    const std::string minute = disk + "\\mirror\\2026-1208\\1000";
    for (const std::string& name : ListFolder(minute))
        EXPECT_TRUE(IsTemporaryName(W(name))) << name << ": nothing half-written under a real name";
    EXPECT_EQ(content, ReadWhole(local.root + "\\2026-1208\\1000\\big.bin")) << "the local copy untouched";
    EXPECT_TRUE(JournalRecords(disk + "\\mirror").empty());

    ASSERT_TRUE(DeleteFileA((disk + "\\filler").c_str()));
    const size_t mark = recorder.Mark();
    running.Retry();
    ASSERT_EQ(MirrorState::Phase::CaughtUp, recorder.WaitFor(MirrorState::Phase::CaughtUp, mark).phase);
    EXPECT_EQ(content, ReadWhole(minute + "\\big.bin"));
}

TEST(Mirror, RefusedPlacesAndTheSettingWrittenInPlace) {
    TempFolder temp;
    const std::wstring backups = W(temp / "backups"), watched = W(temp / "work");
    ASSERT_TRUE(MakeFolders(temp / "backups") && MakeFolders(temp / "work"));
    const std::vector<std::wstring> items = {watched};
    EXPECT_EQ(MirrorFolderRefusal::BackupsFolder,
              CheckMirrorFolder(L"\\\\?\\" + backups + L"\\", backups, items));
    EXPECT_EQ(MirrorFolderRefusal::InsideBackups, CheckMirrorFolder(backups + L"\\Mirror", backups, items));
    EXPECT_EQ(MirrorFolderRefusal::ContainsBackups, CheckMirrorFolder(W(temp.path()), backups, items));
    EXPECT_EQ(MirrorFolderRefusal::InsideWatched, CheckMirrorFolder(watched, backups, items));
    EXPECT_EQ(MirrorFolderRefusal::InsideWatched,
              CheckMirrorFolder(UpperCase(watched) + L"\\m", backups, items));
    EXPECT_EQ(MirrorFolderRefusal::DriveRoot, CheckMirrorFolder(L"E:\\", backups, items));
    EXPECT_EQ(MirrorFolderRefusal::DriveRoot, CheckMirrorFolder(L"\\\\server\\share\\", backups, items));
    EXPECT_EQ(MirrorFolderRefusal::NotFullPath, CheckMirrorFolder(L"mirror", backups, items));
    EXPECT_EQ(MirrorFolderRefusal::NotFullPath, CheckMirrorFolder(L"E:mirror", backups, items));
    EXPECT_EQ(MirrorFolderRefusal::None, CheckMirrorFolder(W(temp / "elsewhere\\mirror"), backups, items));

    // Refused as the mirror starts too: nothing is written there.
    MirrorRecorder recorder;
    CMirror inside(recorder, backups, backups + L"\\Mirror", true, nullptr);
    inside.Start(items);
    EXPECT_EQ(MirrorFolderRefusal::InsideBackups, recorder.WaitFor(MirrorState::Phase::Refused).refusal);
    EXPECT_FALSE(FolderExists(temp / "backups\\Mirror"));

    // The picker's write: only the key's line changes, in the file's own encoding and line ends.
    const std::string ini = temp / "Tallowbox.ini";
    const auto utf16 = [](const std::string& text) {
        std::string bytes;
        for (char c : text)
            bytes += std::string(1, c) + '\0';
        return bytes;
    };
    const std::string mark("\xFF\xFE", 2);
    ASSERT_TRUE(WriteFileText(ini, mark + utf16("[Tallowbox]\r\nMirrorFolder=x\r\n;k\r\n")));
    ASSERT_EQ(DWORD(ERROR_SUCCESS), WriteSettingValue(W(temp.path()), kMirrorFolderKey, L"E:\\m"));
    EXPECT_EQ(L"E:\\m", ReadSettings(W(temp.path())).mirrorFolder);
    EXPECT_EQ(mark + utf16("[Tallowbox]\r\nMirrorFolder=E:\\m\r\n;k\r\n"), ReadWhole(ini));
    ASSERT_TRUE(
        WriteFileText(ini, "Link=no\n[Other]\nMirrorFolder=theirs\n[tallowbox]\nMirrorFolder=D:\\a\n"));
    ASSERT_EQ(DWORD(ERROR_SUCCESS), WriteSettingValue(W(temp.path()), kMirrorFolderKey, L""));
    EXPECT_EQ("Link=no\n[Other]\nMirrorFolder=theirs\n[tallowbox]\n", ReadWhole(ini));
    ASSERT_EQ(DWORD(ERROR_SUCCESS), WriteSettingValue(W(temp.path()), kMirrorFolderKey, L"D:\\b"));
    EXPECT_EQ("Link=no\n[Other]\nMirrorFolder=theirs\n[tallowbox]\nMirrorFolder=D:\\b\n", ReadWhole(ini));
    EXPECT_EQ(DWORD(ERROR_INVALID_DATA),
              WriteSettingValue(W(temp.path()), kMirrorFolderKey, L"D:\\b\r\nLink=no"));
}

TEST(Mirror, HostileMirrorJournalRefused) {
    Backups local;
    const std::string mirror = local.temp / "mirror";
    ASSERT_TRUE(WriteFileText(local.temp / "outside.txt", "keep"));
    ASSERT_TRUE(WriteFileText(local.data + "\\a.txt", "mine"));
    ASSERT_TRUE(local.BackUp(local.data + "\\a.txt", At(2026, 12, 7, 10, 15)));
    // Records that claim the version but lead out of the mirror, to a device or anywhere.
    JournalRecord claimed = JournalRecords(local.root).at(0);
    std::string hostile = JournalHeaderLine();
    for (const wchar_t* copy : {L"..\\..\\outside.txt", L"2026-1207\\1015\\CON", L"C:\\outside.txt",
                                L"2026-1207\\..\\..\\outside.txt"}) {
        claimed.copy = copy;
        hostile += FormatJournalLine(claimed);
    }
    hostile += std::string(journal_lines::kLongestLine + 10, 'x') + "\n";
    ASSERT_TRUE(WriteFileText(mirror + "\\2026-1207\\" + N(kJournalName), hostile));

    MirrorRecorder recorder;
    CMirror running(recorder, W(local.root), W(mirror), true, local.inbox);
    running.Start();
    ASSERT_EQ(1u, recorder.WaitFor(MirrorState::Phase::CaughtUp).copied)
        << "no hostile line counts as the copy";
    EXPECT_EQ("mine", ReadWhole(mirror + "\\2026-1207\\1015\\a.txt"));
    EXPECT_EQ("keep", ReadWhole(local.temp / "outside.txt"));
    const std::vector<JournalRecord> records = JournalRecords(mirror);
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(L"2026-1207\\1015\\a.txt", records.back().copy);
}

// Neither place ever holds a link of the program's: a minute folder replaced by one (a Unix symbolic
// link to a folder outside) after its version was mirrored is never read or written through: the
// check and the restore read nothing there, a later version of that minute is not mirrored through
// it, and the record of the copy behind it reads as damaged, the other place's as whole.
TEST(Mirror, ALinkPlantedOnTheWayToACopyIsFollowedInNeitherPlace) {
    for (const bool inMirror : {false, true}) {
        SCOPED_TRACE(inMirror ? "in the mirror" : "in the backups folder");
        Backups local;
        const std::string mirror = local.temp / "mirror", outside = local.temp / "outside";
        ASSERT_TRUE(WriteFileText(outside + "\\a.txt", "outside") &&
                    WriteFileText(local.data + "\\a.txt", "mine"));
        ASSERT_TRUE(local.BackUp(local.data + "\\a.txt", At(2026, 12, 7, 10, 15)));
        MirrorRecorder recorder;
        CMirror running(recorder, W(local.root), W(mirror), true, local.inbox);
        running.Start();
        ASSERT_EQ(1u, recorder.WaitFor(MirrorState::Phase::CaughtUp).copied);
        CHistory both, after;
        ReadHistoryDayOfBoth(W(local.root), W(mirror), L"2026-1207", both);
        const std::string place = inMirror ? mirror : local.root, minute = place + "\\2026-1207\\1015";
        RemoveTree(minute);
        UnixSymlink link(minute, "../../outside");
        ASSERT_TRUE(link.made() && both.entries.size() == 1);
        CCheckLedger ledger; // not loaded: nothing recorded
        CReadOnce once;
        const VersionProof proof = ProveVersion(both, both.entries[0], W(local.root), W(mirror), ledger, once, nullptr);
        EXPECT_EQ(ProofState::Unreadable, proof.place[inMirror ? 1 : 0].state) << "read through no link";
        ASSERT_TRUE(WriteFileText(local.data + "\\a.txt", "changed"));
        EXPECT_FALSE(local.engine.Restore(local.host, both.RowFor(both.entries[0], W(place)),
                                          At(2026, 12, 7, 10, 20)));
        EXPECT_EQ("changed", ReadWhole(local.data + "\\a.txt")) << "nothing put back from outside";
        if (inMirror) { // a later version of that minute
            const size_t mark = recorder.Mark();
            ASSERT_TRUE(WriteFileText(local.data + "\\b.txt", "b") &&
                        local.BackUp(local.data + "\\b.txt", At(2026, 12, 7, 10, 15)));
            EXPECT_EQ(1u, recorder.WaitFor(MirrorState::Phase::CaughtUp, mark).failed);
        }
        EXPECT_EQ(std::vector<std::string>{"a.txt"}, ListFolder(outside)) << "nothing written outside";
        ReadHistoryDayOfBoth(W(local.root), W(mirror), L"2026-1207", after);
        std::vector<std::pair<int, bool>> versions; // place, damaged
        for (const HistoryEntry& entry : after.entries)
            if (entry.kind == JournalKind::Backup && after.CopyPath(entry) == L"2026-1207\\1015\\a.txt")
                versions.push_back({entry.place, entry.Is(HistoryEntry::kDamaged)});
        EXPECT_EQ((std::vector<std::pair<int, bool>>{{HistoryEntry::kHere, !inMirror},
                                                     {HistoryEntry::kMirror, inMirror}}),
                  versions);
    }
}

TEST(Mirror, TwoProgramsMakeOneCopyAndTheSecondTakesOver) {
    Backups local;
    const std::string mirror = local.temp / "mirror";
    ASSERT_TRUE(WriteFileText(local.data + "\\a.txt", "1"));
    ASSERT_TRUE(local.BackUp(local.data + "\\a.txt", At(2026, 12, 7, 10, 15)));
    QuietWatchHost quiet;
    auto firstWatcher = std::make_shared<CWatcher>(quiet, W(local.root), std::vector<std::wstring>(), 1000);
    firstWatcher->Start();
    for (int tries = 0; tries < 200 && !firstWatcher->OwnsList(); ++tries)
        Sleep(10);
    CWatcher secondWatcher(quiet, W(local.root), {}, 1000);
    secondWatcher.Start();
    MirrorRecorder firstRecorder, secondRecorder;
    auto first = std::make_unique<CMirror>(firstRecorder, W(local.root), W(mirror), true, local.inbox,
                                           [firstWatcher] { return firstWatcher->OwnsList(); });
    auto secondInbox = std::make_shared<CMirrorInbox>();
    CMirror second(secondRecorder, W(local.root), W(mirror), true, secondInbox,
                   [&secondWatcher] { return secondWatcher.OwnsList(); });
    first->Start();
    second.Start();
    EXPECT_EQ(MirrorState::Phase::CaughtUp, firstRecorder.WaitFor(MirrorState::Phase::CaughtUp).phase);
    EXPECT_EQ(MirrorState::Phase::OtherProgram,
              secondRecorder.WaitFor(MirrorState::Phase::OtherProgram).phase);
    EXPECT_EQ(1u, JournalRecords(mirror).size());

    // The first program ends: the second mirrors from then on, without copying anything twice.
    first.reset();
    firstWatcher.reset();
    const size_t mark = secondRecorder.Mark();
    ASSERT_EQ(MirrorState::Phase::CaughtUp, secondRecorder.WaitFor(MirrorState::Phase::CaughtUp, mark).phase);
    EXPECT_EQ(1u, JournalRecords(mirror).size());
    ASSERT_TRUE(WriteFileText(local.data + "\\a.txt", "2"));
    ASSERT_TRUE(local.BackUp(local.data + "\\a.txt", At(2026, 12, 7, 10, 16)));
    second.Retry();
    for (int tries = 0; tries < 500 && JournalRecords(mirror).size() < 2; ++tries)
        Sleep(20);
    EXPECT_EQ(2u, JournalRecords(mirror).size());
}

// A local copy whose bytes are not those its hash names is never copied on: the original is taken
// instead while it still has that size, time and hash; once it has changed the versions wait, said
// as damaged, and nothing of them reaches the mirror.
TEST(Mirror, DamagedLocalCopyNeverMirroredButTheMatchingOriginalIs) {
    for (const bool originalChanged : {false, true}) {
        SCOPED_TRACE(originalChanged ? "original changed since" : "original as backed up");
        Backups local;
        const std::string mirror = local.temp / "mirror", minute = "\\2026-1207\\1015";
        ASSERT_TRUE(WriteFileText(local.data + "\\report.txt", "the report") &&
                    WriteFileText(local.data + "\\project\\sub\\b.txt", "beta") &&
                    WriteFileText(local.data + "\\project\\a.txt", "alpha"));
        ASSERT_TRUE(local.BackUp(local.data + "\\report.txt", At(2026, 12, 7, 10, 15)) &&
                    local.BackUp(local.data + "\\project", At(2026, 12, 7, 10, 15)));
        const std::vector<std::string> damaged = {"\\report.txt", "\\project\\sub\\b.txt"};
        for (const std::string& file : damaged) {
            ASSERT_TRUE(FlipByteKeepingTime(local.root + minute + file)) << file;
            ASSERT_TRUE(!originalChanged || WriteFileText(local.data + file, "edited since"));
        }
        MirrorRecorder recorder;
        CMirror running(recorder, W(local.root), W(mirror), true, local.inbox);
        running.Start();
        const MirrorState state = recorder.WaitFor(MirrorState::Phase::CaughtUp);
        ASSERT_EQ(MirrorState::Phase::CaughtUp, state.phase);
        EXPECT_EQ(originalChanged ? 0u : 2u, state.copied);
        EXPECT_EQ(originalChanged ? 2u : 0u, state.damaged);
        EXPECT_EQ(0u, state.failed);
        EXPECT_EQ(originalChanged ? 2u : 0u, state.waiting);
        EXPECT_EQ("alpha", ReadWhole(local.root + minute + "\\project\\a.txt"));
        if (originalChanged) {
            for (const std::string& name : ListFolder(mirror + minute)) {
                EXPECT_TRUE(IsTemporaryName(W(name)))
                    << name << ": nothing of the versions under a real name";
            }
            EXPECT_TRUE(JournalRecords(mirror).empty());
            EXPECT_EQ(std::string("\x8Bhe report"), ReadWhole(local.root + minute + "\\report.txt"))
                << "the copy here untouched";
            continue;
        }
        EXPECT_EQ("the report", ReadWhole(mirror + minute + "\\report.txt"));
        EXPECT_EQ("beta", ReadWhole(mirror + minute + "\\project\\sub\\b.txt"));
        EXPECT_EQ("alpha", ReadWhole(mirror + minute + "\\project\\a.txt"));
        const FILETIME localTime = WrittenAt(local.root + minute + "\\report.txt");
        const FILETIME mirrorTime = WrittenAt(mirror + minute + "\\report.txt");
        EXPECT_EQ(0, CompareFileTime(&localTime, &mirrorTime));
        for (const JournalRecord& record : JournalRecords(mirror)) {
            EXPECT_TRUE(record.hashKnown) << N(record.copy) << ": proven there as the local journal says";
        }
    }
}

// A second backup of one item within its minute replaces the first one's copy here: the first
// record has nothing left to copy, and is neither copied with the later bytes nor held as damaged.
TEST(Mirror, ACopyReplacedWithinItsMinuteIsNotHeldAsDamaged) {
    Backups local;
    const std::string mirror = local.temp / "mirror";
    for (const char* words : {"the report", "the report, edited"}) {
        ASSERT_TRUE(WriteFileText(local.data + "\\report.txt", words) &&
                    local.BackUp(local.data + "\\report.txt", At(2026, 12, 7, 10, 15)));
    }
    MirrorRecorder recorder;
    CMirror running(recorder, W(local.root), W(mirror), true, local.inbox);
    running.Start();
    const MirrorState state = recorder.WaitFor(MirrorState::Phase::CaughtUp);
    EXPECT_EQ(1u, state.copied);
    EXPECT_EQ(0u, state.damaged);
    EXPECT_EQ(0u, state.waiting);
    EXPECT_EQ("the report, edited", ReadWhole(mirror + "\\2026-1207\\1015\\report.txt"));
    EXPECT_EQ(1u, JournalRecords(mirror).size());

    // A third within the same second, once the mirror holds the second: a version of its own there.
    const size_t mark = recorder.Mark();
    ASSERT_TRUE(WriteFileText(local.data + "\\report.txt", "the report, edited again") &&
                local.BackUp(local.data + "\\report.txt", At(2026, 12, 7, 10, 15)));
    running.Retry();
    EXPECT_EQ(1u, recorder.WaitFor(MirrorState::Phase::CaughtUp, mark, 1).copied);
    EXPECT_EQ(2u, JournalRecords(mirror).size());
}
