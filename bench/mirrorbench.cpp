// The mirror's cost on a real disk, with the engine's own classes: catching S and M up onto an
// empty mirror against the floor copying the same local copy to the same disk, a second,
// unchanged version of S mirrored (links), a local backup of S and M with a mirror running against
// one without, and the private memory of 10,000 versions waiting for a mirror that is away.
// Prints one "name value" line per figure (milliseconds, or bytes).
//
//     mirrorbench.exe <empty work folder> <S tree> <M tree> <floorcopy.exe> [rounds, 3]
#include <windows.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "EngineBench.h"
#include "PrivateBytes.h"
#include "engine/journal/Journal.h"
#include "engine/mirror/Mirror.h"

namespace {

std::wstring Name(const std::wstring& tree) {
    return tree.substr(tree.find_last_of(L'\\') + 1);
}

// One tree's figures; each round in folders of its own.
void TreeFigures(const std::wstring& work, const std::wstring& tree, const std::wstring& floorcopy,
                 int rounds, const char* label, bool second) {
    std::vector<double> catchUp, floor, linked, local, dropWith, dropWithout;
    const std::wstring wideLabel(label, label + std::strlen(label));
    {
        // The first backup of a run pays for the cache and the code: not any contender's figure.
        QuietHost host;
        CBackupEngine warm(work, 4, work + L"\\" + wideLabel + L"-warm");
        warm.BackUp(host, tree, Minute(0));
    }
    for (int round = 0; round < rounds; ++round) {
        const std::wstring place = work + L"\\" + wideLabel + std::to_wstring(round);
        CreateDirectoryW(place.c_str(), nullptr);
        auto inbox = std::make_shared<CMirrorInbox>();
        QuietHost host;
        CBackupEngine engine(place, 4, place + L"\\backups");
        engine.SetVersionSink(inbox);
        Sync();
        double start = NowMs();
        engine.BackUp(host, tree, Minute(round * 3));
        dropWithout.push_back(NowMs() - start);
        StateWaiter waiter;
        {
            CMirror mirror(waiter, place + L"\\backups", place + L"\\mirror", true, inbox);
            Sync();
            start = NowMs();
            mirror.Start();
            waiter.WaitFor(MirrorState::Phase::CaughtUp, 0);
            catchUp.push_back(NowMs() - start);
            if (second) {
                const size_t mark = waiter.Mark();
                engine.BeginRun();
                Sync();
                start = NowMs();
                engine.BackUp(host, tree, Minute(round * 3 + 1));
                local.push_back(NowMs() - start);
                start = NowMs(); // the mirror was told as the record was written
                waiter.WaitFor(MirrorState::Phase::CaughtUp, mark, 1);
                linked.push_back(NowMs() - start);
            }
        }
        {
            // A first drop into a backups folder whose mirror runs: the row comes when the local
            // copy is whole, the mirror's copy after it.
            StateWaiter other;
            CBackupEngine mirrored(place, 4, place + L"\\backups-with");
            mirrored.SetVersionSink(inbox);
            CMirror mirror(other, place + L"\\backups-with", place + L"\\mirror-with", true, inbox);
            mirror.Start();
            other.WaitFor(MirrorState::Phase::CaughtUp, 0); // nothing to copy yet
            const size_t mark = other.Mark();
            Sync();
            start = NowMs();
            mirrored.BackUp(host, tree, Minute(round * 3 + 2));
            dropWith.push_back(NowMs() - start);
            other.WaitFor(MirrorState::Phase::CaughtUp, mark, 1);
        }
        const std::wstring copy =
            place + L"\\backups" + FormatTimeStampText(Minute(round * 3)) + L"\\" + Name(tree);
        Sync();
        floor.push_back(RunFloor(floorcopy, copy, place + L"\\floor"));
        if (host.failed)
            std::printf("%s-failed 1\n", label);
    }
    std::printf("%s-catch-up-ms %.1f\n%s-floor-ms %.1f\n", label, Median(catchUp), label, Median(floor));
    if (second)
        std::printf("%s-second-unchanged-ms %.1f\n%s-second-unchanged-local-ms %.1f\n", label, Median(linked),
                    label, Median(local));
    std::printf("%s-drop-without-mirror-ms %.1f\n%s-drop-with-mirror-ms %.1f\n", label, Median(dropWithout),
                label, Median(dropWith));
    std::fflush(stdout);
}

// 10,000 versions in a day's journal, their mirror's drive away: the memory they take waiting.
void WaitingFigures(const std::wstring& work) {
    const int kVersions = 10000;
    const std::wstring root = work + L"\\waiting\\backups";
    CreateDirectoryW((work + L"\\waiting").c_str(), nullptr);
    CreateDirectoryW(root.c_str(), nullptr);
    JournalRecord record;
    record.time = Minute(0);
    std::string lines = JournalHeaderLine();
    for (int i = 0; i < kVersions; ++i) {
        record.time = Minute(i % 600);
        record.original = L"C:\\Users\\someone\\Documents\\project\\report " + std::to_wstring(i) + L".docx";
        record.copy = DayFolderName(record.time) + FormatTimeStampText(record.time).substr(10) +
                      L"\\report " + std::to_wstring(i) + L".docx";
        record.bytes = 4096;
        lines += FormatJournalLine(record);
    }
    CreateDirectoryW((root + L"\\" + DayFolderName(record.time)).c_str(), nullptr);
    const HANDLE file =
        CreateFileW((root + L"\\" + DayFolderName(record.time) + L"\\" + kJournalName).c_str(), GENERIC_WRITE,
                    0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
    CloseHandle(file);
    // The mirror runs first with nothing waiting: its thread and its first pages are no version's.
    const std::wstring away = work + L"\\waiting\\unplugged\\mirror";
    const std::wstring journal = root + L"\\" + DayFolderName(record.time) + L"\\" + kJournalName;
    MoveFileW(journal.c_str(), (journal + L".aside").c_str());
    StateWaiter waiter;
    const unsigned long long idle = PrivateBytes().bytes;
    auto inbox = std::make_shared<CMirrorInbox>();
    CMirror mirror(waiter, root, away, true, inbox);
    mirror.Start();
    waiter.WaitFor(MirrorState::Phase::Unreachable, 0);
    const unsigned long long before = PrivateBytes().bytes;
    MoveFileW((journal + L".aside").c_str(), journal.c_str());
    inbox->VersionRecorded(DayFolderName(record.time));
    const MirrorState state = waiter.WaitFor(MirrorState::Phase::Unreachable, 0, 0, kVersions);
    const unsigned long long after = PrivateBytes().bytes;
    std::printf("waiting-versions %zu\nwaiting-bytes-per-version %.1f\nmirror-idle-bytes %.0f\n",
                state.waiting, after > before ? double(after - before) / kVersions : 0.0,
                before > idle ? double(before - idle) : 0.0);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 5) {
        std::fprintf(stderr,
                     "usage: mirrorbench <empty work folder> <S tree> <M tree> <floorcopy.exe> [rounds]\n");
        return 2;
    }
    const int rounds = argc > 5 ? std::max(1, _wtoi(argv[5])) : 3;
    WaitingFigures(argv[1]);
    TreeFigures(argv[1], argv[2], argv[4], rounds, "S", true);
    TreeFigures(argv[1], argv[3], argv[4], rounds, "M", false);
    return 0;
}
