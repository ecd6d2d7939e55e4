#include "engine/watch/WatchList.h"

#include <set>

#include "engine/base/BackupPaths.h"
#include "engine/base/FolderTree.h"
#include "engine/copy/FileCopy.h"
#include "engine/journal/Journal.h"
#include "framework/FileHandle.h"

const wchar_t* const kWatchListName = L"Tallowbox-watch.tsv";

namespace {

const char* const kHeader = "#Tallowbox-watch 1";
// A list of watches is a few kilobytes; anything larger is not one and is not read at all.
const ULONGLONG kMaxListBytes = 4 * 1024 * 1024;
// The longest path the platform takes, in UTF-16 units.
const size_t kMaxPathLength = 32767;

bool IsDriveLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// "C:", "C:\", "\\server\share", "\\server\share\": a whole drive or share.
bool IsRootPath(const std::wstring& path) {
    if (path.size() >= 2 && path.size() <= 3 && IsDriveLetter(path[0]) && path[1] == L':')
        return path.size() == 2 || path[2] == L'\\' || path[2] == L'/';
    if (path.size() < 3 || path[0] != L'\\' || path[1] != L'\\' || path[2] == L'\\')
        return false;
    const size_t server = path.find(L'\\', 2);
    if (server == std::wstring::npos || server + 1 >= path.size())
        return false;
    const size_t share = path.find(L'\\', server + 1);
    return share == std::wstring::npos || share + 1 == path.size();
}

bool HasControlCharacter(const std::wstring& path) {
    for (wchar_t c : path)
        if (c < 0x20 || c == 0x7F)
            return true;
    return false;
}

// The full long form, upper-cased, of a path that may not exist: the part that exists is given
// its long names (an 8.3 alias names the same folder), the rest is kept as written.
std::wstring ComparableForm(const std::wstring& path) {
    std::wstring head = WithoutTrailingSeparators(SystemPath(path));
    std::wstring tail;
    while (!head.empty()) {
        const DWORD needed = GetLongPathNameW(head.c_str(), nullptr, 0);
        if (needed != 0) {
            std::wstring longForm(needed, L'\0');
            const DWORD length = GetLongPathNameW(head.c_str(), &longForm[0], needed);
            if (length != 0 && length < needed) {
                longForm.resize(length);
                return UpperCase(WithoutTrailingSeparators(longForm) + tail);
            }
        }
        const size_t separator = head.rfind(L'\\');
        if (separator == std::wstring::npos || separator < 4)
            break;
        tail = head.substr(separator) + tail;
        head.erase(separator);
    }
    return UpperCase(WithoutTrailingSeparators(SystemPath(path)));
}

bool IsBelowFolder(const std::wstring& path, const std::wstring& folder) {
    return path.size() > folder.size() + 1 && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == L'\\';
}

// True when folder, or one of the folders above it, is the object identity names: the same
// folder reached by another name (a link, a substituted drive).
bool IsAtOrBelowObject(std::wstring folder, const FileIdentity& identity) {
    for (;;) {
        FileIdentity found;
        if (ReadFileIdentity(folder, &found) && found == identity)
            return true;
        const size_t separator = folder.rfind(L'\\');
        if (separator == std::wstring::npos || separator < 7)
            return false; // "\\?\C:" is as high as it goes
        folder.erase(separator);
    }
}

// The backups folder's relation to the item by identity, for names that compare unequal but
// name the same object. None when they are unrelated or either cannot be opened.
WatchRefusal RefusalByIdentity(const std::wstring& item, const std::wstring& backupRoot) {
    FileIdentity itemIdentity, rootIdentity;
    if (!ReadFileIdentity(item, &itemIdentity) || !ReadFileIdentity(backupRoot, &rootIdentity))
        return WatchRefusal::None;
    if (itemIdentity == rootIdentity)
        return WatchRefusal::BackupsFolder;
    if (IsAtOrBelowObject(WithoutLastComponent(item), rootIdentity))
        return WatchRefusal::InsideBackups;
    if (IsAtOrBelowObject(WithoutLastComponent(backupRoot), itemIdentity))
        return WatchRefusal::ContainsBackups;
    return WatchRefusal::None;
}

std::string Utf8(const std::wstring& text) {
    if (text.empty())
        return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string narrow(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &narrow[0], size, nullptr,
                        nullptr);
    return narrow;
}

// Reads the list line by line as its bytes arrive, so no line and no file needs more than its own
// allocation.
class CWatchListParser {
public:
    explicit CWatchListParser(const std::wstring& backupRoot) : m_backupRoot(backupRoot) {}

    void Feed(const char* bytes, size_t count) {
        for (size_t at = 0; at < count; ++at) {
            if (bytes[at] != '\n') {
                if (m_line.size() <= kMaxPathLength * 3) // longer is unreadable anyway: not kept
                    m_line += bytes[at];
                continue;
            }
            TakeLine();
        }
    }
    WatchListContent Finish() {
        if (!m_line.empty())
            TakeLine();
        return std::move(m_content);
    }

private:
    void TakeLine() {
        if (!m_line.empty() && m_line.back() == '\r')
            m_line.pop_back();
        if (m_lineNumber++ == 0 && m_line.compare(0, 3, "\xEF\xBB\xBF") == 0)
            m_line.erase(0, 3);
        if (m_lineNumber == 1)
            m_versionKnown = m_line == kHeader;
        else if (!m_line.empty() && !(m_versionKnown && TakePath()))
            ++m_content.skippedLines;
        m_line.clear();
    }
    // False when the line is not a path that may be watched.
    bool TakePath() {
        if (m_line.size() > kMaxPathLength * 3 || m_content.paths.size() >= kMaxWatches)
            return false;
        std::wstring path(m_line.size(), L'\0');
        const int length =
            MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, m_line.data(), static_cast<int>(m_line.size()),
                                &path[0], static_cast<int>(path.size()));
        if (length <= 0)
            return false;
        path.resize(static_cast<size_t>(length));
        const WatchRefusal refusal = CheckWatchable(path, m_backupRoot);
        if (refusal != WatchRefusal::None && refusal != WatchRefusal::Missing)
            return false;
        if (!m_taken.insert(UpperCase(path)).second)
            return false; // the same item again
        m_content.paths.push_back(path);
        return true;
    }

    const std::wstring& m_backupRoot;
    WatchListContent m_content;
    std::set<std::wstring> m_taken; // the paths kept, upper-cased
    std::string m_line;
    unsigned m_lineNumber = 0;
    bool m_versionKnown = false;
};

} // namespace

WatchRefusal CheckWatchable(const std::wstring& path, const std::wstring& backupRoot) {
    if (IsRootPath(path))
        return WatchRefusal::DriveRoot;
    const std::wstring item = WithoutTrailingSeparators(path);
    // A full path also names no device in any component ("C:\x\CON" opens the console).
    if (item.size() > kMaxPathLength || !IsFullOriginalPath(item) || HasControlCharacter(item))
        return WatchRefusal::NotFullPath;
    const std::wstring itemForm = ComparableForm(item), rootForm = ComparableForm(backupRoot);
    if (itemForm == rootForm)
        return WatchRefusal::BackupsFolder;
    if (IsBelowFolder(itemForm, rootForm))
        return WatchRefusal::InsideBackups;
    if (IsBelowFolder(rootForm, itemForm))
        return WatchRefusal::ContainsBackups;
    const WatchRefusal byIdentity = RefusalByIdentity(SystemPath(item), SystemPath(backupRoot));
    if (byIdentity != WatchRefusal::None)
        return byIdentity;
    if (GetFileAttributesW(SystemPath(item).c_str()) == INVALID_FILE_ATTRIBUTES)
        return WatchRefusal::Missing;
    return WatchRefusal::None;
}

WatchListContent ParseWatchList(const std::string& bytes, const std::wstring& backupRoot) {
    CWatchListParser parser(backupRoot);
    parser.Feed(bytes.data(), bytes.size());
    return parser.Finish();
}

WatchListContent ReadWatchList(const std::wstring& backupRoot) {
    CFileHandle file(CreateFileW(SystemPath(backupRoot + L"\\" + kWatchListName).c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen())
        return WatchListContent();
    LARGE_INTEGER size;
    if (GetFileSizeEx(file.get(), &size) && static_cast<ULONGLONG>(size.QuadPart) > kMaxListBytes) {
        WatchListContent tooLarge;
        tooLarge.tooLarge = true;
        return tooLarge;
    }
    CWatchListParser parser(backupRoot);
    char chunk[16384];
    DWORD read = 0;
    ULONGLONG total = 0;
    // The size is checked again as it is read: a file still growing cannot slip past.
    while (total <= kMaxListBytes && ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr) && read > 0) {
        parser.Feed(chunk, read);
        total += read;
    }
    return parser.Finish();
}

namespace {

// Puts the written list in place. Another program reading the list at that moment may hold it for
// a few milliseconds, longer on a busy machine: the replace is tried again, waiting a little longer
// each time (under two seconds in all), before it counts as failed.
DWORD ReplaceListFile(const std::wstring& temporary, const std::wstring& list) {
    for (DWORD attempt = 0;; ++attempt) {
        if (MoveFileExW(temporary.c_str(), list.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return ERROR_SUCCESS;
        const DWORD error = GetLastError();
        if (attempt == 19 || (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED))
            return error;
        Sleep(attempt < 4 ? 20 : 100);
    }
}

} // namespace

DWORD WriteWatchList(const std::wstring& backupRoot, const std::vector<std::wstring>& paths) {
    DWORD error = MakeFolderTree(backupRoot);
    if (error != ERROR_SUCCESS)
        return error;
    std::string text = std::string(kHeader) + "\n";
    for (const std::wstring& path : paths)
        text += Utf8(path) + "\n";
    const std::wstring folder = SystemPath(backupRoot);
    const std::wstring temporary = folder + L"\\" + TemporaryName();
    {
        CFileHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.IsOpen())
            return GetLastError();
        DWORD written = 0;
        if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
            written != text.size() || !FlushFileBuffers(file.get()))
            error = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_WRITE_FAULT;
    }
    if (error == ERROR_SUCCESS)
        error = ReplaceListFile(temporary, folder + L"\\" + kWatchListName);
    if (error != ERROR_SUCCESS)
        DeleteFileW(temporary.c_str());
    return error;
}

std::wstring ComparablePathForm(const std::wstring& path) {
    return ComparableForm(path);
}

bool IsDriveOrShareRoot(const std::wstring& path) {
    return IsRootPath(path);
}

bool IsPathBelowFolder(const std::wstring& path, const std::wstring& folder) {
    return IsBelowFolder(path, folder);
}
