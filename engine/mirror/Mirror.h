// CMirror: keeps every version of the backups folder in a second place, the mirror folder, on a
// thread of its own, so no local backup ever waits on a slow share or a sleeping disk.
//
// The mirror is a backups folder in its own right: the same day and minute folders, names, bytes,
// attributes and folder times, and each day's journal naming its copies (relative to the mirror).
// What it lacks is found from the two places' journals, never by reading every file: every
// succeeded local version whose record (moment, original, kind) no mirror journal holds. Those are
// copied oldest first, each under a temporary name renamed once whole, and recorded in the
// mirror's journal only then. Each file is checked against its hash as it is read (a file
// version's journal hash, a folder version's manifest): a damaged local copy is never copied on
// (ProvenCopy.h). A folder version's unchanged files are hard links to the mirror's own previous
// copy where its disk allows (never to a local copy). The mirror is only added to: nothing there
// is deleted, moved or replaced but the copier's own temporaries and journals.
//
// A mirror that cannot be reached, or whose disk is full, is said with what waits and tried again
// every minute and whenever Retry is called. The mirror's journals are untrusted input, read with
// the refusals of the local ones.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/copy/BackupItem.h"
#include "engine/mirror/MirrorPlace.h"
#include "framework/KernelHandle.h"

// What the mirror is doing, as facts the window words.
struct MirrorState {
    enum class Phase : unsigned char {
        Starting,     // not yet looked at
        Copying,      // catching up
        CaughtUp,     // holds every version the backups folder holds (but failed ones)
        Unreachable,  // the folder (or its drive or share) cannot be reached: error says why
        DiskFull,     // the mirror's disk is full: the rest waits for room
        OtherProgram, // another running program mirrors this backups folder
        Refused,      // MirrorFolder= names a folder that may not be the mirror: refusal says why
    };
    Phase phase = Phase::Starting;
    size_t waiting = 0; // versions the mirror lacks
    size_t copied = 0;  // versions copied in this round
    size_t failed = 0;  // versions that could not be copied in the last round; tried again at the next
    // Versions held back in the last round because their copy here is damaged (its bytes are not
    // those its hash names) and their original has changed since: no good copy is at hand. Never
    // copied on; tried again at the next round (a copy healed here is taken then). Not in failed.
    size_t damaged = 0;
    DWORD error = ERROR_SUCCESS;
    MirrorFolderRefusal refusal = MirrorFolderRefusal::None;
};

class CMirrorHost {
public:
    virtual ~CMirrorHost() = default;
    // From the mirror's thread, whenever its state changes (while copying, a few times a second
    // at most). Never called once the mirror's destructor has returned.
    virtual void MirrorStateChanged(const MirrorState& state) = 0;
};

// Where the backup engine tells of each version recorded: the mirror that reads it wakes up. Shared
// by the engine and the mirror (either may go first), and kept across a change of mirror folder.
class CMirrorInbox : public CVersionSink {
public:
    CMirrorInbox() : m_event(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
    void VersionRecorded(const std::wstring& dayFolder) override;
    HANDLE Event() const { return m_event.get(); }

private:
    CKernelHandle m_event;
};

// How often a mirror that cannot be reached, or is full, is tried again.
constexpr DWORD kMirrorRetryMs = 60 * 1000;

class CMirror {
public:
    // backupRoot: the local backups folder; mirrorFolder: the mirror (checked by CheckMirrorFolder
    // beforehand). links: Link= (false: every file is copied). mayMirror, when given, says whether
    // this program is the one that mirrors the backups folder (the one that watches it); asked
    // before every round and between versions.
    CMirror(CMirrorHost& host, std::wstring backupRoot, std::wstring mirrorFolder, bool links,
            std::shared_ptr<CMirrorInbox> inbox, std::function<bool()> mayMirror = nullptr);
    // Stops the copy under way (between files and inside one) and ends the thread, waiting a
    // bounded time; a thread stuck in the system is left to end with the process.
    ~CMirror();
    CMirror(const CMirror&) = delete;
    CMirror& operator=(const CMirror&) = delete;

    // Checks the folder first (CheckMirrorFolder against the backups folder and watchedItems) on
    // the mirror's own thread, so a share that does not answer never holds the caller: a refused
    // folder is reported as Refused and nothing is copied.
    void Start(std::vector<std::wstring> watchedItems = {});
    // Looks again now: 今すぐ写す, a drive that arrived, the window's minute timer.
    void Retry();
    MirrorState State() const;
    const std::wstring& Folder() const { return m_folder; }

    struct Shared; // what the thread shares with the caller (Mirror.cpp)

private:
    const std::wstring m_folder;
    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};
