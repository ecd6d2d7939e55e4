// A copy read back: each file opened as it is (never through a link), known by its identity so
// that the names a link gives one file are read once, and hashed to its end.
#include "engine/proof/CopyProof.h"

#include <algorithm>

#include "engine/base/BackupPaths.h"
#include "engine/base/StopFlag.h"
#include "engine/hash/ContentCopy.h"
#include "engine/journal/CopyWay.h"
#include "engine/journal/Journal.h"
#include "framework/FileHandle.h"

namespace {

// The identity asked by kind first, the older query when the system lacks it. Under Wine both ask
// its mount manager for the volume's serial on every call (near a millisecond): CReadOnce asks
// once per folder.
// The platform headers this program builds against predate the query: its class and answer.
constexpr auto kFileIdInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);
struct FileIdAnswer {
    ULONGLONG VolumeSerialNumber;
    struct {
        BYTE Identifier[16];
    } FileId;
};

bool IdentityOf(HANDLE file, FileIdentity* identity) {
    FileIdAnswer id{};
    if (GetFileInformationByHandleEx(file, kFileIdInfo, &id, sizeof id)) {
        uint64_t index = 0;
        static_assert(sizeof id.FileId.Identifier >= sizeof index, "a file id holds an index");
        std::copy_n(id.FileId.Identifier, sizeof index, reinterpret_cast<BYTE*>(&index));
        identity->volume = static_cast<uint32_t>(id.VolumeSerialNumber);
        identity->index = index;
        return true;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file, &information))
        return false;
    identity->volume = information.dwVolumeSerialNumber;
    identity->index = (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    return true;
}

// Opens the file at path to read, as it is: a link or a folder is refused.
HANDLE OpenAsItIs(const std::wstring& path) {
    // Backup semantics opens a folder too, so that it is told apart rather than refused unread.
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_BACKUP_SEMANTICS,
                                    nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return file;
    FILE_BASIC_INFO basic{};
    DWORD error = ERROR_SUCCESS;
    if (!GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic))
        error = GetLastError();
    else if (basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        error = kLinkOnTheWay;
    else if (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        error = ERROR_DIRECTORY;
    if (error == ERROR_SUCCESS)
        return file;
    CloseHandle(file);
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

bool IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// One file of the copy against its hash: a finding when it is missing or differs; false with
// proof's error when it could not be read.
bool ProveFile(const std::wstring& path, const std::wstring& relative, const ContentHash& expected,
               CReadOnce& once, const BOOL* stop, PlaceProof& proof) {
    ContentHash hash;
    const DWORD error = once.HashOf(path, stop, &hash, &proof.bytesRead);
    if (error == ERROR_SUCCESS && hash == expected)
        return true;
    if (error != ERROR_SUCCESS && !IsMissing(error)) {
        proof.error = error;
        return false;
    }
    ProofFinding finding;
    finding.path = relative;
    finding.missing = error != ERROR_SUCCESS;
    finding.expected = expected;
    proof.findings.push_back(std::move(finding));
    return true;
}

// A folder version's files against its manifest's entries, in path order. A file whose way inside
// the copy passes through a link is not read: the copy reads as unreadable.
void ProveFolder(const std::wstring& root, const std::wstring& copy, const std::vector<ManifestEntry>& entries,
                 CReadOnce& once, const BOOL* stop, PlaceProof& proof) {
    CCopyWays ways(root);
    const std::wstring folder = SystemPath(root + L"\\" + copy);
    for (const ManifestEntry& entry : entries) {
        if (!entry.hashKnown)
            continue; // its hash could not be taken when the version was made: nothing to prove
        // Only the folders on the way are looked at here: the file itself is refused as a link by
        // its open (OpenCopyFile), which saves a query of every file.
        const size_t separator = entry.path.rfind(L'\\');
        if (separator != std::wstring::npos && ways.HasLink(copy + L"\\" + entry.path.substr(0, separator))) {
            proof.error = kLinkOnTheWay;
            return;
        }
        if (!ProveFile(folder + L"\\" + entry.path, entry.path, entry.hash, once, stop, proof))
            return;
    }
}

} // namespace

HANDLE OpenCopyFile(const std::wstring& path, FileIdentity* identity) {
    const HANDLE file = OpenAsItIs(path);
    if (file == INVALID_HANDLE_VALUE || IdentityOf(file, identity))
        return file;
    const DWORD error = GetLastError();
    CloseHandle(file);
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

size_t CReadOnce::KeyHash::operator()(const FileIdentity& key) const {
    return std::hash<uint64_t>()(key.index * 1000003u ^ key.volume);
}

DWORD CReadOnce::HashOf(const std::wstring& path, const BOOL* stop, ContentHash* hash, uint64_t* bytesRead) {
    if (IsStopRequested(stop))
        return ERROR_REQUEST_ABORTED;
    CFileHandle file(OpenAsItIs(path));
    FileIdentity identity;
    if (!file.IsOpen() || !IdentityIn(file.get(), path, &identity))
        return GetLastError();
    const auto known = m_hashes.find(identity);
    if (known != m_hashes.end()) {
        *hash = known->second;
        return ERROR_SUCCESS;
    }
    CopiedContent read;
    const DWORD error = HashOpenFile(file.get(), stop, &read);
    if (error != ERROR_SUCCESS)
        return error;
    *bytesRead += read.size;
    *hash = read.hash;
    m_hashes.emplace(identity, read.hash);
    return ERROR_SUCCESS;
}

// A file is on its folder's volume (one that is a mount point is a link, refused by its open): the
// volume is asked of the first file read in each folder.
bool CReadOnce::IdentityIn(HANDLE file, const std::wstring& path, FileIdentity* identity) {
    const std::wstring folder = path.substr(0, path.find_last_of(L'\\') + 1);
    const auto known = m_volumes.find(folder);
    if (known != m_volumes.end())
        identity->volume = known->second;
    else if (IdentityOf(file, identity))
        m_volumes.emplace(folder, identity->volume);
    else
        return false;
    // The index always by the same query: the two queries need not number a file alike.
    return FileIndexOf(file, &identity->index);
}

void CReadOnce::Forget() {
    m_hashes.clear();
    m_volumes.clear();
}

bool ReadProvenManifest(const std::wstring& root, const std::wstring& copy, const ContentHash& expected,
                        std::vector<ManifestEntry>* entries) {
    const std::wstring path = ExistingManifest(root, copy);
    if (path.empty())
        return false;
    entries->clear();
    const ManifestReading reading =
        ReadManifest(path, [&](ManifestEntry& entry) { entries->push_back(std::move(entry)); });
    if (!reading.opened || !reading.whole || reading.refused != 0 || reading.hash != expected) {
        entries->clear();
        return false;
    }
    std::sort(entries->begin(), entries->end(),
              [](const ManifestEntry& a, const ManifestEntry& b) { return a.path < b.path; });
    return true;
}

PlaceProof ProveCopy(const std::wstring& root, const std::wstring& copy, bool folder, const ContentHash& expected,
                     bool hashKnown, CReadOnce& once, const BOOL* stop) {
    return ProveCopyWith(root, root, copy, folder, expected, hashKnown, once, stop);
}

PlaceProof ProveCopyWith(const std::wstring& root, const std::wstring& manifestRoot, const std::wstring& copy,
                         bool folder, const ContentHash& expected, bool hashKnown, CReadOnce& once,
                         const BOOL* stop) {
    PlaceProof proof;
    proof.state = ProofState::Unreadable;
    if (!IsSafeCopyPath(copy) || CopyWayHasLink(root, copy)) {
        proof.error = kLinkOnTheWay;
        return proof;
    }
    const std::wstring path = SystemPath(root + L"\\" + copy);
    std::vector<ManifestEntry> entries;
    if (!hashKnown || (folder && !ReadProvenManifest(manifestRoot, copy, expected, &entries))) {
        proof.state = ProofState::Unproven;
        return proof;
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES && !IsMissing(GetLastError())) {
        proof.error = GetLastError();
        return proof;
    }
    if (attributes != INVALID_FILE_ATTRIBUTES && folder != ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0))
        proof.findings.push_back({std::wstring(), false, expected}); // a file where a folder was, or back
    else if (folder) // a folder gone: each of its files is missing
        ProveFolder(root, copy, entries, once, stop, proof);
    else
        ProveFile(path, std::wstring(), expected, once, stop, proof);
    if (proof.error != ERROR_SUCCESS)
        return proof;
    proof.state = proof.findings.empty() ? ProofState::Good : ProofState::Damaged;
    return proof;
}
