#include "engine/base/BackupHost.h"

void CCountingHost::CountCopied(ULONGLONG bytes) {
    m_files.fetch_add(1);
    m_bytes.fetch_add(bytes);
    m_host.CountCopied(bytes);
}
