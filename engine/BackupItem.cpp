#include "engine/BackupItem.h"

#include <vector>

#include "engine/FileCopy.h"
#include "engine/FolderCopy.h"
#include "engine/FolderTree.h"

const char* const kFailedMark = "(失敗)";

namespace {

const char* const kFolderName = "(フォルダ)";

bool FolderIsThere(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Makes the destination folder; true when it is there afterwards.
bool MakeDestination(const std::string& destination) {
    if (IsTooLongForPlatform(destination))
        return false;
    CreateFolderTree(destination);
    return FolderIsThere(destination);
}

// The working texts of one item and what became of it.
struct ItemBackup {
    std::string path;
    std::string backupRoot;
    std::string destination; // the time-stamped folder, then the folder item's copy
    BackupRow row;
    bool succeeded = false;
};

// A row described as for a file: name = last component, source = the rest.
void DescribeAsFile(ItemBackup& item) {
    item.row.name = LastComponent(item.path);
    item.row.source = WithoutLastComponent(item.path);
    item.row.destination = item.destination;
}

void BackUpFile(CBackupHost& host, ItemBackup& item) {
    DescribeAsFile(item);
    if (!MakeDestination(item.destination))
        return;
    const std::string target = item.destination + "\\" + item.row.name.str();
    ShowBackingUp(host, CString(item.path));
    item.succeeded = CopyFileIntoBackup(item.path, target, item.backupRoot);
}

void BackUpFolder(CBackupHost& host, ItemBackup& item) {
    const std::string name = FolderItemName(item.path);
    item.row.name = kFolderName;
    item.row.source = item.path;
    if (!name.empty())
        item.destination += "\\" + name;
    item.row.destination = item.destination;
    if (name.empty() || !MakeDestination(item.destination))
        return;
    // Entries are joined to it with one separator of their own.
    const std::string source = WithoutTrailingSeparators(item.path);
    CFolderCopy copy(host, item.backupRoot, item.destination);
    item.succeeded = copy.Run(source, item.destination);
}

void BackUp(CBackupHost& host, ItemBackup& item) {
    if (IsTooLongForPlatform(item.path)) {
        DescribeAsFile(item);
        return;
    }
    const DWORD attributes = GetFileAttributesA(item.path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DescribeAsFile(item); // unreadable is not a folder: nothing is made for it
        return;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        BackUpFolder(host, item);
    else
        BackUpFile(host, item);
}

} // namespace

void ShowBackingUp(CBackupHost& host, CString path) {
    host.RepaintView();
    CString text;
    text.Format("%sをバックアップ中です...", path.GetString());
    host.SetStatusText(text);
}

bool BackupItemBelow(CBackupHost& host, LPCSTR path, SYSTEMTIME time, const std::string& programFolder) {
    if (path == nullptr || path[0] == '\0')
        return true; // an empty pair of quotes names nothing
    ItemBackup item;
    item.path = path;
    item.row.date = FormatDateText(time);
    item.row.time = FormatTimeText(time);
    item.backupRoot = programFolder + "\\backups";
    item.destination = item.backupRoot + FormatTimeStampText(time).str();
    if (!programFolder.empty())
        BackUp(host, item);
    else
        DescribeAsFile(item);

    if (!item.succeeded)
        item.row.destination = CString(kFailedMark) + item.row.destination;
    host.AppendRow(item.row);
    CString status("ready");
    if (!item.succeeded)
        status.Format("%sのバックアップに失敗しました", path);
    host.SetStatusText(status);
    return item.succeeded;
}

int BackupItem(CBackupHost& host, LPCSTR path, SYSTEMTIME time) {
    char programFolder[MAX_PATH];
    GetModuleFolder(programFolder);
    BackupItemBelow(host, path, time, programFolder);
    return 0;
}

bool CopyFolder(CBackupHost& host, CString source, CString destination) {
    char programFolder[MAX_PATH];
    GetModuleFolder(programFolder);
    CFolderCopy copy(host, std::string(programFolder) + "\\backups", destination.str());
    return copy.Run(source.str(), destination.str());
}
