// One copy of a folder's content tree into the backup, depth first, remembering whether
// anything in it failed. Guards the walk: the backup root and the copy's own destination are
// never entered (a folder that holds the program would otherwise copy its copies), nor is a
// folder that is already on the way down (a link to an ancestor would never end).
#pragma once

#include <string>
#include <vector>

#include "engine/BackupItem.h"
#include "engine/FileCopy.h"

class CFolderCopy {
public:
    CFolderCopy(CBackupHost& host, std::string backupRoot, const std::string& destinationTop);
    CFolderCopy(const CFolderCopy&) = delete;
    CFolderCopy& operator=(const CFolderCopy&) = delete;

    // Copies source's content into destination (which exists). True when nothing failed.
    bool Run(const std::string& source, const std::string& destination);

private:
    // CopyContent with the folder (identity, when it could be read) on the way down meanwhile.
    void CopyContentAsAncestor(const std::string& source, const std::string& destination,
                               const FileIdentity* identity);
    void CopyContent(const std::string& source, const std::string& destination);
    void CopySubFolder(const std::string& source, const std::string& destination);
    void CopyOneFile(const std::string& source, const std::string& destination);
    // True when the folder with this identity must not be entered.
    bool IsGuarded(const FileIdentity& identity) const;

    CBackupHost& m_host;
    const std::string m_backupRoot;
    std::vector<FileIdentity> m_guarded; // the backup root and the destination, when they can be read
    std::vector<FileIdentity> m_ancestors;
    bool m_failed = false;
};
