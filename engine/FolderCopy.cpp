#include "engine/FolderCopy.h"

#include <algorithm>

#include "framework/FileFind.h"

CFolderCopy::CFolderCopy(CBackupHost& host, std::string backupRoot, const std::string& destinationTop)
    : m_host(host), m_backupRoot(std::move(backupRoot)) {
    FileIdentity identity;
    if (ReadFileIdentity(m_backupRoot, &identity))
        m_guarded.push_back(identity);
    if (ReadFileIdentity(destinationTop, &identity))
        m_guarded.push_back(identity);
}

namespace {

// A drive root without its separator ("C:", or "" for the current drive's) names the drive's
// current folder when opened; the root itself needs the separator back.
std::string FolderPathForOpening(const std::string& folder) {
    if (folder.empty() || (folder.size() == 2 && folder[1] == ':'))
        return folder + "\\";
    return folder;
}

} // namespace

bool CFolderCopy::Run(const std::string& source, const std::string& destination) {
    FileIdentity identity;
    const bool known = ReadFileIdentity(FolderPathForOpening(source), &identity);
    // The backup root itself, or a folder onto its own copy: nothing of it can be copied, and
    // an empty copy must not pass for a backup.
    if (known && IsGuarded(identity))
        return false;
    CopyContentAsAncestor(source, destination, known ? &identity : nullptr);
    return !m_failed;
}

bool CFolderCopy::IsGuarded(const FileIdentity& identity) const {
    return std::find(m_guarded.begin(), m_guarded.end(), identity) != m_guarded.end() ||
           std::find(m_ancestors.begin(), m_ancestors.end(), identity) != m_ancestors.end();
}

void CFolderCopy::CopyContent(const std::string& source, const std::string& destination) {
    CFileFind finder;
    if (!finder.FindFile((source + "\\*.*").c_str())) {
        // An empty drive root lists nothing at all, not even "." and "..".
        if (GetLastError() != ERROR_FILE_NOT_FOUND)
            m_failed = true;
        return;
    }
    bool more = true;
    while (more) {
        more = finder.FindNextFile() != FALSE; // FALSE still loaded the last entry
        if (finder.IsDots())
            continue;
        const std::string name = finder.GetFileName().str();
        const std::string entrySource = source + "\\" + name;
        const std::string entryDestination = destination + "\\" + name;
        if (finder.IsDirectory())
            CopySubFolder(entrySource, entryDestination);
        else
            CopyOneFile(entrySource, entryDestination);
    }
    if (finder.FailedWithError())
        m_failed = true;
}

void CFolderCopy::CopySubFolder(const std::string& source, const std::string& destination) {
    if (IsTooLongForPlatform(source) || IsTooLongForPlatform(destination)) {
        m_failed = true;
        return;
    }
    FileIdentity identity;
    const bool known = ReadFileIdentity(source, &identity);
    if (known && IsGuarded(identity))
        return;
    // Made before its content is looked at, so an empty sub-folder is recreated too. It may
    // be there already from an earlier copy in the same minute; a file in its place is not.
    if (!CreateDirectoryA(destination.c_str(), nullptr)) {
        const DWORD attributes = GetFileAttributesA(destination.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            m_failed = true;
            return;
        }
    }
    CopyContentAsAncestor(source, destination, known ? &identity : nullptr);
}

void CFolderCopy::CopyContentAsAncestor(const std::string& source, const std::string& destination,
                                        const FileIdentity* identity) {
    if (identity)
        m_ancestors.push_back(*identity);
    CopyContent(source, destination);
    if (identity)
        m_ancestors.pop_back();
}

void CFolderCopy::CopyOneFile(const std::string& source, const std::string& destination) {
    if (IsTooLongForPlatform(source) || IsTooLongForPlatform(destination)) {
        m_failed = true;
        return;
    }
    ShowBackingUp(m_host, CString(source));
    if (!CopyFileIntoBackup(source, destination, m_backupRoot))
        m_failed = true;
}
