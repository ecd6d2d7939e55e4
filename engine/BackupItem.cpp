#include "engine/BackupItem.h"

#include "engine/FileCopy.h"
#include "engine/FolderCopy.h"
#include "engine/FolderTree.h"

const wchar_t* const kFailedMark = L"(失敗)";

namespace {

const wchar_t* const kFolderName = L"(フォルダ)";

bool FolderIsThere(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Makes the destination folder; true when it is there afterwards.
bool MakeDestination(const std::wstring& destination) {
    CreateFolderTree(destination);
    return FolderIsThere(destination);
}

// The working texts of one item and what became of it.
struct ItemBackup {
    std::wstring path;
    std::wstring backupRoot;
    std::wstring destination; // the time-stamped folder, then the folder item's copy
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
    const std::wstring target = SystemPath(item.destination + L"\\" + item.row.name);
    ShowBackingUp(host, item.path);
    item.succeeded = CopyFileIntoBackup(SystemPath(item.path), target, SystemPath(item.backupRoot));
}

void BackUpFolder(CBackupHost& host, ItemBackup& item) {
    const std::wstring name = FolderItemName(item.path);
    item.row.name = kFolderName;
    item.row.source = item.path;
    if (!name.empty())
        item.destination += L"\\" + name;
    item.row.destination = item.destination;
    if (name.empty() || !MakeDestination(item.destination))
        return;
    // Entries are joined to it with one separator of their own; a drive root keeps its
    // separator until here, so it never names the drive's current folder instead.
    const std::wstring source = WithoutTrailingSeparators(SystemPath(item.path));
    const std::wstring destination = SystemPath(item.destination);
    CFolderCopy copy(host, SystemPath(item.backupRoot), destination);
    item.succeeded = copy.Run(WithoutTrailingSeparators(item.path), source, destination);
}

void BackUp(CBackupHost& host, ItemBackup& item) {
    const DWORD attributes = GetFileAttributesW(SystemPath(item.path).c_str());
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

void ShowBackingUp(CBackupHost& host, const std::wstring& path) {
    host.RepaintView();
    host.SetStatusText(path + L"をバックアップ中です...");
}

bool BackupItemBelow(CBackupHost& host, LPCWSTR path, SYSTEMTIME time, const std::wstring& programFolder) {
    if (path == nullptr || path[0] == L'\0')
        return true; // an empty pair of quotes names nothing
    ItemBackup item;
    item.path = path;
    item.row.date = FormatDateText(time);
    item.row.time = FormatTimeText(time);
    item.backupRoot = programFolder + L"\\backups";
    item.destination = item.backupRoot + FormatTimeStampText(time);
    if (!programFolder.empty())
        BackUp(host, item);
    else
        DescribeAsFile(item);

    if (!item.succeeded)
        item.row.destination = kFailedMark + item.row.destination;
    host.AppendRow(item.row);
    host.SetStatusText(item.succeeded ? std::wstring(L"ready") : item.path + L"のバックアップに失敗しました");
    return item.succeeded;
}

int BackupItem(CBackupHost& host, LPCWSTR path, SYSTEMTIME time) {
    BackupItemBelow(host, path, time, GetModuleFolder());
    return 0;
}

bool CopyFolder(CBackupHost& host, const std::wstring& source, const std::wstring& destination) {
    CFolderCopy copy(host, SystemPath(GetModuleFolder() + L"\\backups"), SystemPath(destination));
    return copy.Run(WithoutTrailingSeparators(source), WithoutTrailingSeparators(SystemPath(source)),
                    SystemPath(destination));
}
