// The background check on a real backups folder: a round resumed after a restart reads only what
// the ledger does not hold yet, a pause stops its reading and lets it go on, CheckDays=0 reads
// nothing, and a damaged copy is healed (or said unhealable) with one report however many rounds;
// the program's thread for it waits while the backup worker runs a batch.
#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "common/TempFolder.h"
#include "engine/check/BackgroundCheck.h"
#include "engine/base/CheckPause.h"
#include "framework/KernelHandle.h"
#include "shell/document/BackgroundChecker.h"
#include "shell/document/BackupWorker.h"
#include "shell/document/TallowboxDoc.h"

namespace {

const int64_t kDay = 24LL * 60 * 60 * 10000000;

class FindingsHost : public CBackgroundCheckHost {
public:
    void DamageFound(const CheckFinding& finding) override { findings.push_back(finding); }
    void ChecksChanged() override { ++changes; }
    std::vector<CheckFinding> findings;
    unsigned changes = 0;
};

class BackgroundCheckTest : public ::testing::Test {
protected:
    BackgroundCheckTest() : m_data(m_temp / "data"), m_program(m_temp / "prog"), m_root(m_program + "\\backups") {
        MakeFolders(m_data);
        MakeFolders(m_program);
    }
    void Backup(const std::string& item, int day, int minute) {
        CBackupEngine engine(W(m_program), 1, W(m_root));
        engine.BeginRun();
        ASSERT_TRUE(engine.BackUp(m_recorder, W(m_data + "\\" + item), At(2004, 3, day, 14, minute)));
    }
    // Steps until the round ends; the steps it took.
    static int Round(CBackgroundCheck& check, int64_t now) {
        const BOOL go = FALSE;
        int steps = 1;
        for (; check.Step(&go, now) == CheckStep::Worked; ++steps)
            EXPECT_LT(steps, 100);
        return steps;
    }
    TempFolder m_temp;
    const std::string m_data, m_program, m_root;
    RecordingHost m_recorder;
};

} // namespace

TEST_F(BackgroundCheckTest, ResumedAfterARestartAndPausedBetweenPieces) {
    const std::string big(3 * 1024 * 1024 + 5, 'b');
    WriteFileText(m_data + "\\big.bin", big);
    WriteFileText(m_data + "\\tree\\one.txt", "one");
    WriteFileText(m_data + "\\tree\\two.txt", "two!");
    Backup("big.bin", 7, 5);
    Backup("tree", 8, 6);

    FindingsHost host;
    CBackgroundCheck off(W(m_root), L"", 0, host);
    EXPECT_EQ(CheckStep::Off, off.Step(nullptr, CBackgroundCheck::Now()));
    EXPECT_FALSE(FileExists(m_root + "\\Tallowbox-checks.tsv")) << "CheckDays=0 wrote the ledger";

    {
        CBackgroundCheck first(W(m_root), L"", 30, host);
        const BOOL go = FALSE;
        EXPECT_EQ(CheckStep::Worked, first.Step(&go, CBackgroundCheck::Now())); // the newest day: the tree
        EXPECT_EQ(7u, first.BytesRead());
    } // the program ends half-way
    ASSERT_TRUE(FileExists(m_root + "\\Tallowbox-checks.tsv"));

    CBackgroundCheck again(W(m_root), L"", 30, host);
    volatile LONG interrupt = 0;
    CKernelHandle wake(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    CCheckPause pause;
    pause.Listen({&interrupt, wake.get()});
    const BOOL* flag = reinterpret_cast<const BOOL*>(const_cast<const LONG*>(&interrupt));
    CheckStep step = CheckStep::Worked;
    {
        const CCheckPause::CHold drop(pause); // a drop runs
        for (int i = 0; i < 4 && step == CheckStep::Worked; ++i)
            step = again.Step(flag, CBackgroundCheck::Now());
        EXPECT_EQ(CheckStep::Interrupted, step);
        EXPECT_LE(again.BytesRead(), 1024u * 1024u) << "read on past a piece while paused";
    }
    const uint64_t beforeResuming = again.BytesRead();
    EXPECT_EQ(0, interrupt);
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(wake.get(), 0)) << "not woken when the drop ended";
    for (int i = 0; i < 4 && step != CheckStep::RoundDone; ++i)
        step = again.Step(flag, CBackgroundCheck::Now());
    pause.Unlisten({&interrupt, wake.get()});
    ASSERT_EQ(CheckStep::RoundDone, step);
    EXPECT_EQ(big.size(), again.BytesRead() - beforeResuming) << "the tree read again, or big.bin not whole";
    EXPECT_EQ(2u, again.VersionsTracked());
    EXPECT_GT(again.NextDue(), CBackgroundCheck::Now() + 29 * kDay);
    EXPECT_TRUE(host.findings.empty());

    // Nothing falls due before the period: a round reads nothing; after it, everything once.
    CBackgroundCheck later(W(m_root), L"", 30, host);
    Round(later, CBackgroundCheck::Now() + 29 * kDay);
    EXPECT_EQ(0u, later.BytesRead());
    Round(later, CBackgroundCheck::Now() + 31 * kDay);
    EXPECT_EQ(big.size() + 7, later.BytesRead());
}

// A byte flipped in a copy, its size and time kept, in one place or both: healed from the other
// place or the original, or said and left as it is; either way told once, not on the next round.
TEST_F(BackgroundCheckTest, DamageHealedOrSaidOnce) {
    struct Case {
        const char* what;
        bool here, mirror, original; // damaged there; the original edited since
    };
    const Case cases[] = {{"here, healed from the mirror", true, false, false},
                          {"in the mirror, healed from here", false, true, false},
                          {"both, healed from the original", true, true, false},
                          {"both, the original edited: no good copy anywhere", true, true, true}};
    const std::string mirror = m_temp / "mirror";
    int minute = 10;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = "x" + std::to_string(minute) + ".txt", good = "the report as it was";
        WriteFileText(m_data + "\\" + name, good);
        Backup(name, 7, minute);
        for (const auto& entry : ReadTree(m_root)) // the mirror, as a backups folder of its own
            if (!entry.second.folder && entry.first.find("checks") == std::string::npos)
                WriteFileText(mirror + "\\" + entry.first, entry.second.content);
        const std::string copy = "\\2004-0307\\14" + std::to_string(minute++) + "\\" + name;
        if (c.here) {
            ASSERT_TRUE(FlipByteKeepingTime(m_root + copy));
        }
        if (c.mirror) {
            ASSERT_TRUE(FlipByteKeepingTime(mirror + copy));
        }
        if (c.original)
            WriteFileText(m_data + "\\" + name, "the report, edited");
        const std::string damaged = ReadWhole(m_root + copy);

        FindingsHost host;
        CBackgroundCheck check(W(m_root), W(mirror), 30, host);
        Round(check, CBackgroundCheck::Now());
        Round(check, CBackgroundCheck::Now() + 31 * kDay);
        ASSERT_EQ(1u, host.findings.size());
        const CheckFinding& finding = host.findings[0];
        EXPECT_EQ(!c.original, finding.healed);
        EXPECT_EQ(W(m_data + "\\" + name), finding.original);
        EXPECT_EQ(c.here, finding.damaged[0]);
        EXPECT_EQ(c.mirror, finding.damaged[1]);
        EXPECT_GT(host.changes, 0u);
        EXPECT_EQ(c.original ? damaged : good, ReadWhole(m_root + copy));
        EXPECT_EQ(c.original ? damaged : good, ReadWhole(mirror + copy)) << "the mirror left damaged";
    }
}

// The program's check thread on the same kind of damage: it does not read while a batch of the
// backup worker holds the pause (the worker holds it for every batch), then finds and heals the
// copy once, posting the finding and the ledger's change to its window.
TEST_F(BackgroundCheckTest, TheThreadWaitsForTheWorkerThenTellsItsWindow) {
    const std::string mirror = m_temp / "mirror", copy = "\\2004-0307\\1420\\y.txt";
    WriteFileText(m_data + "\\y.txt", "kept twice");
    Backup("y.txt", 7, 20);
    for (const auto& entry : ReadTree(m_root))
        if (!entry.second.folder)
            WriteFileText(mirror + "\\" + entry.first, entry.second.content);
    ASSERT_TRUE(FlipByteKeepingTime(m_root + copy));
    HWND window = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    std::vector<CheckFinding> findings;
    unsigned changes = 0;
    const auto pump = [&](DWORD ms) {
        for (const DWORD start = ::GetTickCount(); findings.empty() && ::GetTickCount() - start < ms; ::Sleep(20)) {
            MSG msg;
            while (::PeekMessageW(&msg, window, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_CHECK_FINDING)
                    findings.push_back(*std::unique_ptr<CheckFinding>(reinterpret_cast<CheckFinding*>(msg.lParam)));
                changes += msg.message == WM_CHECKS_CHANGED ? 1 : 0;
            }
        }
    };
    bool heldByTheBatch = false;
    {
        CBackupWorker worker(window, W(m_program), 1, W(m_root));
        CBackgroundChecker checker(window, W(m_root), W(mirror), 30, 0);
        const CKernelHandle batchMayEnd(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        worker.QueueTask([&](CBackupEngine&, CBackupHost&) {
            heldByTheBatch = CCheckPause::Program().IsHeld();
            ::WaitForSingleObject(batchMayEnd.get(), 10000);
        });
        pump(1500);
        EXPECT_FALSE(FileExists(m_root + "\\Tallowbox-checks.tsv")) << "read while a batch ran";
        ::SetEvent(batchMayEnd.get());
        worker.WaitUntilIdle(10000);
        pump(30000);
    } // both threads end before what they use goes
    ::DestroyWindow(window);
    EXPECT_TRUE(heldByTheBatch);
    EXPECT_FALSE(CCheckPause::Program().IsHeld());
    ASSERT_EQ(1u, findings.size());
    EXPECT_TRUE(findings[0].healed);
    EXPECT_GT(changes, 0u);
    EXPECT_EQ("kept twice", ReadWhole(m_root + copy));
}
