// What the checks found, kept in the backups folder as "Tallowbox-checks.tsv": UTF-8, LF, tab-
// separated, only ever appended to (a later line about a copy overrides an earlier one), each
// append one write (two programs appending at once never mix their lines). Read back as untrusted
// text: a line that does not parse is skipped and counted; the file is read a piece at a time.
// Kept small in memory: a copy is known by a 64-bit hash of its upper-cased relative path, so the
// ledger takes under 64 bytes per version it tracks.
//
// Several owners may hold a ledger of the same folder (the background check, a 照合 window, the
// history's rows): each loads its own and appends its findings; Load again sees the others'.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/hash/ContentHash.h"
#include "engine/proof/CopyProof.h"

// "Tallowbox-checks.tsv", in the backups folder's root.
extern const wchar_t* const kCheckLedgerName;

// Now, as the ledger keeps its moments: UTC FILETIME ticks.
int64_t CheckMoment();

// The last word of the checks on one copy, for each place.
struct CheckMark {
    int64_t checked[2] = {0, 0}; // UTC FILETIME ticks of the last check in each place; 0 never
    ProofState state[2] = {ProofState::Absent, ProofState::Absent}; // what it found
    bool reported = false; // its damage was told to the user (a balloon once per finding)
};

class CCheckLedger {
public:
    // Reads the ledger of backupRoot (none there: an empty ledger). ERROR_SUCCESS or the error code.
    DWORD Load(const std::wstring& backupRoot);
    // The marks of copy (relative to the backups folder, as CHistory::CopyPath gives it).
    bool Find(const std::wstring& copy, CheckMark* mark) const;
    // Appends what a check of copy in place found (findings named only for Damaged) and keeps it.
    DWORD Record(const std::wstring& copy, ProofPlace place, const PlaceProof& proof, int64_t when);
    // Marks copy's damage as told to the user.
    DWORD MarkReported(const std::wstring& copy);
    // A version made before hashes whose two places agreed: the hash then taken (a file version's
    // copy, a folder version's manifest written by the check), kept for later checks.
    DWORD RecordAgreedHash(const std::wstring& copy, const ContentHash& hash);
    bool AgreedHash(const std::wstring& copy, ContentHash* hash) const;
    // The damaged files of copy as its last check in place named them (read from the file again).
    std::vector<ProofFinding> DamagedFiles(const std::wstring& copy, ProofPlace place) const;
    unsigned UnreadableLines() const;
    size_t Count() const; // copies known

private:
    struct Slot {
        uint64_t key; // the copy's upper-cased path, hashed
        CheckMark mark;
    };
    void Apply(const char* text, size_t length);
    size_t PageIndex(uint64_t key) const;
    const Slot* Lookup(uint64_t key) const;
    Slot& Touch(uint64_t key);
    void MakeRoom(size_t index);
    // Appends lines to the file (the header first when it is new) and applies them.
    DWORD Append(const std::string& lines);

    std::wstring m_path; // SystemPath's form
    // The marks by key, in pages of a fixed size, each sorted and the pages in key order: a new
    // copy moves at most one page, and the table never copies itself whole to grow (a table that
    // doubles holds up to twice what it needs, and the heap keeps the blocks it outgrew).
    std::vector<std::vector<Slot>> m_pages;
    std::unordered_map<uint64_t, ContentHash> m_agreed;
    unsigned m_unreadable = 0;
};
