// Reading a version's copy back against its hashes: a file version's copy against the hash its
// journal line carries, a folder version's files against its manifest (Manifest.h). A file that
// many versions share through links is read once in a run (CReadOnce).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/base/FileFacts.h"
#include "engine/hash/ContentHash.h"
#include "engine/journal/Manifest.h"

// Where a copy is read: this computer's backups folder or the mirror.
enum class ProofPlace : uint8_t { Here = 0, Mirror = 1 };

// What one place's copy of a version came to.
enum class ProofState : uint8_t {
    Good,       // every byte read matches its hash
    Damaged,    // a file differs from its hash or is missing: the findings name each
    Unproven,   // nothing to check against: a version made before hashes, or its manifest not whole
    Absent,     // the place holds no copy (no mirror, or a mirror not caught up)
    Unreadable, // the copy could not be read (locked, a link on its way): error says why
};

struct ProofFinding {
    std::wstring path;    // inside a folder version ("photos\a.jpg"); empty for a file version
    bool missing = false; // the file is gone; else its bytes differ from its hash
    ContentHash expected; // the hash the version records for it
};

struct PlaceProof {
    ProofState state = ProofState::Absent;
    DWORD error = ERROR_SUCCESS;
    std::vector<ProofFinding> findings; // Damaged's files, in path order
    uint64_t bytesRead = 0;             // read in this run (a file read earlier in the run: 0)
};

// Opens the file at path (SystemPath's form) to read, never through a link at its end: a link or a
// folder is refused (kLinkOnTheWay, ERROR_DIRECTORY). *identity receives what it is.
// INVALID_HANDLE_VALUE with the error set when it cannot be opened.
HANDLE OpenCopyFile(const std::wstring& path, FileIdentity* identity);

// Hashes taken in one run, by file identity (volume and file index): a file linked into many
// versions is read once. Owned by one thread.
class CReadOnce {
public:
    // The hash of the file at path (SystemPath's form): taken before in this run when the same file
    // was read, else read now (*bytesRead grows by what was read). ERROR_SUCCESS or the error code;
    // a set *stop ends it with ERROR_REQUEST_ABORTED.
    DWORD HashOf(const std::wstring& path, const BOOL* stop, ContentHash* hash, uint64_t* bytesRead);
    void Forget(); // after a repair replaced files
private:
    struct KeyHash { size_t operator()(const FileIdentity&) const; };
    bool IdentityIn(HANDLE file, const std::wstring& path, FileIdentity* identity);
    std::unordered_map<FileIdentity, ContentHash, KeyHash> m_hashes;
    std::unordered_map<std::wstring, uint32_t> m_volumes; // by folder ("...\2026-1207\1015\"), as read
};

// Reads the copy copy (relative to root: "2026-1207\1015\report.xlsx") of a version: a file version
// against expected; a folder version against the manifest whose own hash is expected (a manifest
// not whole or of another hash: Unproven; a file it lists missing or of another hash: a finding; a
// file it does not list is no finding). hashKnown false: Unproven without reading. Nothing is
// read through a link on the copy's way (Unreadable, ERROR_CANT_ACCESS_FILE); nothing is written.
PlaceProof ProveCopy(const std::wstring& root, const std::wstring& copy, bool folder,
                     const ContentHash& expected, bool hashKnown, CReadOnce& once, const BOOL* stop);
// The same, a folder version's files read below root against the manifest that lies below
// manifestRoot (the other place's, when this place's own is lost).
PlaceProof ProveCopyWith(const std::wstring& root, const std::wstring& manifestRoot, const std::wstring& copy,
                         bool folder, const ContentHash& expected, bool hashKnown, CReadOnce& once,
                         const BOOL* stop);
// A folder version's manifest below root, when it is whole, of the hash expected, and no line of
// it was refused; else false. entries in path order.
bool ReadProvenManifest(const std::wstring& root, const std::wstring& copy, const ContentHash& expected,
                        std::vector<ManifestEntry>* entries);
