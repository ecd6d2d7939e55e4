#include "engine/search/ContentSearch.h"

#include <algorithm>
#include <deque>
#include <unordered_map>

#include "engine/base/BackupPaths.h"
#include "engine/compare/FileCompare.h"
#include "engine/mirror/MirrorHistory.h"
#include "engine/base/StopFlag.h"
#include "engine/journal/RecordedHashes.h"
#include "engine/search/TextMatch.h"
#include "engine/search/VersionFiles.h"

namespace {

enum class Verdict : unsigned char { Holds, Lacks, Skipped, Unreadable };

// What one content said: kept per file, so a file linked into many versions is read once, and per
// hash, so a content copied again (not linked) into another version is read once too.
struct ContentVerdict {
    Verdict verdict = Verdict::Lacks;
    uint32_t line = 0;
    std::wstring lineText;
};

// An item: its original (a text id; a copy name's for an unknown original) and the file inside.
struct ItemKey {
    uint64_t owner = 0;
    std::wstring inside;
    bool operator==(const ItemKey& other) const { return owner == other.owner && inside == other.inside; }
};

struct ItemKeyHash {
    size_t operator()(const ItemKey& key) const {
        return std::hash<std::wstring>()(key.inside) ^ std::hash<uint64_t>()(key.owner);
    }
};

struct ContentHashHash {
    size_t operator()(const ContentHash& hash) const { return static_cast<size_t>(hash.low ^ hash.high); }
};

// A version's proofs: a file version's journal hash, or a folder version's trusted manifest.
struct VersionProof {
    bool fileHashKnown = false;
    ContentHash fileHash;
    int64_t fileModified = 0; // the journal's, to the second
    ManifestIndex folder;
};

int64_t Ticks(const FILETIME& time) {
    return static_cast<int64_t>((static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

struct ItemState {
    uint32_t lastSeen = ContentHit::kNone; // the latest version looked at that had the file
    uint32_t hit = ContentHit::kNone;
};

class CContentSearch {
public:
    CContentSearch(const CHistory& history, const ContentSearchRequest& request, const BOOL* stop,
                   CSearchHost& host)
        : m_history(history), m_request(request), m_matcher(request.text), m_stop(stop), m_host(host) {}

    ContentSearchOutcome Run() {
        if (m_matcher.IsEmpty())
            return ContentSearchOutcome::NothingToFind;
        std::vector<uint32_t> versions;
        const auto consider = [&](uint32_t index) {
            if (index < m_history.entries.size() && IsSearchedVersion(m_history.entries[index]))
                versions.push_back(index);
        };
        if (m_request.within != nullptr)
            for (uint32_t index : *m_request.within)
                consider(index);
        else
            for (size_t index = 0; index < m_history.entries.size(); ++index)
                consider(static_cast<uint32_t>(index));
        m_counts.toLook = versions.size();
        m_host.Progress(m_counts);
        for (uint32_t index : versions) {
            if (IsStopRequested(m_stop))
                return ContentSearchOutcome::Stopped;
            Look(index);
            ++m_counts.versions;
            m_host.Progress(m_counts);
        }
        return IsStopRequested(m_stop) ? ContentSearchOutcome::Stopped : ContentSearchOutcome::Done;
    }

private:
    static uint64_t OwnerOf(const HistoryEntry& entry) {
        return entry.original != CTextPool::kNone ? entry.original : (1ull << 32) | entry.copyName;
    }

    // The item's next newer version is the one looked at before this one.
    void Look(uint32_t index) {
        const HistoryEntry& entry = m_history.entries[index];
        const uint64_t owner = OwnerOf(entry);
        const auto seen = m_newest.emplace(owner, ContentHit::kNone).first;
        const uint32_t newer = seen->second;
        seen->second = index;
        const std::wstring copy =
            VersionCopyOnDisk(m_history, entry, m_request.backupRoot, m_request.mirrorRoot);
        if (copy.empty())
            return;
        const VersionProof proof = ProofOf(entry, copy);
        const VersionCopyKind kind = ForEachVersionFile(
            SystemPath(copy), VolumeOf(copy), m_stop,
            [&](const std::wstring& inside, const ContentKey& key, const VersionFileFacts& facts) {
                ContentHash hash;
                const bool known = HashOf(proof, inside, facts, &hash);
                LookAtFile(index, newer, owner, copy, inside, key, known ? &hash : nullptr);
            });
        if (kind != VersionCopyKind::File && kind != VersionCopyKind::Folder)
            ++m_counts.unreadable;
    }

    VersionProof ProofOf(const HistoryEntry& entry, const std::wstring& copy) {
        VersionProof proof;
        if (entry.Is(HistoryEntry::kFolder)) {
            proof.folder = m_recorded.TrustedManifestOf(copy);
        } else {
            proof.fileHashKnown = m_recorded.HashOf(copy, &proof.fileHash);
            proof.fileModified = entry.modified;
        }
        return proof;
    }

    // The hash a proof gives the file as it lies there (the size and time it recorded); false: none.
    static bool HashOf(const VersionProof& proof, const std::wstring& inside, const VersionFileFacts& facts,
                       ContentHash* hash) {
        constexpr int64_t kSecond = 10000000;
        if (inside.empty()) {
            *hash = proof.fileHash;
            return proof.fileHashKnown && Ticks(facts.modified) / kSecond == proof.fileModified / kSecond;
        }
        const auto entry = proof.folder.find(UpperCase(inside));
        if (entry == proof.folder.end() || !entry->second.hashKnown || entry->second.size != facts.size ||
            CompareFileTime(&entry->second.modified, &facts.modified) != 0)
            return false;
        *hash = entry->second.hash;
        return true;
    }

    // Both places' volumes are asked once.
    uint32_t VolumeOf(const std::wstring& copy) {
        const std::wstring& mirror = m_request.mirrorRoot;
        const bool mirrored = !mirror.empty() && copy.size() > mirror.size() &&
                              copy.compare(0, mirror.size(), mirror) == 0 && copy[mirror.size()] == L'\\';
        uint32_t& volume = m_volumes[mirrored ? 1 : 0];
        if (volume == 0)
            volume = VolumeSerialOf(SystemPath(mirrored ? mirror : m_request.backupRoot));
        return volume;
    }

    void LookAtFile(uint32_t index, uint32_t newer, uint64_t owner, const std::wstring& copy,
                    const std::wstring& inside, const ContentKey& key, const ContentHash* hash) {
        const ContentVerdict* content = ContentOf(key, hash, inside.empty() ? copy : copy + L"\\" + inside);
        if (content == nullptr)
            return; // stopped
        ItemState& state = m_items[{owner, inside}];
        const uint32_t seenBefore = state.lastSeen;
        state.lastSeen = index;
        if (content->verdict != Verdict::Holds)
            return;
        if (state.hit == ContentHit::kNone) {
            state.hit = static_cast<uint32_t>(m_hits.size());
            ContentHit hit;
            hit.id = state.hit;
            const HistoryEntry& entry = m_history.entries[index];
            hit.item = m_history.texts.Text(entry.original != CTextPool::kNone ? entry.original : entry.copyName);
            if (!inside.empty())
                hit.item += L"\\" + inside;
            hit.inside = inside;
            hit.last = index;
            hit.wentTo = newer;
            hit.wentMissing = newer != ContentHit::kNone && seenBefore != newer;
            hit.line = content->line;
            hit.lineText = content->lineText;
            m_hits.push_back(std::move(hit));
            ++m_counts.found;
        }
        ContentHit& hit = m_hits[state.hit];
        hit.first = index;
        ++hit.versions;
        m_host.HitChanged(hit);
    }

    // The content's verdict, read now when no version looked at before linked the same file or held
    // a content of the same hash.
    const ContentVerdict* ContentOf(const ContentKey& key, const ContentHash* hash,
                                    const std::wstring& path) {
        const auto known = m_contents.find(key);
        if (known != m_contents.end())
            return &m_verdicts[known->second];
        if (hash != nullptr) {
            const auto same = m_hashed.find(*hash);
            if (same != m_hashed.end()) {
                m_contents.emplace(key, same->second);
                return &m_verdicts[same->second];
            }
        }
        CDecodedText text;
        DWORD error = ERROR_SUCCESS;
        OfficeOutcome document = OfficeOutcome::Ok;
        const TextReadOutcome read = ReadAsText(SystemPath(path), &text, m_stop, &error, &document);
        if (read == TextReadOutcome::Stopped)
            return nullptr;
        ++m_counts.read;
        ContentVerdict content;
        if (read == TextReadOutcome::Unreadable) {
            content.verdict = Verdict::Unreadable;
            ++m_counts.unreadable;
        } else if (read != TextReadOutcome::Text) {
            content.verdict = Verdict::Skipped;
            ++m_counts.skipped;
        } else {
            const size_t line = m_matcher.FirstMatchingLine(text);
            if (line != CTextMatcher::kNoLine) {
                content.verdict = Verdict::Holds;
                content.line = static_cast<uint32_t>(line);
                content.lineText.assign(text.LineText(line), std::min(text.LineLength(line), kMaxHitLine));
            }
        }
        const uint32_t at = static_cast<uint32_t>(m_verdicts.size());
        m_verdicts.push_back(std::move(content));
        m_contents.emplace(key, at);
        if (hash != nullptr)
            m_hashed.emplace(*hash, at);
        return &m_verdicts[at];
    }

    const CHistory& m_history;
    const ContentSearchRequest& m_request;
    const CTextMatcher m_matcher;
    const BOOL* m_stop;
    CSearchHost& m_host;
    ContentSearchCounts m_counts;
    uint32_t m_volumes[2] = {0, 0}; // this computer's backups folder, the mirror
    std::unordered_map<uint64_t, uint32_t> m_newest; // each item's version looked at last
    CRecordedHashes m_recorded;                      // each day journal read once
    std::deque<ContentVerdict> m_verdicts;           // never moves one: the pointers handed out stay valid
    std::unordered_map<ContentKey, uint32_t, ContentKeyHash> m_contents;
    std::unordered_map<ContentHash, uint32_t, ContentHashHash> m_hashed;
    std::unordered_map<ItemKey, ItemState, ItemKeyHash> m_items;
    std::vector<ContentHit> m_hits;
};

} // namespace

bool IsSearchedVersion(const HistoryEntry& entry) {
    return entry.kind == JournalKind::Backup && entry.outcome == RowOutcome::Succeeded &&
           !entry.Is(HistoryEntry::kDamaged);
}

ContentSearchOutcome SearchContent(const CHistory& history, const ContentSearchRequest& request,
                                   const BOOL* stop, CSearchHost& host) {
    return CContentSearch(history, request, stop, host).Run();
}
