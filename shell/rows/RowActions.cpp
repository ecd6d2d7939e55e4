#include "shell/rows/RowActions.h"

#include "engine/base/FolderTree.h"
#include "engine/copy/Restore.h"
#include "engine/journal/CopyWay.h"
#include "engine/journal/Journal.h"
#include "engine/proof/CheckLedger.h"
#include "framework/FileHandle.h"
#include "framework/Language.h"
#include "res/resource.h"
#include "shell/words/ProofWording.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <cwchar>
#include <memory>
#include <vector>

bool PathExists(const std::wstring& path) {
    return GetFileAttributesW(SystemPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

// COM for the shell's call on this thread, for as long as the object lives.
class CScopedCom {
public:
    CScopedCom() : m_initialized(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~CScopedCom() {
        if (m_initialized)
            CoUninitialize();
    }
    CScopedCom(const CScopedCom&) = delete;
    CScopedCom& operator=(const CScopedCom&) = delete;

private:
    const bool m_initialized;
};

struct ItemListFree {
    void operator()(ITEMIDLIST* list) const { ILFree(list); }
};
using CItemList = std::unique_ptr<ITEMIDLIST, ItemListFree>;

// Closes the clipboard this thread opened.
class CClipboardOpen {
public:
    explicit CClipboardOpen(HWND owner) : m_open(OpenClipboard(owner) != FALSE) {}
    ~CClipboardOpen() {
        if (m_open)
            CloseClipboard();
    }
    CClipboardOpen(const CClipboardOpen&) = delete;
    CClipboardOpen& operator=(const CClipboardOpen&) = delete;
    bool IsOpen() const { return m_open; }

private:
    const bool m_open;
};

// Copies source's bytes into target piece by piece, so a non-zero *cancel stops it within one piece
// (the platform's own copy may not look at it until the end of a large file).
DWORD CopyBytes(HANDLE source, HANDLE target, const BOOL* cancel) {
    std::vector<char> buffer(1 << 20);
    for (;;) {
        if (cancel != nullptr && *cancel)
            return ERROR_REQUEST_ABORTED;
        DWORD read = 0, written = 0;
        if (!::ReadFile(source, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr))
            return ::GetLastError();
        if (read == 0)
            return ERROR_SUCCESS;
        if (!::WriteFile(target, buffer.data(), read, &written, nullptr))
            return ::GetLastError();
        if (written != read)
            return ERROR_DISK_FULL;
    }
}

// Copies source to the new file target, read-only: its last-write time kept, as a copy's is.
DWORD CopyReadOnly(const std::wstring& source, const std::wstring& target, const BOOL* cancel) {
    CFileHandle from(::CreateFileW(SystemPath(source).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!from.IsOpen())
        return ::GetLastError();
    DWORD error = ERROR_SUCCESS;
    {
        CFileHandle to(::CreateFileW(SystemPath(target).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!to.IsOpen())
            return ::GetLastError();
        error = CopyBytes(from.get(), to.get(), cancel);
        FILETIME written;
        if (error == ERROR_SUCCESS && ::GetFileTime(from.get(), nullptr, nullptr, &written))
            ::SetFileTime(to.get(), nullptr, nullptr, &written);
    }
    if (error == ERROR_SUCCESS && !::SetFileAttributesW(SystemPath(target).c_str(), FILE_ATTRIBUTE_READONLY))
        error = ::GetLastError();
    return error;
}

std::wstring ItemName(const BackupRow& row) {
    return LastComponent(WithoutTrailingSeparators(row.originalPath));
}

} // namespace

std::wstring NearestExistingPart(const std::wstring& path, const std::wstring& limit) {
    std::wstring part = WithoutTrailingSeparators(path);
    for (;;) {
        if (!limit.empty() && !IsStrictlyBelow(part, limit))
            return std::wstring();
        const size_t separator = part.rfind(L'\\');
        // A part with no folder above it ("C:", "\\server") is a root: nothing to select it in.
        if (separator == std::wstring::npos || separator < 2)
            return std::wstring();
        if (PathExists(part))
            return part;
        part.resize(separator);
    }
}

std::wstring FolderToShow(const std::wstring& item) {
    std::wstring folder = WithoutLastComponent(item);
    if (!folder.empty() && folder.back() == L':')
        folder += L'\\';
    return folder;
}

std::wstring BackupPathsText(const std::vector<BackupRow>& rows) {
    std::wstring text;
    for (const BackupRow& row : rows) {
        if (!text.empty())
            text += L"\r\n";
        text += row.backupPath;
    }
    return text;
}

bool PutTextOnClipboard(HWND owner, const std::wstring& text) {
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (memory == nullptr)
        return false;
    if (void* locked = GlobalLock(memory)) {
        std::memcpy(locked, text.c_str(), bytes);
        GlobalUnlock(memory);
    }
    CClipboardOpen clipboard(owner);
    // Once the clipboard takes the memory it is the clipboard's; until then it is ours to free.
    if (!clipboard.IsOpen() || !EmptyClipboard() || SetClipboardData(CF_UNICODETEXT, memory) == nullptr) {
        GlobalFree(memory);
        return false;
    }
    return true;
}

std::wstring RestoreQuestion(const std::vector<BackupRow>& rows,
                             const std::function<std::wstring(const BackupRow&)>& momentOf) {
    const std::wstring safetyNote = LoadResourceText(IDS_RESTORE_SAFETY);
    if (rows.size() == 1) {
        const BackupRow& row = rows.front();
        return FormatResourceText(IDS_RESTORE_ONE,
                                  {ItemName(row), momentOf(row), row.originalPath, safetyNote});
    }
    const size_t kListedAtMost = 10;
    std::wstring listed;
    for (size_t i = 0; i < rows.size() && i < kListedAtMost; ++i)
        listed += FormatResourceText(IDS_RESTORE_LINE, {momentOf(rows[i]), rows[i].originalPath}) + L"\n";
    if (rows.size() > kListedAtMost)
        listed +=
            FormatResourceText(IDS_RESTORE_MORE, {std::to_wstring(rows.size() - kListedAtMost)}) + L"\n";
    return FormatResourceText(IDS_RESTORE_MANY, {std::to_wstring(rows.size()), listed, safetyNote});
}

std::wstring DamagedRestoreWarning(const std::vector<BackupRow>& rows, const std::wstring& backupRoot,
                                   const std::wstring& mirrorRoot,
                                   const std::function<std::wstring(const BackupRow&)>& momentOf) {
    CCheckLedger ledger;
    if (ledger.Load(backupRoot) != ERROR_SUCCESS || ledger.Count() == 0)
        return std::wstring();
    const size_t kNamedAtMost = 10;
    std::wstring found;
    for (const BackupRow& row : rows) {
        const std::wstring copy = PlainPath(row.backupPath),
                           mirror = mirrorRoot.empty() ? mirrorRoot : PlainPath(mirrorRoot);
        const bool onMirror = !mirror.empty() && IsStrictlyBelow(copy, mirror);
        const std::wstring root = onMirror ? mirror : PlainPath(backupRoot);
        CheckMark mark;
        if (row.damaged || !IsStrictlyBelow(copy, root) || !ledger.Find(copy.substr(root.size() + 1), &mark))
            continue;
        const ProofPlace place = onMirror ? ProofPlace::Mirror : ProofPlace::Here;
        if (mark.state[static_cast<int>(place)] != ProofState::Damaged)
            continue;
        const std::wstring name = ItemName(row).empty() ? LastComponent(copy) : ItemName(row);
        found +=
            FormatResourceText(IDS_DAMAGED_RESTORE_ITEM,
                               {name, momentOf(row),
                                DamagedNamesLines(ledger.DamagedFiles(copy.substr(root.size() + 1), place),
                                                  name, kNamedAtMost)}) +
            L"\n";
    }
    return found.empty() ? found : FormatResourceText(IDS_DAMAGED_RESTORE, {found});
}

void ShowItemsInShell(const std::wstring& folder, const std::vector<std::wstring>& items) {
    CScopedCom com;
    CItemList folderList(ILCreateFromPathW(folder.c_str()));
    std::vector<CItemList> itemLists;
    std::vector<LPCITEMIDLIST> children;
    for (const std::wstring& item : items) {
        CItemList list(ILCreateFromPathW(item.c_str()));
        if (!list)
            continue;
        children.push_back(ILFindLastID(list.get())); // the item's id relative to its folder
        itemLists.push_back(std::move(list));
    }
    if (folderList && !children.empty() &&
        SUCCEEDED(SHOpenFolderAndSelectItems(folderList.get(), static_cast<UINT>(children.size()),
                                             children.data(), 0)))
        return;
    OpenFolderInShell(folder);
}

bool IsStrictlyBelow(const std::wstring& path, const std::wstring& folder) {
    return path.size() > folder.size() + 1 && path[folder.size()] == L'\\' &&
           CompareStringOrdinal(path.c_str(), static_cast<int>(folder.size()), folder.c_str(),
                                static_cast<int>(folder.size()), TRUE) == CSTR_EQUAL;
}

DWORD MakeLookingCopy(const std::wstring& backupPath, const std::wstring& root, std::wstring* copy,
                      BOOL* cancel) {
    const std::wstring plain = PlainPath(backupPath);
    if (!IsStrictlyBelow(plain, root))
        return ERROR_ACCESS_DENIED; // nothing outside the backups is ever opened from here
    if (CopyWayHasLink(root, plain.substr(root.size() + 1)))
        return kLinkOnTheWay;
    return MakeReadOnlyTemporaryCopy(backupPath, copy, cancel);
}

DWORD MakeReadOnlyTemporaryCopy(const std::wstring& file, std::wstring* copy, BOOL* cancel) {
    wchar_t temporary[MAX_PATH + 1] = L"";
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, temporary);
    if (length == 0 || length > MAX_PATH)
        return ERROR_PATH_NOT_FOUND;
    const std::wstring base = WithoutTrailingSeparators(temporary) + L"\\Tallowbox";
    DWORD error = MakeFolderTree(base);
    if (error != ERROR_SUCCESS)
        return error;
    // A folder of its own for each look, so the copy keeps the file's own name.
    for (unsigned attempt = 0; attempt < 1000; ++attempt) {
        wchar_t name[64];
        std::swprintf(name, 64, L"%lu-%llx-%u", ::GetCurrentProcessId(),
                      static_cast<unsigned long long>(::GetTickCount64()), attempt);
        const std::wstring folder = base + L"\\" + name;
        if (!::CreateDirectoryW(SystemPath(folder).c_str(), nullptr)) {
            if ((error = ::GetLastError()) == ERROR_ALREADY_EXISTS)
                continue;
            return error;
        }
        *copy = folder + L"\\" + LastComponent(file);
        error = CopyReadOnly(file, *copy, cancel);
        if (error != ERROR_SUCCESS) {
            ::DeleteFileW(SystemPath(*copy).c_str()); // never a part of the file left to open
            ::RemoveDirectoryW(SystemPath(folder).c_str());
        }
        return error;
    }
    return ERROR_ALREADY_EXISTS;
}

std::wstring VersionCopyPath(const BackupRow& row, const std::wstring& root) {
    if (row.damaged || row.kind != RowKind::Backup || row.backupPath.empty())
        return std::wstring();
    const std::wstring copy = PlainPath(row.backupPath), folder = PlainPath(root);
    // The journal's reader checked the path already; what is read here is checked the same way,
    // and never through a link planted on its way.
    if (!IsStrictlyBelow(copy, folder))
        return std::wstring();
    const std::wstring relative = copy.substr(folder.size() + 1);
    return IsSafeCopyPath(relative) && !CopyWayHasLink(folder, relative) ? copy : std::wstring();
}

void OpenWithUsualProgram(const std::wstring& file) {
    CScopedCom com; // the shell's call may need COM on the calling thread
    ::ShellExecuteW(nullptr, L"open", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

bool PickFolder(HWND owner, std::wstring* folder) {
    return PickFolder(owner, folder, IDS_PICK_RESTORE_FOLDER);
}

bool PickFolder(HWND owner, std::wstring* folder, UINT titleId) {
    CScopedCom com;
    IFileOpenDialog* dialog = nullptr;
    if (FAILED(
            ::CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog))))
        return false;
    std::unique_ptr<IFileOpenDialog, void (*)(IFileOpenDialog*)> owned(
        dialog, [](IFileOpenDialog* d) { d->Release(); });
    DWORD options = 0;
    dialog->GetOptions(&options);
    dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
    dialog->SetTitle(LoadResourceText(titleId).c_str());
    IShellItem* item = nullptr;
    if (FAILED(dialog->Show(owner)) || FAILED(dialog->GetResult(&item)))
        return false;
    wchar_t* path = nullptr;
    const bool got = SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &path)) && path != nullptr;
    if (got) {
        *folder = path;
        ::CoTaskMemFree(path);
    }
    item->Release();
    return got;
}

void OpenFolderInShell(const std::wstring& folder) {
    // The shell opens folders by their plain names; one too long for that is given by its short
    // name when the volume keeps short names.
    std::wstring shown = folder;
    if (shown.size() >= MAX_PATH) {
        const std::wstring longForm = SystemPath(folder);
        std::vector<wchar_t> shortForm(longForm.size() + 1);
        const DWORD length =
            ::GetShortPathNameW(longForm.c_str(), shortForm.data(), static_cast<DWORD>(shortForm.size()));
        if (length > 4 && length < shortForm.size() && length - 4 < shown.size())
            shown.assign(shortForm.data() + 4, length - 4); // without the long-path prefix
    }
    ::ShellExecuteW(nullptr, L"open", shown.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
