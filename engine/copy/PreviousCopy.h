// The one unchanged check every backup goes through: an item's previous copy (its newest
// succeeded backup, from the journals, whose copy still lies below the backups folder) and
// whether a file matches its counterpart there. A file matches when its size and last-write time
// equal the counterpart's, or, at the same size, when their bytes are equal; a counterpart that
// no longer has what its record says (opened in place and saved) is never taken as the item.
#pragma once

#include <windows.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "engine/base/FileFacts.h"
#include "engine/hash/ContentHash.h"

// True when counterpart (its facts read from the disk) holds what source holds: same size, and the
// same last-write time or equal bytes (read until the first difference; a set *stop ends it, false).

bool MatchesCounterpart(const std::wstring& source, const FileFacts& sourceFacts,
                        const std::wstring& counterpart, const FileFacts& counterpartFacts, const BOOL* stop);
// The same check, saying why a pair does not match: their bytes differ (or their sizes), or one
// could not be read (error, when given, says why), or the comparison was stopped.
enum class CounterpartMatch : unsigned char { Matches, Differs, Unreadable, Stopped };
CounterpartMatch MatchCounterpart(const std::wstring& source, const FileFacts& sourceFacts,
                                  const std::wstring& counterpart, const FileFacts& counterpartFacts,
                                  const BOOL* stop, DWORD* error = nullptr);

// Two files by their bytes alone; error, when given, receives why one could not be read.
CounterpartMatch MatchBytes(const std::wstring& source, const std::wstring& counterpart, const BOOL* stop,
                            DWORD* error = nullptr);

// A hard link shares its attributes with every version: it may stand for source only when the
// hidden and system attributes are equal and neither is read-only (clearing that for a replace
// or a removal would change every version).
bool MayLinkFor(const FileFacts& sourceFacts, const FileFacts& counterpartFacts);

// An earlier succeeded backup of an item, as its journal record gives it.
struct PreviousCopy {
    std::wstring copy; // relative to the backups folder
    ULONGLONG bytes = 0;
    FILETIME modified{};
    bool unchanged = false; // the record found its item unchanged: bytes says nothing of the size
    ULONGLONG files = 0;    // a folder's files, copied and linked
    ContentHash hash{};     // the record's proof (a file's hash, a folder's manifest's), when it has one
    bool hashKnown = false;
};

// The backups of one backups folder by item, read from its journals once and kept for a run.
// One thread uses it.
class CPreviousCopies {
public:
    explicit CPreviousCopies(std::wstring backupRoot) : m_backupRoot(std::move(backupRoot)) {}
    // The journals are read again at the next Find (other programs may have written them).
    void Forget();
    // The newest succeeded backup of original (case aside) of this kind whose copy still exists
    // below the backups folder. False when there is none.
    bool Find(const std::wstring& original, bool isFolder, PreviousCopy* found);
    // A copy this program has just made, newer than any read.
    void Remember(const std::wstring& original, bool isFolder, const PreviousCopy& copy);

private:
    void ReadJournals();
    static std::wstring Key(const std::wstring& original, bool isFolder);

    const std::wstring m_backupRoot;
    bool m_read = false;
    std::unordered_map<std::wstring, std::vector<PreviousCopy>> m_byItem; // newest first
};
