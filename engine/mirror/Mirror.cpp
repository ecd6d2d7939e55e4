// The mirror's thread: its rounds (what the mirror lacks, read from both places' journals, then
// copied oldest first), the states it tells, and the CMirror that starts and ends it.
#include "engine/mirror/Mirror.h"

#include "engine/journal/History.h"
#include "engine/journal/JournalLines.h"
#include "engine/mirror/MirrorShared.h"

namespace {

// While another program mirrors, whether it still does is asked this often.
const DWORD kOwnerPollMs = 2000;
// While copying, the state is told at most this often.
const ULONGLONG kPublishEveryMs = 250;

} // namespace

void CMirrorInbox::VersionRecorded(const std::wstring& dayFolder) {
    (void)dayFolder; // every day's journal is looked at again from where it was left
    SetEvent(m_event.get());
}

void CMirror::Shared::Publish(MirrorState::Phase phase, DWORD error, bool force) {
    MirrorState now;
    now.phase = phase;
    now.waiting = pending.size();
    now.copied = copied;
    now.failed = failed;
    now.damaged = damaged;
    now.error = error;
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        const bool same = state.phase == now.phase && state.waiting == now.waiting &&
                          state.failed == now.failed && state.damaged == now.damaged &&
                          state.error == now.error;
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
    MirrorDayScan& day = days[index];
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
    std::deque<MirrorPending> kept; // failed this round: tried again at the next
    failed = 0;
    damaged = 0;
    copied = 0;
    DWORD firstError = ERROR_SUCCESS;
    if (!pending.empty())
        Publish(MirrorState::Phase::Copying, ERROR_SUCCESS, true);
    while (!pending.empty()) {
        if (Quitting() || !IsOwner())
            break;
        const MirrorPending next = pending.front();
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
        } else if (outcome == Outcome::Damaged && !ReplacedWithinItsMinute(next)) {
            kept.push_back(next);
            ++damaged;
        } else if (outcome == Outcome::Copied) {
            ++copied;
        }
        Publish(MirrorState::Phase::Copying, ERROR_SUCCESS, false);
    }
    pending.insert(pending.begin(), kept.begin(), kept.end());
    if (!Quitting() && IsOwner())
        Publish(MirrorState::Phase::CaughtUp, firstError, true);
}

// A later backup of the same item within the minute put its copy where this record's was: the bytes
// this record names are gone from here (the later record's copy holds the name), so nothing of it is
// left to copy, and it is not a damaged copy to wait for.
bool CMirror::Shared::ReplacedWithinItsMinute(const MirrorPending& version) const {
    const std::wstring journal = JournalOf(backupRoot, days[version.day].name);
    JournalRecord record;
    if (!ReadRecordAt(journal, version.offset, version.version, &record))
        return false;
    const std::wstring copy = UpperCase(record.copy);
    bool replaced = false;
    int header = version.version;
    ScanJournalFrom(journal, version.offset, [&](const char* text, size_t length, uint64_t offset) {
        JournalRecord later;
        if (ParseJournalLine(text, length, &later, &header) == JournalLine::Record && offset > version.offset &&
            IsMirroredKind(later) && UpperCase(later.copy) == copy)
            replaced = true;
    });
    return replaced;
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
