// A folder version's manifest: one line for each file its copy holds (the path relative to the
// copy, size, last-write time, attributes, hash), so the version can be proven file by file. It
// lies in its day folder beside the journal, never among the copies:
// `YYYY-MMDD\Tallowbox-manifests\HHMM\<copy's name>.tsv`, so nothing that walks the minute folders
// (the history, the cleanup, the stored size, the compare, the mirror) takes it for a copy or a file
// of the user's. It is written under a temporary name, flushed, and renamed before the journal line
// that names the version, which carries the manifest's own hash.
//
// UTF-8 text, LF line ends, tab-separated fields; the first line names the format's version and the
// fields. Fields are only ever added at a line's end, and a reader skips those it does not know.
// A manifest is read back as untrusted text: a line that does not parse, whose path could lead out
// of the copy (absolute, a drive or stream, "..", a device name), or that repeats an earlier path
// is skipped and counted, and the file is read a piece at a time, never whole.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/hash/ContentHash.h"
#include "engine/journal/Journal.h"

// "Tallowbox-manifests": the folder of a day's manifests, beside its journal.
extern const wchar_t* const kManifestFolderName;

struct ManifestEntry {
    std::wstring path; // relative to the version's copy: "photos\2026\a.jpg"
    ULONGLONG size = 0;
    FILETIME modified{}; // UTC, to the 100 ns
    DWORD attributes = 0;
    ContentHash hash;
    bool hashKnown = false; // false: the file's hash could not be taken (not yet checked)
};

// The manifest of the copy at copy (relative to the backups folder, "2026-1207\1015\photos"), also
// relative; empty when copy is no day\minute\name path.
std::wstring ManifestPathFor(const std::wstring& copy);

// Writes entries (in path order) as the manifest of copy below backupRoot, replacing an earlier one
// only once the new one is whole on the disk. *hash receives the hash of the manifest's bytes.
// ERROR_SUCCESS or the error code; on failure no manifest of copy is left but an earlier one.
DWORD WriteManifest(const std::wstring& backupRoot, const std::wstring& copy,
                    std::vector<ManifestEntry> entries, ContentHash* hash);

// What reading a manifest came to.
struct ManifestReading {
    bool opened = false;  // the file was there and its first line names this format
    unsigned refused = 0; // lines skipped: unreadable, unsafe, or a path already listed
    // The hash of the bytes read; whole is false when a line was too long to keep or cut short, so
    // the bytes hashed are not all of the file's.
    ContentHash hash;
    bool whole = false;
};

// Reads the manifest at path (SystemPath's form), calling entry for each line accepted, in file
// order. Never opens a path the manifest names.
ManifestReading ReadManifest(const std::wstring& path, const std::function<void(ManifestEntry&)>& entry);

// A version's files by upper-cased path, as its manifest lists them.
using ManifestIndex = std::unordered_map<std::wstring, ManifestEntry>;
// The manifest of copy below backupRoot, when it is whole and its hash is expected (the journal's
// word for it); otherwise an empty index: nothing in it is taken on trust.
ManifestIndex ReadTrustedManifest(const std::wstring& backupRoot, const std::wstring& copy,
                                  const ContentHash& expected);

// The manifest of copy below backupRoot, SystemPath's form, when it is there and reached through
// no link; else empty.
std::wstring ExistingManifest(const std::wstring& backupRoot, const std::wstring& copy);

// A folder version copied to the mirror: record's manifest below backupRoot is copied beside
// mirrored's copy below mirror, only when what was read has the hash record gives; mirrored keeps
// that hash only then. A file version's record keeps its hash as it is.
void ProveMirroredVersion(const std::wstring& backupRoot, const JournalRecord& record,
                          const std::wstring& mirror, JournalRecord& mirrored);
// A folder version's manifest lost or damaged below to (a backups folder or the mirror) is put back
// from below from, when the copy read there and read back has the hash expected (the journal's).
// ERROR_SUCCESS or the error code; a name that is a link is never replaced.
DWORD HealManifest(const std::wstring& from, const std::wstring& to, const std::wstring& copy,
                   const ContentHash& expected);
