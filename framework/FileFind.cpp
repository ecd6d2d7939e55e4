#include "FileFind.h"

BOOL CFileFind::FindFile(LPCWSTR pattern) {
    Close();
    // No short names (nothing here reads them) and larger reads: the cheaper walk.
    m_find = ::FindFirstFileExW(pattern, FindExInfoBasic, &m_ahead, FindExSearchNameMatch, nullptr,
                                FIND_FIRST_EX_LARGE_FETCH);
    if (m_find == INVALID_HANDLE_VALUE) {
        m_readAheadError = GetLastError();
        SetLastError(m_readAheadError);
        return FALSE;
    }
    m_haveAhead = true;
    return TRUE;
}

BOOL CFileFind::FindNextFile() {
    if (!m_haveAhead)
        return FALSE;
    m_current = m_ahead;
    m_haveCurrent = true;
    if (::FindNextFileW(m_find, &m_ahead))
        return TRUE;
    m_haveAhead = false;
    m_readAheadError = GetLastError();
    SetLastError(m_readAheadError);
    return FALSE;
}

void CFileFind::Close() {
    if (m_find != INVALID_HANDLE_VALUE)
        FindClose(m_find);
    m_find = INVALID_HANDLE_VALUE;
    m_haveCurrent = false;
    m_haveAhead = false;
    m_readAheadError = ERROR_SUCCESS;
}

BOOL CFileFind::IsDots() const {
    if (!m_haveCurrent || !IsDirectory())
        return FALSE;
    const wchar_t* name = m_current.cFileName;
    return (name[0] == L'.' && name[1] == L'\0') || (name[0] == L'.' && name[1] == L'.' && name[2] == L'\0');
}
