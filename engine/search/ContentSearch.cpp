#include "engine/search/ContentSearch.h"

#include <algorithm>
#include <unordered_map>

#include "engine/base/BackupPaths.h"
#include "engine/compare/FileCompare.h"
#include "engine/mirror/MirrorHistory.h"
#include "engine/base/StopFlag.h"
#include "engine/search/TextMatch.h"
#include "engine/search/VersionFiles.h"

namespace {

enum class Verdict : unsigned char { Holds, Lacks, Skipped, Unreadable };

// What one content said: kept per file, so a file linked into many versions is read once.
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
        const VersionCopyKind kind = ForEachVersionFile(
            SystemPath(copy), VolumeOf(copy), m_stop, [&](const std::wstring& inside, const ContentKey& key) {
                LookAtFile(index, newer, owner, copy, inside, key);
            });
        if (kind != VersionCopyKind::File && kind != VersionCopyKind::Folder)
            ++m_counts.unreadable;
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
                    const std::wstring& inside, const ContentKey& key) {
        const ContentVerdict* content = ContentOf(key, inside.empty() ? copy : copy + L"\\" + inside);
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

    // The content's verdict, read now when no version looked at before linked the same file.
    const ContentVerdict* ContentOf(const ContentKey& key, const std::wstring& path) {
        const auto known = m_contents.find(key);
        if (known != m_contents.end())
            return &known->second;
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
        return &m_contents.emplace(key, std::move(content)).first->second;
    }

    const CHistory& m_history;
    const ContentSearchRequest& m_request;
    const CTextMatcher m_matcher;
    const BOOL* m_stop;
    CSearchHost& m_host;
    ContentSearchCounts m_counts;
    uint32_t m_volumes[2] = {0, 0}; // this computer's backups folder, the mirror
    std::unordered_map<uint64_t, uint32_t> m_newest; // each item's version looked at last
    std::unordered_map<ContentKey, ContentVerdict, ContentKeyHash> m_contents;
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
