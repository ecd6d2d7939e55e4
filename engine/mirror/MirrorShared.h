// What the mirror's thread and the CMirror that starts it share (CMirror::Shared), and what the
// thread keeps of the versions that wait. Mirror.cpp holds the thread's rounds, MirrorCopy.cpp the
// copy of one version.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "engine/base/StopFlag.h"
#include "engine/copy/CopyPool.h"
#include "engine/copy/PreviousCopy.h"
#include "engine/mirror/Mirror.h"
#include "engine/mirror/MirrorJournals.h"

// One version the mirror lacks: where its record lies in the local journals. Nothing more is
// kept, so thousands can wait for a drive that is away.
struct MirrorPending {
    uint64_t offset = 0; // of the record's line in its day's journal
    uint32_t day = 0;    // index into the days scanned
    int32_t version = 0; // of the header above the line
};
static_assert(sizeof(MirrorPending) <= 16, "a waiting version stays small");

// How far one local day journal has been read.
struct MirrorDayScan {
    std::wstring name; // "2026-1207"
    uint64_t scannedTo = 0;
    int version = kJournalVersion;
};

// Everything the mirror's thread uses, owned together by the CMirror and the thread.
struct CMirror::Shared {
    // What became of one version.
    enum class Outcome { Copied, Skipped, Failed, Damaged, Unreachable, DiskFull, Stopped };

    Shared(CMirrorHost& mirrorHost, std::wstring root, std::wstring mirrorFolder, bool linking,
           std::shared_ptr<CMirrorInbox> versions, std::function<bool()> owner)
        : host(mirrorHost), backupRoot(std::move(root)), mirror(MirrorFolderPath(mirrorFolder)),
          links(linking), inbox(std::move(versions)), mayMirror(std::move(owner)),
          wake(CreateEventW(nullptr, FALSE, FALSE, nullptr)), mirrorCopies(mirror) {}

    void Run();
    void Round();
    bool IsOwner() const { return !mayMirror || mayMirror(); }
    bool Quitting() const { return IsStopRequested(&stop); }
    void Publish(MirrorState::Phase phase, DWORD error, bool force);
    void OpenSession();
    void ReadMirrored();
    void ScanLocal();
    void ScanDay(uint32_t index);
    void CopyPending();
    Outcome CopyOne(const MirrorPending& pending);
    bool ReplacedWithinItsMinute(const MirrorPending& version) const;
    Outcome CopyFileVersion(const JournalRecord& record, const std::wstring& source, JournalRecord& mirrored);
    Outcome CopyFolderVersion(const JournalRecord& record, const std::wstring& source,
                              JournalRecord& mirrored);
    // The name the version gets in its minute folder of the mirror (made where missing, never through
    // a link planted there): its own, or "name (2)"... when that is taken (the mirror never replaces).
    // *whole: a file already there under the name is this very copy, made before its record was.
    DWORD FreeName(const std::wstring& minuteCopy, const std::wstring& name, bool isFolder,
                   const std::wstring& source, std::wstring* chosen, bool* whole);
    // A file version's copy at target (SystemPath's form), checked against its journal hash.
    DWORD CopyProvenFile(const JournalRecord& record, const std::wstring& source, const std::wstring& target);
    Outcome Classify(DWORD error, const std::wstring& source);
    void RemoveLeftovers();

    CMirrorHost& host;
    const std::wstring backupRoot;
    const std::wstring mirror;
    const bool links;
    const std::shared_ptr<CMirrorInbox> inbox;
    const std::function<bool()> mayMirror;
    const CKernelHandle wake;
    BOOL stop = FALSE; // read by the platform's copy: a plain BOOL, set once by the destructor

    std::mutex hostMutex; // held while the host is called; the destructor takes it to end the calls
    bool hostGone = false;
    mutable std::mutex stateMutex;
    MirrorState state;
    std::condition_variable ended;
    bool finished = false;

    std::vector<std::wstring> watchedItems; // set before the thread starts

    // The thread's alone.
    std::vector<MirrorDayScan> days;
    std::deque<MirrorPending> pending;
    std::unordered_set<uint64_t> mirroredKeys;
    bool sessionOpen = false;
    size_t copied = 0, failed = 0, damaged = 0;
    ULONGLONG publishedAt = 0;
    CPreviousCopies mirrorCopies;
    std::unique_ptr<CCopyPool> pool;
    std::vector<std::wstring> leftovers; // temporary folders of ours a lost mirror kept
};
