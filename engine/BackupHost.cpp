#include "engine/BackupHost.h"

void CCountingHost::CountCopied(ULONGLONG bytes) {
    m_files.fetch_add(1);
    m_bytes.fetch_add(bytes);
    m_host.CountCopied(bytes);
}

void ShowBackingUp(CBackupHost& host, const std::wstring& path) {
    host.ShowCopying(path + L"をバックアップ中です...");
}

void ShowRestoring(CBackupHost& host, const std::wstring& path) {
    host.ShowCopying(path + L"を元に戻しています...");
}
