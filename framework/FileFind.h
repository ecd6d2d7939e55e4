// CFileFind: walks the entries of a folder with FindFirstFile/FindNextFile and owns the find
// handle. FindFile reads the first entry ahead; each FindNextFile makes the entry read ahead
// the current one and reads the next, so it returns FALSE when the entry it has just made
// current is the last one (that entry is still valid). Whether the walk ended because the
// folder had no more entries or because the platform failed is kept apart (FailedWithError).
#pragma once

#include <windows.h>

// <windows.h> maps FindNextFile to FindNextFileW; the member below is renamed alike, so
// callers are unaffected, and the platform function is always called as ::FindNextFileW.
// Names are UTF-16, so every name the file system holds comes out exactly.

#include <string>

// CFindHandle: owns a find handle from FindFirstFile(Ex) (invalid: INVALID_HANDLE_VALUE) and
// closes it when it goes, for a walk that reads the entries itself. Not copyable.
class CFindHandle {
public:
    explicit CFindHandle(HANDLE find) : m_find(find) {}
    ~CFindHandle() {
        if (m_find != INVALID_HANDLE_VALUE)
            ::FindClose(m_find);
    }
    CFindHandle(const CFindHandle&) = delete;
    CFindHandle& operator=(const CFindHandle&) = delete;
    HANDLE get() const { return m_find; }

private:
    HANDLE m_find;
};

class CFileFind {
public:
    CFileFind() = default;
    ~CFileFind() { Close(); }
    CFileFind(const CFileFind&) = delete;
    CFileFind& operator=(const CFileFind&) = delete;

    // Starts a walk over the entries matching pattern. FALSE when nothing matched or the
    // folder could not be read; GetLastError tells which (ERROR_FILE_NOT_FOUND: no match).
    BOOL FindFile(LPCWSTR pattern = L"*.*");
    // Makes the next entry current. FALSE when that entry is the last one, or when there is
    // no current entry to be had at all (then the walk never started).
    BOOL FindNextFile();
    void Close();

    // TRUE when reading ahead stopped on an error other than "no more files".
    bool FailedWithError() const {
        return m_readAheadError != ERROR_SUCCESS && m_readAheadError != ERROR_NO_MORE_FILES;
    }
    DWORD GetReadAheadError() const { return m_readAheadError; }

    BOOL IsDots() const;
    std::wstring GetFileName() const { return m_current.cFileName; }
    ULONGLONG GetLength() const {
        return (static_cast<ULONGLONG>(m_current.nFileSizeHigh) << 32) | m_current.nFileSizeLow;
    }
    DWORD GetAttributes() const { return m_current.dwFileAttributes; }
    FILETIME GetLastWriteTime() const { return m_current.ftLastWriteTime; }
    // TRUE when the current entry has any of the attribute bits in mask.
    BOOL MatchesMask(DWORD mask) const { return (m_current.dwFileAttributes & mask) != 0; }
    BOOL IsDirectory() const { return MatchesMask(FILE_ATTRIBUTE_DIRECTORY); }

private:
    HANDLE m_find = INVALID_HANDLE_VALUE;
    bool m_haveCurrent = false;
    bool m_haveAhead = false;
    DWORD m_readAheadError = ERROR_SUCCESS;
    WIN32_FIND_DATAW m_current{};
    WIN32_FIND_DATAW m_ahead{};
};
