// One copy of a folder's content tree into the backup, depth first, counting the entries that
// failed and keeping the first one's error. Every folder copied gets its source's times and
// attributes once its content is in place. Guards the walk: the backup root and the copy's own destination
// are never entered (a folder that holds the program would otherwise copy its copies), nor is a folder that
// is already on the way down (a link to an ancestor would never end). Entries of one source folder that the
// backup's disk takes for one name (a case-sensitive source) never replace each other: the later one is
// kept as "name (2)" and the change is noted for the status line. Entries whose names match the
// user's patterns are left out, with all they hold, and counted; the folder given is always copied.
//
// Into the backup, given the item's previous copy, a file that matches its counterpart there
// (PreviousCopy.h) is made as a hard link to it instead of a copy; where the disk refuses the link
// the file is copied, and the refusal is only noted. Given instead the same minute's copy of the
// item, which this copy replaces, a file that matches its counterpart there is left as it is.
//
// Every source path comes as two texts: the one shown to the user (as the item was given, with
// the entries' names joined on) and the one the file functions are given (SystemPath's form).
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/base/BackupHost.h"
#include "engine/copy/CopyPool.h"
#include "engine/copy/FileCopy.h"
#include "engine/copy/PreviousCopy.h"
#include "engine/hash/ProvenCopy.h"
#include "engine/journal/Manifest.h"

// Into the backup, or out of it back to where the item came from: a restore writes the user's
// own folders, so it never clears leftover temporaries there nor a target's attributes. Into a
// new folder that holds a temporary name until the whole copy is in it (the mirror's): each file
// is written straight under its name, never over one, as nothing there has a real name yet.
enum class CopyDirection { IntoBackup, Restore, IntoTemporaryFolder };

class CFolderCopy {
public:
    // backupRoot and destinationTop in SystemPath's form. With a pool, files are copied by its
    // threads while the walk goes on; folders are always made by the walk, in order. stop, when
    // given and set, ends the walk and abandons the copies not yet done. leftOut, when given,
    // names the entries not copied (name patterns, see IsLeftOut).
    CFolderCopy(CBackupHost& host, std::wstring backupRoot, const std::wstring& destinationTop,
                CCopyPool* pool = nullptr, BOOL* stop = nullptr,
                CopyDirection direction = CopyDirection::IntoBackup,
                const std::vector<std::wstring>* leftOut = nullptr);
    CFolderCopy(const CFolderCopy&) = delete;
    CFolderCopy& operator=(const CFolderCopy&) = delete;

    // Copies source's content into destination (which exists). True when nothing failed.
    // shownSource names the source for the progress texts; source and destination are in
    // SystemPath's form.
    bool Run(const std::wstring& shownSource, const std::wstring& source, const std::wstring& destination);
    // Before Run: the item's previous copy (SystemPath's form), whose files the unchanged ones link to.
    void LinkUnchangedTo(const std::wstring& previousCopy) { m_previousCopy = previousCopy; }
    // Before Run: destination already holds the copy being replaced (the same minute's): what still
    // matches the source is left in place, never copied over itself.
    void KeepUnchangedIn(const std::wstring& destination) {
        m_previousCopy = destination;
        m_keepInPlace = true;
    }

    // Before Run: each file's size, time, attributes and hash go into a manifest (TakeManifest). A
    // file linked or left in place takes its hash from earlier (its previous copy's manifest, when
    // that lists it as it is) without being read; without one there, its entry waits for its
    // source to be read (TakeUnproven), once the version is known to be kept.
    void Prove(ManifestIndex earlier) {
        m_proving = true;
        m_earlier = std::move(earlier);
    }
    // Before Run, into a temporary folder (the mirror's): each file copied is kept only when its bytes
    // are those its entry in expected (a trusted manifest of the source) gives; else it is taken from
    // originalTop (the item's original, SystemPath's form) when the file there still matches, or it
    // fails with kDamagedCopy (ProvenCopy.h). A file expected lists with no hash is copied as it is.
    void CheckAgainst(ManifestIndex expected, std::wstring originalTop) {
        m_expected = std::move(expected);
        m_originalTop = std::move(originalTop);
    }
    // After Run: the files Prove asked for, in no order.
    std::vector<ManifestEntry> TakeManifest() { return std::move(m_manifest); }
    // After Run: the entries of TakeManifest still without a hash, by index, with their sources.
    std::vector<std::pair<size_t, std::wstring>> TakeUnproven() { return std::move(m_unproven); }

    // After Run: how many entries failed, and the system's error code for the first.
    unsigned FailedCount() const { return m_failedCount; }
    DWORD FirstError() const { return m_firstError; }
    // True when the copy ended early because stop was set.
    bool Stopped() const;
    // After Run: how many entries were kept under a changed name, and the first of them (its
    // source as the user sees it, and the name it was given).
    unsigned RenamedCount() const { return m_renamedCount; }
    const std::wstring& FirstRenamedSource() const { return m_firstRenamedSource; }
    const std::wstring& FirstRenamedAs() const { return m_firstRenamedAs; }
    // After Run: how many entries matched a pattern and were not copied (a folder counts once).
    unsigned long long LeftOutCount() const { return m_leftOutCount; }
    // After Run: how many files were made as links, and whether the disk refused any link.
    // Files left in place by KeepUnchangedIn count as linked: the version shares them, unwritten.
    unsigned long long LinkedCount() const { return m_linkedCount.load(); }
    unsigned long long LinkedBytes() const { return m_linkedBytes.load(); }
    bool LinkRefused() const { return m_linkRefused.load(); }

private:
    struct Place {
        std::wstring shown;  // the source as the user sees it
        std::wstring source; // the source for the file functions
        std::wstring destination;
        std::wstring previous; // the counterpart in the previous copy; empty: none
        // The entry name of this folder, copied under destinationName.
        Place Entry(const std::wstring& name, const std::wstring& destinationName) const {
            return {shown + L"\\" + name, source + L"\\" + name, destination + L"\\" + destinationName,
                    previous.empty() ? previous : previous + L"\\" + destinationName};
        }
    };
    using NameSet = std::unordered_set<std::wstring>; // upper-cased names given in one folder
    // One file to copy (or link): its facts as the walk found them, and its counterpart's.
    struct FileJob {
        Place place;
        FileFacts source;
        bool hasCounterpart = false;
        FileFacts counterpart;
        unsigned long sequence = 0;
    };
    // The files of a folder of the previous copy by upper-cased name, read in one walk of it.
    using Counterparts = std::unordered_map<std::wstring, FileFacts>;
    static Counterparts ReadCounterparts(const std::wstring& previousFolder);

    // CopyContent with the folder (identity, when it could be read) on the way down meanwhile.
    void CopyContentAsAncestor(const Place& place, const FileIdentity* identity);
    void CopyContent(const Place& place);
    // The name the entry's copy gets in place's destination: its own, unless an earlier entry of
    // this folder was given one the disk takes for the same; then the first free "name (2)"...
    std::wstring GiveName(const Place& place, const std::wstring& name, bool isFolder, NameSet& given);
    void CopySubFolder(const Place& place);
    void CopyOneFile(FileJob job);
    // True when the folder with this identity must not be entered.
    bool IsGuarded(const FileIdentity& identity) const;
    // An entry failed; sequence orders the entries as the walk met them.
    void Fail(DWORD error, unsigned long sequence);
    void CopyFileNow(const FileJob& job);
    // True when the file was made as a link to its unchanged counterpart.
    bool LinkedToPrevious(const FileJob& job);
    bool KeptInPlace(const FileJob& job) const;
    // The manifest's entry of a file copied (content says what was written) or linked.
    void ProveCopied(const Place& place, const CopiedContent& content);
    void ProveLinked(const FileJob& job);
    // Into a temporary folder: the file's copy, checked against m_expected where it lists the file.
    DWORD CopyChecked(const Place& place, CopiedContent* content);
    // source: the file's, when its hash is still to be read from it.
    void AddToManifest(ManifestEntry entry, const std::wstring* source = nullptr);
    // Deepest first, so setting a folder's times is never undone by work inside it.
    void FinishFolders();

    CBackupHost& m_host;
    const std::wstring m_backupRoot;
    CCopyPool* const m_pool;
    BOOL* const m_stop;
    const CopyDirection m_direction;
    const std::vector<std::wstring>* const m_leftOut;
    unsigned long long m_leftOutCount = 0;
    unsigned long m_nextSequence = 0;
    unsigned long m_firstSequence = 0;
    std::mutex m_failureMutex;           // the pool's threads report failures too
    std::vector<FileIdentity> m_guarded; // the backup root and the destination, when they can be read
    std::vector<FileIdentity> m_ancestors;
    std::vector<Place> m_folders; // every folder copied, in the order it was made
    unsigned m_failedCount = 0;
    DWORD m_firstError = ERROR_SUCCESS;
    unsigned m_renamedCount = 0; // the walk alone touches these three
    std::wstring m_firstRenamedSource;
    std::wstring m_firstRenamedAs;
    std::wstring m_previousCopy;
    bool m_keepInPlace = false;
    std::atomic<unsigned long long> m_linkedCount{0}; // the pool's threads link too
    std::atomic<unsigned long long> m_linkedBytes{0};
    std::atomic<bool> m_linkRefused{false};
    bool m_proving = false;
    ManifestIndex m_earlier;    // read before Run, then only looked up
    std::wstring m_top;         // Run's destination: the manifest's paths are relative to it
    std::wstring m_sourceTop;   // Run's source
    ManifestIndex m_expected;   // read before Run, then only looked up
    std::wstring m_originalTop;
    std::mutex m_manifestMutex; // the pool's threads add entries
    std::vector<ManifestEntry> m_manifest;
    std::vector<std::pair<size_t, std::wstring>> m_unproven;
};
