// The background check's cost on a real disk, with the engine's and the document's own classes:
// every version of S and M read back in both places against the floor copying the same bytes
// (both places' copies), a first backup of S while the check's thread reads another backups folder
// against one without it, and the check's private memory per version it tracks (10,000 versions
// over 100 days, as a long history has them). Prints one "name value" line per figure.
//
//     checkbench.exe <empty work folder> <S tree> <M tree> <floorcopy.exe> [rounds, 3]
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "EngineBench.h"
#include "PrivateBytes.h"
#include "engine/base/CheckPause.h"
#include "engine/check/BackgroundCheck.h"
#include "engine/journal/Journal.h"
#include "shell/document/BackgroundChecker.h"

namespace {

class CountingHost : public CBackgroundCheckHost {
public:
    void DamageFound(const CheckFinding&) override { ++findings; }
    void ChecksChanged() override {}
    unsigned findings = 0;
};

// One whole round; its milliseconds. *peak (when given) grows to the most private memory seen
// between two steps.
double CheckRound(CBackgroundCheck& check, unsigned long long* peak = nullptr) {
    const BOOL go = FALSE;
    const double start = NowMs();
    while (check.Step(&go, CBackgroundCheck::Now()) == CheckStep::Worked)
        if (peak != nullptr)
            *peak = std::max(*peak, PrivateBytes().bytes);
    return NowMs() - start;
}

void ForgetChecks(const std::wstring& root) {
    DeleteFileW((root + L"\\" + kCheckLedgerName).c_str());
}

// A tree backed up and mirrored, then every version read back in both places; each round in
// folders of its own. The floor copies the local copy and the mirror's: the same bytes.
void TreeFigures(const std::wstring& work, const std::wstring& tree, const std::wstring& floorcopy, int rounds,
                 const char* label) {
    std::vector<double> check, floor;
    uint64_t bytes = 0;
    unsigned findings = 0;
    for (int round = 0; round < rounds; ++round) {
        const std::wstring place = work + L"\\check-" + std::wstring(label, label + 1) + std::to_wstring(round);
        CreateDirectoryW(place.c_str(), nullptr);
        auto inbox = std::make_shared<CMirrorInbox>();
        QuietHost host;
        CBackupEngine engine(place, 4, place + L"\\backups");
        engine.SetVersionSink(inbox);
        engine.BackUp(host, tree, Minute(round));
        {
            StateWaiter waiter;
            CMirror mirror(waiter, place + L"\\backups", place + L"\\mirror", true, inbox);
            mirror.Start();
            waiter.WaitFor(MirrorState::Phase::CaughtUp, 0);
        }
        CountingHost checkHost;
        CBackgroundCheck background(place + L"\\backups", place + L"\\mirror", 30, checkHost);
        Sync();
        check.push_back(CheckRound(background));
        bytes = background.BytesRead();
        findings += checkHost.findings;
        const std::wstring copy = FormatTimeStampText(Minute(round)) + L"\\" +
                                  tree.substr(tree.find_last_of(L'\\') + 1);
        Sync();
        floor.push_back(RunFloor(floorcopy, place + L"\\backups" + copy, place + L"\\floor-here") +
                        RunFloor(floorcopy, place + L"\\mirror" + copy, place + L"\\floor-mirror"));
    }
    std::printf("%s-check-ms %.1f\n%s-check-floor-ms %.1f\n%s-check-bytes %.0f\n%s-check-findings %u\n", label,
                Median(check), label, Median(floor), label, double(bytes), label, findings);
    std::fflush(stdout);
}

// A first backup of S timed bare, and again while the check's thread reads M's versions anew: the
// backup holds the pause as the program's worker does, the check yields between two pieces.
void DropFigures(const std::wstring& work, const std::wstring& s, const std::wstring& m, int rounds) {
    const std::wstring checked = work + L"\\checked";
    CreateDirectoryW(checked.c_str(), nullptr);
    QuietHost host;
    CBackupEngine(checked, 4, checked + L"\\backups").BackUp(host, m, Minute(0));
    std::vector<double> with, without;
    for (int round = 0; round < 2 * rounds; ++round) {
        const bool checking = round % 2 == 1;
        const std::wstring place = work + L"\\drop" + std::to_wstring(round);
        CreateDirectoryW(place.c_str(), nullptr);
        CBackupEngine engine(place, 4, place + L"\\backups");
        ForgetChecks(checked + L"\\backups");
        Sync();
        std::unique_ptr<CBackgroundChecker> checker(
            checking ? new CBackgroundChecker(nullptr, checked + L"\\backups", L"", 30, 0) : nullptr);
        Sleep(300); // the check well into its reading (and the same wait without it)
        const double start = NowMs();
        {
            const CCheckPause::CHold batch;
            engine.BackUp(host, s, Minute(1));
        }
        (checking ? with : without).push_back(NowMs() - start);
    }
    std::printf("drop-without-check-ms %.1f\ndrop-with-check-ms %.1f\n", Median(without), Median(with));
    std::fflush(stdout);
}

// 10,000 versions over 100 day folders, made before hashes (nothing to read: each is Unproven in
// the ledger); the most the check holds during a round, per version it tracks (the first round
// records every version, the second reads them back), and what it keeps between rounds.
void MemoryFigures(const std::wstring& work) {
    const int kDays = 100, kPerDay = 100;
    const std::wstring root = work + L"\\many\\backups";
    CreateDirectoryW((work + L"\\many").c_str(), nullptr);
    CreateDirectoryW(root.c_str(), nullptr);
    for (int day = 0; day < kDays; ++day) {
        SYSTEMTIME time = Minute(0);
        time.wYear = static_cast<WORD>(2020 + day / 28);
        time.wDay = static_cast<WORD>(1 + day % 28);
        std::string lines = JournalHeaderLine();
        for (int i = 0; i < kPerDay; ++i) {
            JournalRecord record;
            record.time = time;
            record.time.wMinute = static_cast<WORD>(i % 60);
            record.time.wHour = static_cast<WORD>(8 + i / 60);
            record.original = L"C:\\Users\\someone\\Documents\\report " + std::to_wstring(i) + L".docx";
            record.copy = DayFolderName(record.time) + FormatTimeStampText(record.time).substr(10) +
                          L"\\report " + std::to_wstring(i) + L".docx";
            record.bytes = record.size = 4096;
            lines += FormatJournalLine(record);
        }
        const std::wstring folder = root + L"\\" + DayFolderName(time);
        CreateDirectoryW(folder.c_str(), nullptr);
        const HANDLE file = CreateFileW((folder + L"\\" + kJournalName).c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(file, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
        CloseHandle(file);
    }
    CountingHost host;
    CBackgroundCheck check(root, L"", 30, host);
    const unsigned long long before = PrivateBytes().bytes;
    unsigned long long peak = before;
    const double ms = CheckRound(check, &peak);
    CheckRound(check, &peak);
    const unsigned long long after = PrivateBytes().bytes;
    const double versions = double(std::max<size_t>(check.VersionsTracked(), 1));
    std::printf("memory-versions %zu\nmemory-bytes-per-version %.1f\nmemory-between-rounds-per-version %.1f\n"
                "memory-round-ms %.1f\n",
                check.VersionsTracked(), double(peak - before) / versions,
                after > before ? double(after - before) / versions : 0.0, ms);
    std::fflush(stdout);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: checkbench <empty work folder> <S tree> <M tree> <floorcopy.exe> [rounds]\n");
        return 2;
    }
    const int rounds = argc > 5 ? std::max(1, _wtoi(argv[5])) : 3;
    MemoryFigures(argv[1]);
    TreeFigures(argv[1], argv[2], argv[4], rounds, "S");
    TreeFigures(argv[1], argv[3], argv[4], rounds, "M");
    DropFigures(argv[1], argv[2], argv[3], rounds);
    return 0;
}
