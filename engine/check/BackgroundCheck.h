// CBackgroundCheck: every version's copy read back within CheckDays= days, in both places, a day
// folder at a time. A round walks the day folders newest first twice: the copies never checked,
// then those whose last check in a place is older than the period. Each due version is proven
// (a file linked into many versions is read once in a round), a damaged one healed from a good
// copy, and the outcome kept in the ledger, which is the progress a restart resumes from.
//
// It holds no thread: the owner calls Step until the round is done, passing the flag that pauses
// or stops it (read between the 1 MiB pieces of every read), and sleeps until NextDue. Memory in a
// round: the ledger's marks, one day of history, and the hashes of the files read in the round; all
// let go at its end.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/journal/History.h"
#include "engine/proof/CheckLedger.h"
#include "engine/proof/CopyProof.h"

// A damaged copy the check found, told once: healed, or no good copy anywhere (nothing changed).
struct CheckFinding {
    std::wstring original; // the item; empty for a copy no journal names
    std::wstring copy;     // relative to the backups folder, as CHistory::CopyPath gives it
    int64_t time = 0;      // the version's moment, FILETIME ticks of local time
    bool folder = false;
    bool healed = false;
    bool damaged[2] = {false, false}; // by ProofPlace
    unsigned files = 0;               // damaged or missing files found
};

// What the check tells its owner, from the thread that calls Step.
class CBackgroundCheckHost {
public:
    virtual ~CBackgroundCheckHost() = default;
    virtual void DamageFound(const CheckFinding& finding) = 0;
    // The ledger was written: the history's 確認 column may say something new.
    virtual void ChecksChanged() = 0;
};

enum class CheckStep : uint8_t {
    Worked,      // a day folder was looked at; more remain in the round
    Interrupted, // paused or stopped between two pieces: the next Step goes on where this one was
    RoundDone,   // every copy is checked within the period: sleep until NextDue
    Off,         // CheckDays=0
};

class CBackgroundCheck {
public:
    // mirrorRoot empty: this computer's copies alone.
    CBackgroundCheck(std::wstring backupRoot, std::wstring mirrorRoot, DWORD checkDays,
                     CBackgroundCheckHost& host);
    CBackgroundCheck(const CBackgroundCheck&) = delete;
    CBackgroundCheck& operator=(const CBackgroundCheck&) = delete;

    // Looks at the next day folder of the round (a round begins when none runs). now: UTC FILETIME
    // ticks, what the schedule is judged by.
    CheckStep Step(const BOOL* interrupt, int64_t now);
    // After RoundDone: when the next copy falls due (UTC FILETIME ticks); 0: none is known.
    int64_t NextDue() const { return m_nextDue; }
    // What was read since the check was made, and the versions the last round looked at.
    uint64_t BytesRead() const { return m_bytesRead; }
    size_t VersionsTracked() const { return m_tracked; }
    static int64_t Now();

private:
    struct Due {
        bool never = false;   // a place holding the version never checked it (or left it untold)
        bool overdue = false; // a place's last check is older than the period
        int64_t next = 0;     // when it falls due otherwise; 0 never
    };
    void BeginRound();
    void EndRound();
    Due DueOf(const std::wstring& copy, uint8_t places, int64_t now) const;
    // Proves, heals and tells of one version; false when interrupted.
    bool CheckVersion(const CHistory& history, const HistoryEntry& entry, const BOOL* interrupt);

    const std::wstring m_backupRoot, m_mirrorRoot;
    const int64_t m_period; // FILETIME ticks
    CBackgroundCheckHost& m_host;
    CCheckLedger m_ledger;
    CReadOnce m_once; // one per round
    std::vector<std::wstring> m_days;
    size_t m_nextDay = 0;
    int m_pass = -1; // -1 no round; 0 the never checked; 1 the overdue
    int64_t m_nextDue = 0;
    uint64_t m_bytesRead = 0;
    size_t m_tracked = 0;
};
