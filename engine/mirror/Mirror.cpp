#include "engine/mirror/Mirror.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "engine/base/FolderTree.h"
#include "engine/base/StopFlag.h"
#include "engine/copy/CopyPool.h"
#include "engine/copy/FileCopy.h"
#include "engine/copy/FolderCopy.h"
#include "engine/copy/PreviousCopy.h"
#include "engine/journal/CopyRemoval.h"
#include "engine/journal/CopyWay.h"
#include "engine/journal/History.h"
#include "engine/journal/Journal.h"
#include "engine/journal/JournalLines.h"
#include "engine/mirror/MirrorPlace.h"
#include "framework/FileHandle.h"

namespace {

// Files of a folder version copied at once: the disk's and the share's waits overlap.
const unsigned kMirrorCopiers = 4;
// While another program mirrors, whether it still does is asked this often.
const DWORD kOwnerPollMs = 2000;
// While copying, the state is told at most this often.
const ULONGLONG kPublishEveryMs = 250;
// The most "name (n)" tried in one minute folder before the version counts as failed.
const unsigned kMostNumberedNames = 1000;

// One version the mirror lacks: where its record lies in the local journals. Nothing more is
// kept, so thousands can wait for a drive that is away.
struct Pending {
    uint64_t offset = 0; // of the record's line in its day's journal
    uint32_t day = 0;    // index into the days scanned
    int32_t version = 0; // of the header above the line
};
static_assert(sizeof(Pending) <= 16, "a waiting version stays small");

// How far one local day journal has been read.
struct DayScan {
    std::wstring name; // "2026-1207"
    uint64_t scannedTo = 0;
    int version = kJournalVersion;
};

// A version of ours to copy: a succeeded backup whose copy lies in a day and minute folder.
bool IsMirroredKind(const JournalRecord& record) {
    return record.kind == JournalKind::Backup && record.outcome == RowOutcome::Succeeded &&
           !record.unchanged && IsSafeCopyPath(record.copy) && IsFullOriginalPath(record.original);
}

// "2026-1207\1015\name": a day, a minute and one name.
bool HasMinuteShape(const std::wstring& copy) {
    const size_t day = copy.find(L'\\');
    const size_t minute = day == std::wstring::npos ? day : copy.find(L'\\', day + 1);
    return minute != std::wstring::npos && copy.find(L'\\', minute + 1) == std::wstring::npos &&
           IsDayFolderName(copy.substr(0, day)) && IsMinuteFolderName(copy.substr(day + 1, minute - day - 1));
}

// What makes two records one version in either place: its moment, its item and its kind.
uint64_t VersionKey(const JournalRecord& record) {
    uint64_t hash = 1469598103934665603ULL;
    const auto add = [&hash](const void* data, size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < size; ++i)
            hash = (hash ^ bytes[i]) * 1099511628211ULL;
    };
    const SYSTEMTIME& t = record.time;
    const WORD moment[] = {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
    add(moment, sizeof moment);
    const std::wstring original = UpperCase(WithoutTrailingSeparators(record.original));
    add(original.data(), original.size() * sizeof(wchar_t));
    add(&record.isFolder, sizeof record.isFolder);
    return hash;
}

bool IsFullDiskError(DWORD error) {
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
}

std::wstring JournalOf(const std::wstring& root, const std::wstring& day) {
    return SystemPath(root + L"\\" + day + L"\\" + kJournalName);
}

// Calls line(text, length, offset) for every whole line from offset on; a line too long to be a
// record is skipped. The offset after the last whole line: a line still being written is read again.
template <typename LineHandler>
uint64_t ScanJournalFrom(const std::wstring& path, uint64_t from, LineHandler line) {
    CFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(from);
    if (!file.IsOpen() || !SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN))
        return from;
    std::vector<char> chunk(journal_lines::kReadChunk);
    std::string partial;
    uint64_t lineStart = from, position = from;
    bool overlong = false;
    DWORD read = 0;
    while (ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr) && read > 0) {
        size_t begin = 0;
        for (size_t i = 0; i < read; ++i) {
            if (chunk[i] != '\n')
                continue;
            if (!overlong && partial.empty())
                line(chunk.data() + begin, i - begin, lineStart);
            else if (!overlong) {
                partial.append(chunk.data() + begin, i - begin);
                line(partial.data(), partial.size(), lineStart);
            }
            partial.clear();
            overlong = false;
            begin = i + 1;
            lineStart = position + begin;
        }
        if (!overlong)
            partial.append(chunk.data() + begin, read - begin);
        if (partial.size() > journal_lines::kLongestLine) {
            partial.clear();
            overlong = true;
        }
        position += read;
    }
    return lineStart;
}

// The record on the line at offset, read as untrusted text again.
bool ReadRecordAt(const std::wstring& path, uint64_t offset, int version, JournalRecord* record) {
    bool found = false;
    bool first = true;
    CFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen())
        return false;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN))
        return false;
    std::string text;
    char chunk[4096];
    DWORD read = 0;
    while (first && text.size() <= journal_lines::kLongestLine &&
           ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr) && read > 0) {
        const char* end = static_cast<const char*>(memchr(chunk, '\n', read));
        text.append(chunk, end != nullptr ? static_cast<size_t>(end - chunk) : read);
        if (end != nullptr) {
            first = false;
            found = ParseJournalLine(text.data(), text.size(), record, &version) == JournalLine::Record;
        }
    }
    return found;
}

// Counts what a folder copy writes; shows nothing.
class CQuietHost : public CBackupHost {
public:
    void SetStatus(const StatusReport&) override {}
    void ShowCopying(StatusCode, const std::wstring&) override {}
    void CountCopied(ULONGLONG) override {}
    void AppendRow(const BackupRow&) override {}
};

} // namespace

void CMirrorInbox::VersionRecorded(const std::wstring& dayFolder) {
    (void)dayFolder; // every day's journal is looked at again from where it was left
    SetEvent(m_event.get());
}

// Everything the mirror's thread uses, owned together by the CMirror and the thread.
struct CMirror::Shared {
    // What became of one version.
    enum class Outcome { Copied, Skipped, Failed, Unreachable, DiskFull, Stopped };

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
    Outcome CopyOne(const Pending& pending);
    Outcome CopyFileVersion(const JournalRecord& record, const std::wstring& source, JournalRecord& mirrored);
    Outcome CopyFolderVersion(const JournalRecord& record, const std::wstring& source,
                              JournalRecord& mirrored);
    // The name the version gets in its minute folder of the mirror (made where missing, never through
    // a link planted there): its own, or "name (2)"... when that is taken (the mirror never replaces).
    // *whole: a file already there under the name is this very copy, made before its record was.
    DWORD FreeName(const std::wstring& minuteCopy, const std::wstring& name, bool isFolder,
                   const std::wstring& source, std::wstring* chosen, bool* whole);
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
    std::vector<DayScan> days;
    std::deque<Pending> pending;
    std::unordered_set<uint64_t> mirroredKeys;
    bool sessionOpen = false;
    size_t copied = 0, failed = 0;
    ULONGLONG publishedAt = 0;
    CPreviousCopies mirrorCopies;
    std::unique_ptr<CCopyPool> pool;
    std::vector<std::wstring> leftovers; // temporary folders of ours a lost mirror kept
};

void CMirror::Shared::Publish(MirrorState::Phase phase, DWORD error, bool force) {
    MirrorState now;
    now.phase = phase;
    now.waiting = pending.size();
    now.copied = copied;
    now.failed = failed;
    now.error = error;
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        const bool same = state.phase == now.phase && state.waiting == now.waiting &&
                          state.failed == now.failed && state.error == now.error;
        if (same && !force)
            return;
        if (!force && phase == MirrorState::Phase::Copying &&
            GetTickCount64() - publishedAt < kPublishEveryMs)
            return;
        state = now;
    }
    publishedAt = GetTickCount64();
    std::lock_guard<std::mutex> lock(hostMutex);
    if (!hostGone)
        host.MirrorStateChanged(now);
}

void CMirror::Shared::Run() {
    MirrorState refused;
    refused.refusal = CheckMirrorFolder(mirror, backupRoot, watchedItems);
    if (refused.refusal != MirrorFolderRefusal::None) {
        refused.phase = MirrorState::Phase::Refused;
        {
            std::lock_guard<std::mutex> lock(stateMutex);
            state = refused;
        }
        {
            std::lock_guard<std::mutex> lock(hostMutex);
            if (!hostGone)
                host.MirrorStateChanged(refused);
        }
        while (!Quitting())
            WaitForSingleObject(wake.get(), INFINITE);
    }
    for (;;) {
        if (Quitting())
            break;
        Round();
        if (Quitting())
            break;
        const HANDLE handles[] = {wake.get(), inbox ? inbox->Event() : wake.get()};
        const bool other = state.phase == MirrorState::Phase::OtherProgram;
        WaitForMultipleObjects(2, handles, FALSE, other ? kOwnerPollMs : kMirrorRetryMs);
    }
    std::lock_guard<std::mutex> lock(stateMutex);
    finished = true;
    ended.notify_all();
}

void CMirror::Shared::Round() {
    if (!IsOwner()) {
        sessionOpen = false;
        pending.clear();
        days.clear();
        Publish(MirrorState::Phase::OtherProgram, ERROR_SUCCESS, false);
        return;
    }
    if (!sessionOpen) {
        ScanLocal(); // against what the mirror was last seen to hold: the count while it is away
        const DWORD error = ReachMirrorFolder(mirror);
        if (error != ERROR_SUCCESS) {
            Publish(MirrorState::Phase::Unreachable, error, false);
            return;
        }
        OpenSession();
    } else {
        ScanLocal();
    }
    CopyPending();
}

// The mirror is there (again): what it holds now is read from its journals, and what it lacks
// from the local ones, all over again (it may be another disk under the same letter).
void CMirror::Shared::OpenSession() {
    sessionOpen = true;
    RemoveLeftovers();
    ReadMirrored();
    mirrorCopies.Forget();
    days.clear();
    pending.clear();
    ScanLocal();
}

void CMirror::Shared::ReadMirrored() {
    mirroredKeys.clear();
    for (const std::wstring& day : HistoryDays(mirror)) {
        unsigned unreadable = 0;
        int version = kJournalVersion;
        ForEachLine(JournalOf(mirror, day), &unreadable, [&](const char* text, size_t length) {
            JournalRecord record;
            if (ParseJournalLine(text, length, &record, &version) == JournalLine::Record &&
                IsMirroredKind(record) && HasMinuteShape(record.copy))
                mirroredKeys.insert(VersionKey(record));
        });
    }
}

void CMirror::Shared::ScanLocal() {
    std::vector<std::wstring> names = HistoryDays(backupRoot);
    for (auto name = names.rbegin(); name != names.rend(); ++name) { // oldest first
        uint32_t index = 0;
        while (index < days.size() && days[index].name != *name)
            ++index;
        if (index == days.size())
            days.push_back({*name, 0, kJournalVersion});
        ScanDay(index);
    }
}

void CMirror::Shared::ScanDay(uint32_t index) {
    DayScan& day = days[index];
    int version = day.version;
    day.scannedTo =
        ScanJournalFrom(JournalOf(backupRoot, day.name), day.scannedTo,
                        [&](const char* text, size_t length, uint64_t offset) {
                            const int before = version;
                            JournalRecord record;
                            if (ParseJournalLine(text, length, &record, &version) == JournalLine::Record &&
                                IsMirroredKind(record) && HasMinuteShape(record.copy) &&
                                mirroredKeys.count(VersionKey(record)) == 0)
                                pending.push_back({offset, index, before});
                        });
    day.version = version;
}

void CMirror::Shared::CopyPending() {
    std::deque<Pending> kept; // failed this round: tried again at the next
    failed = 0;
    copied = 0;
    DWORD firstError = ERROR_SUCCESS;
    if (!pending.empty())
        Publish(MirrorState::Phase::Copying, ERROR_SUCCESS, true);
    while (!pending.empty()) {
        if (Quitting() || !IsOwner())
            break;
        const Pending next = pending.front();
        const Outcome outcome = CopyOne(next);
        if (outcome == Outcome::Stopped)
            break;
        if (outcome == Outcome::Unreachable || outcome == Outcome::DiskFull) {
            pending.insert(pending.begin(), kept.begin(), kept.end());
            sessionOpen = outcome == Outcome::DiskFull; // a full disk is still the same mirror
            const DWORD error = outcome == Outcome::DiskFull ? ERROR_DISK_FULL : ReachMirrorFolder(mirror);
            Publish(outcome == Outcome::DiskFull ? MirrorState::Phase::DiskFull
                                                 : MirrorState::Phase::Unreachable,
                    error, true);
            return;
        }
        pending.pop_front();
        if (outcome == Outcome::Failed) {
            kept.push_back(next);
            ++failed;
            firstError = firstError == ERROR_SUCCESS ? GetLastError() : firstError;
        } else if (outcome == Outcome::Copied) {
            ++copied;
        }
        Publish(MirrorState::Phase::Copying, ERROR_SUCCESS, false);
    }
    pending.insert(pending.begin(), kept.begin(), kept.end());
    if (!Quitting() && IsOwner())
        Publish(MirrorState::Phase::CaughtUp, firstError, true);
}

CMirror::Shared::Outcome CMirror::Shared::CopyOne(const Pending& next) {
    const DayScan& day = days[next.day];
    JournalRecord record;
    if (!ReadRecordAt(JournalOf(backupRoot, day.name), next.offset, next.version, &record) ||
        !IsMirroredKind(record) || !HasMinuteShape(record.copy))
        return Outcome::Skipped; // the journal changed under us: its next scan tells
    const uint64_t key = VersionKey(record);
    if (mirroredKeys.count(key) != 0)
        return Outcome::Skipped;
    const std::wstring source = SystemPath(backupRoot + L"\\" + record.copy);
    const DWORD attributes = GetFileAttributesW(source.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != record.isFolder ||
        CopyWayHasLink(backupRoot, record.copy))
        return Outcome::Skipped; // the local copy is gone (the cleanup) or behind a link: nothing to mirror
    JournalRecord mirrored = record;
    const Outcome outcome = record.isFolder ? CopyFolderVersion(record, source, mirrored)
                                            : CopyFileVersion(record, source, mirrored);
    if (outcome != Outcome::Copied)
        return outcome;
    ProveMirroredVersion(backupRoot, record, mirror, mirrored); // its manifest there, or no proof
    const DWORD error = AppendJournalRecord(mirror, day.name, mirrored);
    if (error != ERROR_SUCCESS)
        return Classify(error, source); // the copy stays under its name; its record is written next time
    mirroredKeys.insert(key);
    mirrorCopies.Remember(
        record.original, record.isFolder,
        {mirrored.copy, mirrored.bytes, mirrored.modified, false, mirrored.files + mirrored.linked});
    return Outcome::Copied;
}

DWORD CMirror::Shared::FreeName(const std::wstring& minuteCopy, const std::wstring& name, bool isFolder,
                                const std::wstring& source, std::wstring* chosen, bool* whole) {
    *whole = false;
    if (CopyWayHasLink(mirror, minuteCopy))
        return kLinkOnTheWay;
    const DWORD made = MakeFolderTree(mirror + L"\\" + minuteCopy);
    if (made != ERROR_SUCCESS)
        return made;
    const std::wstring minute = SystemPath(mirror + L"\\" + minuteCopy);
    for (unsigned number = 1; number <= kMostNumberedNames; ++number) {
        const std::wstring candidate = number == 1 ? name : NumberedName(name, number, isFolder);
        const DWORD attributes = GetFileAttributesW((minute + L"\\" + candidate).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
                return error;
            *chosen = candidate;
            return ERROR_SUCCESS;
        }
        FileFacts there, wanted;
        if (!isFolder && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
            ReadFileFacts(minute + L"\\" + candidate, &there) && ReadFileFacts(source, &wanted) &&
            there.size == wanted.size && CompareFileTime(&there.modified, &wanted.modified) == 0 &&
            there.attributes == wanted.attributes) {
            *chosen = candidate;
            *whole = true;
            return ERROR_SUCCESS;
        }
    }
    return ERROR_FILE_EXISTS;
}

CMirror::Shared::Outcome CMirror::Shared::CopyFileVersion(const JournalRecord& record,
                                                          const std::wstring& source,
                                                          JournalRecord& mirrored) {
    const std::wstring minuteCopy = WithoutLastComponent(record.copy);
    const std::wstring minute = SystemPath(mirror + L"\\" + minuteCopy);
    std::wstring name;
    bool whole = false;
    DWORD error = FreeName(minuteCopy, LastComponent(record.copy), false, source, &name, &whole);
    if (error == ERROR_SUCCESS && !whole) {
        RemoveLeftoverTemporaries(minute);
        error = CopyFileIntoBackup(source, minute + L"\\" + name, SystemPath(mirror), &stop);
    }
    if (error != ERROR_SUCCESS)
        return Classify(error, source);
    FileFacts facts;
    if (ReadFileFacts(source, &facts))
        mirrored.bytes = facts.size; // a file's record gives its size
    mirrored.files = 1;
    mirrored.linked = 0;
    mirrored.copy = minuteCopy + L"\\" + name;
    return Outcome::Copied;
}

CMirror::Shared::Outcome CMirror::Shared::CopyFolderVersion(const JournalRecord& record,
                                                            const std::wstring& source,
                                                            JournalRecord& mirrored) {
    const std::wstring minuteCopy = WithoutLastComponent(record.copy);
    const std::wstring minute = SystemPath(mirror + L"\\" + minuteCopy);
    std::wstring name;
    bool whole = false;
    DWORD error = FreeName(minuteCopy, LastComponent(record.copy), true, source, &name, &whole);
    const std::wstring temporary = minute + L"\\" + TemporaryName();
    if (error == ERROR_SUCCESS && !CreateDirectoryW(temporary.c_str(), nullptr))
        error = GetLastError();
    if (error != ERROR_SUCCESS)
        return Classify(error, source);
    if (!pool)
        pool.reset(new CCopyPool(kMirrorCopiers));
    CQuietHost quiet;
    CCountingHost counting(quiet);
    CFolderCopy copy(counting, SystemPath(mirror), temporary, pool.get(), &stop,
                     CopyDirection::IntoTemporaryFolder);
    PreviousCopy previous;
    // The mirror's own earlier copy (never a local one: the mirror holds its own bytes), not behind a link.
    if (links && mirrorCopies.Find(record.original, true, &previous) &&
        !CopyWayHasLink(mirror, previous.copy))
        copy.LinkUnchangedTo(SystemPath(mirror + L"\\" + previous.copy));
    const std::wstring final = minute + L"\\" + name;
    if (!copy.Run(record.original, source, temporary))
        error = copy.FirstError() != ERROR_SUCCESS ? copy.FirstError() : ERROR_OPERATION_ABORTED;
    else if (!MoveFileExW(temporary.c_str(), final.c_str(), 0)) // never over a name there
        error = GetLastError();
    if (error != ERROR_SUCCESS) {
        if (RemoveCopyForGood(temporary) != ERROR_SUCCESS)
            leftovers.push_back(temporary);
        return Classify(error, source);
    }
    CopyFolderTimesAndAttributes(source, final);
    mirrored.bytes = counting.Bytes();
    mirrored.files = counting.Files();
    mirrored.linked = copy.LinkedCount();
    mirrored.copy = minuteCopy + L"\\" + name;
    return Outcome::Copied;
}

CMirror::Shared::Outcome CMirror::Shared::Classify(DWORD error, const std::wstring& source) {
    if (Quitting())
        return Outcome::Stopped;
    if (IsFullDiskError(error))
        return Outcome::DiskFull;
    if (ReachMirrorFolder(mirror) != ERROR_SUCCESS)
        return Outcome::Unreachable;
    if (GetFileAttributesW(source.c_str()) == INVALID_FILE_ATTRIBUTES)
        return Outcome::Skipped; // removed locally meanwhile
    SetLastError(error);
    return Outcome::Failed;
}

void CMirror::Shared::RemoveLeftovers() {
    std::vector<std::wstring> still;
    for (const std::wstring& folder : leftovers)
        if (RemoveCopyForGood(folder) != ERROR_SUCCESS &&
            GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES)
            still.push_back(folder);
    leftovers.swap(still);
}

CMirror::CMirror(CMirrorHost& host, std::wstring backupRoot, std::wstring mirrorFolder, bool links,
                 std::shared_ptr<CMirrorInbox> inbox, std::function<bool()> mayMirror)
    : m_folder(MirrorFolderPath(mirrorFolder)),
      m_shared(std::make_shared<Shared>(host, std::move(backupRoot), std::move(mirrorFolder), links,
                                        std::move(inbox), std::move(mayMirror))) {}

void CMirror::Start(std::vector<std::wstring> watchedItems) {
    if (m_thread.joinable())
        return;
    m_shared->watchedItems = std::move(watchedItems);
    std::shared_ptr<Shared> shared = m_shared;
    m_thread = std::thread([shared] { shared->Run(); });
}

CMirror::~CMirror() {
    {
        std::lock_guard<std::mutex> lock(m_shared->hostMutex);
        m_shared->hostGone = true;
    }
    InterlockedExchange(reinterpret_cast<volatile LONG*>(&m_shared->stop), TRUE);
    SetEvent(m_shared->wake.get());
    if (!m_thread.joinable())
        return;
    std::unique_lock<std::mutex> lock(m_shared->stateMutex);
    const bool ended =
        m_shared->ended.wait_for(lock, std::chrono::seconds(2), [this] { return m_shared->finished; });
    lock.unlock();
    if (ended)
        m_thread.join();
    else
        m_thread.detach(); // blocked on a lost share: it ends with the process, touching nothing of ours
}

void CMirror::Retry() {
    SetEvent(m_shared->wake.get());
}

MirrorState CMirror::State() const {
    std::lock_guard<std::mutex> lock(m_shared->stateMutex);
    return m_shared->state;
}
