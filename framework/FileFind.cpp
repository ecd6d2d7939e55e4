#include "FileFind.h"

BOOL CFileFind::FindFile(LPCSTR pattern) {
    Close();
    m_find = ::FindFirstFileA(pattern, &m_ahead);
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
    if (::FindNextFileA(m_find, &m_ahead))
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
    const char* name = m_current.cFileName;
    return (name[0] == '.' && name[1] == '\0') || (name[0] == '.' && name[1] == '.' && name[2] == '\0');
}
