#include "common/TempFolder.h"

#include <windows.h>

#include <stdexcept>

TempFolder::TempFolder() {
    static unsigned counter = 0;
    char base[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, base);
    if (length == 0 || length >= MAX_PATH)
        throw std::runtime_error("GetTempPath failed");
    for (int attempt = 0; attempt < 1000; ++attempt) {
        char name[MAX_PATH];
        wsprintfA(name, "%stbx%lu_%u", base, GetCurrentProcessId(), ++counter);
        if (CreateDirectoryA(name, nullptr)) {
            m_path = name;
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder");
}

TempFolder::~TempFolder() { RemoveTree(m_path); }

namespace {

// The position of the last backslash that is a separator, not the second byte of a
// double-byte character (表 is 0x95 0x5C); npos when there is none.
size_t LastSeparator(const std::string& path) {
    size_t last = std::string::npos;
    for (size_t i = 0; i < path.size(); ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size())
            ++i;
        else if (path[i] == '\\')
            last = i;
    }
    return last;
}

} // namespace

bool MakeFolders(const std::string& path) {
    if (FolderExists(path))
        return true;
    const size_t cut = LastSeparator(path);
    if (cut != std::string::npos && cut > 2)
        MakeFolders(path.substr(0, cut));
    return CreateDirectoryA(path.c_str(), nullptr) || FolderExists(path);
}

bool WriteFileText(const std::string& path, const std::string& content) {
    const size_t cut = LastSeparator(path);
    if (cut != std::string::npos)
        MakeFolders(path.substr(0, cut));
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == content.size();
}

bool ReadFileText(const std::string& path, std::string* content) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    content->clear();
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        content->append(buffer, got);
    CloseHandle(file);
    return true;
}

bool FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FlipByteKeepingTime(const std::string& path, LONG offset) {
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    FILETIME written{};
    unsigned char byte = 0;
    DWORD done = 0;
    bool flipped = GetFileTime(file, nullptr, nullptr, &written) &&
                   SetFilePointer(file, offset, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
                   ReadFile(file, &byte, 1, &done, nullptr) && done == 1;
    byte ^= 0xFF;
    flipped = flipped && SetFilePointer(file, offset, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
              WriteFile(file, &byte, 1, &done, nullptr) && done == 1;
    CloseHandle(file);
    // The time is set once the write is closed: Wine stamps a written file's time as it closes.
    file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    flipped = flipped && file != INVALID_HANDLE_VALUE && SetFileTime(file, nullptr, nullptr, &written);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return flipped;
}

bool FolderExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void RemoveTree(const std::string& path) {
    if (path.empty())
        return;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        WIN32_FIND_DATAA found;
        HANDLE find = FindFirstFileA((path + "\\*").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                const std::string name = found.cFileName;
                if (name != "." && name != "..")
                    RemoveTree(path + "\\" + name);
            } while (FindNextFileA(find, &found));
            FindClose(find);
        }
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        RemoveDirectoryA(path.c_str());
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveDirectoryA(path.c_str()); // a link: remove the link, never what it points to
    } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
    }
}

std::string WindowsPathOfBuildFile(const std::string& path) {
    if (path.empty() || path[0] != '/')
        return path;
    std::string windowsPath = "Z:" + path;
    for (char& c : windowsPath)
        c = c == '/' ? '\\' : c;
    return windowsPath;
}
