#include "EngineTestSupport.h"

#include <algorithm>

#include "common/TempFolder.h"

const char* const kHyou = "\x95\x5c";
const char* const kHalfA = "\xb1";
const char* const kHiraA = "\x82\xa0";

SYSTEMTIME At(int year, int month, int day, int hour, int minute) {
    SYSTEMTIME time{};
    time.wYear = static_cast<WORD>(year);
    time.wMonth = static_cast<WORD>(month);
    time.wDay = static_cast<WORD>(day);
    time.wHour = static_cast<WORD>(hour);
    time.wMinute = static_cast<WORD>(minute);
    time.wSecond = 42; // never part of any text
    time.wMilliseconds = 999;
    time.wDayOfWeek = 3;
    return time;
}

std::wstring W(const std::string& text) {
    return FromAnsiText(text);
}
std::string N(const std::wstring& text) {
    return ToAnsiText(text);
}

void RecordingHost::SetStatus(const StatusReport& report) {
    const std::wstring text = StatusText(report);
    reports.push_back(report);
    wideStatus.push_back(text);
    statusTexts.push_back(N(text));
    events.push_back("status " + N(text));
}

void RecordingHost::ShowCopying(StatusCode activity, const std::wstring& path) {
    const std::wstring text = ActivityText(activity, path);
    std::lock_guard<std::mutex> lock(m_mutex);
    ++progressTexts;
    events.push_back("status " + N(text));
}

void RecordingHost::CountCopied(ULONGLONG bytes) {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++filesCounted;
    bytesCounted += bytes;
}

void RecordingHost::AppendRow(const BackupRow& row) {
    const RowTexts texts = RowTextsOf(row);
    wideRows.push_back(row);
    wideTexts.push_back(texts);
    rows.push_back({N(texts.date), N(texts.time), N(texts.name), N(texts.source), N(texts.destination)});
    events.push_back("row");
}

namespace {

void ReadTreeInto(const std::string& folder, const std::string& relative,
                  std::map<std::string, TreeEntry>* tree) {
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        const std::string path = folder + "\\" + name;
        const std::string key = relative.empty() ? name : relative + "\\" + name;
        TreeEntry entry;
        entry.attributes = found.dwFileAttributes;
        entry.folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.written = (static_cast<ULONGLONG>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                        found.ftLastWriteTime.dwLowDateTime;
        if (!entry.folder)
            ReadFileText(path, &entry.content);
        (*tree)[key] = entry;
        if (entry.folder && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            ReadTreeInto(path, key, tree);
    } while (FindNextFileA(find, &found));
    FindClose(find);
}

std::string UnixName(const std::string& windowsPath) {
    typedef char*(CDECL * UnixFileName)(LPCWSTR);
    // Through void*: a FARPROC cast straight to another function type draws -Wcast-function-type.
    const FARPROC exported = GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name");
    const auto unixFileName = reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(exported));
    if (!unixFileName)
        return std::string();
    wchar_t wide[MAX_PATH * 2];
    if (!MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide, MAX_PATH * 2))
        return std::string();
    char* name = unixFileName(wide);
    if (!name)
        return std::string();
    std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

bool RunUnixTool(const char* windowsProgram, const std::string& commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::string line = commandLine;
    if (!CreateProcessA(windowsProgram, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

} // namespace

std::map<std::string, TreeEntry> ReadTree(const std::string& root) {
    std::map<std::string, TreeEntry> tree;
    ReadTreeInto(root, "", &tree);
    return tree;
}

std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(find, &found));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

bool WriteFileOnly(const std::string& path, const std::string& content) {
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == content.size();
}

bool WriteFileWithAttributes(const std::string& path, const std::string& content, DWORD attributes) {
    return WriteFileText(path, content) && SetFileAttributesA(path.c_str(), attributes);
}

std::string ReadWhole(const std::string& path) {
    std::string content;
    if (!ReadFileText(path, &content))
        return "<unreadable>";
    return content;
}

// Wine starts a Unix program without a process to wait for: its handle is signalled at once,
// so the result is awaited on the disk.
bool WaitForAttributes(const std::string& path, bool present) {
    for (int attempt = 0; attempt < 500; ++attempt) {
        const DWORD attributes = GetFileAttributesA(path.c_str());
        const bool isLink =
            attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
        if (isLink == present)
            return true;
        Sleep(10);
    }
    return false;
}

UnixSymlink::UnixSymlink(const std::string& link, const std::string& target) : m_link(link) {
    const std::string unixLink = UnixName(link);
    m_made = !unixLink.empty() &&
             RunUnixTool("Z:\\bin\\ln", "ln -s \"" + target + "\" \"" + unixLink + "\"") &&
             WaitForAttributes(link, true);
}

UnixSymlink::~UnixSymlink() {
    RemoveUnixLink(m_link);
}

void RemoveUnixLink(const std::string& link) {
    const std::string unixLink = UnixName(link);
    if (!unixLink.empty() && RunUnixTool("Z:\\bin\\rm", "rm -f \"" + unixLink + "\""))
        WaitForAttributes(link, false);
}

bool RenameOnUnixSide(const std::string& folder, const std::string& from, const std::string& to) {
    // Through the folder's Unix name: Wine would match the new name to one of another case.
    const std::string unixFolder = UnixName(folder) + "/";
    if (!RunUnixTool("Z:\\bin\\mv", "mv \"" + unixFolder + from + "\" \"" + unixFolder + to + "\""))
        return false;
    for (int attempt = 0; attempt < 500; ++attempt, Sleep(10)) {
        const std::vector<std::string> names = ListFolder(folder);
        if (std::count(names.begin(), names.end(), to) == 1)
            return true;
    }
    return false;
}

namespace {

// The test's own long-path form: absolute drive paths only, which is all the cases use.
std::wstring Long(const std::wstring& path) {
    return L"\\\\?\\" + path;
}

} // namespace

bool WriteWideFile(const std::wstring& path, const std::string& content) {
    for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        CreateDirectoryW(Long(path.substr(0, at)).c_str(), nullptr);
    HANDLE file = CreateFileW(Long(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == content.size();
}

bool ReadWideFile(const std::wstring& path, std::string* content) {
    HANDLE file =
        CreateFileW(Long(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    content->clear();
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
        content->append(buffer, read);
    CloseHandle(file);
    return true;
}

std::vector<std::wstring> ListWideFolder(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(Long(folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

// The total size of the volume holding folder, or 0.
ULONGLONG VolumeSize(const std::string& folder) {
    ULARGE_INTEGER total{};
    return GetDiskFreeSpaceExA((folder + "\\").c_str(), nullptr, &total, nullptr) ? total.QuadPart : 0;
}

// Mounting takes effect a moment after the Unix tool was started: wait for the size to show it.
bool WaitForVolumeSize(const std::string& folder, bool small) {
    for (int attempt = 0; attempt < 500; ++attempt) {
        const ULONGLONG size = VolumeSize(folder);
        if (size != 0 && (size < 64 * 1024 * 1024) == small)
            return true;
        Sleep(10);
    }
    return false;
}

} // namespace

SmallDisk::SmallDisk(const std::string& folder, unsigned kibibytes, bool readOnly) : m_folder(folder) {
    const std::string unixFolder = UnixName(folder);
    m_made = !unixFolder.empty() &&
             RunUnixTool("Z:\\bin\\mount", "mount -t tmpfs -o size=" + std::to_string(kibibytes) +
                                               (readOnly ? "k,ro" : "k") + " tmpfs \"" + unixFolder + "\"") &&
             WaitForVolumeSize(folder, true);
}

SmallDisk::~SmallDisk() {
    if (!m_made)
        return;
    RemoveTree(m_folder); // the folder itself stays: it is the mount point
    // Wine may still hold the folder open for a moment after the last call that used it: a busy
    // mount is tried again, and at last detached lazily, so no mount outlives the test's prefix.
    const std::string unixFolder = UnixName(m_folder);
    for (int attempt = 0; attempt < 5; ++attempt) {
        RunUnixTool("Z:\\bin\\umount", "umount \"" + unixFolder + "\"");
        if (WaitForVolumeSize(m_folder, false))
            return;
    }
    RunUnixTool("Z:\\bin\\umount", "umount -l \"" + unixFolder + "\"");
    WaitForVolumeSize(m_folder, false);
}
