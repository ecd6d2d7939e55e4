// What the content search reports as it goes, to whoever runs it (the results window's worker, a
// test): each item found and each change to what is known of it, and how far it got. Called on the
// searching thread.
#pragma once

#include <cstdint>
#include <string>

// An item whose content held the text: a file item, or a file inside a folder item. Versions are
// the history's entry indexes.
struct ContentHit {
    static constexpr uint32_t kNone = UINT32_MAX;
    uint32_t id = 0;          // the item's number in this search, from 0, in the order found
    std::wstring item;        // the original path (the copy's name when unknown), and the file inside
    std::wstring inside;      // the file's path inside the folder item; empty for a file item
    uint32_t first = kNone;   // the oldest version holding the text
    uint32_t last = kNone;    // the newest
    uint32_t wentTo = kNone;  // the item's next version after last: it no longer holds it; none: still held
    bool wentMissing = false; // wentTo is a folder version without the file
    uint32_t versions = 0;    // how many versions hold it
    uint32_t line = 0;        // the matching line in last, from 0
    std::wstring lineText;    // that line (its first kMaxHitLine units)
};

constexpr size_t kMaxHitLine = 1000;

struct ContentSearchCounts {
    uint64_t versions = 0;   // versions looked at
    uint64_t toLook = 0;     // versions to look at in all
    uint64_t read = 0;       // contents read: each once however many versions link it
    uint64_t skipped = 0;    // files neither text nor a document that could be read
    uint64_t unreadable = 0; // copies or files that could not be opened or read, links left alone
    uint64_t found = 0;      // items found
};

class CSearchHost {
public:
    virtual ~CSearchHost() = default;
    // An item found, or what is known of it grew (an older version holds it too): the whole hit.
    virtual void HitChanged(const ContentHit& hit) = 0;
    // After each version.
    virtual void Progress(const ContentSearchCounts& counts) = 0;
};
