#include "engine/copy/FolderCopy.h"

#include <algorithm>

#include "engine/base/Settings.h"
#include "engine/copy/PreviousCopy.h"
#include "framework/FileFind.h"

CFolderCopy::CFolderCopy(CBackupHost& host, std::wstring backupRoot, const std::wstring& destinationTop,
                         CCopyPool* pool, BOOL* stop, CopyDirection direction,
                         const std::vector<std::wstring>* leftOut)
    : m_host(host), m_backupRoot(std::move(backupRoot)), m_pool(pool), m_stop(stop), m_direction(direction),
      m_leftOut(direction == CopyDirection::IntoBackup ? leftOut : nullptr) {
    FileIdentity identity;
    if (ReadFileIdentity(m_backupRoot, &identity))
        m_guarded.push_back(identity);
    if (ReadFileIdentity(destinationTop, &identity))
        m_guarded.push_back(identity);
}

namespace {

// A drive root without its separator ("\\?\C:") names no folder to open; the root needs it back.
std::wstring FolderPathForOpening(const std::wstring& folder) {
    if (folder.size() >= 2 && folder.back() == L':')
        return folder + L"\\";
    return folder;
}

} // namespace

bool CFolderCopy::Run(const std::wstring& shownSource, const std::wstring& source,
                      const std::wstring& destination) {
    FileIdentity identity;
    const bool known = ReadFileIdentity(FolderPathForOpening(source), &identity);
    // The backup root itself, or a folder onto its own copy: nothing of it can be copied, and
    // an empty copy must not pass for a backup.
    if (known && IsGuarded(identity)) {
        Fail(ERROR_CIRCULAR_DEPENDENCY, 0);
        return false;
    }
    if (m_direction == CopyDirection::IntoBackup)
        RemoveLeftoverTemporaries(destination);
    m_top = destination;
    m_sourceTop = source;
    CopyContentAsAncestor({shownSource, source, destination, m_previousCopy}, known ? &identity : nullptr);
    if (m_pool != nullptr)
        m_pool->WaitAll(); // every file in place before the folders' times are set
    if (!Stopped())
        FinishFolders();
    return m_failedCount == 0 && !Stopped();
}

bool CFolderCopy::Stopped() const {
    return m_stop != nullptr && *static_cast<volatile BOOL*>(m_stop) != FALSE;
}

void CFolderCopy::Fail(DWORD error, unsigned long sequence) {
    std::lock_guard<std::mutex> lock(m_failureMutex);
    if (m_failedCount++ == 0 || sequence < m_firstSequence) {
        m_firstSequence = sequence;
        m_firstError = error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
    }
}

void CFolderCopy::FinishFolders() {
    for (auto folder = m_folders.rbegin(); folder != m_folders.rend(); ++folder) {
        const DWORD error =
            CopyFolderTimesAndAttributes(FolderPathForOpening(folder->source), folder->destination);
        if (error != ERROR_SUCCESS)
            Fail(error, m_nextSequence++);
    }
}

bool CFolderCopy::IsGuarded(const FileIdentity& identity) const {
    return std::find(m_guarded.begin(), m_guarded.end(), identity) != m_guarded.end() ||
           std::find(m_ancestors.begin(), m_ancestors.end(), identity) != m_ancestors.end();
}

void CFolderCopy::CopyContent(const Place& place) {
    CFileFind finder;
    m_folders.push_back(place);
    if (!finder.FindFile((place.source + L"\\*").c_str())) {
        // An empty drive root lists nothing at all, not even "." and "..".
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND)
            Fail(error, m_nextSequence++);
        return;
    }
    NameSet given; // this folder's names, before any file of it is handed to the pool
    const Counterparts counterparts =
        place.previous.empty() ? Counterparts() : ReadCounterparts(place.previous);
    bool more = true;
    while (more && !Stopped()) {
        more = finder.FindNextFile() != FALSE; // FALSE still loaded the last entry
        if (finder.IsDots())
            continue;
        const std::wstring name = finder.GetFileName();
        if (m_leftOut != nullptr && IsLeftOut(name, *m_leftOut)) {
            ++m_leftOutCount; // taken no name, so the entries kept are named as without it
            continue;
        }
        const Place entry = place.Entry(name, GiveName(place, name, finder.IsDirectory() != FALSE, given));
        if (finder.IsDirectory()) {
            CopySubFolder(entry);
            continue;
        }
        FileJob job;
        job.place = entry;
        job.source = {finder.GetLength(), finder.GetLastWriteTime(), finder.GetAttributes()};
        const auto counterpart = counterparts.find(UpperCase(LastComponent(entry.destination)));
        if (counterpart != counterparts.end()) {
            job.hasCounterpart = true;
            job.counterpart = counterpart->second;
        }
        CopyOneFile(std::move(job));
    }
    if (finder.FailedWithError())
        Fail(finder.GetReadAheadError(), m_nextSequence++);
}

std::wstring CFolderCopy::GiveName(const Place& place, const std::wstring& name, bool isFolder,
                                   NameSet& given) {
    if (given.insert(UpperCase(name)).second)
        return name;
    for (unsigned number = 2;; ++number) {
        std::wstring numbered = NumberedName(name, number, isFolder);
        if (!given.insert(UpperCase(numbered)).second)
            continue;
        if (m_renamedCount++ == 0) {
            m_firstRenamedSource = place.shown + L"\\" + name;
            m_firstRenamedAs = numbered;
        }
        return numbered;
    }
}

void CFolderCopy::CopySubFolder(const Place& place) {
    FileIdentity identity;
    const bool known = ReadFileIdentity(place.source, &identity);
    if (known && IsGuarded(identity))
        return;
    // Made before its content is looked at, so an empty sub-folder is recreated too. It may
    // be there already from an earlier copy in the same minute; a file in its place is not.
    if (!CreateDirectoryW(place.destination.c_str(), nullptr)) {
        const DWORD error = GetLastError();
        const DWORD attributes = GetFileAttributesW(place.destination.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            Fail(error, m_nextSequence++);
            return;
        }
        if (m_direction == CopyDirection::IntoBackup)
            RemoveLeftoverTemporaries(place.destination); // only a folder made before can hold any
    }
    CopyContentAsAncestor(place, known ? &identity : nullptr);
}

void CFolderCopy::CopyContentAsAncestor(const Place& place, const FileIdentity* identity) {
    if (identity)
        m_ancestors.push_back(*identity);
    CopyContent(place);
    if (identity)
        m_ancestors.pop_back();
}

CFolderCopy::Counterparts CFolderCopy::ReadCounterparts(const std::wstring& previousFolder) {
    Counterparts counterparts;
    CFileFind finder;
    BOOL more = finder.FindFile((previousFolder + L"\\*").c_str());
    while (more) {
        more = finder.FindNextFile();
        if (!finder.IsDirectory() && !finder.MatchesMask(FILE_ATTRIBUTE_REPARSE_POINT))
            counterparts.emplace(
                UpperCase(finder.GetFileName()),
                FileFacts{finder.GetLength(), finder.GetLastWriteTime(), finder.GetAttributes()});
    }
    return counterparts;
}

void CFolderCopy::CopyOneFile(FileJob job) {
    job.sequence = m_nextSequence++;
    if (m_pool == nullptr)
        CopyFileNow(job);
    else
        m_pool->Submit([this, job] { CopyFileNow(job); });
}

void CFolderCopy::CopyFileNow(const FileJob& job) {
    const Place& place = job.place;
    const ULONGLONG size = job.source.size;
    const unsigned long sequence = job.sequence;
    if (Stopped())
        return;
    DWORD error = ERROR_SUCCESS;
    if (m_direction == CopyDirection::Restore) {
        m_host.ShowCopying(StatusCode::Restoring, place.shown);
        error = PutFileBack(place.source, place.destination, m_stop);
    } else {
        m_host.ShowCopying(StatusCode::BackingUp, place.shown);
        if (LinkedToPrevious(job))
            return;
        CopiedContent content;
        CopiedContent* const proof = m_proving ? &content : nullptr;
        if (m_direction == CopyDirection::IntoBackup)
            error = CopyFileIntoBackup(place.source, place.destination, m_backupRoot, m_stop, nullptr, proof);
        else
            error = CopyChecked(place, &content);
        if (error == ERROR_SUCCESS && proof != nullptr)
            ProveCopied(place, content);
    }
    if (error == ERROR_SUCCESS)
        m_host.CountCopied(size);
    else if (!Stopped())
        Fail(error, sequence);
}

bool CFolderCopy::LinkedToPrevious(const FileJob& job) {
    const Place& place = job.place;
    if (!job.hasCounterpart)
        return false;
    if (m_keepInPlace) {
        if (!KeptInPlace(job))
            return false;
    } else {
        if (!MayLinkFor(job.source, job.counterpart) ||
            !MatchesCounterpart(place.source, job.source, place.previous, job.counterpart, m_stop))
            return false;
        if (LinkIntoBackup(place.previous, place.destination, m_backupRoot) != ERROR_SUCCESS) {
            m_linkRefused = true; // copied instead: said once for the whole item
            return false;
        }
    }
    ++m_linkedCount;
    m_linkedBytes += job.source.size;
    if (m_proving)
        ProveLinked(job);
    return true;
}

void CFolderCopy::ProveCopied(const Place& place, const CopiedContent& content) {
    AddToManifest({place.destination.substr(m_top.size() + 1), content.size, content.modified,
                   content.attributes, content.hash, true});
}

void CFolderCopy::ProveLinked(const FileJob& job) {
    const FileFacts& facts = job.counterpart; // the linked file's own
    ManifestEntry entry{job.place.destination.substr(m_top.size() + 1),
                        facts.size,
                        facts.modified,
                        facts.attributes,
                        ContentHash(),
                        false};
    const auto earlier = m_earlier.find(UpperCase(entry.path));
    if (earlier != m_earlier.end() && earlier->second.hashKnown && earlier->second.size == facts.size &&
        CompareFileTime(&earlier->second.modified, &facts.modified) == 0) {
        entry.hash = earlier->second.hash;
        entry.hashKnown = true;
    }
    // Else no proof of the earlier copy (made before hashes, or its manifest is not whole): the
    // source it matched is read for one, but only for a version that is kept.
    const std::wstring* const unproven = entry.hashKnown ? nullptr : &job.place.source;
    AddToManifest(std::move(entry), unproven);
}

void CFolderCopy::AddToManifest(ManifestEntry entry, const std::wstring* source) {
    std::lock_guard<std::mutex> lock(m_manifestMutex);
    if (source != nullptr)
        m_unproven.emplace_back(m_manifest.size(), *source);
    m_manifest.push_back(std::move(entry));
}

// The copy already there is the source's as it is now, attributes included (a change of those
// alone leaves the time as it was, and the copy must take it).
bool CFolderCopy::KeptInPlace(const FileJob& job) const {
    constexpr DWORD kCopied = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    return (job.source.attributes & kCopied) == (job.counterpart.attributes & kCopied) &&
           MatchesCounterpart(job.place.source, job.source, job.place.destination, job.counterpart, m_stop);
}

DWORD CFolderCopy::CopyChecked(const Place& place, CopiedContent* content) {
    const auto expected = m_expected.find(UpperCase(place.destination.substr(m_top.size() + 1)));
    if (expected == m_expected.end() || !expected->second.hashKnown)
        return CopyFileContent(place.source, place.destination, m_stop, m_proving ? content : nullptr, false);
    const auto copyFrom = [&](const std::wstring& source, const ContentCheck& check) {
        return CopyFileContent(source, place.destination, m_stop, content, false,
                               [&](HANDLE) { return check(*content); });
    };
    const ManifestEntry& entry = expected->second;
    // The copy's names are its original's, but for one renamed where the disk took two for one: the
    // hash tells whether the file found there is the one.
    const std::wstring original =
        m_originalTop.empty() ? m_originalTop : m_originalTop + place.source.substr(m_sourceTop.size());
    return CopyProvenContent(place.source, original, {entry.size, entry.modified, entry.hash}, copyFrom);
}
